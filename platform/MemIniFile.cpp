// The whole-file memory INI and its trimmed variant.
#include "platform/IniDocument.h"
#include "platform/IniFiles.h"

namespace Platform {

namespace {

struct TIniChange {
  enum TKind { ckWrite, ckDelete, ckErase } Kind;
  std::string Section, Key, Value;
};

bool Apply(TIniDocument& d, const TIniChange& c) {
  switch (c.Kind) {
    case TIniChange::ckWrite:
      return d.Write(c.Section, c.Key, c.Value);
    case TIniChange::ckDelete:
      return d.Delete(c.Section, c.Key);
    case TIniChange::ckErase:
      return d.Erase(c.Section);
  }
  return false;
}

}  // namespace

struct TMemIniFile::TState {
  TIniDocument Doc;
  TFileStamp Stamp;
  bool Unreadable = false;
  bool Modified = false;
  // Every change since the last write, so that they can be laid again over
  // a file that someone else rewrote meanwhile.
  std::vector<TIniChange> Changes;

  void Record(TIniChange c) {
    Modified |= Apply(Doc, c);
    Changes.push_back(std::move(c));
  }
};

TMemIniFile::TMemIniFile(std::string fileName)
    : TCustomIniFile(std::move(fileName)), F(std::make_unique<TState>()) {
  TFileContent c = ReadWholeFile(FileName());
  F->Doc = TIniDocument::Parse(c.Unreadable ? std::string() : c.Text);
  F->Stamp = c.Stamp;
  F->Unreadable = c.Unreadable;
}

TMemIniFile::~TMemIniFile() = default;

std::string TMemIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) {
  const std::string* v = F->Doc.Find(Section, Ident);
  return v ? *v : Default;
}

std::string TMemIniFile::Unwritable(const std::string& Section, const std::string& Ident, const std::string& Value) {
  return TIniDocument::Unwritable(Section, Ident, Value);
}

void TMemIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  std::string why = TIniDocument::Unwritable(Section, Ident, Value);
  if (!why.empty())
    ThrowCannotWrite(FileName(), why);
  F->Record({TIniChange::ckWrite, Section, Ident, Value});
}

void TMemIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  F->Record({TIniChange::ckDelete, Section, Ident, {}});
}

void TMemIniFile::EraseSection(const std::string& Section) { F->Record({TIniChange::ckErase, Section, {}, {}}); }

std::vector<std::string> TMemIniFile::ReadSection(const std::string& Section) { return F->Doc.Keys(Section); }
std::vector<std::string> TMemIniFile::ReadSections() { return F->Doc.Sections(); }
bool TMemIniFile::SectionExists(const std::string& Section) { return F->Doc.HasSection(Section); }
bool TMemIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
  return F->Doc.Find(Section, Ident) != nullptr;
}

bool TMemIniFile::Modified() const noexcept { return F->Modified; }

void TMemIniFile::UpdateFile() {
  if (F->Changes.empty()) return;
  if (F->Unreadable || StampOf(FileName()) != F->Stamp) {
    TFileContent c = ReadWholeFile(FileName());
    if (c.Unreadable) ThrowCannotWrite(FileName(), UnreadableReason(c));
    TIniDocument fresh = TIniDocument::Parse(c.Text);
    bool changed = false;
    for (const TIniChange& ch : F->Changes) changed |= Apply(fresh, ch);
    F->Doc = std::move(fresh);
    F->Modified = changed;
    F->Unreadable = false;
  }
  if (F->Modified) WriteFileAtomically(FileName(), F->Doc.Text(), true);
  F->Stamp = StampOf(FileName());
  F->Changes.clear();
  F->Modified = false;
}

std::string TMemIniFileTrimmed::ReadString(const std::string& Section, const std::string& Ident,
                                           const std::string& Default) {
  std::string s = TMemIniFile::ReadString(Section, Ident, Default);
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace Platform
