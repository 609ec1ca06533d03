#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tavorin::example {
namespace {

constexpr const char* USAGE =
    "usage: tavorin_example_app [--mode dev|prod] [--temp-dir DIR] [--port N]\n"
    "         [--no-port-file] [--record FILE] [--silent] [--close-after N]\n"
    "         [--two-lines] [--long-answer N] [--invalid-utf8] [--crlf-only]\n"
    "         [--slow MS] [--padded] [--ack]\n";

bool parse_number(const char* text, long low, long high, long& value) {
  errno = 0;
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && value >= low &&
         value <= high;
}

}  // namespace

std::optional<AppOptions> parse_options(int argc, char** argv) {
  AppOptions options;
  for (int i = 1; i < argc; ++i) {
    const int at = i;
    std::string_view name = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    long number = 0;
    bool ok = true;
    auto take_number = [&](long low, long high) {
      ok = value != nullptr && parse_number(value, low, high, number);
      ++i;
      return number;
    };
    if (name == "--mode" && value != nullptr) {
      std::string_view mode = value;
      ok = mode == "dev" || mode == "prod";
      options.mode = mode == "dev" ? LockMode::Dev : LockMode::Prod;
      ++i;
    } else if (name == "--temp-dir" && value != nullptr) {
      options.temp_dir = value;
      ++i;
    } else if (name == "--record" && value != nullptr) {
      options.record_path = value;
      ++i;
    } else if (name == "--port") {
      options.port = static_cast<std::uint16_t>(take_number(0, 65535));
    } else if (name == "--close-after") {
      options.close_after = static_cast<int>(take_number(0, 1'000'000));
    } else if (name == "--long-answer") {
      // Ten bytes are the smallest JSON object of the answer's shape.
      options.long_answer = static_cast<std::size_t>(take_number(10, 1L << 30));
    } else if (name == "--slow") {
      options.slow_ms = static_cast<int>(take_number(0, 600'000));
    } else if (name == "--no-port-file") {
      options.write_port_file = false;
    } else if (name == "--silent") {
      options.silent = true;
    } else if (name == "--two-lines") {
      options.two_lines = true;
    } else if (name == "--invalid-utf8") {
      options.invalid_utf8 = true;
    } else if (name == "--crlf-only") {
      options.crlf_only = true;
    } else if (name == "--padded") {
      options.padded = true;
    } else if (name == "--ack") {
      options.ack = true;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "tavorin_example_app: bad option %s\n%s", argv[at],
                   USAGE);
      return std::nullopt;
    }
  }
  if (options.temp_dir.empty()) options.temp_dir = default_temp_dir();
  return options;
}

}  // namespace tavorin::example
