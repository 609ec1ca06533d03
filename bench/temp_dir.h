#pragma once

#include <string>
#include <string_view>

namespace bench {

// A directory of the benchmark's own under the system's temporary
// directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const;
  // A new, empty directory inside this one; its path.
  std::string subdirectory(std::string_view name) const;

 private:
  std::string path_;
};

}  // namespace bench
