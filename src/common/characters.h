// Where UTF-8 characters start and end. Columns, counts and limits are bytes everywhere; these
// are the rules that keep every cut and every cursor position off the inside of a character.
//
// A character is one well-formed UTF-8 sequence (no overlong forms, no surrogates, nothing
// above U+10FFFF), or any single byte that does not begin one: ASCII text, and text in any
// other encoding, is therefore one character per byte. Nothing depends on the locale.
#pragma once

#include <cstddef>
#include <string_view>

namespace ostrel {

namespace characters {

// How many bytes from the start of `text` agree with a well-formed multi-byte sequence, and
// how many that sequence needs in all; {0, 1} when the first byte begins none (ASCII or a byte
// that is not UTF-8).
struct Prefix {
  std::size_t matched = 0;
  std::size_t needed = 1;
};

constexpr Prefix MatchSequence(std::string_view text) {
  if (text.empty()) return {};
  const auto lead = static_cast<unsigned char>(text[0]);
  // The sequence's length and the range its second byte must lie in; every later byte is a
  // continuation byte (0x80 to 0xBF).
  std::size_t needed = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 3;
    if (lead == 0xE0) low = 0xA0;   // shorter forms are overlong
    if (lead == 0xED) high = 0x9F;  // U+D800 to U+DFFF are surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return {};
  }
  std::size_t matched = 1;
  while (matched < needed && matched < text.size()) {
    const auto b = static_cast<unsigned char>(text[matched]);
    const bool fits = matched == 1 ? b >= low && b <= high : b >= 0x80 && b <= 0xBF;
    if (!fits) return {};
    ++matched;
  }
  return {matched, needed};
}

}  // namespace characters

// Bytes of the character at the start of `text`: 2 to 4 for a whole well-formed sequence,
// otherwise 1 (0 for empty text).
constexpr std::size_t CharLength(std::string_view text) {
  if (text.empty()) return 0;
  const characters::Prefix p = characters::MatchSequence(text);
  return p.matched == p.needed ? p.needed : 1;
}

// The first byte of the character that holds byte `pos` of `text`: `pos` itself when it is a
// character's first byte or lies at or past the end of the text. Only the three bytes in front
// of it need a look: a continuation byte never begins a sequence, so a whole sequence that
// covers `pos` is the one a scan from the start of the text would find.
constexpr std::size_t CharStart(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return pos;
  for (std::size_t back = 1; back <= 3 && back <= pos; ++back) {
    const std::size_t start = pos - back;
    if (CharLength(text.substr(start)) > back) return start;
  }
  return pos;
}

// The most bytes from the start of `text`, at most `room`, that end on a character boundary:
// where text that must fit into `room` bytes is cut.
constexpr std::size_t FitWhole(std::string_view text, std::size_t room) {
  return room >= text.size() ? text.size() : CharStart(text, room);
}

// The first character boundary at or after byte `pos`: where a character that holds `pos`
// ends when `pos` is not its first byte.
constexpr std::size_t CharEnd(std::string_view text, std::size_t pos) {
  const std::size_t start = CharStart(text, pos);
  return start == pos ? pos : start + CharLength(text.substr(start));
}

// Number of characters in `text`.
constexpr std::size_t CountChars(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); at += CharLength(text.substr(at))) ++count;
  return count;
}

// Bytes of the first `count` characters of `text` (all of it when it holds fewer).
constexpr std::size_t BytesOfChars(std::string_view text, std::size_t count) {
  std::size_t at = 0;
  for (; count > 0 && at < text.size(); --count) at += CharLength(text.substr(at));
  return at;
}

// Where `text` ends part-way into what may still become a well-formed sequence, whose rest is
// yet to come: that sequence's first byte; the size of the text when it ends otherwise.
constexpr std::size_t UnfinishedCharStart(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const characters::Prefix p = characters::MatchSequence(text.substr(text.size() - back));
    if (p.needed > back && p.matched == back) return text.size() - back;
  }
  return text.size();
}

}  // namespace ostrel
