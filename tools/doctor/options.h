#pragma once

#include <expected>
#include <span>
#include <string>
#include <vector>

#include "browsers.h"

namespace tavorin::doctor {

struct Options {
  bool json = false;
  bool help = false;
  // The browsers whose registration, policies and manifest are checked.
  std::vector<const native_messaging::Browser*> browsers;
};

// The command line after the program's name; on a usage error, what is
// wrong with it.
std::expected<Options, std::string> parse_options(
    std::span<const std::string> arguments);

// What --help prints.
std::string help_text();

}  // namespace tavorin::doctor
