#include "temp_dir.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "fail.h"

namespace bench {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = base != nullptr && *base != '\0' ? base : "/tmp";
  pattern += "/tavorin_bench.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) fail_system("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const {
  std::string path = path_;
  path += '/';
  path += name;
  return path;
}

std::string TempDir::subdirectory(std::string_view name) const {
  std::string path = file(name);
  if (::mkdir(path.c_str(), 0700) != 0) fail_system("mkdir");
  return path;
}

}  // namespace bench
