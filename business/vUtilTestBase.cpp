// vUtilTest's ready-made tests: base files of parameter modules, reports
// from an origin scenario, and the automatic open-and-free test of every form.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>

#include "business/CorvelFramework.h"
#include "business/vUtilTest.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/qt/FileAccess.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

namespace vUtilTest {

using QtText::FromQ;
using QtText::ToQ;

namespace {
std::string Stamp() { return FromQ(QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmsszzz"))); }
}  // namespace

// ---------------------------------------------------------------------------
// Base files

std::string TvTestGerarArquivoBase::PegarNomeArquivoCenario() {
  return CaminhoCenarios() + "vfpa/" + ClassType().Name + "." + GetName() + ".txt";
}

std::string TvTestGerarArquivoBase::ArquivoProduzido() {
  return corvel5::PegarDirTemp() + FromQ(QFileInfo(ToQ(FNomeArquivo)).fileName());
}

std::unique_ptr<corvelbaseutil5::TvListCampoValor> TvTestGerarArquivoBase::Esperado() {
  const std::string base = PegarNomeArquivoCenario();
  if (!QFileInfo::exists(ToQ(base))) {
    // The first run: what the module produced becomes the expectation.
    corvelbase5::GravarArquivo(corvelbase5::LerArquivo(ArquivoProduzido(), false), base);
  }
  return corvelbaseutil5::CriarCenarios(base);
}

std::unique_ptr<corvelbaseutil5::TvListCampoValor> TvTestGerarArquivoBase::Resultado() {
  return corvelbaseutil5::CriarCenarios(ArquivoProduzido());
}

void TvTestGerarArquivoBase::Testar() {
  if (!FDMPower) throw TestFramework::Exception("TvTestGerarArquivoBase " + GetName() + ": no parameter module (DMPower)");
  FDMPower->GerarArquivo();
  FRun->CheckCalled = true;
  const std::string diff = corvelbaseutil5::CompararCenarios(*Esperado(), *Resultado());
  if (diff.empty()) return;
  // Kept for inspection; never deleted by the test. Made new: the name in
  // the temporary folder is predictable.
  try {
    FileAccess::WriteNewFile(corvel5::PegarDirTemp() + ClassType().Name + "." + GetName() + " " + Stamp() + ".txt",
                             corvelbase5::LerArquivo(ArquivoProduzido(), false));
  } catch (const FileAccess::EFileError& e) {
    Fail(diff + "\r\n" + "(the copy of the file produced was not kept: " + e.what() + ")");
  }
  Fail(diff);
}

void TvTestGerarArquivoBase::TearDown() {
  TvTestCase::TearDown();
  if (!FNomeArquivo.empty()) QFile::remove(ToQ(ArquivoProduzido()));
}

// ---------------------------------------------------------------------------
// Reports

TvTestCaseReport::~TvTestCaseReport() {
  delete FCenarioOrigem;
  delete FCenarioResultado;
}

corvelbaseutil5::TvCampoValor* TvTestCaseReport::CenarioOrigem() {
  if (!FCenarioOrigem) FCenarioOrigem = CriarCenarioOrigem();
  return FCenarioOrigem;
}

void TvTestCaseReport::SetCenarioOrigem(corvelbaseutil5::TvCampoValor* value) {
  if (value == FCenarioOrigem) return;
  delete FCenarioOrigem;
  FCenarioOrigem = value;
}

corvelbaseutil5::TvCampoValor* TvTestCaseReport::CriarCenarioOrigem() {
  throw TestFramework::Exception(std::string(ClassType().Name) + " gives no origin scenario (CriarCenarioOrigem)");
}

void TvTestCaseReport::SetUp() {
  TvTestCase::SetUp();
  corvelbaseutil5::TvCampoValor* origem = CenarioOrigem();
  if (!origem) throw TestFramework::Exception(std::string(ClassType().Name) + ": the origin scenario is empty");
  FvReport = corvelreport5::CriarDMRelatorio(*origem);
}

void TvTestCaseReport::Executar() {
  if (!FvReport) throw TestFramework::Exception("Executar: there is no report form");
  auto* button = FvReport->findChild<QPushButton*>(QStringLiteral("btExecutar"));
  if (!button) throw TestFramework::Exception(Platform::Format(sNoExecuteControl, FromQ(FvReport->objectName())));
  button->click();
  Forms::ProcessMessages();
}

corvelbaseutil5::TvListCampoValor* TvTestCaseReport::CenarioResultado(corvelreport5::TvrwExportType tipo) {
  if (!FvReport) throw TestFramework::Exception("CenarioResultado: there is no report form");
  std::vector<std::string> lines = corvelreport5::ExportToStringList(tipo, FvReport->GetDMPower()->Preview);
  delete FCenarioResultado;
  FCenarioResultado = nullptr;
  FCenarioResultado = corvelbaseutil5::CriarCenarios(lines).release();
  return FCenarioResultado;
}

void TvTestCaseReport::TearDown() {
  delete FCenarioOrigem;
  FCenarioOrigem = nullptr;
  delete FCenarioResultado;
  FCenarioResultado = nullptr;
  delete FvReport.data();
  TvTestCase::TearDown();
}

// ---------------------------------------------------------------------------
// Automatic form tests

TvTestCaseAuto::TvTestCaseAuto(std::string MethodName, int64_t RunCount) : TTestCase(std::move(MethodName), RunCount) {}

TvTestCaseAuto::TvTestCaseAuto(std::string MethodName, corvelbase5::TvAction* AAction)
    : TTestCase(std::move(MethodName)), FAction(AAction) {}

const TestFramework::TClass& TvTestCaseAuto::ClassInfo() noexcept {
  static const TestFramework::TClass info("TvTestCaseAuto", "vUtilTest", &TTestCase::ClassInfo(),
                                          &TestFramework::TesselFactory<TvTestCaseAuto>,
                                          &TvTestCaseAuto::TesselCollectAll_);
  return info;
}

TestFramework::ITestSuitePtr TvTestCaseAuto::SuiteFor(TestFramework::TTestCaseClass testClass) {
  return TestFramework::CreateSuite<TTestSuiteAuto>(testClass);
}

TestFramework::ITestSuitePtr TvTestCaseAuto::Suite() { return SuiteFor(&ClassInfo()); }

std::string TvTestCaseAuto::GetName() { return FAction ? FAction->Name : TTestCase::GetName(); }

int TvTestCaseAuto::DoAntesMostrarMessage(QWidget* form, bool& show) {
  show = false;  // never shown, whatever the check says
  if (form && form->objectName() == QStringLiteral("vMessageForm"))
    CheckEquals(std::string(), corvelbase5::GetFormText(form), "");
  return 0;
}

void TvTestCaseAuto::TestCriarDestruirForm() {
  // The hook in place before (the business test cases' chain) comes back
  // afterwards, so later tests still collect and suppress their dialogs.
  corvel5::TAntesMostrarMessage anterior = corvel5::FOnAntesMostrarMessage;
  corvel5::FOnAntesMostrarMessage = [this](QWidget* form, bool& show) { return DoAntesMostrarMessage(form, show); };
  Forms::THoldExceptions hold;
  QPointer<QWidget> form;
  try {
    if (!FAction) throw TestFramework::Exception("TestCriarDestruirForm: no action");
    form = corvelbase5::ShowForm(FAction, "testsFrm", corvelbase5::TvFormStyle::fsMDIChild);
    form->update();
    Forms::ProcessMessages();
    QPointer<QObject> moduloForm;
    if (auto* vis = dynamic_cast<corvelbase5::TvFrmVisDataSet*>(form.data())) {
      moduloForm = vis->DataModule();
      for (int i = vis->DetalheCount() - 1; i >= 0; --i) {
        QPointer<QWidget> detalhe = vis->Detalhe(i);
        vis->DetalheUnRegister(detalhe);
        QPointer<QObject> dm;
        if (auto* cadastro = dynamic_cast<corvelbase5::TvFrmCadastro*>(detalhe.data())) dm = cadastro->DataModule();
        delete detalhe.data();
        delete dm.data();
      }
    }
    delete form.data();
    if (moduloForm && dynamic_cast<corvelbase5::TvDMClientDataSet*>(moduloForm.data())) delete moduloForm.data();
    Forms::ProcessMessages();
  } catch (TestFramework::Exception& e) {
    corvel5::FOnAntesMostrarMessage = anterior;
    delete form.data();
    e.SetMessage("\r\n" + e.Message());
    throw;
  } catch (const std::exception& e) {
    corvel5::FOnAntesMostrarMessage = anterior;
    delete form.data();
    throw TestFramework::Exception("\r\n" + std::string(e.what()));
  }
  corvel5::FOnAntesMostrarMessage = anterior;
}

namespace {
// Host configuration: actions of the shell that no form test opens, and the
// two modules whose actions are never tested.
const char* const kAcoesIgnoradas[9] = {"ACTTVFRMSOBRE",       "ACTTVFRMLOGIN",    "ACTTVFRMTROCARSENHA",
                                        "ACTTVFRMBACKUP",      "ACTTVFRMRESTAURAR", "ACTTVFRMATUALIZAR",
                                        "ACTTVFRMCONFIGURACAO", "ACTTVFRMMENU",     "ACTTVFRMREGISTRO"};
const char* const kModulosIgnorados[2] = {"FIN", "FIS"};
}  // namespace

bool TTestSuiteAuto::ListaActIgnore(const std::string& name) {
  const std::string upper = QtText::UpperAscii(name);
  for (const char* n : kAcoesIgnoradas)
    if (upper == n) return true;
  for (const char* code : kModulosIgnorados) {
    if (QtText::CopyChars(upper, 4, 5) == std::string("TV") + code) return true;
    if (QtText::CopyChars(upper, 4, 6) == std::string("V") + code + "RR") return true;
  }
  return upper.rfind("ACTT", 0) != 0 && upper.rfind("ACTV", 0) != 0;
}

void TTestSuiteAuto::AddTests(TestFramework::TTestCaseClass testClass) {
  auto inner = std::make_shared<TTestSuiteAuto>("TestCriarDestruirForm." +
                                                corvelbase5::NomeModulo(corvelbase5::PegarModuloAtual()));
  AddTest(inner);
  corvelbase5::TvActionList* list = corvelbase5::FvActionListDireitos;
  if (!list || !testClass || !testClass->Factory) return;
  for (int i = 0; i < list->Count(); ++i) {
    corvelbase5::TvAction& action = list->Item(i);
    if (!action.AbreForm || ListaActIgnore(action.Name)) continue;
    TestFramework::TTestCasePtr test = testClass->Factory("TestCriarDestruirForm", 1);
    auto* autoTest = dynamic_cast<TvTestCaseAuto*>(test.get());
    if (!autoTest) throw TestFramework::Exception(std::string(testClass->Name) + " is not a TvTestCaseAuto");
    autoTest->SetAction(&action);
    inner->AddTest(test);
  }
}

}  // namespace vUtilTest
