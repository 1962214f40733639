// The per-user registry store: keys are directories under RootDir(), the
// values of a key live in the file ".values" inside its directory, one
// "name=value" line each.
//
// Directory names are the key names with '%', '/', '\', '~', control bytes
// and a leading '.' written as %XX, so that no key can be called ".values"
// or escape its parent. A name too long for the file system is cut, marked
// with '~' and a hash, and kept whole in the file ".name" beside the values.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "platform/IniDocument.h"
#include "platform/IniFiles.h"

namespace Platform {

namespace {

namespace fs = std::filesystem;

constexpr char kValuesFile[] = ".values";
constexpr char kNameFile[] = ".name";
constexpr size_t kMaxDirName = 200;

char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

std::string Escape(std::string_view s, std::string_view special, bool escapeLeadingDot) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F || special.find(static_cast<char>(c)) != std::string_view::npos ||
        (escapeLeadingDot && i == 0 && c == '.')) {
      out += '%';
      out += HexDigit(c >> 4);
      out += HexDigit(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    int hi, lo;
    if (s[i] == '%' && i + 2 < s.size() && (hi = HexValue(s[i + 1])) >= 0 && (lo = HexValue(s[i + 2])) >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

uint64_t Fnv1a(std::string_view s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

// The directory name of a key called name; the second member tells whether
// it had to be shortened.
std::pair<std::string, bool> DirNameOf(std::string_view name) {
  std::string e = Escape(name, "%/\\~", true);
  if (e.size() <= kMaxDirName) return {e, false};
  size_t cut = kMaxDirName - 20;
  if (e[cut - 1] == '%') {  // never split a %XX
    cut -= 1;
  } else if (e[cut - 2] == '%') {
    cut -= 2;
  }
  while (cut > 0 && (static_cast<unsigned char>(e[cut]) & 0xC0) == 0x80) --cut;  // nor a UTF-8 sequence
  e.resize(cut);
  e += '~';
  uint64_t h = Fnv1a(FoldName(name));
  for (int shift = 60; shift >= 0; shift -= 4) e += HexDigit(static_cast<unsigned>(h >> shift));
  return {e, true};
}

std::string NameOfDir(const std::string& dir, const std::string& entry) {
  if (entry.find('~') != std::string::npos) {
    TFileContent c = ReadWholeFile(dir + "/" + entry + "/" + kNameFile);
    if (!c.Unreadable && !c.Text.empty()) return c.Text;
  }
  return Unescape(entry);
}

using TValues = std::vector<std::pair<std::string, std::string>>;

TValues ParseValues(const std::string& text) {
  TValues values;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;  // not ours: ignored
    values.emplace_back(Unescape(line.substr(0, eq)), Unescape(line.substr(eq + 1)));
  }
  return values;
}

std::string ValuesText(const TValues& values) {
  std::string out;
  for (const auto& [name, value] : values)
    out.append(Escape(name, "%=", false)).append("=").append(Escape(value, "%", false)).append("\n");
  return out;
}

}  // namespace

struct TRegistryIniFile::TState {
  std::string Root;
  std::vector<std::string> Components;  // of the key path
  std::string KeyDir;                   // resolved, or where it would be
  bool KeyResolved = false;
  bool KeyExists = false;
  // Subkeys of the opened key, by folded name, scanned once per change of
  // the key's directory.
  std::map<std::string, std::pair<std::string, std::string>> Subkeys;  // folded -> (name, dir)
  std::vector<std::string> SubkeyOrder;                                // folded, in listing order
  TFileStamp SubkeysStamp;
  bool SubkeysScanned = false;
  // Values per directory, re-read when the file changes.
  std::map<std::string, std::pair<TFileStamp, TValues>> Values;

  [[noreturn]] void Fail(const std::string& keyPath, const std::string& what, int err) const {
    throw EIniFileError(keyPath,
                        "Cannot write the registry key \"" + keyPath + "\" (" + what + "): " + std::strerror(err));
  }

  // The child of dir called name: an existing directory whose name folds the
  // same, else the path it would get.
  static std::string Child(const std::string& dir, const std::string& name, bool& exists) {
    const std::string folded = FoldName(name);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      std::string entry = it->path().filename().string();
      if (entry.empty() || entry[0] == '.' || !it->is_directory(ec)) continue;
      if (FoldName(NameOfDir(dir, entry)) == folded) {
        exists = true;
        return dir + "/" + entry;
      }
    }
    exists = false;
    return dir + "/" + DirNameOf(name).first;
  }

  void MakeDir(const std::string& keyPath, const std::string& dir, const std::string& name) const {
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) Fail(keyPath, dir, errno);
    if (DirNameOf(name).second) WriteFileAtomically(dir + "/" + kNameFile, name, false);
  }

  const std::string& ResolveKey(const std::string& keyPath, bool create) {
    if (KeyResolved && (KeyExists || !create)) return KeyDir;
    if (create) {
      std::error_code ec;
      fs::create_directories(Root, ec);
      if (!fs::is_directory(Root))
        throw EIniFileError(keyPath, "Cannot write the registry key \"" + keyPath + "\" (" + Root +
                                         "): " + (ec ? ec.message() : std::string("not a directory")));
    }
    std::string dir = Root;
    bool exists = true;
    for (const std::string& c : Components) {
      bool childExists = false;
      std::string child = exists ? Child(dir, c, childExists) : dir + "/" + DirNameOf(c).first;
      if (!childExists && create) {
        MakeDir(keyPath, child, c);
        childExists = true;
      }
      exists = childExists;
      dir = child;
    }
    struct stat st{};
    KeyDir = dir;
    KeyExists = stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    KeyResolved = true;
    SubkeysScanned = false;
    return KeyDir;
  }

  void ScanSubkeys() {
    TFileStamp now = StampOf(KeyDir);
    if (SubkeysScanned && now == SubkeysStamp) return;
    Subkeys.clear();
    SubkeyOrder.clear();
    std::error_code ec;
    std::vector<std::string> entries;
    for (fs::directory_iterator it(KeyDir, ec), end; !ec && it != end; it.increment(ec)) {
      std::string entry = it->path().filename().string();
      if (!entry.empty() && entry[0] != '.' && it->is_directory(ec)) entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
      std::string name = NameOfDir(KeyDir, entry);
      std::string folded = FoldName(name);
      if (Subkeys.emplace(folded, std::make_pair(name, KeyDir + "/" + entry)).second) SubkeyOrder.push_back(folded);
    }
    SubkeysStamp = now;
    SubkeysScanned = true;
  }

  // Directory of a section: the key itself for "", else a subkey; empty when
  // it does not exist and create is false.
  std::string SectionDir(const std::string& keyPath, const std::string& section, bool create) {
    ResolveKey(keyPath, create);
    if (!KeyExists) return {};
    if (section.empty()) return KeyDir;
    ScanSubkeys();
    auto it = Subkeys.find(FoldName(section));
    if (it != Subkeys.end()) return it->second.second;
    if (!create) return {};
    std::string dir = KeyDir + "/" + DirNameOf(section).first;
    MakeDir(keyPath, dir, section);
    SubkeysScanned = false;
    return dir;
  }

  const TValues& ValuesOf(const std::string& dir) {
    static const TValues none;
    if (dir.empty()) return none;
    const std::string file = dir + "/" + kValuesFile;
    TFileStamp now = StampOf(file);
    auto it = Values.find(dir);
    if (it != Values.end() && it->second.first == now) return it->second.second;
    TFileContent c = ReadWholeFile(file);
    auto& slot = Values[dir];
    slot.first = c.Stamp;
    slot.second = c.Unreadable ? TValues{} : ParseValues(c.Text);
    return slot.second;
  }

  // Applies op to the values of dir as they are on disk now and writes them
  // back when they changed; an emptied subkey directory is removed.
  template <class Op>
  void ChangeValues(const std::string& keyPath, const std::string& dir, bool isSubkey, Op op) {
    const std::string file = dir + "/" + kValuesFile;
    TFileContent c = ReadWholeFile(file);
    if (c.Unreadable) ThrowCannotWrite(file, UnreadableReason(c));
    TValues values = ParseValues(c.Text);
    if (!op(values)) return;
    Values.erase(dir);
    if (!values.empty()) {
      WriteFileAtomically(file, ValuesText(values), false);
      return;
    }
    if (unlink(file.c_str()) != 0 && errno != ENOENT) Fail(keyPath, file, errno);
    if (!isSubkey) return;
    std::error_code ec;
    bool onlyName = true;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      if (it->path().filename() != kNameFile) onlyName = false;
    if (!ec && onlyName) {
      unlink((dir + "/" + kNameFile).c_str());
      rmdir(dir.c_str());
      SubkeysScanned = false;
    }
  }
};

TRegistryIniFile::TRegistryIniFile(std::string keyPath)
    : TCustomIniFile(std::move(keyPath)), F(std::make_unique<TState>()) {
  F->Root = RootDir();
  const std::string& path = FileName();
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find_first_of("/\\", pos);
    if (end == std::string::npos) end = path.size();
    if (end > pos) F->Components.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
}

TRegistryIniFile::~TRegistryIniFile() = default;

std::string TRegistryIniFile::RootDir() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home && home[0]) {
      base = home;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
      base = pw->pw_dir;
    }
    base += "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/tessel-registry";
}

std::string TRegistryIniFile::KeyDir() { return F->ResolveKey(FileName(), false); }

std::string TRegistryIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                         const std::string& Default) {
  const std::string folded = FoldName(Ident);
  for (const auto& [name, value] : F->ValuesOf(F->SectionDir(FileName(), Section, false)))
    if (FoldName(name) == folded) return value;
  return Default;
}

void TRegistryIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  if (TrimBlanks(Ident).empty())
    throw EIniFileError(FileName(), "Cannot write the registry key \"" + FileName() + "\": the value name is empty");
  std::string dir = F->SectionDir(FileName(), Section, true);
  const std::string folded = FoldName(Ident);
  F->ChangeValues(FileName(), dir, !Section.empty(), [&](TValues& values) {
    for (auto& [name, value] : values)
      if (FoldName(name) == folded) {
        if (value == Value) return false;
        value = Value;
        return true;
      }
    values.emplace_back(Ident, Value);
    return true;
  });
}

void TRegistryIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  std::string dir = F->SectionDir(FileName(), Section, false);
  if (dir.empty()) return;
  const std::string folded = FoldName(Ident);
  F->ChangeValues(FileName(), dir, !Section.empty(), [&](TValues& values) {
    auto gone =
        std::remove_if(values.begin(), values.end(), [&](const auto& v) { return FoldName(v.first) == folded; });
    if (gone == values.end()) return false;
    values.erase(gone, values.end());
    return true;
  });
}

void TRegistryIniFile::EraseSection(const std::string& Section) {
  std::string dir = F->SectionDir(FileName(), Section, false);
  if (dir.empty()) return;
  if (Section.empty()) {
    F->ChangeValues(FileName(), dir, false, [](TValues& values) {
      bool any = !values.empty();
      values.clear();
      return any;
    });
    return;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  F->Values.clear();
  F->SubkeysScanned = false;
  if (ec)
    throw EIniFileError(FileName(), "Cannot erase the registry key \"" + FileName() + "\\" + Section + "\" (" + dir +
                                        "): " + ec.message());
}

std::vector<std::string> TRegistryIniFile::ReadSection(const std::string& Section) {
  std::vector<std::string> names;
  for (const auto& nv : F->ValuesOf(F->SectionDir(FileName(), Section, false))) names.push_back(nv.first);
  return names;
}

std::vector<std::string> TRegistryIniFile::ReadSections() {
  F->ResolveKey(FileName(), false);
  std::vector<std::string> names;
  if (!F->KeyExists) return names;
  F->ScanSubkeys();
  for (const std::string& folded : F->SubkeyOrder) names.push_back(F->Subkeys[folded].first);
  return names;
}

bool TRegistryIniFile::SectionExists(const std::string& Section) {
  return !F->SectionDir(FileName(), Section, false).empty();
}

bool TRegistryIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
  const std::string folded = FoldName(Ident);
  for (const auto& nv : F->ValuesOf(F->SectionDir(FileName(), Section, false)))
    if (FoldName(nv.first) == folded) return true;
  return false;
}

}  // namespace Platform
