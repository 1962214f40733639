// The key-by-key INI file.
#include "platform/IniDocument.h"
#include "platform/IniFiles.h"

namespace Platform {

struct TIniFile::TState {
  TIniDocument Doc;
  TFileStamp Stamp;
  bool Loaded = false;
  bool Unreadable = false;  // then the empty text in Doc stands for nothing
  std::string Error;        // why, as a reason for refusing to write

  void Load(const std::string& path) {
    TFileContent c = ReadWholeFile(path);
    Doc = TIniDocument::Parse(c.Unreadable ? std::string() : c.Text);
    Stamp = c.Stamp;
    Unreadable = c.Unreadable;
    Loaded = true;
    Error = Unreadable ? UnreadableReason(c) : std::string();
  }
};

TIniFile::TIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)), F(std::make_unique<TState>()) {}
TIniFile::~TIniFile() = default;

// Every read looks at the file; it is parsed again only when it changed.
TIniDocument& TIniFile::Current() {
  if (!F->Loaded || StampOf(FileName()) != F->Stamp) F->Load(FileName());
  return F->Doc;
}

// Every change starts from the file as it is now (read again when it changed
// since it was last seen) and, when it changes the text, replaces the file
// at once. Such writes are many and small, so they skip the flush to disk;
// the rename still makes each one all or nothing.
template <class Op>
void TIniFile::Change(Op op) {
  if (!F->Loaded || F->Unreadable || StampOf(FileName()) != F->Stamp) F->Load(FileName());
  if (F->Unreadable) ThrowCannotWrite(FileName(), F->Error);
  if (!op(F->Doc)) return;
  WriteFileAtomically(FileName(), F->Doc.Text(), false);
  F->Stamp = StampOf(FileName());
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) {
  const std::string* v = Current().Find(Section, Ident);
  return v ? std::string(TrimBlanks(*v)) : Default;
}

std::string TIniFile::Unwritable(const std::string& Section, const std::string& Ident, const std::string& Value) {
  return TIniDocument::Unwritable(Section, Ident, Value);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  std::string why = TIniDocument::Unwritable(Section, Ident, Value);
  if (!why.empty())
    ThrowCannotWrite(FileName(), why);
  Change([&](TIniDocument& d) { return d.Write(Section, Ident, Value); });
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  Change([&](TIniDocument& d) { return d.Delete(Section, Ident); });
}

void TIniFile::EraseSection(const std::string& Section) {
  Change([&](TIniDocument& d) { return d.Erase(Section); });
}

std::vector<std::string> TIniFile::ReadSection(const std::string& Section) { return Current().Keys(Section); }
std::vector<std::string> TIniFile::ReadSections() { return Current().Sections(); }
bool TIniFile::SectionExists(const std::string& Section) { return Current().HasSection(Section); }
bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
  return Current().Find(Section, Ident) != nullptr;
}

}  // namespace Platform
