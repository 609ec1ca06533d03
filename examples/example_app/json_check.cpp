#include "json_check.h"

#include <cstring>

namespace tavorin::example {
namespace {

constexpr int MAX_DEPTH = 64;

class JsonCheck {
 public:
  explicit JsonCheck(std::string_view text) : text_(text) {}

  bool whole() {
    skip_blanks();
    if (!value(0)) return false;
    skip_blanks();
    return at_ == text_.size();
  }

 private:
  bool more() const { return at_ < text_.size(); }
  char peek() const { return more() ? text_[at_] : '\0'; }
  bool take(char c) {
    if (peek() != c) return false;
    ++at_;
    return true;
  }
  bool take_word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  void skip_blanks() {
    while (more() && std::strchr(" \t\r\n", text_[at_]) != nullptr) ++at_;
  }
  bool digits() {
    std::size_t start = at_;
    while (peek() >= '0' && peek() <= '9') ++at_;
    return at_ > start;
  }

  bool value(int depth) {
    if (depth > MAX_DEPTH) return false;
    switch (peek()) {
      case '{': return object(depth);
      case '[': return array(depth);
      case '"': return string();
      case 't': return take_word("true");
      case 'f': return take_word("false");
      case 'n': return take_word("null");
      default: return number();
    }
  }

  bool object(int depth) {
    take('{');
    skip_blanks();
    if (take('}')) return true;
    do {
      skip_blanks();
      if (!string()) return false;
      skip_blanks();
      if (!take(':')) return false;
      skip_blanks();
      if (!value(depth + 1)) return false;
      skip_blanks();
    } while (take(','));
    return take('}');
  }

  bool array(int depth) {
    take('[');
    skip_blanks();
    if (take(']')) return true;
    do {
      skip_blanks();
      if (!value(depth + 1)) return false;
      skip_blanks();
    } while (take(','));
    return take(']');
  }

  bool string() {
    if (!take('"')) return false;
    while (more()) {
      auto c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      char escaped = peek();
      ++at_;
      if (escaped == 'u') {
        for (int i = 0; i < 4; ++i, ++at_) {
          if (std::strchr("0123456789abcdefABCDEF", peek()) == nullptr ||
              peek() == '\0') {
            return false;
          }
        }
      } else if (escaped == '\0' ||
                 std::strchr("\"\\/bfnrt", escaped) == nullptr) {
        return false;
      }
    }
    return false;
  }

  bool number() {
    take('-');
    if (!take('0') && !(peek() >= '1' && peek() <= '9' && digits())) {
      return false;
    }
    if (take('.') && !digits()) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

bool is_json(std::string_view text) { return JsonCheck(text).whole(); }

}  // namespace tavorin::example
