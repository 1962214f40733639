// Text helpers shared by the two XML report runners: text that any XML
// reader accepts, numbers that do not depend on the locale, date-time texts
// in the locale's formats, and the checked console and file writes.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/Clocks.h"

namespace ReportText {

// Replaces every occurrence of search, scanning once from left to right;
// replaced text is never scanned again, so the call always ends (also when
// the replacement contains search). An empty search leaves text unchanged.
std::string StringReplaceAll(std::string_view text, std::string_view search, std::string_view replacement);

// Text that XML 1.0 can carry: every byte that is not part of valid UTF-8
// becomes U+FFFD, every character XML does not allow (controls other than
// tab, line feed and carriage return; U+FFFE, U+FFFF) becomes a blank.
std::string XmlSafe(std::string_view text);
// Element content: XmlSafe, then "&", "<" and ">" as references.
std::string XmlText(std::string_view text);
// Attribute value (in double quotes): XmlText, then "'" and '"' as references.
std::string XmlAttr(std::string_view text);
// XmlText and XmlAttr appended to out (no temporary for each name).
void AppendXmlText(std::string& out, std::string_view text);
void AppendXmlAttr(std::string& out, std::string_view text);

// value with the given decimals and always "." as the separator: what the
// readers of the reports expect whatever the locale.
std::string FixedPoint(double value, int decimals);
void AppendFixedPoint(std::string& out, double value, int decimals);
// The same with the locale's decimal separator, for people.
std::string LocaleFixedPoint(double value, int decimals);

// Date-times in the locale's short date and long time formats.
std::string DateToStr(Platform::TDateTime value);
std::string TimeToStr(Platform::TDateTime value);
std::string DateTimeToStr(Platform::TDateTime value);

// File name of the running program (with extension, no directory).
std::string ProgramFileName();
// Equal without regard to ASCII case.
bool SameText(std::string_view a, std::string_view b) noexcept;

// Writes to standard output; a failed write raises EInOutError.
void ConsoleWrite(std::string_view text);
void ConsoleFlush();

// While buffered, the runners' console lines wait in stdout's buffer rather
// than go out one write at a time (ConsoleFlush does nothing), and whoever
// turned it on flushes stdout where order or a person watching needs it.
// The supervisor of a run does: it writes the console for processes that
// run the tests, and flushes before it copies a test's own output and
// before it waits for them. A write that failed then fails a listener's
// next write, with the same EInOutError.
void SetConsoleBuffered(bool on) noexcept;
bool ConsoleBuffered() noexcept;

// The report that will replace fileName, written beside it while the run
// goes on: fileName + ".unfinished", a name a person finds after a run that
// was killed. Creates the directory part of fileName with its missing
// parents, then the file itself, new (one of that name left by a killed
// run, or a link planted there, is removed first and never followed).
// CommitReportFile closes it and renames it over fileName (a link at
// fileName is replaced, not followed), so that fileName always holds a
// whole report, the previous one until the new one is complete.
// AbandonReportFile closes it and leaves it for a person to read;
// DiscardReportFile closes and removes it. All raise EInOutError naming
// fileName; an empty fileName is an error too.
std::FILE* CreateUnfinishedReport(const std::string& fileName, std::string& unfinishedName);
void CommitReportFile(std::FILE* f, const std::string& unfinishedName, const std::string& fileName);
void AbandonReportFile(std::FILE* f) noexcept;
void DiscardReportFile(std::FILE* f, const std::string& unfinishedName) noexcept;
// Writes out what an unfinished report holds when its last flush is 100 ms
// or more ago: a killed run leaves its records without a write per test.
void FlushReportIfDue(std::FILE* f, const std::string& fileName);
// The same for every unfinished report of this process, for a process that
// is about to wait; the milliseconds until one will be due, or -1 when none
// holds anything. Failures are left for the report's next write to raise.
int FlushOpenReports() noexcept;
// Writes all of text; raises EInOutError naming fileName when that fails.
void FileWrite(std::FILE* f, std::string_view text, const std::string& fileName);

}  // namespace ReportText
