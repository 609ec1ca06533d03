#pragma once

#include <expected>
#include <optional>
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
  // --send: one message to send through the registered host instead of the
  // checks, or "-" to read them from standard input, one a line.
  std::optional<std::string> send;
};

// The command line after the program's name; on a usage error, what is
// wrong with it.
std::expected<Options, std::string> parse_options(
    std::span<const std::string> arguments);

// What --help prints.
std::string help_text();

}  // namespace tavorin::doctor
