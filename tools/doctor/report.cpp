#include "report.h"

#include <string_view>

#include "json_text.h"

namespace tavorin::doctor {

namespace {

constexpr std::string_view PASS_MARK = "\u2713";
constexpr std::string_view FAIL_MARK = "\u2717";
constexpr std::string_view UNMEASURED_MARK = "\u2013";
constexpr std::string_view INDENT = "    ";

std::string indented(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    out += std::string(INDENT) + std::string(text.substr(0, end)) + "\n";
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
}

std::string_view mark_of(const Check& check) {
  if (!check.measured) return UNMEASURED_MARK;
  return check.ok ? PASS_MARK : FAIL_MARK;
}

std::string check_json(const Check& check) {
  return "{\"check\": " + json_string(check.id) +
         ", \"ok\": " + (check.ok ? "true" : "false") +
         ", \"detail\": " + json_string(check.detail) +
         ", \"fix\": " + json_string(check.fix) + "}";
}

}  // namespace

std::string render_check_text(const Check& check) {
  std::string text = std::string(mark_of(check)) + " " + check.title + "\n" +
                     indented(check.detail);
  if (!check.fix.empty()) text += indented("fix: " + check.fix);
  return text;
}

std::string render_text(const Report& report) {
  std::string text;
  for (const Check& check : report.checks) {
    text += render_check_text(check) + "\n";
  }
  text += std::string(report.ok ? PASS_MARK : FAIL_MARK) + " " +
          report.verdict + "\n";
  return text;
}

std::string render_json(const Report& report) {
  std::string json = std::string("{\"ok\": ") + (report.ok ? "true" : "false") +
                     ", \"checks\": [";
  for (std::size_t i = 0; i < report.checks.size(); ++i) {
    json += (i == 0 ? "\n  " : ",\n  ") + check_json(report.checks[i]);
  }
  json += "\n]}\n";
  return json;
}

}  // namespace tavorin::doctor
