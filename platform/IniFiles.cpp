#include "platform/IniFiles.h"

#include <cctype>
#include <cstdlib>

namespace Platform {

bool TryStrToInt(const std::string& text, int32_t& value) noexcept {
  size_t i = 0, n = text.size();
  bool neg = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
  int base = 10;
  if (i < n && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t acc = 0;
  for (; i < n; ++i) {
    int c = static_cast<unsigned char>(text[i]);
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && std::isxdigit(c)) d = std::tolower(c) - 'a' + 10;
    else return false;
    acc = acc * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (acc > 0xFFFFFFFFull) return false;
  }
  if (base == 16 && !neg) {  // hexadecimal may spell the full 32-bit pattern
    value = static_cast<int32_t>(static_cast<uint32_t>(acc));
    return true;
  }
  if (neg ? acc > 0x80000000ull : acc > 0x7FFFFFFFull) return false;
  value = neg ? static_cast<int32_t>(-static_cast<int64_t>(acc)) : static_cast<int32_t>(acc);
  return true;
}

int32_t TCustomIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) {
  int32_t v;
  return TryStrToInt(ReadString(Section, Ident, std::string()), v) ? v : Default;
}

void TCustomIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value) {
  WriteString(Section, Ident, std::to_string(Value));
}

bool TCustomIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

bool TCustomIniFile::SectionExists(const std::string& Section) { return !ReadSection(Section).empty(); }

std::string TCustomIniFile::Unwritable(const std::string&, const std::string& Ident, const std::string&) {
  for (char c : Ident)
    if (c != ' ' && c != '\t') return {};
  return "the key name is empty";
}

bool TCustomIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
  for (const std::string& k : ReadSection(Section)) {
    if (k.size() != Ident.size()) continue;
    bool same = true;
    for (size_t i = 0; i < k.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(k[i])) == std::tolower(static_cast<unsigned char>(Ident[i]));
    if (same) return true;
  }
  return false;
}

}  // namespace Platform
