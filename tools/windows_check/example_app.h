#pragma once

#include <windows.h>

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

namespace tavorin::windows_check {

// The folder as one quoted argument of a command line.
std::wstring quoted_folder(const std::wstring& folder);

// The example desktop app this program carries (tavorin_example_app.exe),
// started in a folder of the caller's, with its port file and lock file
// there, at a port the system picks. It answers each line with
// {"ok":true,"echo":LINE}, every connection at once. Stopped (and its
// files removed, the lock file first) when this ends.
class ExampleApp {
 public:
  static std::expected<std::unique_ptr<ExampleApp>, std::string> start(
      const std::wstring& folder);
  ExampleApp(const ExampleApp&) = delete;
  ExampleApp& operator=(const ExampleApp&) = delete;
  ~ExampleApp();

  std::uint16_t port() const { return port_; }

  // What the app answers to a line that is one JSON value.
  static std::string answer_to(std::string_view line);

 private:
  ExampleApp() = default;

  HANDLE process_ = nullptr;
  std::uint16_t port_ = 0;
  std::wstring folder_;
};

}  // namespace tavorin::windows_check
