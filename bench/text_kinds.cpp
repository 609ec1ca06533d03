#include "text_kinds.h"

#include <span>
#include <string_view>

namespace bench {

namespace {

// Drawn in turn, in an order that repeats only after many thousand pieces,
// so that no processor learns the text's pattern.
class Pieces {
 public:
  explicit Pieces(std::span<const std::string_view> pieces) : pieces_(pieces) {}

  std::string_view next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return pieces_[(state_ >> 33) % pieces_.size()];
  }

 private:
  std::span<const std::string_view> pieces_;
  std::uint64_t state_ = 1;
};

// Letters and digits with é, ü, € and the like every few bytes.
constexpr std::string_view LATIN[] = {"a",  "e",  "n",  "r", "s", "t", " ",
                                      "Gr", "ou", "5 ", "é", "ü", "€", "ö",
                                      "ß",  "à",  "ç",  "ñ", "è", "ï"};

// Chinese and Japanese characters (three bytes each), now and then a space
// or a digit.
constexpr std::string_view CJK[] = {
    "世", "界", "你", "好", "日", "本", "語", "中", "文", "字", "漢",
    "の", "テ", "ス", "ト", "東", "京", "数", "据", "。", " ",  "7"};

// Emoji (four bytes each) with check marks (three) and spaces.
constexpr std::string_view EMOJI[] = {"🔧", "😀", "🎉", "🚀", "👍",
                                      "🔥", "💡", "📦", "✓", " "};

std::span<const std::string_view> pieces_of(TextKind kind) {
  switch (kind) {
    case TextKind::Latin: return LATIN;
    case TextKind::Cjk: return CJK;
    case TextKind::Emoji: return EMOJI;
    case TextKind::Ascii: break;
  }
  return {};
}

// Letters and digits in turn, as in the benchmark's first messages.
std::string ascii_text(std::size_t size) {
  constexpr std::string_view LETTERS = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    text += LETTERS[(i + 1) % LETTERS.size()];
  }
  return text;
}

std::string mixed_text(TextKind kind, std::size_t size) {
  Pieces pieces(pieces_of(kind));
  std::string text;
  text.reserve(size);
  for (;;) {
    std::string_view piece = pieces.next();
    if (text.size() + piece.size() > size) break;
    text += piece;
  }
  // Where the next character would not fit, ASCII fills the rest.
  text.resize(size, 'x');
  return text;
}

}  // namespace

const char* kind_name(TextKind kind) {
  switch (kind) {
    case TextKind::Latin: return "Latin";
    case TextKind::Cjk: return "CJK";
    case TextKind::Emoji: return "emoji";
    case TextKind::Ascii: break;
  }
  return "ASCII";
}

const char* kind_description(TextKind kind) {
  switch (kind) {
    case TextKind::Latin:
      return "letters with é, ü, € and the like every few bytes";
    case TextKind::Cjk:
      return "Chinese and Japanese, a space or digit now and then";
    case TextKind::Emoji: return "emoji, check marks and spaces";
    case TextKind::Ascii: break;
  }
  return "letters and digits";
}

std::string json_text(TextKind kind, std::size_t size) {
  std::size_t inside = size < 2 ? 0 : size - 2;
  std::string body =
      kind == TextKind::Ascii ? ascii_text(inside) : mixed_text(kind, inside);
  return '"' + body + '"';
}

}  // namespace bench
