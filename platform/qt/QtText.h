// Text at the boundary between Tessel's UTF-8 std::string and Qt's QString.
//
// std::string stays the source of truth everywhere; convert only where a
// widget or a SQL driver needs a QString. Character counts and positions
// are in code points, so a cut never splits a UTF-8 sequence.
#pragma once

#include <QString>
#include <string>

namespace QtText {

inline QString ToQ(const std::string& s) { return QString::fromStdString(s); }
inline std::string FromQ(const QString& s) { return s.toStdString(); }

// Number of code points in UTF-8 text (an invalid byte counts as one).
std::size_t CharCount(const std::string& text);

// `count` code points of `text` from the 1-based code point `start`, clamped
// like the classic Copy: a start past the end or a count below 1 gives "".
std::string CopyChars(const std::string& text, long start, long count);

// ASCII-only upper-casing: exact on UTF-8 as it stands, bytes above 0x7F kept.
std::string UpperAscii(std::string text);

}  // namespace QtText
