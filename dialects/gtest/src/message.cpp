#include "gtest/gtest-message.h"

#include <limits>
#include <sstream>

namespace testing {

struct Message::Buffer {
  std::ostringstream ss;
};

void Message::BufferDeleter::operator()(Buffer* b) const { delete b; }

Message::Message() : buffer_(new Buffer), os_(&buffer_->ss) {
  // Enough digits that two different doubles never print alike.
  buffer_->ss.precision(std::numeric_limits<double>::digits10 + 2);
}

Message::Message(const Message& msg) : Message() { *os_ << msg.GetString(); }

Message::Message(const char* str) : Message() { *os_ << str; }

Message::~Message() = default;

Message& Message::operator<<(const wchar_t* wide_c_str) {
  return *this << internal::WideStringToUtf8(wide_c_str, -1);
}

Message& Message::operator<<(wchar_t* wide_c_str) { return *this << static_cast<const wchar_t*>(wide_c_str); }

Message& Message::operator<<(const std::wstring& wstr) {
  return *this << internal::WideStringToUtf8(wstr.c_str(), static_cast<int>(wstr.size()));
}

std::string Message::GetString() const {
  // A NUL would cut the text short wherever it is later read as a C string.
  const std::string raw = buffer_->ss.str();
  std::string text;
  text.reserve(raw.size());
  for (char c : raw) {
    if (c == '\0') {
      text += "\\0";
    } else {
      text += c;
    }
  }
  return text;
}

namespace internal {

namespace {
void AppendUtf8(std::string& out, uint32_t cp) {
  // Code points past what four bytes hold have no encoding at all.
  if (cp > 0x1FFFFF) {
    static const char hex[] = "0123456789ABCDEF";
    std::string digits;
    for (uint32_t v = cp; v != 0; v >>= 4) digits.insert(digits.begin(), hex[v & 0xF]);
    out += "(Invalid Unicode 0x" + digits + ")";
  } else if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}
}  // namespace

std::string WideStringToUtf8(const wchar_t* str, int num_chars) {
  if (str == nullptr) return "(null)";
  std::string out;
  for (int i = 0; num_chars < 0 ? str[i] != L'\0' : i < num_chars; ++i) {
    AppendUtf8(out, static_cast<uint32_t>(str[i]));
  }
  return out;
}

}  // namespace internal
}  // namespace testing
