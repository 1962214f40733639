#include "business/vUtilTest.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMetaProperty>
#include <algorithm>
#include <cstdlib>

#include "business/CorvelFramework.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/UnitSteps.h"
#include "platform/qt/DBClient.h"
#include "platform/qt/FileAccess.h"
#include "platform/qt/QtText.h"

namespace vUtilTest {

using corvelbase5::TvCompareEstruturaCDS;
using QtText::ToQ;

namespace {

int gInitCount = 0;

bool FileExists(const std::string& path) { return QFileInfo::exists(ToQ(path)); }

bool StartsWith(const std::string& s, const std::string& head) { return s.compare(0, head.size(), head) == 0; }

bool IsDriveLetter(const std::string& s, size_t at) {
  return s.size() > at + 1 && s[at + 1] == ':' && ((s[at] >= 'a' && s[at] <= 'z') || (s[at] >= 'A' && s[at] <= 'Z'));
}

// Blanks and control characters off both ends (the file name hidden in a
// message framed by line breaks).
std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

// "yymmddhhnnsszzz": the moment a difference file was written.
std::string TimeStamp() {
  return QtText::FromQ(QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmsszzz")));
}

}  // namespace

// ---------------------------------------------------------------------------
// Paths

// The host owns where the site's data lives; the business units follow it.
std::string DataRoot() { return corvelbase5::PegarDirDados(); }

std::string CaminhoLocal(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  if (IsDriveLetter(p, 0)) {
    p.erase(0, 2);
    // The data folder of the site lives under DataRoot().
    if (QtText::UpperAscii(p.substr(0, 7)) == "/DADOS/") return DataRoot() + p.substr(7);
    if (QtText::UpperAscii(p) == "/DADOS") return DataRoot();
  }
  return p;
}

std::string CaminhoCenarios() {
  std::string text = corvelbase5::LerArquivo(Platform::ProgramDir() + "cenariotest.txt");
  if (text.empty()) return DataRoot() + "cenarios/";
  return CaminhoLocal(text);
}

std::string CaminhoBases() {
  const std::string file = Platform::ProgramDir() + "basetest.txt";
  std::string text = corvelbase5::LerArquivo(file);
  if (!text.empty()) {
    // Only a leading "localhost:" is the prefix: a path merely holding the
    // word (/srv/localhost/bases/) is no local form.
    if (text.starts_with("localhost:")) return CaminhoLocal(text.substr(10));
    // A database server's own form, host:/path, stays as it is; a Windows
    // share (server:d:\...) has no meaning here.
    size_t colon = text.find(':');
    if (colon != std::string::npos && colon > 0 && text.compare(colon, 2, ":/") == 0) return text;
    throw EvCaminho(Platform::Format("\"%s\" holds \"%s\": use localhost:/path/ or host:/path/", file, text));
  }
  if (FileExists(file)) return Platform::ProgramDir();
  return DataRoot();
}

std::string CaminhoRelatorios() {
  QDir dir(ToQ(Platform::ProgramDir()));
  dir.cdUp();
  std::string parent = QtText::FromQ(dir.absolutePath());
  if (parent.empty() || parent.back() != '/') parent += '/';
  return parent + corvel5::PegarVersionInfo("ProductName") + "/Relatorio/" +
         QtText::CopyChars(corvel5::PegarVersionInfo("Modulo"), 4, 4) + "/";
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path.substr(0, dot) + ext;
  return path + ext;
}

// ---------------------------------------------------------------------------
// The dialog chain. One dispatcher sits in the global hook while test cases
// live; it walks the list instead of each case calling the one before it, so
// a case can leave from any place and thousands of cases cost no stack.

namespace {

// Never destroyed: in a statically linked program the registry frees its
// test cases after this file's statics are gone, and each case unlinks
// itself then.
std::vector<TvTestCase*>& Chain() {  // oldest first
  static auto* chain = new std::vector<TvTestCase*>();
  return *chain;
}
corvel5::TAntesMostrarMessage& Previous() {
  static auto* previous = new corvel5::TAntesMostrarMessage();
  return *previous;
}

// The answer of the handler outside the chain: the dialog's answer when a
// case suppresses it.
int gLastAnswer = 0;

struct TDispatcher {
  int operator()(QWidget* form, bool& show) const {
    gLastAnswer = 0;
    // The newest case starts the walk down to the oldest and to the handler
    // installed before them.
    if (!Chain().empty()) Chain().back()->AntesMostrarMessage(form, show);
    else if (Previous()) gLastAnswer = Previous()(form, show);
    return gLastAnswer;
  }
};

bool DispatcherInstalled() { return corvel5::FOnAntesMostrarMessage.target<TDispatcher>() != nullptr; }

void Link(TvTestCase* test) {
  if (!DispatcherInstalled()) {
    Previous() = corvel5::FOnAntesMostrarMessage;
    corvel5::FOnAntesMostrarMessage = TDispatcher{};
  }
  Chain().push_back(test);
}

void Unlink(TvTestCase* test) {
  auto it = std::find(Chain().begin(), Chain().end(), test);
  if (it != Chain().end()) Chain().erase(it);
  if (Chain().empty()) {
    // Only our own dispatcher is taken out: a hook someone installed over
    // it stays.
    if (!corvel5::FOnAntesMostrarMessage || DispatcherInstalled()) corvel5::FOnAntesMostrarMessage = Previous();
    Previous() = nullptr;
  }
}

}  // namespace

int ChainLength() { return static_cast<int>(Chain().size()); }

void ReinstallChain() {
  if (Chain().empty() || corvel5::FOnAntesMostrarMessage) return;
  Previous() = nullptr;
  corvel5::FOnAntesMostrarMessage = TDispatcher{};
}

// ---------------------------------------------------------------------------
// TvTestCase

TvTestCase::TvTestCase(std::string MethodName, int64_t RunCount) : TvTestCaseMini(std::move(MethodName), RunCount) {
  Link(this);
}

TvTestCase::~TvTestCase() { Unlink(this); }

void TvTestCase::SetUp() {
  TvTestCaseMini::SetUp();
  FMsgDlgMensagem.clear();
  ReinstallChain();
}

void TvTestCase::AntesMostrarMessage(QWidget* form, bool& show) {
  // This case and every older one in turn, then the handler from before
  // them; the show flag is settled on the way back, oldest first.
  auto self = std::find(Chain().begin(), Chain().end(), this);
  std::vector<TvTestCase*> links;
  if (self == Chain().end()) {
    links.push_back(this);
  } else {
    links.assign(Chain().begin(), self + 1);
    std::reverse(links.begin(), links.end());
  }
  const std::string text = corvelbase5::GetFormText(form);
  const bool isMessage = form && form->objectName() == QStringLiteral("vMessageForm");
  for (TvTestCase* t : links)
    if (isMessage) corvel5::Add(t->FMsgDlgMensagem, text, "\r\n");
  // A copy: the handler may replace the hook while it runs.
  if (corvel5::TAntesMostrarMessage previous = Previous()) gLastAnswer = previous(form, show);
  for (auto it = links.rbegin(); it != links.rend(); ++it)
    if (show) show = !(*it)->FMsgDlgDesligar;
}

std::string TvTestCase::CaminhaTestDados() { return CaminhoCenarios(); }

// -- Scenarios

namespace {
template <class T>
std::string Difference(const T& expected, const T& actual) {
  return corvelbaseutil5::CompararCenarios(expected, actual);
}

template <class T>
std::string ScenarioText(const T& actual) {
  return corvelbaseutil5::PegarCenarioStr(actual);
}

// A difference file's name in the temporary folder is predictable: the file
// is made new, never written through a link or into a file left there.
void WriteNewFile(const std::string& path, const std::string& bytes) {
  try {
    FileAccess::WriteNewFile(path, bytes);
  } catch (const FileAccess::EFileError& e) {
    throw corvel5::EvErro(std::string("Cannot write the difference file ") + e.what());
  }
}
}  // namespace

template <class T>
static void CheckScenario(TvTestCase& test, const T* expected, const T* actual, std::string_view msg,
                          TSourceLine loc, bool& checkCalled) {
  checkCalled = true;
  std::string diff;
  if (!expected || !actual) {
    diff = !expected ? "Esperado é nil" : "Gerado é nil";
  } else {
    diff = Difference(*expected, *actual);
    if (diff.empty()) return;
    corvelbase5::GravarArquivo(ScenarioText(*actual), "");
  }
  std::string m(msg);
  if (!m.empty()) m += ", ";
  test.Fail(m + diff, loc);
}

void TvTestCase::CheckEquals(const corvelbaseutil5::TvCampoValorBase* expected,
                             const corvelbaseutil5::TvCampoValorBase* actual, std::string_view msg, TSourceLine loc) {
  using namespace corvelbaseutil5;
  // The base type has no comparison of its own: the most derived one decides.
  if (auto* e = dynamic_cast<const TvListListCampoValor*>(expected))
    return CheckEquals(e, dynamic_cast<const TvListListCampoValor*>(actual), msg, loc);
  if (auto* e = dynamic_cast<const TvListCampoValor*>(expected))
    return CheckEquals(e, dynamic_cast<const TvListCampoValor*>(actual), msg, loc);
  if (auto* e = dynamic_cast<const TvCampoValor*>(expected))
    return CheckEquals(e, dynamic_cast<const TvCampoValor*>(actual), msg, loc);
  FRun->CheckCalled = true;
  if (!expected && !actual) return;
  std::string m(msg);
  if (!m.empty()) m += ", ";
  Fail(m + std::string(sNotImplemented) + "scenarios of different kinds", loc);
}

void TvTestCase::CheckEquals(const corvelbaseutil5::TvCampoValor* expected,
                             const corvelbaseutil5::TvCampoValor* actual, std::string_view msg, TSourceLine loc) {
  CheckScenario(*this, expected, actual, msg, loc, FRun->CheckCalled);
}

void TvTestCase::CheckEquals(const corvelbaseutil5::TvListCampoValor* expected,
                             const corvelbaseutil5::TvListCampoValor* actual, std::string_view msg, TSourceLine loc) {
  CheckScenario(*this, expected, actual, msg, loc, FRun->CheckCalled);
}

void TvTestCase::CheckEquals(const corvelbaseutil5::TvListListCampoValor* expected,
                             const corvelbaseutil5::TvListListCampoValor* actual, std::string_view msg,
                             TSourceLine loc) {
  CheckScenario(*this, expected, actual, msg, loc, FRun->CheckCalled);
}

// -- Client datasets

void TvTestCase::WriteDifference(const DBClient::TClientDataSet* dataSet, int slot, bool OutXml, std::string& notes) {
  if (!dataSet || dataSet->RecordCount() == 0) return;
  const std::string kind = corvelbase5::NomeCompareEstruturaCDS(static_cast<TvCompareEstruturaCDS>(slot));
  corvel5::Add(notes, kind + ": " + std::to_string(dataSet->RecordCount()), "\r\n");
  const std::string name =
      corvel5::PegarDirTemp() + ClassType().Name + "." + GetName() + " " + kind + " " + TimeStamp();
  if (OutXml) {
    std::string xml = dataSet->XMLData();
    std::string out;
    out.reserve(xml.size() + xml.size() / 8);
    for (char c : xml) {
      out += c;
      if (c == '>') out += "\r\n";
    }
    WriteNewFile(name + ".xml", out);
  } else {
    WriteNewFile(name + ".cds", dataSet->BinaryData());
  }
}

void TvTestCase::CheckEquals(std::unique_ptr<DBClient::TClientDataSet> Expected,
                             std::unique_ptr<DBClient::TClientDataSet> Actual, std::string_view msg, bool OutXml,
                             TSourceLine loc) {
  const std::string file = Trim(msg);
  FRun->CheckCalled = true;
  std::string m(msg);
  if (!m.empty()) m += ", ";
  corvelbase5::TvArrayCDS cds;
  cds[0] = std::move(Actual);
  cds[1] = std::move(Expected);
  std::string notes;
  if (!cds[1]) corvel5::Add(notes, "Esperado é nil", "\r\n");
  if (!cds[0]) corvel5::Add(notes, "Gerado é nil", "\r\n");
  if (!cds[0] || !cds[1]) {
    WriteDifference(cds[0].get(), 0, OutXml, notes);
    // Only a path names a file: a plain message never becomes one.
    if (cds[0] && StartsWith(file, "/") && !FileExists(file)) {
      try {
        if (!Platform::ForceDirectories(Platform::ExtractFilePath(file)))
          throw std::runtime_error("cannot create the folder \"" + Platform::ExtractFilePath(file) + "\"");
        cds[0]->SaveToFile(file);
        corvel5::Add(notes, "arquivo vcecAtual não existia e foi copiado", "\r\n");
      } catch (const std::exception& e) {
        corvel5::Add(notes, "arquivo vcecAtual não existe e deu erro ao copiar", "\r\n");
        corvel5::Add(notes, "para: " + file, "\r\n");
        corvel5::Add(notes, e.what(), "\r\n");
      }
    }
    Fail(m + notes, loc);
  }
  if (cds[0]->RecordCount() != cds[1]->RecordCount())
    corvel5::Add(notes,
                 "RecordCount Esperado: " + std::to_string(cds[1]->RecordCount()) +
                     " RecordCount Gerado :" + std::to_string(cds[0]->RecordCount()),
                 "\r\n");
  if (corvelbase5::CompareCDS(cds)) {
    for (int slot : {0, 2, 3, 4, 5}) WriteDifference(cds[slot].get(), slot, OutXml, notes);
    Fail(m + " Diferente " + notes, loc);
  }
  for (auto& slot : cds) corvelbase5::DestruirSQL(slot);
}

std::string TvTestCase::ArquivoTestDados() {
  return ChangeFileExt(CaminhaTestDados(), "." + QtText::CopyChars(GetName(), 5, 1 << 30) + ".cds");
}

void TvTestCase::TestDados(const std::string& ASQL, TSourceLine loc) {
  const std::string file = ArquivoTestDados();
  auto expected = corvelbase5::LerXMLToCDS(file);
  if (!corvelbase5::vDMConexao)
    throw TestFramework::Exception("TestDados: there is no connection (vDMConexao) to run the query in");
  auto actual = corvelbase5::vDMConexao->ExecuteQueryView(ASQL);
  CheckEquals(std::move(expected), std::move(actual), "\r\n" + file + "\r\n", false, loc);
}

void TvTestCase::TestDados(const corvelbaseutil5::TvCampoValor* AFiltro, TSourceLine loc) {
  TestDados(corvelbaseutil5::CriarSQL(QtText::CopyChars(GetName(), 5, 1 << 30), AFiltro), loc);
}

// ---------------------------------------------------------------------------
// TvGUITestCase

namespace {
// The control's own enabled flag: a child of a disabled form is still
// "enabled" in its own right, as the GUI checks read it.
bool OwnEnabled(QWidget* c) { return !c->testAttribute(Qt::WA_ForceDisabled); }

std::string NameOf(QWidget* c) { return QtText::FromQ(c->objectName()); }

[[noreturn]] void NoControl() { throw GUITesting::EAssertionFailed(GUITesting::sNoControl); }
}  // namespace

void TvGUITestCase::CheckDisabled(QWidget* Control, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  if (!Control) NoControl();
  if (OwnEnabled(Control)) Fail(Platform::Format(sExpectedDisabled, NameOf(Control)), Addrs);
}

void TvGUITestCase::CheckDisabled(const std::string& ControlName, TSourceLine Addrs) {
  CheckDisabled(FindControl(ControlName, Addrs), Addrs);
}

void TvGUITestCase::CheckEnabled(QWidget* Control, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckEnabled(Control, Addrs);
}
void TvGUITestCase::CheckEnabled(const std::string& ControlName, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckEnabled(ControlName, Addrs);
}
void TvGUITestCase::CheckFocused(QWidget* Control, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckFocused(Control, Addrs);
}
void TvGUITestCase::CheckFocused(const std::string& ControlName, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckFocused(ControlName, Addrs);
}
void TvGUITestCase::CheckTabTo(QWidget* Control, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckTabTo(Control, Addrs);
}
void TvGUITestCase::CheckTabTo(const std::string& ControlName, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckTabTo(ControlName, Addrs);
}
void TvGUITestCase::CheckVisible(QWidget* Control, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckVisible(Control, Addrs);
}
void TvGUITestCase::CheckVisible(const std::string& ControlName, TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckVisible(ControlName, Addrs);
}
void TvGUITestCase::CheckVisible(TSourceLine Addrs) {
  FRun->CheckCalled = true;
  TGUITestCase::CheckVisible(Addrs);
}

namespace {
int FindProperty(const QMetaObject* meta, const std::string& name) {
  int i = meta->indexOfProperty(name.c_str());
  if (i >= 0) return i;
  const std::string upper = QtText::UpperAscii(name);
  for (int p = 0; p < meta->propertyCount(); ++p)
    if (QtText::UpperAscii(meta->property(p).name()) == upper) return p;
  return -1;
}

[[noreturn]] void NotConvertible(const QVariant& v, const char* to, const std::string& message) {
  throw TestFramework::Exception(message + ": the expected value \"" + QtText::FromQ(v.toString()) +
                                 "\" is not " + to);
}
}  // namespace

void TvGUITestCase::CheckProperty(QWidget* Control, const std::string& AProperty, const QVariant& expected,
                                  TSourceLine Addrs) {
  if (!Control) NoControl();
  const std::string message = Platform::Format(sControlProperty, NameOf(Control), AProperty);
  const QMetaObject* meta = Control->metaObject();
  int index = FindProperty(meta, AProperty);
  if (index < 0) {
    FRun->CheckCalled = true;
    Fail(std::string(sNoSuchProperty) + message, Addrs);
  }
  QMetaProperty prop = meta->property(index);
  QVariant value = prop.read(Control);
  const int type = prop.metaType().id();
  const bool isEnum = prop.isEnumType() && !prop.isFlagType();
  switch (isEnum ? QMetaType::Int : type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool: {
      const int64_t ordinal = value.toLongLong();
      if (expected.typeId() == QMetaType::Bool) {
        TTestCase::CheckEquals(expected.toBool(), ordinal != 0, message, Addrs);
      } else {
        bool ok = false;
        const int64_t want = expected.toLongLong(&ok);
        if (!ok) NotConvertible(expected, "an integer", message);
        TTestCase::CheckEquals(want, ordinal, message, Addrs);
      }
      return;
    }
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::QChar:
    case QMetaType::QByteArray:
    case QMetaType::QString:
      // Every text property of a Qt control is a QString: checked as text.
      TTestCase::CheckEquals(QtText::FromQ(expected.toString()), QtText::FromQ(value.toString()), message, Addrs);
      return;
    case QMetaType::Double:
    case QMetaType::Float: {
      bool ok = false;
      const double want = expected.toDouble(&ok);
      if (!ok) NotConvertible(expected, "a number", message);
      TTestCase::CheckEquals(want, value.toDouble(), message, Addrs);
      return;
    }
    default:
      FRun->CheckCalled = true;
      Fail(std::string(sNotImplemented) + message, Addrs);
  }
}

void TvGUITestCase::CheckProperty(const std::string& ControlName, const std::string& AProperty,
                                  const QVariant& expected, TSourceLine Addrs) {
  CheckProperty(FindControl(ControlName, Addrs), AProperty, expected, Addrs);
}

// ---------------------------------------------------------------------------
// Unit

void InitializeUnit() {
  if (gInitCount++ > 0) return;
  Platform::NoteUnitStep("vUtilTest", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount == 0 || --gInitCount > 0) return;
  Platform::NoteUnitStep("vUtilTest", Platform::kUnitStop);
}

}  // namespace vUtilTest
