#include <windows.h>

#include <string>
#include <vector>

int run_example_app(int argc, char** argv);

// The wide entry point: a folder such as --temp-dir arrives whole whatever
// the code page, and the app works in UTF-8 from here on.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr,
                                   nullptr);
    std::string argument(static_cast<std::size_t>(size > 0 ? size - 1 : 0),
                         '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, argument.data(), size, nullptr,
                        nullptr);
    arguments.push_back(std::move(argument));
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return run_example_app(argc, pointers.data());
}
