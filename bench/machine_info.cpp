#include "machine_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace bench {

namespace {

std::string first_line_of(const char* path, const char* prefix) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return "";
  char line[512];
  std::string found;
  std::size_t length = std::strlen(prefix);
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, prefix, length) == 0) {
      found = line + length;
      break;
    }
  }
  std::fclose(file);
  while (!found.empty() && (found.back() == '\n' || found.back() == ' ')) {
    found.pop_back();
  }
  return found;
}

std::string processor() {
  std::string model = first_line_of("/proc/cpuinfo", "model name");
  std::size_t colon = model.find(": ");
  return colon == std::string::npos ? "unknown processor"
                                    : model.substr(colon + 2);
}

std::string load_average() {
  std::string load = first_line_of("/proc/loadavg", "");
  return load.substr(0, load.find(' '));
}

}  // namespace

std::string utc_now() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  ::gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}

std::string machine_summary() {
  utsname system{};
  ::uname(&system);
  long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  return std::string(system.sysname) + " " + system.release + " " +
         system.machine + ", " + processor() + ", " + std::to_string(cores) +
         " CPUs, load average " + load_average() + " at start";
}

}  // namespace bench
