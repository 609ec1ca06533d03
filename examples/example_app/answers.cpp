#include "answers.h"

#include <cstdio>
#include <string>

#include "json_check.h"

namespace tavorin::example {
namespace {

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned{byte});
      out += escaped;
    } else {
      out += c;  // other bytes go through untouched, UTF-8 or not
    }
  }
  out += '"';
}

}  // namespace

std::string echo_answer(std::string_view line) {
  std::string answer = R"({"ok":true,"echo":)";
  if (is_json(line)) {
    answer += line;
  } else {
    append_json_string(answer, line);
  }
  answer += '}';
  return answer;
}

std::string answer_bytes(const AppOptions& options, std::string_view line) {
  if (options.silent) return {};
  if (options.crlf_only) return "\r\n";
  if (options.invalid_utf8) return "{\"ok\":true,\"bytes\":\"\xFF\xFE\"}\n";
  if (options.long_answer > 0) {
    // {"pad":"xxxx"}: eight bytes before the padding, two after.
    return R"({"pad":")" + std::string(options.long_answer - 10, 'x') + "\"}\n";
  }
  if (options.ack) {
    return R"({"ok":true,"bytes":)" + std::to_string(line.size()) + "}\n";
  }
  std::string answer = echo_answer(line);
  std::string bytes = options.padded ? "  " + answer + "  \n" : answer + '\n';
  if (options.two_lines) {
    answer.pop_back();
    bytes += answer + ",\"again\":true}\n";
  }
  return bytes;
}

}  // namespace tavorin::example
