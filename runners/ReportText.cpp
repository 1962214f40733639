#include "runners/ReportText.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "framework/TestFramework.h"
#include "framework/TesselConsts.h"
#include "platform/Format.h"
#include "platform/LocaleSettings.h"
#include "platform/Paths.h"

namespace ReportText {

using Platform::Format;
using TestFramework::EInOutError;

std::string StringReplaceAll(std::string_view text, std::string_view search, std::string_view replacement) {
  if (search.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (size_t hit; (hit = text.find(search, pos)) != std::string_view::npos; pos = hit + search.size()) {
    out.append(text.substr(pos, hit - pos));
    out.append(replacement);
  }
  out.append(text.substr(pos));
  return out;
}

namespace {

constexpr char kReplacementChar[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsContinuation(unsigned char c) noexcept { return (c & 0xC0) == 0x80; }

bool IsXmlChar(uint32_t cp) noexcept {
  if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
  return cp != 0xFFFE && cp != 0xFFFF;  // surrogates never decode from valid UTF-8
}

// Length of the valid UTF-8 sequence at s[i] and its code point; 0 when the
// bytes there are not valid, with `bad` set to the length of the maximal
// invalid part (so that one U+FFFD stands for it).
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& cp, size_t& bad) noexcept {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;  // no overlong forms
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    bad = 1;
    return 0;
  }
  for (size_t k = 1; k < len; ++k) {
    if (i + k >= s.size()) {
      bad = k;
      return 0;
    }
    unsigned char b = static_cast<unsigned char>(s[i + k]);
    bool ok = k == 1 ? (b >= lo && b <= hi) : IsContinuation(b);
    if (!ok) {
      bad = k;
      return 0;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  return len;
}

enum TEscapes { escNone, escText, escAttribute };

// True for the printable ASCII characters that escapes leaves as they are.
bool IsPlain(unsigned char c, TEscapes escapes) noexcept {
  if (c < 0x20 || c >= 0x80) return false;
  if (escapes == escNone) return true;
  if (c == '&' || c == '<' || c == '>') return false;
  return escapes != escAttribute || (c != '\'' && c != '"');
}

// XmlSafe and, as asked, the references of the markup characters, in one
// pass, appended to out. Runs of plain characters are copied at once: names
// and messages are mostly nothing else.
void AppendEscaped(std::string& out, std::string_view text, TEscapes escapes) {
  size_t i = 0;
  while (i < text.size()) {
    size_t run = i;
    while (run < text.size() && IsPlain(static_cast<unsigned char>(text[run]), escapes)) ++run;
    if (run > i) {
      out.append(text.data() + i, run - i);
      i = run;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80) {
      const char* ref = nullptr;
      if (escapes != escNone) {
        if (c == '&') ref = "&amp;";
        else if (c == '<') ref = "&lt;";
        else if (c == '>') ref = "&gt;";
        else if (escapes == escAttribute && c == '\'') ref = "&#39;";
        else if (escapes == escAttribute && c == '"') ref = "&quot;";
      }
      if (ref)
        out += ref;
      else
        out += static_cast<char>(c);
      ++i;
      continue;
    }
    uint32_t cp = 0;
    size_t bad = 0;
    size_t len = DecodeUtf8(text, i, cp, bad);
    if (len == 0) {
      out += kReplacementChar;
      i += bad;
    } else {
      if (IsXmlChar(cp))
        out.append(text.substr(i, len));
      else
        out += ' ';
      i += len;
    }
  }
}

std::string Escape(std::string_view text, TEscapes escapes) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  AppendEscaped(out, text, escapes);
  return out;
}

}  // namespace

std::string XmlSafe(std::string_view text) { return Escape(text, escNone); }
std::string XmlText(std::string_view text) { return Escape(text, escText); }
std::string XmlAttr(std::string_view text) { return Escape(text, escAttribute); }
void AppendXmlText(std::string& out, std::string_view text) { AppendEscaped(out, text, escText); }
void AppendXmlAttr(std::string& out, std::string_view text) { AppendEscaped(out, text, escAttribute); }

std::string FixedPoint(double value, int decimals) {
  std::string s;
  AppendFixedPoint(s, value, decimals);
  return s;
}

void AppendFixedPoint(std::string& out, double value, int decimals) {
  char buf[400];
  // to_chars ignores the C locale, so "." it is.
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals < 0 ? 0 : decimals);
  if (r.ec != std::errc()) out += '0';
  else out.append(buf, r.ptr);
}

std::string LocaleFixedPoint(double value, int decimals) {
  std::string s = FixedPoint(value, decimals);
  char sep = Platform::FormatSettings().DecimalSeparator;
  for (char& c : s)
    if (c == '.') c = sep;
  return s;
}

namespace {

void AppendNumber(std::string& out, int value, size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}

// The letters of the locale's date and time patterns: d, m, yy/yyyy, h, n,
// s, z; "/" and ":" stand for the locale's separators; text in quotes is copied.
std::string FormatDateTime(std::string_view pattern, Platform::TDateTime value) {
  const Platform::TFormatSettings& fs = Platform::FormatSettings();
  Platform::TDecodedTime t = Platform::DecodeDateTime(value);
  std::string out;
  size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    char lc = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t run = 1;
    while (i + run < pattern.size() && (pattern[i + run] == c)) ++run;
    switch (lc) {
      case 'd': AppendNumber(out, t.Day, run >= 2 ? 2 : 1); break;
      case 'm': AppendNumber(out, t.Month, run >= 2 ? 2 : 1); break;
      case 'y':
        if (run <= 2)
          AppendNumber(out, t.Year % 100, 2);
        else
          AppendNumber(out, t.Year, 4);
        break;
      case 'h': AppendNumber(out, t.Hour, run >= 2 ? 2 : 1); break;
      case 'n': AppendNumber(out, t.Minute, run >= 2 ? 2 : 1); break;
      case 's': AppendNumber(out, t.Second, run >= 2 ? 2 : 1); break;
      case 'z': AppendNumber(out, t.MilliSecond, run >= 3 ? 3 : 1); break;
      case '/': out.append(run, fs.DateSeparator); break;
      case ':': out.append(run, fs.TimeSeparator); break;
      case '"':
      case '\'': {
        size_t end = pattern.find(c, i + 1);
        if (end == std::string_view::npos) end = pattern.size();
        out.append(pattern.substr(i + 1, end - i - 1));
        run = end - i + 1;
        break;
      }
      default: out.append(run, c);
    }
    i += run;
  }
  return out;
}

}  // namespace

std::string DateToStr(Platform::TDateTime value) {
  return FormatDateTime(Platform::FormatSettings().ShortDateFormat, value);
}

std::string TimeToStr(Platform::TDateTime value) {
  return FormatDateTime(Platform::FormatSettings().LongTimeFormat, value);
}

std::string DateTimeToStr(Platform::TDateTime value) { return DateToStr(value) + " " + TimeToStr(value); }

std::string ProgramFileName() {
  static const std::string name = Platform::ExtractFileName(Platform::ProgramPath());
  return name;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void ConsoleWrite(std::string_view text) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
    throw EInOutError(Format(TesselConsts::sXmlConsoleWriteFailed, std::strerror(errno)));
}

namespace {
bool gConsoleBuffered = false;
}  // namespace

void SetConsoleBuffered(bool on) noexcept { gConsoleBuffered = on; }
bool ConsoleBuffered() noexcept { return gConsoleBuffered; }

void ConsoleFlush() {
  if (gConsoleBuffered) return;
  if (std::fflush(stdout) != 0) throw EInOutError(Format(TesselConsts::sXmlConsoleWriteFailed, std::strerror(errno)));
}

namespace {
void MakeReportDir(const std::string& fileName) {
  if (fileName.empty()) throw EInOutError(TesselConsts::sXmlEmptyReportPath);
  std::string dir = Platform::ExtractFilePath(fileName);
  errno = 0;
  if (!dir.empty() && !Platform::ForceDirectories(dir))  // fails without errno where a file is in the way
    throw EInOutError(Format(TesselConsts::sXmlCannotCreateDir, dir, fileName, std::strerror(errno ? errno : ENOTDIR)));
}
}  // namespace

namespace {

struct TOpenReport {
  std::FILE* File;
  int64_t FlushedAt;  // ms, steady
};

// The unfinished reports of this process, for FlushOpenReports.
std::vector<TOpenReport>& OpenReports() {
  static auto* reports = new std::vector<TOpenReport>();  // outlives exit
  return *reports;
}

constexpr int64_t kFlushEveryMs = 100;

int64_t NowMs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void Forget(std::FILE* f) noexcept {
  std::erase_if(OpenReports(), [f](const TOpenReport& r) { return r.File == f; });
}

}  // namespace

std::FILE* CreateUnfinishedReport(const std::string& fileName, std::string& unfinishedName) {
  // Found now, not by the rename at the end of the run.
  struct stat target {};
  if (::stat(fileName.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
    throw EInOutError(Format(TesselConsts::sXmlCannotCreateFile, fileName, std::strerror(EISDIR)));
  MakeReportDir(fileName);
  std::string name = fileName + ".unfinished";
  // What a killed run left, or a link someone planted: gone, not followed.
  struct stat st {};
  if (::lstat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(name.c_str());
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) throw EInOutError(Format(TesselConsts::sXmlCannotCreateFile, fileName, std::strerror(errno)));
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    int err = errno;
    ::close(fd);
    ::unlink(name.c_str());
    throw EInOutError(Format(TesselConsts::sXmlCannotCreateFile, fileName, std::strerror(err)));
  }
  // Written in large pieces: the file is flushed on a clock, not per line.
  std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
  unfinishedName = name;
  OpenReports().push_back({f, NowMs()});
  return f;
}

void CommitReportFile(std::FILE* f, const std::string& unfinishedName, const std::string& fileName) {
  Forget(f);
  if (std::fclose(f) != 0) {
    int err = errno;
    throw EInOutError(Format(TesselConsts::sXmlCannotWriteFile, fileName, std::strerror(err)));
  }
  if (std::rename(unfinishedName.c_str(), fileName.c_str()) != 0) {
    int err = errno;
    throw EInOutError(Format(TesselConsts::sXmlCannotWriteFile, fileName, std::strerror(err)));
  }
}

void AbandonReportFile(std::FILE* f) noexcept {
  if (!f) return;
  Forget(f);
  std::fclose(f);
}

void DiscardReportFile(std::FILE* f, const std::string& unfinishedName) noexcept {
  if (f) {
    Forget(f);
    std::fclose(f);
  }
  if (!unfinishedName.empty()) ::unlink(unfinishedName.c_str());
}

void FlushReportIfDue(std::FILE* f, const std::string& fileName) {
  if (!f || !__fpending(f)) return;
  const int64_t now = NowMs();
  for (TOpenReport& r : OpenReports()) {
    if (r.File != f) continue;
    if (now - r.FlushedAt < kFlushEveryMs) return;
    r.FlushedAt = now;
    break;
  }
  if (std::fflush(f) != 0) throw EInOutError(Format(TesselConsts::sXmlCannotWriteFile, fileName, std::strerror(errno)));
}

int FlushOpenReports() noexcept {
  const int64_t now = NowMs();
  int64_t next = -1;
  for (TOpenReport& r : OpenReports()) {
    if (!__fpending(r.File)) continue;
    const int64_t due = r.FlushedAt + kFlushEveryMs;
    if (now >= due) {
      std::fflush(r.File);
      r.FlushedAt = now;
      continue;
    }
    if (next < 0 || due - now < next) next = due - now;
  }
  return static_cast<int>(next);
}

void FileWrite(std::FILE* f, std::string_view text, const std::string& fileName) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), f) != text.size())
    throw EInOutError(Format(TesselConsts::sXmlCannotWriteFile, fileName, std::strerror(errno)));
}


}  // namespace ReportText
