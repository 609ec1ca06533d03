#pragma once

#include <cstddef>
#include <string_view>

#include "text/utf8.h"
#include "text/utf8_sequence.h"

namespace tavorin {

// Checks UTF-8 as it arrives in one contiguous, growing buffer, so that the
// check overlaps the wait for the next bytes.
//
// It keeps one offset into the buffer: everything before it is proven
// well-formed, and it always lies on a character boundary. Each call checks
// only what lies past it, so each byte is checked about once.
class Utf8Checker {
 public:
  // `bytes` is everything that has arrived so far, from the start of the
  // text being checked (earlier bytes unchanged, new ones at the end).
  // Checks what is new except a character cut off at the end, which waits
  // for its rest. Once an error is seen, stops checking until finish().
  void check_arrived(std::string_view bytes) {
    settle_start(bytes);
    if (failed_ || checked_ >= bytes.size()) return;
    std::string_view fresh = whole_characters(bytes.substr(checked_));
    std::size_t valid = valid_utf8_prefix(fresh);
    checked_ += valid;
    failed_ = valid < fresh.size();
  }

  // The exact verdict for `bytes` taken as a whole (it may be a prefix of
  // what has arrived, ending where the caller's text ends): checks only
  // what check_arrived has not yet proven well-formed.
  bool finish(std::string_view bytes) {
    settle_start(bytes);
    if (bytes.size() <= checked_) return ends_a_character(bytes);
    // The error lies at the checked offset, inside the text.
    if (failed_) return false;
    if (!is_valid_utf8(bytes.substr(checked_))) return false;
    checked_ = bytes.size();
    return true;
  }

  // The first `count` bytes were taken away (the buffer's start moved on):
  // what was proven about the rest stays proven. After an error, the rest
  // is checked afresh.
  void drop_front(std::size_t count) {
    if (failed_ || count >= checked_) {
      checked_ = 0;
      failed_ = false;
      start_unsure_ = false;
      return;
    }
    checked_ -= count;
    // A cut inside the proven bytes might have split a character.
    start_unsure_ = start_unsure_ || count > 0;
  }

 private:
  // After a cut inside the proven bytes: if the buffer now starts with a
  // continuation, nothing of it is proven any more.
  void settle_start(std::string_view bytes) {
    if (!start_unsure_ || bytes.empty()) return;
    start_unsure_ = false;
    if (utf8::is_continuation(utf8::byte_at(bytes, 0))) checked_ = 0;
  }

  // The bytes without a character cut off at their end.
  static std::string_view whole_characters(std::string_view bytes) {
    std::size_t back = utf8::distance_to_last_start(bytes);
    if (back == 0) return bytes;
    std::uint8_t first = utf8::byte_at(bytes, bytes.size() - back);
    return utf8::length_announced(first) > back
               ? bytes.substr(0, bytes.size() - back)
               : bytes;
  }

  // Whether proven-well-formed bytes end on a character boundary, so that
  // they are well-formed on their own.
  static bool ends_a_character(std::string_view bytes) {
    std::size_t back = utf8::distance_to_last_start(bytes);
    if (back == 0) return bytes.empty();
    return utf8::length_announced(utf8::byte_at(bytes, bytes.size() - back)) ==
           back;
  }

  std::size_t checked_ = 0;  // proven well-formed before this offset
  bool failed_ = false;      // an error starts at the checked offset
  bool start_unsure_ = false;
};

}  // namespace tavorin
