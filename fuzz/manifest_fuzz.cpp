#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "browsers.h"
#include "json.h"
#include "manifest.h"

namespace {

using tavorin::native_messaging::JsonValue;

// How deep the brackets of JSON text nest, counted outside its strings.
int bracket_nesting(std::string_view text) {
  int depth = 0;
  int deepest = 0;
  bool in_string = false;
  bool escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    if (c == '"') in_string = true;
    if (c == '[' || c == '{') deepest = std::max(deepest, ++depth);
    if (c == ']' || c == '}') --depth;
  }
  return deepest;
}

int value_nesting(const JsonValue& value) {
  int deepest = 0;
  for (const JsonValue& item : value.items) {
    deepest = std::max(deepest, value_nesting(item));
  }
  for (const auto& [name, member] : value.members) {
    deepest = std::max(deepest, value_nesting(member));
  }
  bool container = value.kind == JsonValue::Kind::Array ||
                   value.kind == JsonValue::Kind::Object;
  return deepest + (container ? 1 : 0);
}

// Whatever the file holds, the manifest reader gives a verdict, by the
// Chromium family's rules and by Firefox's: what it
// could read, or at least one problem, each with its fix.
void check_verdict(std::string_view bytes, bool is_object,
                   tavorin::native_messaging::System system) {
  namespace nm = tavorin::native_messaging;
  for (auto check : {nm::check_manifest, nm::check_firefox_manifest}) {
    auto read = check(bytes, nm::HOST_NAME, system);
    if (read.manifest.has_value() != is_object) std::abort();
    if (!read.manifest && read.problems.empty()) std::abort();
    for (const auto& problem : read.problems) {
      if (problem.what.empty() || problem.fix.empty()) std::abort();
    }
  }
}

}  // namespace

// Any bytes in a manifest's place: the JSON reader takes them or says where
// they fail, never nesting deeper than its bound, and the manifest reader
// gives a verdict on both systems.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto parsed = tavorin::native_messaging::parse_json(bytes);
  if (parsed) {
    int nesting = value_nesting(*parsed);
    if (nesting > tavorin::native_messaging::MAX_JSON_NESTING) std::abort();
    if (nesting != bracket_nesting(bytes)) std::abort();
  } else if (parsed.error().offset > size || parsed.error().reason.empty()) {
    std::abort();
  }
  bool is_object = parsed && parsed->kind == JsonValue::Kind::Object;
  check_verdict(bytes, is_object, tavorin::native_messaging::System::Linux);
  check_verdict(bytes, is_object, tavorin::native_messaging::System::Windows);
  return 0;
}
