// vUtilTeste, first half: the registry pass-through, the dialog script and
// the captured texts, data-module helpers, and scenario data written to the
// database and deleted again.
#include "business/vUtilTeste.h"

#include <QMessageBox>
#include <QString>

#include "business/CorvelFramework.h"
#include "platform/UnitSteps.h"
#include "platform/qt/QtText.h"

namespace vUtilTeste {

using corvel5::EvErro;
using corvelbase5::TvDMClientDataSet;

namespace {
int gInitCount = 0;
const char* const kCrLf = "\r\n";

// A plain exception carrying a message (what the framework raises for "an
// exception whose message is ...").
class EvUtilTeste : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
}  // namespace

TvTestSuite* FSuiteGlobal = nullptr;
TvTestSuiteReport* FSuiteReportGlobal = nullptr;
TvTestSuitePowerParam* FSuitePowerParamGlobal = nullptr;
std::string& FvDialogMsgResult = *new std::string;
std::string& FvDialogMsgText = *new std::string;

// ---------------------------------------------------------------------------
// Registry

ITestSuitePtr TestSuite(const std::string& AName, const TTestArray& Tests) {
  return TestFramework::TestSuite(AName, Tests);
}
void RegisterTest(const std::string& SuitePath, ITestPtr test) { TestFramework::RegisterTest(SuitePath, std::move(test)); }
void RegisterTest(ITestPtr test) { TestFramework::RegisterTest(std::move(test)); }
void RegisterTests(const std::string& SuitePath, const TTestArray& Tests) { TestFramework::RegisterTests(SuitePath, Tests); }
void RegisterTests(const TTestArray& Tests) { TestFramework::RegisterTests(Tests); }
ITestSuitePtr RegisteredTests() { return TestFramework::RegisteredTests(); }
void ClearRegistry() { TestFramework::ClearRegistry(); }
std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::vector<ITestListenerPtr>& listeners) {
  return TestFramework::RunTest(std::move(suite), listeners);
}

// ---------------------------------------------------------------------------
// Dialog script

namespace {
// The modal results of a message dialog's buttons.
const std::pair<QMessageBox::StandardButton, int> kResults[] = {
    {QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}, {QMessageBox::Abort, 3}, {QMessageBox::Retry, 4},
    {QMessageBox::Ignore, 5}, {QMessageBox::Yes, 6}, {QMessageBox::No, 7}};

bool Offers(const QMessageBox& box, int answer) {
  for (const auto& [button, result] : kResults)
    if (result == answer && (box.standardButtons() & button)) return true;
  return false;
}

std::string Offered(const QMessageBox& box) {
  std::string out;
  for (const auto& [button, result] : kResults)
    if (box.standardButtons() & button) corvel5::Add(out, std::to_string(result), ", ");
  return out;
}

// The node below the suite that is running now (the test whose code raised
// the dialog), or the suite itself during its own set-up. A node runs
// between its set-up, which zeroes its stop time and sets its start time,
// and its tear-down, which sets the stop time; of two such siblings (one
// left over from a run cut short) the later start is the one running.
TestFramework::ITest* RunningNode(TestFramework::ITest* suite) {
  TestFramework::ITest* node = suite;
  for (;;) {
    TestFramework::ITest* running = nullptr;
    for (const ITestPtr& child : node->Tests())
      if (child->GetStartTime() != 0 && child->GetStopTime() == 0 &&
          (!running || child->GetStartTime() > running->GetStartTime()))
        running = child.get();
    if (!running) return node;
    node = running;
  }
}

// Adds a line to the node's status record (and so to its result's listeners).
void StatusOf(TestFramework::ITest* node, const std::string& line) {
  using TestFramework::TAbstractTestOf;
  if (auto* t = dynamic_cast<TAbstractTestOf<TestFramework::ITest>*>(node)) t->Status(line);
  else if (auto* s = dynamic_cast<TAbstractTestOf<TestFramework::ITestSuite>*>(node)) s->Status(line);
  else if (auto* d = dynamic_cast<TAbstractTestOf<TestFramework::ITestDecorator>*>(node)) d->Status(line);
}

// A dialog's text on one line: each line break becomes a blank.
std::string OneLine(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    out += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
    if (crlf) ++i;
  }
  return out;
}
}  // namespace

TvTestSuite::~TvTestSuite() {
  // Freed while running (a run that was cut short): the handler must not
  // outlive the suite it calls.
  if (FSuiteGlobal == this) {
    FSuiteGlobal = nullptr;
    corvel5::FOnAntesMostrarMessage = std::move(FSavedHandler);
  }
}

const TestFramework::TClass& TvTestSuite::ClassInfo() noexcept {
  static const TestFramework::TClass info("TvTestSuite", "vUtilTeste", &TestFramework::TTestSuite::ClassInfo());
  return info;
}

std::string TvTestSuite::GetMensagemResult() { return {}; }
std::string TvTestSuite::GetMensagem() { return {}; }

void TvTestSuite::SetUp() {
  TestFramework::TTestSuite::SetUp();
  FSuiteGlobal = this;
  // The handler in place (vUtilTest's dispatcher, say) is kept and put back
  // by TearDown: clearing it would leave later dialogs unanswered.
  FSavedHandler = corvel5::FOnAntesMostrarMessage;
  corvel5::FOnAntesMostrarMessage = [this](QWidget* form, bool& show) { return AntesMostrarMessage(form, show); };
  FvDialogMsgResult = GetMensagemResult();
}

void TvTestSuite::TearDown() {
  TestFramework::TTestSuite::TearDown();
  FSuiteGlobal = nullptr;
  corvel5::FOnAntesMostrarMessage = std::move(FSavedHandler);
  FSavedHandler = nullptr;
  FvDialogMsgResult.clear();
  FvDialogMsgText.clear();
}

int TvTestSuite::AntesMostrarMessage(QWidget* form, bool& show) {
  std::string item = corvel5::PegarProximoToken(FvDialogMsgResult, ";");
  QString trimmed = QtText::ToQ(item).trimmed();
  int answer = 0;
  if (!trimmed.isEmpty()) {
    bool ok = false;
    answer = trimmed.toInt(&ok);
    if (!ok) throw EvErro("'" + item + "' is not a valid integer value (dialog answer script of the suite)");
  }
  if (form && form->objectName() == QStringLiteral("vMessageForm")) {
    corvel5::Add(FvDialogMsgText, corvelbase5::GetFormText(form), kCrLf);
    // Returned as written all the same: existing scripts answer 6 to dialogs
    // that only have OK, and the code under test reads the number it gets.
    // The test's record says so, for the person who reads it.
    if (auto* box = qobject_cast<QMessageBox*>(form); box && answer != 0 && !Offers(*box, answer))
      StatusOf(RunningNode(this), "The dialog \"" + OneLine(corvelbase5::GetFormText(form)) + "\" offers no answer " +
                                      std::to_string(answer) + " (it offers " + Offered(*box) +
                                      "); the script's answer was returned as written");
  }
  show = false;
  return answer;
}

std::string TvTestCase::GetMensagemResult() { return FSuiteGlobal ? FSuiteGlobal->GetMensagemResult() : std::string(); }
std::string TvTestCase::GetMensagem() { return FSuiteGlobal ? FSuiteGlobal->GetMensagem() : std::string(); }
void TvTestCase::TestMensagem(Loc loc) { CheckEqualsString(GetMensagem(), FvDialogMsgText, {}, loc); }

const TestFramework::TClass& TvTestSetup::ClassInfo() noexcept {
  static const TestFramework::TClass info("TvTestSetup", "vUtilTeste", &TestExtensions::TTestSetup::ClassInfo());
  return info;
}

// ---------------------------------------------------------------------------
// Data modules

QObject* CriarDM(const std::string& name) {
  corvelbase5::TvAction action;  // lives for the call only: the module keeps no reference to it
  action.SetControlaDireito(false);
  return corvelbase5::CriarDM(name, &action, "");
}

TvDMClientDataSet* CriarDMInt(const std::string& name) {
  QObject* made = corvelbase5::CriarDM(name, nullptr, "");
  auto* dm = dynamic_cast<TvDMClientDataSet*>(made);
  if (!dm) {
    delete made;
    throw EvErro("CriarDMInt: \"" + name + "\" is not a client-dataset module (TvDMClientDataSet)");
  }
  try {
    dm->Abrir();
    dm->CDS().Last();
  } catch (...) {
    delete dm;
    throw;
  }
  return dm;
}

// ---------------------------------------------------------------------------
// Writing scenario data

namespace {

std::string ValueOf(const TvCampoValor& valor, const std::string& field) {
  const DBClient::TValue* v = valor.Find(field);
  if (!v || std::holds_alternative<std::monostate>(*v)) return {};
  DBClient::TClientDataSet probe;  // the value's text as the dataset layer writes it
  probe.AddField("v", DBClient::TFieldType::ftString);
  probe.AppendRecord({*v});
  return probe.Fields(0).AsString();
}

std::vector<std::string> SplitFields(const std::string& list) {
  std::vector<std::string> out;
  for (const QString& part : QtText::ToQ(list).split(QStringLiteral(", "), Qt::SkipEmptyParts))
    out.push_back(QtText::FromQ(part.trimmed()));
  return out;
}

// Look-ups of the key structure may fail themselves (a database that does
// not name its constraints): the report then says so instead of hiding the
// write's own error behind a new one.
std::string Structure(std::string (*get)(const std::string&), const std::string& name) {
  try {
    return get(name);
  } catch (const std::exception& e) {
    return std::string("(") + e.what() + ")";
  }
}

std::string ErrorReport(TvDMClientDataSet& dm, const TvCampoValor& valor) {
  std::vector<std::string> lines;
  const std::string& msg = dm.UltimoErro();
  if (!msg.empty()) lines.push_back(msg);
  std::string pk = Structure(corvelbase5::PegarChavePrimaria, dm.Tabela());
  std::string pkSemi = QtText::FromQ(QtText::ToQ(pk).replace(QStringLiteral(", "), QStringLiteral(";")));
  lines.push_back("PK" + dm.Tabela() + "=" + pkSemi);
  const int kind = dm.TipoErro();
  std::vector<std::string> keys = SplitFields(pk);
  if (!msg.empty() && (kind == 1 || kind == 2 || kind == 4))
    for (const auto& f : keys) lines.push_back(f + " = " + ValueOf(valor, f));
  if (kind == 2 || kind == 4) {
    std::string fields = Structure(kind == 2 ? corvelbase5::PegarEstruturaChaveEstrangeira : corvelbase5::PegarEstruturaIndex,
                                   dm.NomeConstraint());
    lines.push_back(dm.NomeConstraint() + "=" + fields);
    for (const auto& f : keys) lines.push_back(f + " = " + ValueOf(valor, f));
    for (const auto& f : SplitFields(fields)) lines.push_back(f + " = " + ValueOf(valor, f));
  } else if (kind != 1) {
    for (int i = 0; i < valor.Count(); ++i) lines.push_back(valor.Item(i).Campo + " = " + ValueOf(valor, valor.Item(i).Campo));
  }
  std::string out;
  for (const auto& l : lines) corvel5::Add(out, l, kCrLf);
  return out;
}

}  // namespace

void GravarDadosDM(TvCampoValor* valor, bool AFree, bool flag) {
  std::unique_ptr<TvCampoValor> owned(AFree ? valor : nullptr);
  if (!valor) throw EvErro("GravarDadosDM: no scenario");
  std::unique_ptr<QObject> made(valor->CriarDM());
  auto* dm = dynamic_cast<TvDMClientDataSet*>(made.get());
  if (!dm)
    throw EvErro("GravarDadosDM: the module of scenario \"" + valor->Nome + "\" is not a client-dataset module");
  dm->Preparar(flag);
  corvel5::TvClientDataSet& cds = dm->CDS();
  dm->OnReconcileError = [](TvDMClientDataSet& m, const std::string& message) { m.DoReconcileError(message); };
  dm->Abrir();
  cds.Append();
  corvel5::SendDebug("GravarDadosDM Inicio: " + valor->Nome);
  valor->GravarValores(cds);
  if (dm->ApplyUpdates(0) > 0) {
    std::string report = ErrorReport(*dm, *valor);
    dm->CancelUpdates();
    throw EvUtilTeste(report);
  }
  corvel5::SendDebug("GravarDadosDM Fim: " + valor->Nome);
}

void GravarDadosDM(TvListCampoValor* list, bool AFree, bool flag) {
  std::unique_ptr<TvListCampoValor> owned(AFree ? list : nullptr);
  if (!list) throw EvErro("GravarDadosDM: no scenario list");
  corvel5::SendDebug("GravarDadosDM Inicio: " + list->Nome + corvel5::PegarTempo());
  std::string errors;
  for (int i = 0; i < list->Count(); ++i) {
    TvCampoValor& item = list->Item(i);
    // An item without a table of its own writes to the list's.
    if (item.Tabela.empty()) item.Tabela = list->Tabela;
    if (item.NomeDM.empty()) item.NomeDM = list->NomeDM;
    try {
      GravarDadosDM(&item, false, flag);
    } catch (const std::exception& e) {
      corvel5::Add(errors, e.what(), kCrLf);
    }
  }
  if (!errors.empty()) throw EvUtilTeste(list->Nome + kCrLf + errors);
  corvel5::SendDebug("GravarDadosDM Fim: " + list->Nome + corvel5::PegarTempo());
}

void GravarDadosDM(TvListListCampoValor* lists, bool AFree) {
  if (!lists) throw EvErro("GravarDadosDM: no scenario lists");
  try {
    for (int i = 0; i < lists->Count(); ++i) GravarDadosDM(&lists->Item(i), false, true);
  } catch (...) {
    lists->Limpar();
    throw;
  }
  if (AFree) lists->Limpar();
}

// ---------------------------------------------------------------------------
// Deleting data

void DeletarDados(const std::string& table, TvCampoValor* valor, bool AFree, bool AAll) {
  std::unique_ptr<TvCampoValor> owned(AFree ? valor : nullptr);
  std::string sql = "delete from " + QtText::UpperAscii(table);
  if (!AAll && valor) {
    std::string where = corvelbaseutil5::MontaWhere(valor, true, "");
    if (!where.empty()) sql += " " + where;
  }
  try {
    if (!corvelbase5::vDMConexao) throw EvErro("no connection (vDMConexao)");
    corvelbase5::vDMConexao->ExecuteCommand(sql);
  } catch (const std::exception& e) {
    throw EvUtilTeste("DeletarDados -> " + sql + " -> " + e.what());
  }
}

void DeletarDados(const std::string& table) { DeletarDados(table, nullptr, true, true); }

void DeletarDados(TvCampoValor* valor, bool AFree) {
  std::unique_ptr<TvCampoValor> owned(AFree ? valor : nullptr);
  if (!valor) throw EvErro("DeletarDados: no scenario");
  if (valor->Tabela.empty()) throw EvErro("DeletarDados: the scenario \"" + valor->Nome + "\" names no table");
  // A scenario without values would delete the whole table: only a list
  // marked DeletarTodos may do that.
  if (valor->Count() == 0)
    throw EvErro("DeletarDados: the scenario \"" + valor->Nome + "\" has no values to find its rows by");
  DeletarDados(valor->Tabela, valor, false, false);
}

void DeletarDados(const std::string& table, TvListCampoValor* list, bool AFree) {
  std::unique_ptr<TvListCampoValor> owned(AFree ? list : nullptr);
  if (!list) throw EvErro("DeletarDados: no scenario list");
  corvel5::SendDebug("DeletarDados: inicio " + table + corvel5::PegarTempo());
  for (int i = 0; i < list->Count(); ++i) {
    TvCampoValor& item = list->Item(i);
    if (item.Count() == 0) throw EvErro("DeletarDados: item " + std::to_string(i) + " of \"" + list->Nome + "\" has no values");
    DeletarDados(table, &item, false, false);
  }
  corvel5::SendDebug("DeletarDados: fim " + table + corvel5::PegarTempo());
}

void DeletarDados(TvListListCampoValor* lists, bool AFree) {
  if (!lists) throw EvErro("DeletarDados: no scenario lists");
  try {
    for (int i = lists->Count() - 1; i >= 0; --i) {
      TvListCampoValor& list = lists->Item(i);
      if (list.DeletarTodos)
        DeletarDados(list.Tabela);
      else
        DeletarDados(list.Tabela, &list, false);
    }
  } catch (...) {
    lists->Limpar();
    throw;
  }
  if (AFree) lists->Limpar();
}

// ---------------------------------------------------------------------------
// Unit

void InitializeUnit() {
  if (gInitCount++ > 0) return;
  Platform::NoteUnitStep("vUtilTeste", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount == 0 || --gInitCount > 0) return;
  FvDialogMsgResult.clear();
  FvDialogMsgText.clear();
  Platform::NoteUnitStep("vUtilTeste", Platform::kUnitStop);
}

}  // namespace vUtilTeste
