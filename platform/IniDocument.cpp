#include "platform/IniDocument.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/IniFiles.h"
#include "platform/Utf8.h"

namespace Platform {

namespace {

// Lower-case mapping of the whole Unicode range where the C library has it;
// ASCII only otherwise.
locale_t FoldingLocale() {
  static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

int64_t Nanoseconds(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

TFileStamp StampFromStat(const struct stat& st) {
  TFileStamp s;
  s.Exists = true;
  s.Dev = st.st_dev;
  s.Ino = st.st_ino;
  s.Size = st.st_size;
  s.MTimeNs = Nanoseconds(st.st_mtim);
  s.CTimeNs = Nanoseconds(st.st_ctim);
  return s;
}

constexpr char kIsADirectory[] = "it is a directory";

std::string ErrnoText(int err) { return std::strerror(err); }

bool IsBlankRaw(std::string_view r) {
  if (!r.empty() && r.back() == '\r') r.remove_suffix(1);
  return r.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::string FoldName(std::string_view name) {
  name = TrimBlanks(name);
  std::string out;
  out.reserve(name.size());
  locale_t loc = FoldingLocale();
  for (size_t i = 0; i < name.size();) {
    char32_t cp = 0;
    size_t len = DecodeUtf8(name, i, cp);
    if (len == 0) {  // not UTF-8: compare the byte as it is
      out += name[i++];
      continue;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp + 32 : cp);
    } else if (loc) {
      EncodeUtf8(static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), loc)), out);
    } else {
      out.append(name.substr(i, len));
    }
    i += len;
  }
  return out;
}

// ---------------------------------------------------------------------------
// TIniDocument

TIniDocument TIniDocument::Parse(std::string_view text) {
  TIniDocument d;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    d.FBom = true;
    text.remove_prefix(3);
  }
  size_t firstLf = text.find('\n');
  d.FCrLf = firstLf != std::string_view::npos && firstLf > 0 && text[firstLf - 1] == '\r';
  d.FSections.emplace_back();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string_view raw = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view line = raw;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view t = TrimBlanks(line);
    if (!t.empty() && t.front() == '[') {
      TSection s;
      s.Header = std::string(raw);
      size_t close = t.rfind(']');
      // Without its closing bracket the line names nothing; the keys under
      // it stay unreadable rather than landing in the section before.
      if (close != std::string_view::npos && close > 0) {
        s.Name = std::string(TrimBlanks(t.substr(1, close - 1)));
        s.Folded = FoldName(s.Name);
        s.Valid = true;
      }
      d.FSections.push_back(std::move(s));
      continue;
    }
    TLine l;
    l.Raw = std::string(raw);
    if (!t.empty() && t.front() != ';' && t.front() != '#') {
      size_t eq = line.find('=');
      if (eq != std::string_view::npos) {
        std::string_view k = TrimBlanks(line.substr(0, eq));
        if (!k.empty()) {
          l.IsKey = true;
          l.Key = std::string(k);
          l.Folded = FoldName(k);
          l.Value = std::string(line.substr(eq + 1));
        }
      }
    }
    d.FSections.back().Lines.push_back(std::move(l));
  }
  return d;
}

std::string TIniDocument::Text() const {
  std::string out;
  if (FBom) out = "\xEF\xBB\xBF";
  for (size_t i = 0; i < FSections.size(); ++i) {
    if (i > 0) out.append(FSections[i].Header).append("\n");
    for (const TLine& l : FSections[i].Lines) out.append(l.Raw).append("\n");
  }
  return out;
}

TIniDocument::TLine TIniDocument::MakeKeyLine(std::string_view key, std::string_view value) const {
  TLine l;
  l.IsKey = true;
  l.Key = std::string(TrimBlanks(key));
  l.Folded = FoldName(key);
  l.Value = std::string(value);
  l.Raw = l.Key + "=" + l.Value + LineEnd();
  return l;
}

const std::string* TIniDocument::Find(std::string_view section, std::string_view key) const {
  const std::string fs = FoldName(section), fk = FoldName(key);
  for (const TSection& s : FSections) {
    if (!s.Valid || s.Folded != fs) continue;
    for (const TLine& l : s.Lines)
      if (l.IsKey && l.Folded == fk) return &l.Value;
  }
  return nullptr;
}

bool TIniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  const std::string fs = FoldName(section), fk = FoldName(key);
  TSection* first = nullptr;
  for (TSection& s : FSections) {
    if (!s.Valid || s.Folded != fs) continue;
    if (!first) first = &s;
    for (TLine& l : s.Lines) {
      if (!l.IsKey || l.Folded != fk) continue;
      if (l.Value == value) return false;
      l.Value = std::string(value);
      l.Raw = l.Key + "=" + l.Value + LineEnd();  // the key keeps its spelling
      return true;
    }
  }
  if (first) {
    // After the section's last key, so comments further down stay where they are.
    size_t at = 0;
    for (size_t i = 0; i < first->Lines.size(); ++i)
      if (first->Lines[i].IsKey) at = i + 1;
    first->Lines.insert(first->Lines.begin() + static_cast<std::ptrdiff_t>(at), MakeKeyLine(key, value));
    return true;
  }
  TSection& last = FSections.back();
  // A blank line between the last section and the new one, unless the text is empty.
  bool separated = last.Lines.empty() ? FSections.size() == 1 : IsBlankRaw(last.Lines.back().Raw);
  if (!separated) {
    TLine blank;
    blank.Raw = LineEnd();
    last.Lines.push_back(std::move(blank));
  }
  TSection s;
  s.Name = std::string(TrimBlanks(section));
  s.Folded = fs;
  s.Header = "[" + s.Name + "]" + LineEnd();
  s.Valid = true;
  s.Lines.push_back(MakeKeyLine(key, value));
  FSections.push_back(std::move(s));
  return true;
}

bool TIniDocument::Delete(std::string_view section, std::string_view key) {
  const std::string fs = FoldName(section), fk = FoldName(key);
  bool changed = false;
  for (size_t i = FSections.size(); i-- > 1;) {
    TSection& s = FSections[i];
    if (!s.Valid || s.Folded != fs) continue;
    auto gone = std::remove_if(s.Lines.begin(), s.Lines.end(),
                               [&](const TLine& l) { return l.IsKey && l.Folded == fk; });
    if (gone == s.Lines.end()) continue;
    s.Lines.erase(gone, s.Lines.end());
    changed = true;
    // A section emptied of its keys, with nothing else of anyone's in it, goes too.
    bool empty = std::all_of(s.Lines.begin(), s.Lines.end(), [](const TLine& l) { return IsBlankRaw(l.Raw); });
    if (empty) FSections.erase(FSections.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return changed;
}

bool TIniDocument::Erase(std::string_view section) {
  const std::string fs = FoldName(section);
  auto gone = std::remove_if(FSections.begin() + 1, FSections.end(),
                             [&](const TSection& s) { return s.Valid && s.Folded == fs; });
  if (gone == FSections.end()) return false;
  FSections.erase(gone, FSections.end());
  return true;
}

std::vector<std::string> TIniDocument::Keys(std::string_view section) const {
  const std::string fs = FoldName(section);
  std::vector<std::string> keys, folded;
  for (const TSection& s : FSections) {
    if (!s.Valid || s.Folded != fs) continue;
    for (const TLine& l : s.Lines)
      if (l.IsKey && std::find(folded.begin(), folded.end(), l.Folded) == folded.end()) {
        folded.push_back(l.Folded);
        keys.push_back(l.Key);
      }
  }
  return keys;
}

std::vector<std::string> TIniDocument::Sections() const {
  std::vector<std::string> names, folded;
  for (const TSection& s : FSections)
    if (s.Valid && std::find(folded.begin(), folded.end(), s.Folded) == folded.end()) {
      folded.push_back(s.Folded);
      names.push_back(s.Name);
    }
  return names;
}

bool TIniDocument::HasSection(std::string_view section) const {
  const std::string fs = FoldName(section);
  return std::any_of(FSections.begin(), FSections.end(),
                     [&](const TSection& s) { return s.Valid && s.Folded == fs; });
}

std::string TIniDocument::Unwritable(std::string_view section, std::string_view key, std::string_view value) {
  auto hasBreak = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
  if (hasBreak(section)) return "the section name contains a line break";
  std::string_view k = TrimBlanks(key);
  if (k.empty()) return "the key name is empty";
  if (hasBreak(k) || k.find('=') != std::string_view::npos || k.front() == '[' || k.front() == ';' ||
      k.front() == '#')
    return "the key name \"" + std::string(key) + "\" would not read back as written";
  if (hasBreak(value)) return "the value of key \"" + std::string(key) + "\" contains a line break";
  return {};
}

// ---------------------------------------------------------------------------
// Files

TFileStamp StampOf(const std::string& path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return {};
  return StampFromStat(st);
}

TFileContent ReadWholeFile(const std::string& path) {
  TFileContent c;
  // Non-blocking so that a FIFO in the file's place cannot hang the reader.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int err = errno;
    if (err == ENOENT || err == ENOTDIR) return c;  // no file: defaults
    c.Stamp = StampOf(path);
    c.Stamp.Exists = true;
    c.Unreadable = true;
    c.Error = ErrnoText(err);
    return c;
  }
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    c.Error = S_ISDIR(st.st_mode) ? kIsADirectory : "it is not a regular file";
    c.Stamp = StampFromStat(st);
    c.Unreadable = true;
    close(fd);
    return c;
  }
  c.Stamp = StampFromStat(st);
  if (st.st_size > 0) c.Text.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      c.Text.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      c.Error = ErrnoText(errno);
      c.Unreadable = true;
      c.Text.clear();
      break;
    }
  }
  close(fd);
  return c;
}

void ThrowCannotWrite(const std::string& path, const std::string& reason) {
  throw EIniFileError(path, "Cannot write the configuration file \"" + path + "\": " + reason);
}

std::string UnreadableReason(const TFileContent& c) {
  if (c.Error == kIsADirectory) return c.Error;
  return "it cannot be read (" + c.Error + "), and rewriting it would lose what it holds";
}

void WriteFileAtomically(const std::string& path, const std::string& content, bool durable) {
  if (path.empty()) ThrowCannotWrite(path, "no file name given");
  std::string target = path;
  struct stat lst{};
  if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  size_t slash = target.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.size() > 100) base.resize(100);

  static std::atomic<unsigned> counter{0};
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    tmp = dir + "/." + base + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt > 100))
      ThrowCannotWrite(path, "cannot create a temporary file in \"" + dir + "\": " + ErrnoText(errno));
  }
  auto fail = [&](const std::string& what, int err) {
    if (fd >= 0) close(fd);
    unlink(tmp.c_str());
    ThrowCannotWrite(path, what + ErrnoText(err));
  };
  struct stat st{};
  if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("", errno);
    }
    done += static_cast<size_t>(n);
  }
  if (durable && fsync(fd) != 0 && errno != EINVAL) fail("", errno);
  int closed = close(fd);
  fd = -1;
  if (closed != 0) fail("", errno);
  if (rename(tmp.c_str(), target.c_str()) != 0) fail("", errno);
}

}  // namespace Platform
