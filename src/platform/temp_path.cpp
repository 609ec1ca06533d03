#include "platform/temp_path.h"

#include "platform/platform.h"

namespace tavorin {

std::string join_path(std::string_view directory, std::string_view file_name) {
  std::string path(directory);
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += file_name;
  return path;
}

std::string temp_file_path(Platform& os, std::string_view file_name) {
  return join_path(os.temp_directory(), file_name);
}

}  // namespace tavorin
