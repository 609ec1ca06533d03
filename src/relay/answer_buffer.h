#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/io_error.h"
#include "relay/browser_channel.h"

namespace tavorin {

class Platform;

// The least room a receive from the app is offered.
inline constexpr std::size_t APP_READER_CAPACITY = 8192;

// The app's bytes as they arrive, in one block of memory of the reader's
// own: answers are received straight into it and handed on as views, and
// a block grown for an oversized answer goes back afterwards. The memory
// comes from the platform's blocks, so that running out of it is an error
// to report rather than the immediate stop of an ordinary allocation.
class AnswerBuffer {
 public:
  // What the block holds between answers: the largest frame the browser
  // sends plus a receive's worth, so the usual answer never grows it.
  // Pages that no answer reaches are never touched.
  static constexpr std::size_t USUAL_CAPACITY =
      MAX_MESSAGE_LENGTH + APP_READER_CAPACITY;

  explicit AnswerBuffer(Platform& os) : os_(os) {}
  AnswerBuffer(const AnswerBuffer&) = delete;
  AnswerBuffer& operator=(const AnswerBuffer&) = delete;
  ~AnswerBuffer();

  // The bytes received and not yet taken.
  std::string_view pending() const { return {data_ + start_, end_ - start_}; }
  std::size_t capacity() const { return capacity_; }

  // Free space after the pending bytes, at least `size` of it: the pending
  // bytes move to the front, or the block grows (doubling). A block that
  // cannot grow gives the kind-only OutOfMemory error.
  Result<std::span<char>> room(std::size_t size);
  void received(std::size_t count) { end_ += count; }
  // Once nothing is pending, the next answer lands at the block's start:
  // the system copies a receive into aligned memory fastest.
  void take(std::size_t count) {
    start_ += count;
    if (start_ == end_) start_ = end_ = 0;
  }

  // Back to the usual size once what is pending fits in it again.
  void give_back_spare_memory();

 private:
  bool resize(std::size_t capacity);
  void move_pending_to_front();

  Platform& os_;
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};

}  // namespace tavorin
