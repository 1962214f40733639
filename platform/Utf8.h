// UTF-8 sequences one code point at a time.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace Platform {

// Decodes the sequence at s[i]: its length, or 0 when it is not valid UTF-8
// (truncated, overlong, a surrogate or above U+10FFFF).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) noexcept;
// Appends cp (at most U+10FFFF) as UTF-8.
void EncodeUtf8(char32_t cp, std::string& out);

}  // namespace Platform
