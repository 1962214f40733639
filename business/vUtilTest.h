// The common ground of the business application's tests: where test data
// lives (three path functions over small text files beside the program), a
// test case that compares query results and scenarios with expectations
// stored on disk and captures the application's message dialogs, a GUI test
// case with property and state checks, and suites that connect to the test
// database, load the application's packages and roll back what tests wrote.
//
//   class TClientesTests : public vUtilTest::TvTestCase {
//     TESSEL_TESTCASE(TClientesTests, vUtilTest::TvTestCase)
//    public:
//     // Expected data: CaminhoCenarios() + ".Clientes.cds"; the first run
//     // stores the query's result there and fails once, saying so.
//     TESSEL_TEST(TestClientes) { TestDados("select * from clientes order by id"); }
//   };
//   auto suite = std::make_shared<vUtilTest::TvTestSuiteRollBack>("Vendas");
//   suite->AddTests(&TClientesTests::ClassInfo());
//
// Paths: a Windows drive default ("d:\dados\") becomes DataRoot():
// $TESSEL_DADOS, else ~/dados/. Failures go through the framework's Fail,
// so messages have its layout; errors of the host framework (a file that
// cannot be read, a query that fails) are errors of the test.
#pragma once

#include <QPointer>
#include <QVariant>
#include <memory>
#include <string>
#include <vector>

#include "business/CorvelFrameworkFwd.h"
#include "business/vUtilTestMini.h"
#include "gui/GUITesting.h"

namespace vUtilTest {

using TestFramework::TSourceLine;

// ---------------------------------------------------------------------------
// Paths

// Where drive defaults point: $TESSEL_DADOS, else ~/dados/ (ends with "/").
std::string DataRoot();
// A Windows path made local: a drive default moves under DataRoot()
// ("d:\dados\x\" -> DataRoot() + "x\"), separators become "/".
std::string CaminhoLocal(const std::string& path);
// The text of "cenariotest.txt" beside the program, else DataRoot() + "cenarios/".
std::string CaminhoCenarios();
// From "basetest.txt" beside the program: "localhost:<path>" gives <path>,
// "host:/path" is kept (the database server's form), an empty file gives the
// program's directory, no file gives DataRoot(). Anything else raises.
std::string CaminhoBases();
// Parent of the program's directory + ProductName + "/Relatorio/" + four
// characters of Modulo from its fourth + "/".
std::string CaminhoRelatorios();
// The file-name change of the last path component ("a/b.x" + ".y" -> "a/b.y";
// a directory "a/" + ".y" -> "a/.y").
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// Raised for a path file that holds something this platform cannot use.
using TestFramework::Exception;
class EvCaminho : public Exception {
  TESSEL_EXCEPTION_CLASS(EvCaminho, Exception)
};

// ---------------------------------------------------------------------------
// Business test case

class TvTestCase : public vUtilTestMini::TvTestCaseMini {
  TESSEL_TESTCASE(TvTestCase, vUtilTestMini::TvTestCaseMini)

 public:
  // Joins the dialog chain on creation and leaves it, wherever it sits in
  // it, on destruction.
  explicit TvTestCase(std::string MethodName, int64_t RunCount = 1);
  ~TvTestCase() override;

  using TvTestCaseMini::CheckEquals;

  // Message dialogs are suppressed (not shown) while their texts are still
  // collected.
  bool MsgDlgDesligar() const { return FMsgDlgDesligar; }
  void SetMsgDlgDesligar(bool value) { FMsgDlgDesligar = value; }
  // The texts of the message dialogs seen since this test's set-up, joined
  // by CR LF.
  const std::string& MsgDlgMensagem() const { return FMsgDlgMensagem; }

  // Set-up empties MsgDlgMensagem, so a test sees only its own dialogs.
  void SetUp() override;

  // The directory (ending in "/") or file stem of the expected-data files.
  virtual std::string CaminhaTestDados();
  virtual void CheckEquals(const corvelbaseutil5::TvCampoValorBase* expected,
                           const corvelbaseutil5::TvCampoValorBase* actual, std::string_view msg = {},
                           TSourceLine loc = TSourceLine::current());
  virtual void CheckEquals(const corvelbaseutil5::TvCampoValor* expected, const corvelbaseutil5::TvCampoValor* actual,
                           std::string_view msg = {}, TSourceLine loc = TSourceLine::current());
  virtual void CheckEquals(const corvelbaseutil5::TvListCampoValor* expected,
                           const corvelbaseutil5::TvListCampoValor* actual, std::string_view msg = {},
                           TSourceLine loc = TSourceLine::current());
  virtual void CheckEquals(const corvelbaseutil5::TvListListCampoValor* expected,
                           const corvelbaseutil5::TvListListCampoValor* actual, std::string_view msg = {},
                           TSourceLine loc = TSourceLine::current());
  // Compares two client datasets; takes both (either may be null). `msg`
  // doubles as the expected file: when it is an absolute path and Expected
  // is missing, Actual is stored there (the first run). Differences are
  // written to PegarDirTemp(), as XML data packets when OutXml.
  virtual void CheckEquals(std::unique_ptr<DBClient::TClientDataSet> Expected,
                           std::unique_ptr<DBClient::TClientDataSet> Actual, std::string_view msg, bool OutXml,
                           TSourceLine loc = TSourceLine::current());

  // The query's result against the expected file CaminhaTestDados() changed
  // to "." + the test's name without its first 4 characters + ".cds".
  void TestDados(const std::string& ASQL, TSourceLine loc = TSourceLine::current());
  void TestDados(const corvelbaseutil5::TvCampoValor* AFiltro, TSourceLine loc = TSourceLine::current());
  // The expected-data file TestDados uses for this test.
  std::string ArquivoTestDados();

  // One link of the dialog chain: collects the text, passes the dialog on,
  // then lets MsgDlgDesligar hide it.
  void AntesMostrarMessage(QWidget* form, bool& show);

 private:
  bool FMsgDlgDesligar = false;
  std::string FMsgDlgMensagem;
  void WriteDifference(const DBClient::TClientDataSet* dataSet, int slot, bool OutXml, std::string& notes);
};

// The dialog chain: the living TvTestCases, oldest first, and the handler
// that was installed before the first of them.
int ChainLength();
// Puts the chain's dispatcher back into the global hook when something
// cleared it (a test that installed its own hook and removed it).
void ReinstallChain();

class TvGenericTestCase : public TestFramework::TGenericTestCase {
 public:
  using TGenericTestCase::TGenericTestCase;
};

// ---------------------------------------------------------------------------
// GUI test case

using GUITesting::TGUITestCase;

inline constexpr char sExpectedDisabled[] = "Expected control %s to be disabled";
inline constexpr char sControlProperty[] = "Control %s property %s";
inline constexpr char sNotImplemented[] = "Not implemented: ";
inline constexpr char sNoSuchProperty[] = "No such property: ";

class TvGUITestCase : public TGUITestCase {
  TESSEL_TESTCASE(TvGUITestCase, TGUITestCase)

 public:
  void CheckDisabled(QWidget* Control, TSourceLine Addrs = TSourceLine::current());
  void CheckDisabled(const std::string& ControlName, TSourceLine Addrs = TSourceLine::current());
  void CheckEnabled(QWidget* Control, TSourceLine Addrs = TSourceLine::current());
  void CheckEnabled(const std::string& ControlName, TSourceLine Addrs = TSourceLine::current());
  void CheckFocused(QWidget* Control, TSourceLine Addrs = TSourceLine::current());
  void CheckFocused(const std::string& ControlName, TSourceLine Addrs = TSourceLine::current());
  void CheckTabTo(QWidget* Control, TSourceLine Addrs = TSourceLine::current());
  void CheckTabTo(const std::string& ControlName, TSourceLine Addrs = TSourceLine::current());
  void CheckVisible(QWidget* Control, TSourceLine Addrs = TSourceLine::current());
  void CheckVisible(const std::string& ControlName, TSourceLine Addrs = TSourceLine::current());
  void CheckVisible(TSourceLine Addrs = TSourceLine::current());
  // A published (Q_PROPERTY) property by its kind: integers, enumerations
  // and booleans as integers (or as a boolean when expected holds one),
  // bytes and characters and texts as text, floating point exactly; any
  // other kind fails "Not implemented: ".
  void CheckProperty(QWidget* Control, const std::string& AProperty, const QVariant& expected,
                     TSourceLine Addrs = TSourceLine::current());
  void CheckProperty(const std::string& ControlName, const std::string& AProperty, const QVariant& expected,
                     TSourceLine Addrs = TSourceLine::current());
};

// ---------------------------------------------------------------------------
// Suites. A suite's SetUp runs before its first test and its TearDown after
// its last one, also when SetUp failed: a TearDown undoes only what exists.

class TvTestSuite : public TestFramework::TTestSuite {
 public:
  using TTestSuite::TTestSuite;
};

// All tests of the suite in one transaction of vDMConexao, rolled back at
// the end whatever happened.
class TvTestSuiteRollBack : public TvTestSuite {
 public:
  using TvTestSuite::TvTestSuite;
  void SetUp() override;
  void TearDown() override;

 private:
  bool FStarted = false;
};

// Carries an origin scenario for all tests of the suite.
class TvTestSuitePower : public TvTestSuite {
 public:
  using TvTestSuite::TvTestSuite;
  ~TvTestSuitePower() override;
  // Made by CriarCenarioOrigem on first read; a write frees the held one
  // (unless it is the same object) and keeps the new one.
  corvelbaseutil5::TvCampoValor* CenarioOrigem();
  void SetCenarioOrigem(corvelbaseutil5::TvCampoValor* value);
  void TearDown() override;

 protected:
  virtual corvelbaseutil5::TvCampoValor* CriarCenarioOrigem() = 0;

 private:
  corvelbaseutil5::TvCampoValor* FCenarioOrigem = nullptr;
};

// Loads the application's packages, connects to the test database and builds
// the rights action list once around the suite; tears it all down after.
class TvTestSuiteConexao : public TvTestSuite {
 public:
  using TvTestSuite::TvTestSuite;
  ~TvTestSuiteConexao() override;
  void SetUp() override;
  void TearDown() override;

  // The suite's database file (see CaminhoBases; a name with ":" spells
  // the path itself: "c:_x_y+fdb" -> "/x/y.fdb").
  std::string PegarBase();
  // The progress tick of long database work.
  void Radial(QObject* Sender);
  // The rights handler of the action list: every action gets 56.
  int vActionListPegarDireito(corvelbase5::TvAction& Action);
  const std::vector<std::string>& Pacotes() const { return FPacotes; }

 protected:
  virtual void ConectarNoBanco() = 0;
  // Cleared by a ConectarNoBanco that leaves the connection in place: the
  // tear-down then closes nothing.
  bool FAbriuConexao = true;

 private:
  std::vector<std::string> FPacotes;
  bool FConnected = false;
};

class TvTestSuiteFireBird : public TvTestSuiteConexao {
 public:
  using TvTestSuiteConexao::TvTestSuiteConexao;

 protected:
  void ConectarNoBanco() override;
};

class TvTestSuiteOracle : public TvTestSuiteConexao {
 public:
  using TvTestSuiteConexao::TvTestSuiteConexao;

 protected:
  void ConectarNoBanco() override;
};

class TvTestSuiteMSSQL : public TvTestSuiteConexao {
 public:
  using TvTestSuiteConexao::TvTestSuiteConexao;

 protected:
  void ConectarNoBanco() override;
};

// ---------------------------------------------------------------------------
// Base files, reports and the automatic form tests

// A parameter module's output file against its base file
// CaminhoCenarios() + "vfpa/<class>.<test>.txt", both read as scenario lists.
// The first run makes the produced file the base file (and passes); to
// accept a new expectation, delete the base file.
class TvTestGerarArquivoBase : public TvTestCase {
  TESSEL_TESTCASE(TvTestGerarArquivoBase, TvTestCase)

 public:
  const std::string& NomeArquivo() const { return FNomeArquivo; }
  void SetNomeArquivo(std::string value) { FNomeArquivo = std::move(value); }
  corvelreport5::TvDMPowerParam* DMPower() const { return FDMPower; }
  void SetDMPower(corvelreport5::TvDMPowerParam* value) { FDMPower = value; }

  std::string PegarNomeArquivoCenario();
  std::string ArquivoProduzido();
  std::unique_ptr<corvelbaseutil5::TvListCampoValor> Esperado();
  std::unique_ptr<corvelbaseutil5::TvListCampoValor> Resultado();
  // Deletes the produced file.
  void TearDown() override;

  TESSEL_VIRTUAL_TEST(Testar);

 protected:
  std::string FNomeArquivo;
  corvelreport5::TvDMPowerParam* FDMPower = nullptr;  // not owned
};

// A report opened from an origin scenario, run, exported and read back as
// a scenario list for the scenario CheckEquals.
class TvTestCaseReport : public TvTestCase {
  TESSEL_TESTCASE(TvTestCaseReport, TvTestCase)

 public:
  ~TvTestCaseReport() override;
  corvelbaseutil5::TvCampoValor* CenarioOrigem();
  void SetCenarioOrigem(corvelbaseutil5::TvCampoValor* value);
  // Makes the report form of the origin scenario (FvReport).
  void SetUp() override;
  void TearDown() override;
  virtual corvelbaseutil5::TvCampoValor* CriarCenarioOrigem();
  // The export of the report's preview as a scenario list (owned here).
  virtual corvelbaseutil5::TvListCampoValor* CenarioResultado(corvelreport5::TvrwExportType tipo);
  // Runs the report through its form's execute button.
  virtual void Executar();
  corvelreport5::TvFrmReport* Report() const { return FvReport.data(); }

 protected:
  QPointer<corvelreport5::TvFrmReport> FvReport;
  corvelbaseutil5::TvCampoValor* FCenarioOrigem = nullptr;
  corvelbaseutil5::TvListCampoValor* FCenarioResultado = nullptr;
};

inline constexpr char sNoExecuteControl[] = "The report form %s has no execute button (btExecutar)";

// One test per action of the rights list that opens a form: open it, free
// it, and fail on any message dialog it raises. Its Suite() is a
// TTestSuiteAuto; a derived class returns TvTestCaseAuto::SuiteFor(&ClassInfo()).
class TvTestCaseAuto : public TestFramework::TTestCase {
 public:
  using TesselBase_ = TestFramework::TTestCase;
  TvTestCaseAuto(std::string MethodName, int64_t RunCount = 1);
  TvTestCaseAuto(std::string MethodName, corvelbase5::TvAction* AAction);
  [[gnu::noinline]] static const TestFramework::TClass& ClassInfo() noexcept;
  const TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }
  static TestFramework::ITestSuitePtr Suite();
  static TestFramework::ITestSuitePtr SuiteFor(TestFramework::TTestCaseClass testClass);

  // The action's name, so each test is listed under its action.
  std::string GetName() override;
  corvelbase5::TvAction* Action() const { return FAction; }
  void SetAction(corvelbase5::TvAction* action) { FAction = action; }
  // The dialog hook of this test: every message dialog fails it.
  int DoAntesMostrarMessage(QWidget* form, bool& show);

 private:
  using TesselSelf_ = TvTestCaseAuto;
  static void TesselCollect_(TestFramework::TMethodTable&, TestFramework::TRank<0>) {}
  static void TesselCollectAll_(TestFramework::TMethodTable& t) {
    TesselCollect_(t, TestFramework::TRank<TestFramework::kTesselMaxMethods>{});
  }
  static constexpr int TesselFirst_ = __COUNTER__;
  corvelbase5::TvAction* FAction = nullptr;  // not owned: the rights list's

 public:
  TESSEL_TEST(TestCriarDestruirForm);
};

class TTestSuiteAuto : public TestFramework::TTestSuite {
 public:
  using TTestSuite::TTestSuite;
  // An inner suite "TestCriarDestruirForm.<module>" with one test per
  // form-opening action that ListaActIgnore lets through.
  void AddTests(TestFramework::TTestCaseClass testClass) override;
  static bool ListaActIgnore(const std::string& name);
};

// The progress indicator of the running connection suite, or null.
corvelbase5::TvProgressRadial* ProgressRadial();

void InitializeUnit();
void FinalizeUnit();

}  // namespace vUtilTest
