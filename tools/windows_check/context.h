#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scratch_folder.h"

namespace tavorin {
class WindowsPlatform;
}

namespace tavorin::windows_check {

struct Options {
  bool json = false;
  bool help = false;
  std::wstring host;                       // empty: the host carried inside
  std::vector<std::wstring> msi_packages;  // an earlier, then a later one
  bool elevated_app = false;  // start the example app elevated, once
};

// What every check may use: the options, what this system is, the host's
// own platform layer and the one folder to write in.
struct Context {
  const Options& options;
  std::optional<std::string> wine;  // Wine's version, under Wine
  bool elevated = false;
  WindowsPlatform& os;
  ScratchFolder& scratch;
};

// Sets TMP and TEMP of this process, and so of every host it starts (the
// host takes TMP first), for as long as it lives.
class TemporaryFolderForHosts {
 public:
  explicit TemporaryFolderForHosts(const std::wstring& folder);
  TemporaryFolderForHosts(const TemporaryFolderForHosts&) = delete;
  TemporaryFolderForHosts& operator=(const TemporaryFolderForHosts&) = delete;
  ~TemporaryFolderForHosts();

 private:
  std::optional<std::wstring> tmp_;
  std::optional<std::wstring> temp_;
};

}  // namespace tavorin::windows_check
