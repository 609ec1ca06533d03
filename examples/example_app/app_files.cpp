#include "app_files.h"

#include <cstring>

namespace tavorin::example {
namespace {

// The paths live in fixed storage so that the stop handler can remove the
// files with nothing but calls that are safe there.
constexpr std::size_t PATH_CAPACITY = 4096;
char lock_path[PATH_CAPACITY];
char port_path[PATH_CAPACITY];

#ifdef _WIN32
constexpr char SEPARATORS[] = "\\/";
constexpr char SEPARATOR = '\\';
#else
constexpr char SEPARATORS[] = "/";
constexpr char SEPARATOR = '/';
#endif

// Joins the file name to the temporary directory, into fixed storage.
bool set_path(char (&target)[PATH_CAPACITY], const std::string& dir,
              std::string_view name) {
  std::string path = dir;
  if (path.empty() || std::strchr(SEPARATORS, path.back()) == nullptr) {
    path += SEPARATOR;
  }
  path += name;
  if (path.size() >= PATH_CAPACITY) return false;
  std::memcpy(target, path.c_str(), path.size() + 1);
  return true;
}

// A path stays set only once its file has been written, so the app removes
// its own files and never one that someone else left there. The lock file
// goes first: a host that starts meanwhile then says at once that the app is
// not running, instead of trying a port that is about to close.
void remove_files() {
  if (lock_path[0] != '\0') remove_file(lock_path);
  if (port_path[0] != '\0') remove_file(port_path);
}

}  // namespace

AppFiles::AppFiles(const std::string& temp_dir, LockMode mode)
    : temp_dir_(temp_dir), mode_(mode) {
  on_stop(remove_files);
}

AppFiles::~AppFiles() { remove_files(); }

bool AppFiles::create_lock_file() {
  const char* name = mode_ == LockMode::Dev ? "tavorin_dev_instance.lock"
                                            : "tavorin_app_instance.lock";
  // The host only looks at the lock file's presence; the process id is a
  // courtesy for people who look at it.
  std::string content = std::to_string(process_id()) + "\n";
  bool written =
      set_path(lock_path, temp_dir_, name) && write_file(lock_path, content);
  if (!written) lock_path[0] = '\0';
  return written;
}

bool AppFiles::write_port_file(std::uint16_t port) {
  // Plain decimal digits and nothing else, the form every host reads.
  std::string content = std::to_string(port);
  std::string new_name =
      "tavorin_port.txt." + std::to_string(process_id()) + ".new";
  char new_path[PATH_CAPACITY];
  if (!set_path(new_path, temp_dir_, new_name) ||
      !set_path(port_path, temp_dir_, "tavorin_port.txt")) {
    port_path[0] = '\0';
    return false;
  }
  bool written = write_file(new_path, content);
  if (!written || !replace_file(new_path, port_path)) {
    if (written) remove_file(new_path);
    port_path[0] = '\0';
    return false;
  }
  return true;
}

Recorder::Recorder(const std::string& path) : enabled_(!path.empty()) {
  if (!enabled_) return;
  // Emptied first, then appended to: whoever else writes to or empties the
  // file meanwhile loses no line of the app's.
  std::FILE* emptied = std::fopen(path.c_str(), "wb");
  if (emptied == nullptr) return;
  std::fclose(emptied);
  file_ = std::fopen(path.c_str(), "ab");
  if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
}

Recorder::~Recorder() {
  if (file_ != nullptr) std::fclose(file_);
}

void Recorder::record(std::string_view bytes) {
  if (file_ != nullptr) std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

}  // namespace tavorin::example
