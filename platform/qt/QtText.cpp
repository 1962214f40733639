#include "platform/qt/QtText.h"

namespace QtText {
namespace {

// Length in bytes of the UTF-8 sequence that starts with `lead`; a stray
// continuation or invalid lead byte counts as a one-byte character.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 1;
}

// Byte offset of code point `index` (0-based), or text.size() when past the end.
std::size_t ByteOffset(const std::string& text, std::size_t index) {
  std::size_t pos = 0;
  while (index > 0 && pos < text.size()) {
    std::size_t len = SequenceLength(static_cast<unsigned char>(text[pos]));
    pos = std::min(text.size(), pos + len);
    --index;
  }
  return pos;
}

}  // namespace

std::size_t CharCount(const std::string& text) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < text.size(); ++n)
    pos += SequenceLength(static_cast<unsigned char>(text[pos]));
  return n;
}

std::string CopyChars(const std::string& text, long start, long count) {
  if (count < 1) return {};
  if (start < 1) start = 1;
  std::size_t from = ByteOffset(text, static_cast<std::size_t>(start - 1));
  if (from >= text.size()) return {};
  std::string rest = text.substr(from);
  return rest.substr(0, ByteOffset(rest, static_cast<std::size_t>(count)));
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace QtText
