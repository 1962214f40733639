#include "gtest/gtest-printers.h"

#include <charconv>
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <locale>
#include <sstream>

namespace testing {

bool FLAGS_gtest_print_utf8 = true;

namespace internal {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void PrintHex(std::ostream* os, unsigned long long value) {
  char digits[17];
  int n = 0;
  do {
    digits[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (n > 0) *os << digits[--n];
}

bool IsHexDigit(unsigned long long c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// One character as it appears between quotes: C escapes, printable ASCII as
// itself, anything else as \x and its code. Returns whether it was \x.
// The quote that delimits is escaped; the other one is not.
bool PrintEscaped(unsigned long long code, char quote, std::ostream* os) {
  switch (code) {
    case 0: *os << "\\0"; return false;
    case '\\': *os << "\\\\"; return false;
    case '\a': *os << "\\a"; return false;
    case '\b': *os << "\\b"; return false;
    case '\f': *os << "\\f"; return false;
    case '\n': *os << "\\n"; return false;
    case '\r': *os << "\\r"; return false;
    case '\t': *os << "\\t"; return false;
    case '\v': *os << "\\v"; return false;
    default: break;
  }
  if (code == static_cast<unsigned char>(quote)) {
    *os << '\\' << quote;
    return false;
  }
  if (code >= 0x20 && code <= 0x7E) {
    *os << static_cast<char>(code);
    return false;
  }
  *os << "\\x";
  PrintHex(os, code);
  return true;
}

template <typename Char>
unsigned long long CodeOf(Char c) {
  return static_cast<std::make_unsigned_t<Char>>(c);
}

template <typename Char>
constexpr const char* PrefixOf() {
  if constexpr (std::is_same_v<Char, wchar_t>) return "L";
  if constexpr (std::is_same_v<Char, char8_t>) return "u8";
  if constexpr (std::is_same_v<Char, char16_t>) return "u";
  if constexpr (std::is_same_v<Char, char32_t>) return "U";
  return "";
}

// 'a' (97, 0x61): the code in decimal, and in hex unless the literal already
// shows it or it is a single digit anyway.
template <typename Char>
void PrintCharAndCode(Char c, long long decimal, std::ostream* os) {
  *os << PrefixOf<Char>() << '\'';
  const bool hex = PrintEscaped(CodeOf(c), '\'', os);
  *os << '\'';
  if (c == 0) return;
  *os << " (" << decimal;
  if (!hex && !(decimal >= 1 && decimal <= 9)) {
    *os << ", 0x";
    PrintHex(os, CodeOf(c));
  }
  *os << ')';
}

// A \x escape swallows every hex digit after it, so a digit that follows one
// starts a new literal: "\x1" "2" is two characters, "\x12" one.
template <typename Char>
bool PrintQuoted(const Char* s, size_t n, std::ostream* os) {
  const char* prefix = PrefixOf<Char>();
  *os << prefix << '"';
  bool any_hex = false;
  bool after_hex = false;
  for (size_t i = 0; i < n; ++i) {
    const unsigned long long code = CodeOf(s[i]);
    if (after_hex && IsHexDigit(code)) *os << "\" " << prefix << '"';
    after_hex = PrintEscaped(code, '"', os);
    any_hex = any_hex || after_hex;
  }
  *os << '"';
  return any_hex;
}

// Valid UTF-8 with no control character but tab, line feed and return:
// shortest forms only, no surrogates, nothing past U+10FFFF.
bool IsPrintableUtf8(const unsigned char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    const unsigned char lead = s[i];
    if (lead < 0x80) {
      if ((lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r') || lead == 0x7F) return false;
      ++i;
      continue;
    }
    size_t extra;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (n - i <= extra) return false;
    if (s[i + 1] < low || s[i + 1] > high) return false;
    for (size_t k = 2; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

void PrintNarrowString(const char* s, size_t n, std::ostream* os) {
  if (PrintQuoted(s, n, os) && FLAGS_gtest_print_utf8 && IsPrintableUtf8(reinterpret_cast<const unsigned char*>(s), n)) {
    *os << "\n    As Text: \"";
    os->write(s, static_cast<std::streamsize>(n));
    *os << '"';
  }
}

template <typename Char>
size_t LengthOf(const Char* s) {
  size_t n = 0;
  while (s[n] != Char()) ++n;
  return n;
}

// The address, then the text without its "As Text" line.
template <typename Char>
void PrintPointedText(const Char* s, std::ostream* os) {
  if (s == nullptr) {
    *os << "NULL";
  } else {
    *os << VoidifyPointer(s) << " pointing to ";
    PrintQuoted(s, LengthOf(s), os);
  }
}

template <typename Char>
void PrintTextOnly(const Char* s, std::ostream* os) {
  if (s == nullptr) {
    *os << "NULL";
  } else {
    PrintStringTo(s, LengthOf(s), os);
  }
}

// A final NUL ends the text; without one, every element is shown and the
// reader is told.
template <typename Char>
void PrintCharArray(const Char* begin, size_t len, std::ostream* os) {
  if (len > 0 && begin[len - 1] == Char()) {
    PrintQuoted(begin, len - 1, os);
  } else {
    PrintQuoted(begin, len, os);
    *os << " (no terminating NUL)";
  }
}

// Six significant digits where they give back the same value, else as many
// as it takes. Six alone would show 1.0/3 and 0.333333 alike in a message
// that says they differ.
template <typename Float>
void PrintFloat(Float value, std::ostream* os, const char* format, Float (*parse)(const char*, char**)) {
  int precision = 6;
  if (value == value && value - value == 0) {  // finite
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<long double>(value));
    if (parse(text, nullptr) != value) precision = std::numeric_limits<Float>::max_digits10;
  }
  const std::streamsize old = os->precision(precision);
  *os << value;
  os->precision(old);
}

float ParseFloat(const char* s, char** end) { return std::strtof(s, end); }
double ParseDouble(const char* s, char** end) { return std::strtod(s, end); }
long double ParseLongDouble(const char* s, char** end) { return std::strtold(s, end); }

}  // namespace

void PrintTo(unsigned char c, std::ostream* os) { PrintCharAndCode(static_cast<char>(c), c, os); }
void PrintTo(signed char c, std::ostream* os) { PrintCharAndCode(static_cast<char>(c), c, os); }
void PrintTo(wchar_t wc, std::ostream* os) { PrintCharAndCode(wc, wc, os); }

void PrintTo(char32_t c, std::ostream* os) {
  *os << "U+";
  const auto old_flags = os->flags();
  const auto old_fill = os->fill('0');
  os->width(4);
  *os << std::hex << std::uppercase << static_cast<uint32_t>(c);
  os->flags(old_flags);
  os->fill(old_fill);
}

void PrintTo(float f, std::ostream* os) { PrintFloat(f, os, "%.6Lg", ParseFloat); }
void PrintTo(double d, std::ostream* os) { PrintFloat(d, os, "%.6Lg", ParseDouble); }
void PrintTo(long double d, std::ostream* os) { PrintFloat(d, os, "%.6Lg", ParseLongDouble); }

void PrintTo(const char* s, std::ostream* os) { PrintPointedText(s, os); }
void PrintTo(const char8_t* s, std::ostream* os) { PrintPointedText(s, os); }
void PrintTo(const char16_t* s, std::ostream* os) { PrintPointedText(s, os); }
void PrintTo(const char32_t* s, std::ostream* os) { PrintPointedText(s, os); }
void PrintTo(const wchar_t* s, std::ostream* os) { PrintPointedText(s, os); }

void PrintStringTo(const char* s, size_t n, std::ostream* os) { PrintNarrowString(s, n, os); }
void PrintStringTo(const char8_t* s, size_t n, std::ostream* os) { PrintQuoted(s, n, os); }
void PrintStringTo(const char16_t* s, size_t n, std::ostream* os) { PrintQuoted(s, n, os); }
void PrintStringTo(const char32_t* s, size_t n, std::ostream* os) { PrintQuoted(s, n, os); }
void PrintStringTo(const wchar_t* s, size_t n, std::ostream* os) { PrintQuoted(s, n, os); }

void PrintTextAt(const char* s, std::ostream* os) { PrintTextOnly(s, os); }
void PrintTextAt(const char8_t* s, std::ostream* os) { PrintTextOnly(s, os); }
void PrintTextAt(const char16_t* s, std::ostream* os) { PrintTextOnly(s, os); }
void PrintTextAt(const char32_t* s, std::ostream* os) { PrintTextOnly(s, os); }
void PrintTextAt(const wchar_t* s, std::ostream* os) { PrintTextOnly(s, os); }

void UniversalPrintArray(const char* begin, size_t len, std::ostream* os) { PrintCharArray(begin, len, os); }
void UniversalPrintArray(const char8_t* begin, size_t len, std::ostream* os) { PrintCharArray(begin, len, os); }
void UniversalPrintArray(const char16_t* begin, size_t len, std::ostream* os) { PrintCharArray(begin, len, os); }
void UniversalPrintArray(const char32_t* begin, size_t len, std::ostream* os) { PrintCharArray(begin, len, os); }
void UniversalPrintArray(const wchar_t* begin, size_t len, std::ostream* os) { PrintCharArray(begin, len, os); }

// Bytes in pairs, "01-00 00-00"; a large object shows its first and last
// 64 bytes, the second run starting on a pair boundary.
void PrintBytesInObjectTo(const unsigned char* obj_bytes, size_t count, std::ostream* os) {
  constexpr size_t kThreshold = 132;
  constexpr size_t kChunkSize = 64;
  auto print_run = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (i != from) *os << (i % 2 == 0 ? ' ' : '-');
      *os << kHexDigits[obj_bytes[i] >> 4] << kHexDigits[obj_bytes[i] & 0xF];
    }
  };
  *os << count << "-byte object <";
  if (count < kThreshold) {
    print_run(0, count);
  } else {
    print_run(0, kChunkSize);
    *os << " ... ";
    print_run((count - kChunkSize + 1) / 2 * 2, count);
  }
  *os << '>';
}

std::string GetTypeNameByTypeInfo(const std::type_info& type) {
  const char* mangled = type.name();
  int status = 0;
  char* readable = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && readable != nullptr ? readable : mangled;
  std::free(readable);
  for (const char* inline_ns : {"std::__cxx11::", "std::__1::"}) {
    const size_t len = std::strlen(inline_ns);
    for (size_t at = name.find(inline_ns); at != std::string::npos; at = name.find(inline_ns, at + 5)) {
      name.replace(at, len, "std::");
    }
  }
  return name;
}

void PrintTo(const std::any& value, std::ostream* os) {
  if (value.has_value()) {
    *os << "value of type " << GetTypeNameByTypeInfo(value.type());
  } else {
    *os << "no value";
  }
}

struct StringStream::Buffer {
  std::ostringstream ss;
};

namespace {
// A stream prints with the global locale, which may group the digits.
template <class T>
std::string Decimal(T value) {
  if (std::locale() != std::locale::classic()) {
    std::ostringstream ss;
    ss << value;
    return ss.str();
  }
  char digits[24];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}
}  // namespace

std::string DecimalText(long long value) { return Decimal(value); }
std::string DecimalText(unsigned long long value) { return Decimal(value); }

StringStream::StringStream() : buffer_(std::make_unique<Buffer>()), os_(&buffer_->ss) {}
StringStream::~StringStream() = default;
std::string StringStream::str() const { return buffer_->ss.str(); }
void StringStream::Clear() { buffer_->ss.str(std::string()); }

}  // namespace internal
}  // namespace testing
