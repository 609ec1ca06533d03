#pragma once

#include <string>

namespace tavorin::doctor {

// All of standard input as UTF-8 text, until its end: from a Windows
// console as typed, whatever its code page (Ctrl+Z and Enter end it); from
// a pipe or a file as its bytes. One file per system (input_text_posix.cpp,
// input_text_windows.cpp).
std::string read_standard_input();

}  // namespace tavorin::doctor
