// The key-by-key INI file.
#include "platform/IniDocument.h"
#include "platform/IniFiles.h"

namespace Platform {

struct TIniFile::TState {
  TIniDocument Doc;
  TFileStamp Stamp;
  bool Loaded = false;
};

TIniFile::TIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)), F(std::make_unique<TState>()) {}
TIniFile::~TIniFile() = default;

// Every read looks at the file; it is parsed again only when it changed.
TIniDocument& TIniFile::Current() {
  TFileStamp now = StampOf(FileName());
  if (!F->Loaded || now != F->Stamp) {
    TFileContent c = ReadWholeFile(FileName());
    F->Doc = TIniDocument::Parse(c.Unreadable ? std::string() : c.Text);
    F->Stamp = c.Stamp;
    F->Loaded = true;
  }
  return F->Doc;
}

// Every change starts from the file as it is now and, when it changes the
// text, replaces the file at once.
template <class Op>
void TIniFile::Change(Op op) {
  TFileContent c = ReadWholeFile(FileName());
  if (c.Unreadable) ThrowCannotWrite(FileName(), UnreadableReason(c));
  F->Doc = TIniDocument::Parse(c.Text);
  F->Stamp = c.Stamp;
  F->Loaded = true;
  if (!op(F->Doc)) return;
  WriteFileAtomically(FileName(), F->Doc.Text());
  F->Stamp = StampOf(FileName());
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) {
  const std::string* v = Current().Find(Section, Ident);
  return v ? std::string(TrimBlanks(*v)) : Default;
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
