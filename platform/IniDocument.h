// Internal to the configuration stores: the parsed text of an INI file, name
// folding, and reading and atomically replacing files.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Case-folded form of a name (UTF-8, simple lower-case mapping) after the
// blanks around it are removed; names that compare equal fold equal.
std::string FoldName(std::string_view name);
// Without leading and trailing spaces and tabs.
std::string_view TrimBlanks(std::string_view s);

// An INI text, line by line. Lines it does not understand (comments, garbage,
// a key without "=", a section line without its closing bracket and the
// lines under it) are kept as they are and written back unchanged.
class TIniDocument {
 public:
  static TIniDocument Parse(std::string_view text);
  std::string Text() const;

  // Raw value (everything after the first "=") of the first such key in the
  // first section of that name holding it; null when absent.
  const std::string* Find(std::string_view section, std::string_view key) const;
  // Each returns whether the text changed.
  bool Write(std::string_view section, std::string_view key, std::string_view value);
  bool Delete(std::string_view section, std::string_view key);  // every occurrence
  bool Erase(std::string_view section);                          // every section of that name
  std::vector<std::string> Keys(std::string_view section) const;
  std::vector<std::string> Sections() const;
  bool HasSection(std::string_view section) const;

  // Why a section, key or value cannot be written to an INI text (a line
  // break, or a key name that would read back as something else); empty
  // when it can.
  static std::string Unwritable(std::string_view section, std::string_view key, std::string_view value);

 private:
  struct TLine {
    std::string Raw;     // as in the file, without the line feed
    std::string Key;     // keys only: the name as written, trimmed
    std::string Folded;  // keys only
    std::string Value;   // keys only: everything after the first "="
    bool IsKey = false;
  };
  struct TSection {
    std::string Header;  // the section line; empty for the lines before the first section
    std::string Name;
    std::string Folded;
    bool Valid = false;  // a named section that lookups see
    std::vector<TLine> Lines;
  };
  TLine MakeKeyLine(std::string_view key, std::string_view value) const;
  std::string LineEnd() const { return FCrLf ? "\r" : ""; }

  std::vector<TSection> FSections;  // [0] holds the lines before the first section
  bool FCrLf = false;
  bool FBom = false;
};

// What a file held when it was read, and how to tell whether it changed.
struct TFileStamp {
  bool Exists = false;
  dev_t Dev = 0;
  ino_t Ino = 0;
  off_t Size = 0;
  int64_t MTimeNs = 0;
  int64_t CTimeNs = 0;
  bool operator==(const TFileStamp&) const = default;
};

TFileStamp StampOf(const std::string& path);

struct TFileContent {
  std::string Text;
  TFileStamp Stamp;
  // The path exists but could not be read (a directory, no permission):
  // readers get defaults, and writers must not replace what they never saw.
  bool Unreadable = false;
  std::string Error;
};

TFileContent ReadWholeFile(const std::string& path);

// Raises EIniFileError: "Cannot write the configuration file "path": reason".
[[noreturn]] void ThrowCannotWrite(const std::string& path, const std::string& reason);
// The reason to give when a file that could not be read is to be rewritten.
std::string UnreadableReason(const TFileContent& c);

// Replaces path with content through a temporary file beside it and a rename,
// so that readers see the old or the new file, never a part. A symbolic link
// is followed and its target replaced. With durable the content is flushed to
// disk before the rename. Raises EIniFileError naming path.
void WriteFileAtomically(const std::string& path, const std::string& content, bool durable);

}  // namespace Platform
