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

// For people: each check with ✓ or ✗, what was found, and the fix.
std::string render_text(const Report& report);

// For programs: exactly one JSON object,
// {"ok": bool, "checks": [{"check", "ok", "detail", "fix"}, ...]}.
std::string render_json(const Report& report);

}  // namespace tavorin::doctor
