#pragma once

#include <string>
#include <vector>

#include "check.h"

namespace tavorin::doctor {

struct Report {
  std::vector<Check> checks;  // in the order they were made
  bool ok = false;
  std::string verdict;  // one line for people: what works, or what does not
};

// For people: each check with ✓ or ✗ (– where it could not be measured),
// what was found, and the fix.
std::string render_text(const Report& report);
// One check as render_text shows it, for a program that shows each check
// as soon as it has it.
std::string render_check_text(const Check& check);

// For programs: exactly one JSON object,
// {"ok": bool, "checks": [{"check", "ok", "detail", "fix"}, ...]}.
std::string render_json(const Report& report);

}  // namespace tavorin::doctor
