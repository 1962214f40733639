// The older business test unit, still used by test units of the business
// application: its own TvTestCase and TvTestSuite (not those of vUtilTest;
// a test unit uses one unit or the other), pass-through registry functions,
// scripted answers to the application's message dialogs with their texts
// captured, data-module helpers, scenario data written to the database and
// deleted again, and report and parameter-query suites that compare what a
// module produced with stored scenarios.
//
//   class TClientesSuite : public vUtilTeste::TvTestSuite {
//     std::string GetMensagemResult() override { return "6;7"; }  // yes, then no
//     std::string GetMensagem() override { return "Excluir?\r\nConfirma?"; }
//   };
//   ... a test of the suite runs code that raises two dialogs, then calls
//   TestMensagem() to compare the texts captured with GetMensagem().
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "business/CorvelFrameworkFwd.h"
#include "extensions/TestExtensions.h"
#include "framework/TestFramework.h"
#include "gui/GUITesting.h"

class QObject;
class QWidget;

namespace vUtilTeste {

using corvelbaseutil5::TvCampoValor;
using corvelbaseutil5::TvListCampoValor;
using corvelbaseutil5::TvListListCampoValor;
using TestFramework::ITestListenerPtr;
using TestFramework::ITestPtr;
using TestFramework::ITestSuitePtr;
using TestFramework::TTestArray;
using TestFramework::TTestResult;

// ---------------------------------------------------------------------------
// The registry, as the framework's functions of the same names.

ITestSuitePtr TestSuite(const std::string& AName, const TTestArray& Tests);
void RegisterTest(const std::string& SuitePath, ITestPtr test);
void RegisterTest(ITestPtr test);
void RegisterTests(const std::string& SuitePath, const TTestArray& Tests);
void RegisterTests(const TTestArray& Tests);
ITestSuitePtr RegisteredTests();
void ClearRegistry();
std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::vector<ITestListenerPtr>& listeners);

// ---------------------------------------------------------------------------
// Suites that answer the application's dialogs from a script

class TvTestSuite;
class TvTestSuiteReport;
class TvTestSuitePowerParam;

extern TvTestSuite* FSuiteGlobal;
extern TvTestSuiteReport* FSuiteReportGlobal;
extern TvTestSuitePowerParam* FSuitePowerParamGlobal;
// The answers still to give, integers separated by ";", and the texts of
// the dialogs captured so far (CR LF between them). They are never
// destroyed: the unit's last finalisation may run after the program's
// static objects are gone, and it still empties them.
extern std::string& FvDialogMsgResult;
extern std::string& FvDialogMsgText;

// While it runs, every message dialog of the application is answered from
// GetMensagemResult() (0 once the script is used up) and never shown, and
// its text is captured. The handler that was installed before is put back
// when the suite ends.
class TvTestSuite : public TestFramework::TTestSuite {
 public:
  using TestFramework::TTestSuite::TTestSuite;
  ~TvTestSuite() override;
  static const TestFramework::TClass& ClassInfo() noexcept;
  const TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }

  virtual std::string GetMensagemResult();
  virtual std::string GetMensagem();
  void SetUp() override;
  void TearDown() override;
  // The answer of one dialog; sets show to false.
  int AntesMostrarMessage(QWidget* form, bool& show);

 private:
  std::function<int(QWidget*, bool&)> FSavedHandler;  // the handler replaced by SetUp
};

class TvTestCase : public TestFramework::TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TvTestCase, TestFramework::TTestCase, "vUtilTeste")

 public:
  TTestResult* FTestResultCurrent = nullptr;  // for subclasses; this unit never sets it

  // The running suite's values, or "" when no suite of this unit runs.
  virtual std::string GetMensagemResult();
  virtual std::string GetMensagem();
  // The expected dialog texts against those captured so far in the suite.
  virtual void TestMensagem(Loc loc = Loc::current());
};

// A named base for set-up decorators of this unit.
class TvTestSetup : public TestExtensions::TTestSetup {
 public:
  using TestExtensions::TTestSetup::TTestSetup;
  static const TestFramework::TClass& ClassInfo() noexcept;
  const TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }
};

// ---------------------------------------------------------------------------
// Data modules

// The module named `name`, made for an action without rights control.
QObject* CriarDM(const std::string& name);
// The client-dataset module named `name`, opened on its last record.
corvelbase5::TvDMClientDataSet* CriarDMInt(const std::string& name);

// ---------------------------------------------------------------------------
// Scenario data written to the database and deleted again

void GravarDadosDM(TvCampoValor* valor, bool AFree, bool flag);
void GravarDadosDM(TvListCampoValor* list, bool AFree, bool flag);
void GravarDadosDM(TvListListCampoValor* lists, bool AFree);

void DeletarDados(const std::string& table, TvCampoValor* valor, bool AFree, bool AAll);
void DeletarDados(const std::string& table);
void DeletarDados(TvCampoValor* valor, bool AFree);
void DeletarDados(const std::string& table, TvListCampoValor* list, bool AFree);
void DeletarDados(TvListListCampoValor* lists, bool AFree);

// ---------------------------------------------------------------------------
// Expected scenarios and the skip marker

// An expected scenario returned by a test: a new one (owned), none, or the
// skip marker, which says the comparison is not wanted and is never freed.
struct TvCenarioDeleter {
  void operator()(TvListCampoValor* p) const noexcept;
  void operator()(TvListListCampoValor* p) const noexcept;
};
using TvCenarioLista = std::unique_ptr<TvListCampoValor, TvCenarioDeleter>;
using TvCenarioListas = std::unique_ptr<TvListListCampoValor, TvCenarioDeleter>;
TvListCampoValor* MarcaPularLista();
TvListListCampoValor* MarcaPularListas();
inline TvCenarioLista PularLista() { return TvCenarioLista(MarcaPularLista()); }
inline TvCenarioListas PularListas() { return TvCenarioListas(MarcaPularListas()); }
TvCenarioLista Cenario(std::unique_ptr<TvListCampoValor> cenario);
TvCenarioListas Cenario(std::unique_ptr<TvListListCampoValor> cenario);

// The scenario as the source lines of a procedure named "Result" (CR LF
// between lines), as written for the developer on a mismatch.
std::string ProcedureResult(const TvListCampoValor& cenario);
std::string ProcedureResult(const TvListListCampoValor& cenario);

// ---------------------------------------------------------------------------
// Report and parameter suites

// A report suite makes its module once, from the scenario of the suite.
class TvTestSuiteReport : public TvTestSuite {
 public:
  using TvTestSuite::TvTestSuite;
  static const TestFramework::TClass& ClassInfo() noexcept;
  const TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }
  // The report's scenario (its module and parameters); owned by the caller.
  virtual std::unique_ptr<TvCampoValor> CenarioDaSuite() = 0;
  void SetUp() override;
  void TearDown() override;
  corvelreport5::TvDMPower* FvDM = nullptr;
};

class TvTestSuitePowerParam : public TvTestSuite {
 public:
  using TvTestSuite::TvTestSuite;
  static const TestFramework::TClass& ClassInfo() noexcept;
  const TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }
  virtual std::unique_ptr<TvCampoValor> CenarioDaSuite() = 0;
  void SetUp() override;
  // Fails when client datasets were left registered, naming each.
  void TearDown() override;
  corvelreport5::TvDMPower* FvDM = nullptr;
};

class TvTestCaseReport : public TvTestCase {
  TESSEL_TESTCASE_IN_UNIT(TvTestCaseReport, TvTestCase, "vUtilTeste")

 public:
  ~TvTestCaseReport() override;
  virtual std::unique_ptr<TvCampoValor> CenarioRelatorio();
  virtual TvCenarioLista CenarioResultado();
  void SetUp() override;
  void TearDown() override;
  TESSEL_TEST(TestCompararCenarios);

 protected:
  corvelreport5::TvDMPower* FvDM = nullptr;
  std::unique_ptr<std::vector<std::string>> FStr;
  std::unique_ptr<TvListCampoValor> FVal;
  std::unique_ptr<TvCampoValor> FCenRelatorio;
  TvCenarioLista FCenResultado;
};

class TvTestCasePowerParam : public TvTestCase {
  TESSEL_TESTCASE_IN_UNIT(TvTestCasePowerParam, TvTestCase, "vUtilTeste")

 public:
  ~TvTestCasePowerParam() override;
  virtual std::unique_ptr<TvCampoValor> CenarioPowerParam();
  virtual TvCenarioLista CenarioResultadoLog();
  virtual TvCenarioListas CenarioResultadoCDS();
  void SetUp() override;
  void TearDown() override;
  TESSEL_TEST(TestCompararCenariosLog);
  TESSEL_TEST(TestCompararCenariosCDS);

 protected:
  corvelreport5::TvDMPower* FvDM = nullptr;
  std::unique_ptr<TvCampoValor> FCenPowerParam;
  TvCenarioLista FCenResultadoLog;
  TvCenarioListas FCenResultadoCDS;
  std::unique_ptr<TvListListCampoValor> FValCDS;
  TvListCampoValor* FValLog = nullptr;  // the framework's log, not owned
};

class TvTestCasePowerParamTab : public TvTestCasePowerParam {
  TESSEL_TESTCASE_IN_UNIT(TvTestCasePowerParamTab, TvTestCasePowerParam, "vUtilTeste")

 public:
  ~TvTestCasePowerParamTab() override;
  virtual TvCenarioLista CenarioResultadoTabLog();
  virtual TvCenarioListas CenarioResultadoTabCDS();
  void SetUp() override;
  void TearDown() override;
  TESSEL_TEST(TestCompararCenariosTab);

 protected:
  TvCenarioLista FCenResultadoTabLog;
  TvCenarioListas FCenResultadoTabCDS;
  std::unique_ptr<TvListListCampoValor> FValTabCDS;
  TvListCampoValor* FValTabLog = nullptr;  // the framework's log, not owned
};

// Opens the client-dataset module named after the test class (the class
// name up to "TESTS", any case: TvDMClienteTests opens TvDMCliente) and
// shows its form as the window under test.
class TvTesteCaseDMClientDataSet : public GUITesting::TGUITestCase {
  TESSEL_TESTCASE_IN_UNIT(TvTesteCaseDMClientDataSet, GUITesting::TGUITestCase, "vUtilTeste")

 public:
  ~TvTesteCaseDMClientDataSet() override;
  void SetUp() override;
  void TearDown() override;
  // No check: it passes whenever the set-up did. (A body that does nothing
  // at all is failed by the run loop as an empty test.)
  TESSEL_TEST(SelfTest) { FSelfTestRan = FDMClientDataSet != nullptr; }
  virtual void PegarValores(std::unique_ptr<TvCampoValor>& /*cenario*/) {}
  virtual void SetarValores(std::unique_ptr<TvCampoValor>& /*cenario*/) {}

 protected:
  corvelbase5::TvDMClientDataSet* FDMClientDataSet = nullptr;  // owned
  bool FSelfTestRan = false;
};

// ---------------------------------------------------------------------------
// Reports opened through the application's action list

enum TTipoRelatorio { TTxT = 0, TCVS = 1 };

class TvRelatorio {
 public:
  TvRelatorio();
  ~TvRelatorio();
  TvRelatorio(const TvRelatorio&) = delete;
  TvRelatorio& operator=(const TvRelatorio&) = delete;

  void AbrirRelatorio();
  corvelbase5::TvAction* BuscarAction(const std::string& name);
  void ChamaRelatorio(const std::string& ARelatorio);
  void Paramentros(const std::string& ACampo, const std::string& AValor);
  void GerarRelatorio();
  void LimparLinhas();
  std::string LinhaRelatorio(int ALinha) const;
  void SetAlertaCriarAcao(bool value);

  std::vector<std::string> FListLinha;
  corvelreport5::TvDMPower* FDM = nullptr;       // the form's module (the form owns it)
  corvelreport5::TvFrmReport* FForm = nullptr;   // owned
  QWidget* FCtrl = nullptr;
  std::unique_ptr<corvelbase5::TvActionList> FvActionList;
  TTipoRelatorio FTipoRelatorio = TCVS;
};

// Where a site keeps its report files (the folders under the data root).
std::string PegarDirRelatorios();
std::string PegarDirRelatoriosSeq();
// The settings file of the test user, deleted before each TvRelatorio.
std::string ArquivoConfigUsuarioTeste();
// Adds a report action for a report file to the rights action list.
void CriarActionReport(const std::string& file);
// The module's report as CSV lines (owned by the caller).
std::unique_ptr<std::vector<std::string>> ExportarReport(corvelreport5::TvDMPower* module);

void InitializeUnit();
void FinalizeUnit();

}  // namespace vUtilTeste
