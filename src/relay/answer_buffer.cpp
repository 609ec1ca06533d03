#include "relay/answer_buffer.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace tavorin {

AnswerBuffer::~AnswerBuffer() {
  if (data_ != nullptr) os_.free_block(data_);
}

bool AnswerBuffer::resize(std::size_t capacity) {
  void* resized = os_.resize_block(data_, capacity);
  if (resized == nullptr) return false;
  data_ = static_cast<char*>(resized);
  capacity_ = capacity;
  return true;
}

void AnswerBuffer::move_pending_to_front() {
  if (start_ == 0) return;
  std::memmove(data_, data_ + start_, end_ - start_);
  end_ -= start_;
  start_ = 0;
}

Result<std::span<char>> AnswerBuffer::room(std::size_t size) {
  if (capacity_ - end_ < size) move_pending_to_front();
  if (capacity_ - end_ < size) {
    std::size_t wanted = std::max({USUAL_CAPACITY, 2 * capacity_, end_ + size});
    if (!resize(wanted)) {
      return std::unexpected(IoError::kind_only(ErrorKind::OutOfMemory));
    }
  }
  return std::span(data_ + end_, capacity_ - end_);
}

void AnswerBuffer::give_back_spare_memory() {
  if (capacity_ <= USUAL_CAPACITY || end_ - start_ > USUAL_CAPACITY) return;
  move_pending_to_front();
  // A block that cannot shrink stays as it is; nothing is lost.
  (void)resize(USUAL_CAPACITY);
}

}  // namespace tavorin
