#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace tavorin::windows_check {

// The one folder this program writes in: a new folder in the user's
// temporary folder, removed with everything in it at the end.
class ScratchFolder {
 public:
  static std::expected<ScratchFolder, std::string> create();
  ScratchFolder(ScratchFolder&& other) noexcept
      : path_(std::move(other.path_)) {
    other.path_.clear();
  }
  ScratchFolder& operator=(ScratchFolder&&) = delete;
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() { remove(); }

  // Ends with a backslash.
  const std::wstring& path() const { return path_; }

  // A new folder inside, its path ending with a backslash.
  std::expected<std::wstring, std::string> make_folder(std::wstring_view name);

  // Removes the folder and everything in it (a few tries, while programs
  // started from it end); what could not be removed, or nothing.
  std::string remove();

 private:
  explicit ScratchFolder(std::wstring path) : path_(std::move(path)) {}
  std::wstring path_;
};

// Removes a folder and everything in it; false when something stayed.
bool remove_tree(const std::wstring& folder);

}  // namespace tavorin::windows_check
