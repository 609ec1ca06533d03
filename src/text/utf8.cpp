#include "text/utf8.h"

#include "text/utf8_sequence.h"

namespace tavorin {

namespace {

constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

// After an ill-formed stretch, this many well-formed bytes in a row hand the
// text back to the fast validator; errors close together are replaced
// without calling it for every few bytes.
constexpr std::size_t CLEAN_RUN = 32;

// Copies the text from `at` to `text` character by character, each maximal
// ill-formed subpart as U+FFFD, until CLEAN_RUN well-formed bytes in a row
// have passed or the bytes end; returns where it stopped.
std::size_t replace_ill_formed(std::string_view bytes, std::size_t at,
                               std::string& text) {
  std::size_t clean = 0;
  while (at < bytes.size() && clean < CLEAN_RUN) {
    utf8::Scan scan = utf8::scan_character(bytes, at);
    if (scan.complete) {
      text.append(bytes.substr(at, scan.length));
      clean += scan.length;
    } else {
      text.append(REPLACEMENT_CHARACTER);
      clean = 0;
    }
    at += scan.length;
  }
  return at;
}

// The text with replacements, from the first error at `valid` on.
std::string with_replacements(std::string_view bytes, std::size_t valid) {
  std::string text;
  text.reserve(bytes.size());
  text.append(bytes.substr(0, valid));
  std::size_t at = valid;
  while (at < bytes.size()) {
    at = replace_ill_formed(bytes, at, text);
    std::size_t run = valid_utf8_prefix(bytes.substr(at));
    text.append(bytes.substr(at, run));
    at += run;
  }
  return text;
}

}  // namespace

std::string decode_payload(std::string_view bytes) {
  std::size_t valid = valid_utf8_prefix(bytes);
  if (valid == bytes.size()) return std::string(bytes);
  return with_replacements(bytes, valid);
}

}  // namespace tavorin
