#include "shown_path.h"

#include <filesystem>

namespace bench {

namespace {

std::filesystem::path full(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).lexically_normal();
}

}  // namespace

std::string shown_path(const std::string& path) {
  std::filesystem::path program = full(path);
  std::filesystem::path inside =
      program.lexically_relative(full(BENCH_SOURCE_DIR));
  if (!inside.empty() && *inside.begin() != "..") return inside.string();
  return (program.parent_path().filename() / program.filename()).string();
}

std::string folder_name(const std::string& path) {
  return full(path).parent_path().filename().string();
}

}  // namespace bench
