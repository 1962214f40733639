// vUtilTest on real files, real databases (SQLite, embedded Firebird) and the
// sales application's real packages: path files, the dialog chain, expected
// data files, property checks, and the suites' set-up and tear-down order,
// rollback and failures. The program runs in its own folder with the
// packages beside it; temporary files go to a private TMPDIR.
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QToolBar>
#include <QVBoxLayout>
#include <cstdio>
#include <fstream>

#include "business/CorvelFramework.h"
#include "business/vUtilTest.h"
#include "platform/Paths.h"
#include "platform/qt/Forms.h"
#include "tests/business/Databases.h"

using namespace TestFramework;
using vUtilTest::TvTestCase;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
bool Exists(const std::string& path) { return QFile::exists(QtText::ToQ(path)); }
void Remove(const std::string& path) { QFile::remove(QtText::ToQ(path)); }

// A file beside the program for the length of one test.
class TBesideProgram {
 public:
  TBesideProgram(std::string name, const std::string* text) : FPath(Platform::ProgramDir() + std::move(name)) {
    Remove(FPath);
    if (text) WriteFile(FPath, *text);
  }
  ~TBesideProgram() { Remove(FPath); }

 private:
  std::string FPath;
};

std::string AllFailures(TTestResult& r) {
  std::string out;
  for (int i = 0; i < r.FailureCount(); ++i)
    out += "F " + r.GetFailure(i).FailedTest()->GetName() + ": " + r.GetFailure(i).ThrownExceptionMessage() + "\n";
  for (int i = 0; i < r.ErrorCount(); ++i)
    out += "E " + r.GetError(i).FailedTest()->GetName() + ": " + r.GetError(i).ThrownExceptionMessage() + "\n";
  return out;
}

std::vector<std::string> TempFilesStartingWith(const std::string& prefix) {
  std::vector<std::string> out;
  for (const QString& f : QDir(QtText::ToQ(corvel5::PegarDirTemp())).entryList(QDir::Files))
    if (f.startsWith(QtText::ToQ(prefix))) out.push_back(QtText::FromQ(f));
  return out;
}

int64_t CountSQLite(const std::string& path, const std::string& table) {
  return TestDatabases::CountRows(TestDatabases::SQLite(path, false), table);
}

int64_t CountFirebird(const std::string& path, const std::string& table) {
  return TestDatabases::CountRows(TestDatabases::Firebird(path), table);
}

const std::string kSchema = SALES_APP_SCHEMA;

std::string SQLiteSales(const std::string& name) {
  const std::string path = TestDatabases::TempFolder() + name + ".sqlite";
  Remove(path);
  DBClient::TConnection c;
  c.Open(TestDatabases::SQLite(path));
  QFile schema(QtText::ToQ(kSchema));
  schema.open(QIODevice::ReadOnly);
  for (const QByteArray& stmt : schema.readAll().split(';'))
    if (!stmt.trimmed().isEmpty()) c.ExecSQL(stmt.toStdString());
  return path;
}

// ---------------------------------------------------------------------------
// Test cases run by the tests below

// Expected data in a folder of its own.
class TDadosCase : public TvTestCase {
  TESSEL_TESTCASE(TDadosCase, TvTestCase)
 public:
  static inline std::string Folder;
  static inline std::string SQL = "select id, nome, cidade from clientes order by id";
  std::string CaminhaTestDados() override { return Folder; }
  TESSEL_TEST(TestClientes) { TestDados(SQL); }
};

// Each test raises one dialog; a test case sees only its own.
class TDialogCase : public TvTestCase {
  TESSEL_TESTCASE(TDialogCase, TvTestCase)
 public:
  static inline std::vector<std::string> Seen;
  void SetUp() override {
    TvTestCase::SetUp();
    SetMsgDlgDesligar(true);
  }
  TESSEL_TEST(TestPrimeiro) {
    corvelbase5::vMessageDlg("primeiro", corvelbase5::TvMsgDlgType::mtInformation, corvelbase5::mbOK);
    Seen.push_back(MsgDlgMensagem());
  }
  TESSEL_TEST(TestSegundo) {
    corvelbase5::vMessageDlg("segundo", corvelbase5::TvMsgDlgType::mtInformation, corvelbase5::mbOK);
    Seen.push_back(MsgDlgMensagem());
    Fail("a failing test still gives the hook back");
  }
};

// Rows written inside a rollback suite; the second test throws half-way.
class TEscreveCase : public TvTestCase {
  TESSEL_TESTCASE(TEscreveCase, TvTestCase)
 public:
  TESSEL_TEST(TestInsere) {
    corvelbase5::vDMConexao->ExecuteCommand("insert into clientes values (10, 'Teste', 'X')");
    CheckEquals(4, corvelbase5::vDMConexao->ExecuteQueryView("select * from clientes")->RecordCount());
  }
  TESSEL_TEST(TestInsereELevanta) {
    corvelbase5::vDMConexao->ExecuteCommand("insert into clientes values (11, 'Outro', 'Y')");
    throw std::runtime_error("stopped half-way");
  }
};

// A connection suite on SQLite, which the site has no suite of its own for.
class TSuiteSQLite : public vUtilTest::TvTestSuiteConexao {
 public:
  TSuiteSQLite(std::string name, std::string path) : TvTestSuiteConexao(std::move(name)), FPath(std::move(path)) {}

 protected:
  void ConectarNoBanco() override {
    corvelbase5::CriarvDMConexaoParaTests(FPath, "", "", true, corvelbase5::TvTipoBanco::tbSQLite, 0, 0, false);
  }

 private:
  std::string FPath;
};

// Records what has happened when the connection is made, and then makes it.
std::vector<std::string> gTrace;
class TSuiteOrdem : public vUtilTest::TvTestSuiteFireBird {
 public:
  using TvTestSuiteFireBird::TvTestSuiteFireBird;

 protected:
  void ConectarNoBanco() override {
    gTrace.push_back(std::string("connect: radial=") + (corvel5::FRadialEvent ? "1" : "0") +
                     " alerta=" + (corvelbase5::FAlertaCriarAcao ? "1" : "0") +
                     " dbx=" + (corvelreport5::vDMDBXDataModel ? "1" : "0") +
                     " pacotes=" + std::to_string(Pacotes().size()) +
                     " direitos=" + (corvelbase5::FvActionListDireitos ? "1" : "0"));
    TvTestSuiteFireBird::ConectarNoBanco();
  }
};

// Inside the order suite: leaves a form, modules and a utility behind, and
// notes the order in which the tear-down frees them.
class TDeixaCoisas : public TvTestCase {
  TESSEL_TESTCASE(TDeixaCoisas, TvTestCase)
 public:
  static void Watch(QObject* o, const std::string& what) {
    QObject::connect(o, &QObject::destroyed, [what] {
      gTrace.push_back("freed " + what + " radial=" + (corvel5::FRadialEvent ? "1" : "0") +
                       " conexao=" + (corvelbase5::vDMConexao ? "1" : "0"));
    });
  }
  TESSEL_TEST(TestDeixa) {
    gTrace.push_back("test");
    auto* list = corvelbase5::FvActionListDireitos;
    CheckTrue(list != nullptr, "rights list");
    CheckEquals(56, list->PegarDireito(*list->Find("actTvFrmClientes")), "rights of a form's action");
    CheckTrue(list->Find("actvDMVendasRecalcular") != nullptr, "a data module's action");
    auto* radial = vUtilTest::ProgressRadial();
    CheckTrue(radial && radial->isVisible(), "the indicator is placed on the tool bar");
    CheckEquals(Forms::Screen().Form(0)->findChild<QWidget*>(QStringLiteral("ToolBar1"))->width() - 50,
                radial->x(), "left of the indicator");
    corvelbase5::vDMConexao->ExecuteCommand("insert into pedidos values (9, 1, '2026-05-01')");
    corvelbase5::vDMConexao->ExecuteQueryView("select * from pedidos");  // a radial tick
    CheckTrue(radial->Ticks() > 0, "ticks of database work");
    // What the main form shows while the suite works: the indicator on its tool bar.
    Forms::Screen().Form(0)->grab().save(QtText::ToQ(Platform::ProgramDir() + "vutiltest-radial.png"));
    Watch(corvelbase5::ShowForm(list->Find("actTvFrmProdutos"), "TvFrmProdutos", corvelbase5::TvFormStyle::fsNormal),
          "form");
    Watch(corvelbase5::CriarDM("TvDMVendas", nullptr, ""), "module");
    Watch(corvelbase5::CriarDM("TvDMCacheProdutos", nullptr, ""), "utility");
    Watch(new corvelbase5::TvDMDicionario(nullptr), "dictionary");
  }
};

// ---------------------------------------------------------------------------

class TSuitesTests : public TTestCase {
  TESSEL_TESTCASE(TSuitesTests, TTestCase)
 public:
  // First in the program: the packages are loaded and the rights list made
  // here, and they stay for the process, as in the application.
  TESSEL_TEST(TestSetUpAndTearDownOrder) {
    gTrace.clear();
    corvel5::FOnDebug = [](const std::string& line) { gTrace.push_back(line); };
    const std::string fdb = vUtilTest::DataRoot() + "Ordem.fdb";
    std::string error = TestDatabases::CreateFirebird(fdb, QtText::FromQ([] {
                                                        QFile f(QtText::ToQ(kSchema));
                                                        f.open(QIODevice::ReadOnly);
                                                        return QString::fromUtf8(f.readAll());
                                                      }()));
    CheckEquals(std::string(), error, "isql-fb");
    QPointer<corvelbase5::TvDMPersonalizacao> settings = new corvelbase5::TvDMPersonalizacao(nullptr);
    auto suite = std::make_shared<TSuiteOrdem>("Ordem");
    auto rollback = std::make_shared<vUtilTest::TvTestSuiteRollBack>("Desfaz");
    rollback->AddTest(TDeixaCoisas::Suite());
    suite->AddTest(rollback);
    auto result = suite->Run();
    corvel5::FOnDebug = nullptr;
    CheckEquals(std::string(), AllFailures(*result));
    std::string trace;
    for (const auto& t : gTrace) trace += t + "\n";
    CheckEquals(std::string("connect: radial=1 alerta=0 dbx=1 pacotes=2 direitos=0\n"
                            "pacote vendas_0 carregado\n"
                            "pacote vendasdm_0 carregado\n"
                            "test\n"
                            "freed utility radial=0 conexao=1\n"
                            "freed module radial=0 conexao=1\n"
                            "freed form radial=0 conexao=1\n"),
                trace);
    CheckTrue(corvelbase5::vDMConexao == nullptr, "the connection is closed last");
    CheckTrue(vUtilTest::ProgressRadial() == nullptr, "the indicator is freed");
    CheckTrue(corvel5::FRadialEvent == nullptr, "the tick handler is cleared");
    CheckTrue(Forms::Screen().FormCount() >= 1 && Forms::Screen().Form(0)->objectName() == QStringLiteral("Principal"),
              "form 0 stays");
    bool dictionary = false;
    for (int i = 0; i < Forms::Screen().DataModuleCount(); ++i)
      dictionary |= dynamic_cast<corvelbase5::TvDMDicionario*>(Forms::Screen().DataModule(i)) != nullptr;
    CheckTrue(dictionary, "the dictionary stays");
    CheckTrue(!settings.isNull(), "the settings module stays");
    CheckEquals(std::string("15000"), settings->Texto("TempoLimiteConsulta"), "its setting");
    delete settings.data();
    CheckEquals(2, CountFirebird(fdb, "pedidos"), "the order the test wrote was rolled back");
  }

  TESSEL_TEST(TestRollBackOnSQLite) {
    const std::string db = SQLiteSales("rollback");
    auto suite = std::make_shared<TSuiteSQLite>("Vendas", db);
    auto rollback = std::make_shared<vUtilTest::TvTestSuiteRollBack>("Desfaz");
    rollback->AddTest(TEscreveCase::Suite());
    suite->AddTest(rollback);
    auto result = suite->Run();
    CheckEquals(1, result->ErrorCount(), AllFailures(*result));
    CheckEquals(std::string("stopped half-way"), result->GetError(0).ThrownExceptionMessage());
    CheckEquals(3, CountSQLite(db, "clientes"), "counted with a connection of its own");
  }

  // A class whose action generator fails: outside test mode the user is
  // told and the set-up goes on; in test mode it goes on silently.
  TESSEL_TEST(TestFailingActionGenerator) {
    Forms::ClassList().Register({"TvDMQuebrado", Forms::TClassKind::DataModule, nullptr});
    corvelbase5::RegistrarGeradorAcoes("TvDMQuebrado", [](corvelbase5::TvActionList&, const std::vector<int>&) {
      throw corvel5::EvErro("tabela de ações ausente");
    });
    std::vector<std::string> dialogs;
    corvel5::FOnAntesMostrarMessage = [&dialogs](QWidget* form, bool& show) {
      dialogs.push_back(corvelbase5::GetFormText(form));
      show = false;
      return 1;
    };
    corvelbase5::TvActionList* saved = corvelbase5::FvActionListDireitos;
    const std::string db = SQLiteSales("acoes");
    for (bool modoTeste : {false, true}) {
      corvelbase5::FvActionListDireitos = nullptr;
      corvel5::FModoTeste = modoTeste;
      auto result = std::make_shared<TSuiteSQLite>("Vendas", db)->Run();
      corvel5::FModoTeste = true;
      CheckEquals(std::string(), AllFailures(*result), "the set-up goes on");
      CheckTrue(corvelbase5::FvActionListDireitos && corvelbase5::FvActionListDireitos->Find("actTvFrmClientes"),
                "the other classes' actions are there");
      delete corvelbase5::FvActionListDireitos;
    }
    corvelbase5::FvActionListDireitos = saved;
    corvel5::FOnAntesMostrarMessage = nullptr;
    Forms::ClassList().Unregister("TvDMQuebrado");
    corvelbase5::RegistrarGeradorAcoes("TvDMQuebrado", nullptr);
    CheckEquals(1, static_cast<int>(dialogs.size()), "one dialog, outside test mode only");
    CheckEquals(std::string("TvFrmMenu.EncontrarForms\r\nErro em GerarPrincAction TvDMQuebrado\r\n"
                            "tabela de ações ausente\r\nContate o suporte."),
                dialogs[0]);
  }

  // A database another connection holds locked: the writing tests fail with
  // the database's reason after its busy wait, and nothing is written.
  TESSEL_TEST(TestLockedDatabase) {
    const std::string db = SQLiteSales("locked");
    DBClient::TConnection holder;
    holder.Open(TestDatabases::SQLite(db, false));
    holder.StartTransaction();
    holder.ExecSQL("update clientes set cidade = cidade");  // takes the write lock
    auto suite = std::make_shared<TSuiteSQLite>("Vendas", db);
    auto rollback = std::make_shared<vUtilTest::TvTestSuiteRollBack>("Desfaz");
    rollback->AddTest(TEscreveCase::Suite());
    suite->AddTest(rollback);
    QElapsedTimer clock;
    clock.start();
    auto result = suite->Run();
    CheckTrue(clock.elapsed() < 30000, "gave up within seconds");
    CheckEquals(2, result->ErrorCount(), AllFailures(*result));
    CheckTrue(result->GetError(0).ThrownExceptionMessage().find("locked") != std::string::npos,
              result->GetError(0).ThrownExceptionMessage());
    holder.Rollback();
    holder.Close();
    CheckEquals(3, CountSQLite(db, "clientes"), "nothing written");
  }

  // A database that cannot be reached fails the suite's set-up quickly; its
  // tests do not run, and the tear-down leaves nothing behind.
  TESSEL_TEST(TestUnreachableDatabases) {
    setenv("TESSEL_ORACLE_PASSWORD", "segredoOra1", 1);
    setenv("TESSEL_MSSQL_PASSWORD", "segredoSql2", 1);
    setenv("TESSEL_MSSQL_SERVER", "127.0.0.1:1/vendas", 1);
    struct TCase {
      std::shared_ptr<vUtilTest::TvTestSuiteConexao> Suite;
      const char* Expect;
      const char* Secret;
    } cases[] = {
        {std::make_shared<vUtilTest::TvTestSuiteOracle>("TestesOracleVendas"), "QOCI", "segredoOra1"},
        {std::make_shared<vUtilTest::TvTestSuiteMSSQL>("TestesEscrituracaoDigital"), "QODBC", "segredoSql2"},
        {std::make_shared<vUtilTest::TvTestSuiteFireBird>("c:_nao_existe_vendas+fdb"), "/nao/existe/vendas.fdb", ""},
    };
    for (auto& c : cases) {
      c.Suite->AddTest(TEscreveCase::Suite());
      QElapsedTimer clock;
      clock.start();
      auto result = c.Suite->Run();
      const std::string name = c.Suite->GetName();
      CheckTrue(clock.elapsed() < 10000, name + " gave up within seconds");
      CheckEquals(1, result->ErrorCount(), name + ": " + AllFailures(*result));
      CheckEquals(0, result->FailureCount(), name);
      const std::string message = result->GetError(0).ThrownExceptionMessage();
      CheckEquals(c.Suite->GetName(), result->GetError(0).FailedTest()->GetName(), "the suite's set-up fails");
      CheckTrue(message.rfind("SetUp FAILED: ", 0) == 0, message);
      CheckTrue(message.find(c.Expect) != std::string::npos, name + " names its target: " + message);
      if (*c.Secret) CheckTrue(message.find(c.Secret) == std::string::npos, "no password in: " + message);
      CheckTrue(corvelbase5::vDMConexao == nullptr && vUtilTest::ProgressRadial() == nullptr &&
                    !corvel5::FRadialEvent,
                name + ": tear-down freed everything");
    }
  }

  // Another SQL Server suite leaves the connection in place, and a package
  // that cannot be loaded fails the set-up with the loader's reason.
  TESSEL_TEST(TestOtherMSSQLAndBrokenPackage) {
    const std::string db = SQLiteSales("outer");
    corvelbase5::CriarvDMConexaoParaTests(db, "", "", true, corvelbase5::TvTipoBanco::tbSQLite, 0, 0, false);
    auto other = std::make_shared<vUtilTest::TvTestSuiteMSSQL>("OutraEmpresa");
    auto result = other->Run();
    CheckEquals(std::string(), AllFailures(*result));
    CheckTrue(corvelbase5::vDMConexao != nullptr, "the connection in place survives");
    corvelbase5::DestruirvDMConexaoParaTests();

    const std::string garbage(256, 'x');
    TBesideProgram broken("quebrado_0.so", &garbage);
    auto suite = std::make_shared<TSuiteSQLite>("Vendas", db);
    result = suite->Run();
    CheckEquals(1, result->ErrorCount(), AllFailures(*result));
    const std::string message = result->GetError(0).ThrownExceptionMessage();
    CheckTrue(message.find("quebrado_0.so") != std::string::npos && message.find("ELF") != std::string::npos,
              message);
    CheckTrue(corvelbase5::vDMConexao == nullptr, "the suite's own connection is closed");
  }
};

// ---------------------------------------------------------------------------

class TvUtilTestTests : public TTestCase {
  TESSEL_TESTCASE(TvUtilTestTests, TTestCase)
 public:
  TESSEL_TEST(TestPathFiles) {
    const std::string root = vUtilTest::DataRoot();
    const std::string dir = Platform::ProgramDir();
    {
      TBesideProgram none("cenariotest.txt", nullptr);
      CheckEquals(root + "cenarios/", vUtilTest::CaminhoCenarios(), "no cenariotest.txt");
    }
    {
      const std::string text = "d:\\dados\\cenarios\\vendas\\\r\n";
      TBesideProgram f("cenariotest.txt", &text);
      CheckEquals(root + "cenarios/vendas/", vUtilTest::CaminhoCenarios(), "a Windows path with CR LF");
    }
    struct TRow {
      const char* Text;  // null: no file
      std::string Bases;
      std::string Base;  // PegarBase of a suite named Vendas
    } rows[] = {
        {nullptr, root, root + "Vendas.fdb"},
        {"", dir, dir + "Vendas.fdb"},
        {"localhost:/srv/bases/\n", "/srv/bases/", "/srv/bases/Vendas.fdb"},
        {"localhost:c:\\bases\\", "/bases/", "/bases/Vendas.fdb"},
        {"fbserver:/dados/", "fbserver:/dados/", "fbserver:/dados/Vendas.fdb"},
    };
    auto suite = std::make_shared<vUtilTest::TvTestSuiteFireBird>("Vendas");
    auto spelled = std::make_shared<vUtilTest::TvTestSuiteFireBird>("c:_x_y+fdb");
    for (const auto& r : rows) {
      std::string text = r.Text ? r.Text : "";
      TBesideProgram f("basetest.txt", r.Text ? &text : nullptr);
      const std::string what = r.Text ? "basetest.txt \"" + text + "\"" : "no basetest.txt";
      CheckEquals(r.Bases, vUtilTest::CaminhoBases(), what);
      CheckEquals(r.Base, suite->PegarBase(), what);
      CheckEquals(std::string("/x/y.fdb"), spelled->PegarBase(), "a name that spells the path wins");
    }
    const std::string share = "server:d:\\dados\\";
    TBesideProgram f("basetest.txt", &share);
    try {
      vUtilTest::CaminhoBases();
      Fail("a Windows share was accepted");
    } catch (const vUtilTest::EvCaminho& e) {
      CheckTrue(std::string(e.what()).find("basetest.txt") != std::string::npos, e.what());
    }
    CheckEquals(std::string("/a/b.y"), vUtilTest::ChangeFileExt("/a/b.x", ".y"));
    CheckEquals(std::string("/a.d/.y"), vUtilTest::ChangeFileExt("/a.d/", ".y"));
  }

  // Newest first, then older ones, then the handler from before; the
  // answer of that handler is the dialog's; unlinking out of order keeps
  // the rest working and restores the first handler at the end.
  TESSEL_TEST(TestDialogChain) {
    std::vector<std::string> calls;
    corvel5::FOnAntesMostrarMessage = [&calls](QWidget* form, bool&) {
      calls.push_back("outer " + corvelbase5::GetFormText(form));
      return 6;
    };
    CheckEquals(0, vUtilTest::ChainLength());
    {
      auto outer = TDialogCase::Suite();  // two living test cases
      auto inner = std::make_shared<TDialogCase>("TestPrimeiro");
      auto& a = static_cast<TDialogCase&>(*outer->Tests()[0]);
      auto& b = static_cast<TDialogCase&>(*outer->Tests()[1]);
      inner->SetMsgDlgDesligar(true);
      CheckEquals(6, corvelbase5::vMessageDlg("um", corvelbase5::TvMsgDlgType::mtWarning, corvelbase5::mbYes),
                  "the answer of the handler from before");
      CheckEquals(std::string("um"), a.MsgDlgMensagem(), "older case");
      CheckEquals(std::string("um"), b.MsgDlgMensagem(), "oldest case");
      CheckEquals(std::string("um"), inner->MsgDlgMensagem(), "newest case");
      outer.reset();  // destroyed before the newer one
      CheckEquals(1, vUtilTest::ChainLength());
      corvelbase5::vMessageDlg("dois", corvelbase5::TvMsgDlgType::mtWarning, corvelbase5::mbOK);
      CheckEquals(std::string("um\r\ndois"), inner->MsgDlgMensagem());
      // With nobody suppressing it, a shown dialog in test mode is an error, not a wait.
      inner->SetMsgDlgDesligar(false);
      try {
        corvelbase5::vMessageDlg("tres", corvelbase5::TvMsgDlgType::mtWarning, corvelbase5::mbOK);
        Fail("the dialog was shown");
      } catch (const corvel5::EvErro& e) {
        CheckTrue(std::string(e.what()).find("tres") != std::string::npos, e.what());
      }
    }
    CheckEquals(std::string("outer um|outer dois|outer tres"),
                calls[0] + "|" + calls[1] + "|" + calls[2]);
    bool show = true;
    CheckTrue(corvel5::FOnAntesMostrarMessage != nullptr, "the first handler is back");
    CheckEquals(6, corvel5::FOnAntesMostrarMessage(nullptr, show));
    corvel5::FOnAntesMostrarMessage = nullptr;
  }

  TESSEL_TEST(TestDialogsPerTestAndHookAfterFailure) {
    int outer = 0;
    corvel5::FOnAntesMostrarMessage = [&outer](QWidget*, bool&) { return ++outer; };
    TDialogCase::Seen.clear();
    {
      auto suite = TDialogCase::Suite();
      auto result = suite->Run();
      CheckEquals(1, result->FailureCount(), AllFailures(*result));
    }
    CheckEquals(2, static_cast<int>(TDialogCase::Seen.size()));
    CheckEquals(std::string("primeiro"), TDialogCase::Seen[0]);
    CheckEquals(std::string("segundo"), TDialogCase::Seen[1], "the second test does not see the first's dialog");
    bool show = true;
    CheckEquals(3, corvel5::FOnAntesMostrarMessage(nullptr, show), "the previous hook is back after a failed test");
    corvel5::FOnAntesMostrarMessage = nullptr;
  }

  // First run stores the expectation and says so; the second passes; a
  // changed result fails and writes the differences; an expectation saved
  // elsewhere (another encoding, CR LF, blanks) still compares.
  TESSEL_TEST(TestExpectedDataFiles) {
    const std::string db = SQLiteSales("dados");
    corvelbase5::CriarvDMConexaoParaTests(db, "", "", true, corvelbase5::TvTipoBanco::tbSQLite, 0, 0, false);
    TDadosCase::Folder = TestDatabases::TempFolder() + "cenarios/novos/";
    QDir(QtText::ToQ(TDadosCase::Folder)).removeRecursively();
    const std::string file = TDadosCase::Folder + ".Clientes.cds";
    auto run = [] { return TDadosCase::Suite()->Run(); };

    auto first = run();
    CheckEquals(1, first->FailureCount(), AllFailures(*first));
    CheckEquals("\r\n" + file + "\r\n, Esperado é nil\r\nvcecAtual: 3\r\narquivo vcecAtual não existia e foi copiado",
                first->GetFailure(0).ThrownExceptionMessage());
    CheckTrue(Exists(file), "the expectation was stored");

    auto second = run();
    CheckEquals(std::string(), AllFailures(*second), "second run");

    corvelbase5::vDMConexao->ExecuteCommand("update clientes set cidade = 'Olinda' where id = 2");
    const size_t before = TempFilesStartingWith("TDadosCase.TestClientes vcecDiferente").size();
    auto third = run();
    CheckEquals(1, third->FailureCount(), AllFailures(*third));
    CheckEquals("\r\n" + file + "\r\n,  Diferente vcecAtual: 3\r\nvcecDiferente: 1",
                third->GetFailure(0).ThrownExceptionMessage());
    CheckEquals(before + 1, TempFilesStartingWith("TDadosCase.TestClientes vcecDiferente").size(),
                "the difference file in the temporary folder");
    corvelbase5::vDMConexao->ExecuteCommand("update clientes set cidade = 'Natal' where id = 2");

    // The same expectation as written by another tool.
    std::string latin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<DATAPACKET Version=\"2.0\">  \r\n<METADATA><FIELDS>"
        "<FIELD attrname=\"id\" fieldtype=\"i8\"/><FIELD attrname=\"nome\" fieldtype=\"string\" WIDTH=\"60\"/>"
        "<FIELD attrname=\"cidade\" fieldtype=\"string\" WIDTH=\"40\"/></FIELDS></METADATA>\r\n<ROWDATA>\r\n"
        "<ROW><V t=\"i\">1</V><V>Ana Souza</V><V>Recife</V></ROW>  \r\n"
        "<ROW><V t=\"i\">2</V><V>Bruno Lima</V><V>Natal</V></ROW>\r\n"
        "<ROW><V t=\"i\">3</V><V>C\xE9lia Ramos</V><V>Jo\xE3o Pessoa</V></ROW>\r\n</ROWDATA></DATAPACKET>  \r\n";
    WriteFile(file, latin1);
    auto fourth = run();
    CheckEquals(std::string(), AllFailures(*fourth), "Latin-1, CR LF and trailing blanks");

    WriteFile(file, "<DATAPACKET><broken");
    auto fifth = run();
    CheckEquals(1, fifth->ErrorCount(), AllFailures(*fifth));
    CheckTrue(fifth->GetError(0).ThrownExceptionMessage().find(file) != std::string::npos,
              "the invalid file is named: " + fifth->GetError(0).ThrownExceptionMessage());
    CheckEquals(std::string("<DATAPACKET><broken"), corvelbase5::LerArquivo(file), "nothing overwritten");

    // A folder that cannot be made: the failure says why, nothing raises.
    TDadosCase::Folder = "/proc/vUtilTest/";
    auto sixth = run();
    CheckEquals(1, sixth->FailureCount(), AllFailures(*sixth));
    CheckTrue(sixth->GetFailure(0).ThrownExceptionMessage().find(
                  "arquivo vcecAtual não existe e deu erro ao copiar\r\npara: /proc/vUtilTest/.Clientes.cds") !=
                  std::string::npos,
              sixth->GetFailure(0).ThrownExceptionMessage());
    corvelbase5::DestruirvDMConexaoParaTests();
  }

  // A plain message is not a path: no stray file; and a scenario difference
  // with no message is the difference alone.
  TESSEL_TEST(TestMessagesAreNotFiles) {
    auto test = std::make_shared<TDadosCase>("TestClientes");
    auto actual = std::make_unique<DBClient::TClientDataSet>();
    actual->AddField("a", DBClient::TFieldType::ftInteger);
    actual->AppendRecord({int64_t{1}});
    QDir::setCurrent(QtText::ToQ(TestDatabases::TempFolder()));
    try {
      test->CheckEquals(nullptr, std::move(actual), "totais", false);
      Fail("passed");
    } catch (const ETestFailure& e) {
      CheckEquals(std::string("totais, Esperado é nil\r\nvcecAtual: 1"), e.Message());
    }
    CheckTrue(!Exists(TestDatabases::TempFolder() + "totais"), "no file named after the message");

    corvelbaseutil5::TvCampoValor e1, a1;
    e1.Add("total", int64_t{10});
    a1.Add("total", int64_t{11});
    const std::string diff = corvelbaseutil5::CompararCenarios(e1, a1);
    try {
      test->CheckEquals(&e1, &a1, "");
      Fail("passed");
    } catch (const ETestFailure& e) {
      CheckEquals(diff, e.Message(), "no leading \", \"");
    }
    test->CheckEquals(&e1, &e1, "equal scenarios");
  }

  // The origin scenario is made once, kept when set to itself, and made
  // again after the suite's tear-down freed it.
  TESSEL_TEST(TestOriginScenario) {
    struct TPower : vUtilTest::TvTestSuitePower {
      using TvTestSuitePower::TvTestSuitePower;
      int Made = 0;
      corvelbaseutil5::TvCampoValor* CriarCenarioOrigem() override {
        ++Made;
        auto* c = new corvelbaseutil5::TvCampoValor;
        c->Add("empresa", int64_t{1});
        return c;
      }
    };
    auto suite = std::make_shared<TPower>("Power");
    corvelbaseutil5::TvCampoValor* first = suite->CenarioOrigem();
    CheckTrue(first == suite->CenarioOrigem(), "made once");
    suite->SetCenarioOrigem(first);
    CheckEquals(1, first->Count(), "still alive after being set to itself");
    suite->TearDown();
    CheckTrue(suite->CenarioOrigem() != nullptr, "made again");
    CheckEquals(2, suite->Made);
  }

  TESSEL_TEST(TestCheckProperty) {
    CheckTrue(Forms::EnsureApplication(), "application");
    QWidget form;
    form.setObjectName(QStringLiteral("frm"));
    auto* edit = new QLineEdit(&form);
    edit->setObjectName(QStringLiteral("edNome"));
    edit->setMaxLength(60);
    edit->setText(QStringLiteral("Ana"));
    auto* spin = new QDoubleSpinBox(&form);
    spin->setObjectName(QStringLiteral("spPreco"));
    spin->setValue(12.5);
    edit->setEnabled(false);
    auto test = std::make_shared<vUtilTest::TvGUITestCase>("TestNada");
    auto failure = [&](QWidget* c, const char* prop, QVariant expected) -> std::string {
      try {
        test->CheckProperty(c, prop, expected);
        return "(passed)";
      } catch (const ETestFailure& e) {
        return e.Message();
      }
    };
    struct TRow {
      QWidget* Control;
      const char* Property;
      QVariant Expected;
      std::string Result;
    } rows[] = {
        {edit, "maxLength", 60, "(passed)"},
        {edit, "MAXLENGTH", 61, "Control edNome property MAXLENGTH, expected: <61> but was: <60>"},
        {edit, "enabled", false, "(passed)"},
        {edit, "enabled", true, "Control edNome property enabled, expected: <True> but was: <False>"},
        {edit, "echoMode", 0, "(passed)"},
        {edit, "text", QStringLiteral("Ana"), "(passed)"},
        {spin, "value", 12.5, "(passed)"},
        {edit, "alignment", 1, "Not implemented: Control edNome property alignment"},
        {edit, "cor", 1, "No such property: Control edNome property cor"},
    };
    for (auto& r : rows) CheckEquals(r.Result, failure(r.Control, r.Property, r.Expected), r.Property);
    try {
      test->CheckProperty(edit, "maxLength", QStringLiteral("sessenta"));
      Fail("a text was taken for a number");
    } catch (const ETestFailure&) {
      throw;
    } catch (const Exception& e) {
      CheckTrue(std::string(e.what()).find("sessenta") != std::string::npos, e.what());
    }
    try {
      test->CheckDisabled(spin);
      Fail("passed");
    } catch (const ETestFailure& e) {
      CheckEquals(std::string("Expected control spPreco to be disabled"), e.Message());
    }
    test->CheckDisabled(edit);
    CheckTrue(test->CheckCalled(), "a check was called");
  }
};

// ---------------------------------------------------------------------------
// Base files, reports and the automatic form tests

// Writes the customers' file; the query changes between runs.
class TBaseCase : public vUtilTest::TvTestGerarArquivoBase {
  TESSEL_TESTCASE(TBaseCase, vUtilTest::TvTestGerarArquivoBase)
 public:
  static inline std::string SQL;
  static inline bool ProducedDuringTest = false;
  void SetUp() override {
    TvTestGerarArquivoBase::SetUp();
    FModulo = std::make_unique<corvelreport5::TvDMPowerParam>();
    FModulo->Query.SQL = SQL;
    FModulo->NomeArquivo = "sub/clientes.txt";
    SetDMPower(FModulo.get());
    SetNomeArquivo(FModulo->NomeArquivo);
  }
  void TearDown() override {
    ProducedDuringTest = Exists(ArquivoProduzido());
    TvTestGerarArquivoBase::TearDown();
    FModulo.reset();
  }

 private:
  std::unique_ptr<corvelreport5::TvDMPowerParam> FModulo;
};

// A form that raises a message dialog while it opens.
class TFrmAviso : public Forms::TForm {
 public:
  TFrmAviso() {
    setObjectName(QStringLiteral("frmAviso"));
    corvelbase5::vMessageDlg("Há pedidos sem itens", corvelbase5::TvMsgDlgType::mtWarning, corvelbase5::mbOK);
  }
};

// A report whose form has no execute button.
class TRelSemBotao : public corvelreport5::TvFrmReport {
 public:
  TRelSemBotao() { setObjectName(QStringLiteral("frmRelSemBotao")); }
};

class TRelCase : public vUtilTest::TvTestCaseReport {
  TESSEL_TESTCASE(TRelCase, vUtilTest::TvTestCaseReport)
 public:
  corvelbaseutil5::TvCampoValor* CriarCenarioOrigem() override {
    auto* c = new corvelbaseutil5::TvCampoValor;
    c->Add("Relatorio", std::string("TRelSemBotao"));
    return c;
  }
  TESSEL_TEST(TestExecutar) { Executar(); }
};

class TBaseAutoTests : public TTestCase {
  TESSEL_TESTCASE(TBaseAutoTests, TTestCase)
 public:
  TESSEL_TEST(TestBaseFileFirstRunThenDifference) {
    const std::string db = SQLiteSales("base");
    corvelbase5::CriarvDMConexaoParaTests(db, "", "", true, corvelbase5::TvTipoBanco::tbSQLite, 0, 0, false);
    const std::string cenarios = TestDatabases::TempFolder() + "cenarios-base/";
    QDir(QtText::ToQ(cenarios)).removeRecursively();
    const std::string text = cenarios;
    TBesideProgram f("cenariotest.txt", &text);
    const std::string base = cenarios + "vfpa/TBaseCase.Testar.txt";

    TBaseCase::SQL = "select id, nome from clientes order by id";
    auto first = TBaseCase::Suite()->Run();
    CheckEquals(std::string(), AllFailures(*first), "the first run makes the base file and passes");
    CheckEquals(std::string("id=1\r\nnome=Ana Souza\r\n--\r\nid=2\r\nnome=Bruno Lima\r\n--\r\n"
                            "id=3\r\nnome=Célia Ramos"),
                corvelbase5::LerArquivo(base), "the base file");
    CheckTrue(TBaseCase::ProducedDuringTest && !Exists(corvel5::PegarDirTemp() + "clientes.txt"),
              "the produced file lives only during the test");

    TBaseCase::SQL = "select id, nome from clientes where id <> 2 order by id";
    const size_t kept = TempFilesStartingWith("TBaseCase.Testar ").size();
    auto second = TBaseCase::Suite()->Run();
    CheckEquals(1, second->FailureCount(), AllFailures(*second));
    CheckTrue(second->GetFailure(0).ThrownExceptionMessage().find("Bruno Lima") != std::string::npos,
              second->GetFailure(0).ThrownExceptionMessage());
    CheckEquals(kept + 1, TempFilesStartingWith("TBaseCase.Testar ").size(), "a stamped copy is kept");
    CheckTrue(corvelbase5::LerArquivo(base).find("Bruno Lima") != std::string::npos, "the base file is never rewritten");
    corvelbase5::DestruirvDMConexaoParaTests();
  }

  TESSEL_TEST(TestIgnoreList) {
    struct TRow {
      const char* Name;
      bool Ignored;
    } rows[] = {{"actTvFrmClientes", false}, {"ACTVDMVENDAS", false},   {"actTvFrmSobre", true},
                {"acttvfrmsobre", true},     {"actTvFINLancar", true},  {"actvFISRRApurar", true},
                {"actvFISApurar", false},    {"mnuClientes", true},     {"act", true}};
    for (const auto& r : rows) CheckEquals(r.Ignored, vUtilTest::TTestSuiteAuto::ListaActIgnore(r.Name), r.Name);
  }

  // Three form-opening actions, one ignored, one action without a form: one
  // inner suite with two tests named after their actions. The form that
  // raises a dialog fails with its text; the dialog is never shown and the
  // business test cases' hook is back afterwards.
  TESSEL_TEST(TestAutomaticFormSuite) {
    Forms::ClassList().Register({"TFrmAviso", Forms::TClassKind::Form, [](QWidget*) -> QObject* { return new TFrmAviso; }});
    corvelbase5::TvActionList list;
    auto add = [&](const char* name, const char* form, bool abre) {
      auto a = std::make_unique<corvelbase5::TvAction>();
      a->Name = name;
      a->FormClass = form;
      a->AbreForm = abre;
      list.Add(std::move(a));
    };
    add("actTvFrmProdutos", "TvFrmProdutos", true);
    add("actTvFrmSobre", "TvFrmProdutos", true);
    add("actvDMVendasRecalcular", "", false);
    add("actTFrmAviso", "TFrmAviso", true);
    corvelbase5::TvActionList* saved = corvelbase5::FvActionListDireitos;
    corvelbase5::FvActionListDireitos = &list;
    auto chainCase = std::make_shared<TDialogCase>("TestPrimeiro");  // the chain is in the hook
    auto suite = vUtilTest::TvTestCaseAuto::Suite();
    corvelbase5::FvActionListDireitos = saved;
    CheckEquals(1, static_cast<int>(suite->Tests().size()), "one inner suite");
    auto inner = std::dynamic_pointer_cast<ITestSuite>(suite->Tests()[0]);
    CheckEquals(std::string("TestCriarDestruirForm.") + corvelbase5::NomeModulo(corvelbase5::PegarModuloAtual()),
                inner->GetName());
    std::string names;
    for (const auto& t : inner->Tests()) names += t->GetName() + ";";
    CheckEquals(std::string("actTvFrmProdutos;actTFrmAviso;"), names);

    const int forms = Forms::Screen().FormCount();
    auto result = suite->Run();
    CheckEquals(1, result->FailureCount(), AllFailures(*result));
    CheckEquals(0, result->ErrorCount(), AllFailures(*result));
    CheckEquals(std::string("actTFrmAviso"), result->GetFailure(0).FailedTest()->GetName());
    CheckTrue(result->GetFailure(0).ThrownExceptionMessage().find("Há pedidos sem itens") != std::string::npos,
              result->GetFailure(0).ThrownExceptionMessage());
    CheckEquals(forms, Forms::Screen().FormCount(), "every form opened was freed");
    chainCase->SetMsgDlgDesligar(true);
    corvelbase5::vMessageDlg("depois", corvelbase5::TvMsgDlgType::mtInformation, corvelbase5::mbOK);
    CheckEquals(std::string("depois"), chainCase->MsgDlgMensagem(), "the chain's hook is back");
    Forms::ClassList().Unregister("TFrmAviso");
  }

  TESSEL_TEST(TestReportWithoutExecuteButton) {
    Forms::ClassList().Register(
        {"TRelSemBotao", Forms::TClassKind::Form, [](QWidget*) -> QObject* { return new TRelSemBotao; }});
    const int forms = Forms::Screen().FormCount();
    auto result = TRelCase::Suite()->Run();
    Forms::ClassList().Unregister("TRelSemBotao");
    CheckEquals(1, result->ErrorCount(), AllFailures(*result));
    CheckEquals(std::string("The report form frmRelSemBotao has no execute button (btExecutar)"),
                result->GetError(0).ThrownExceptionMessage());
    CheckEquals(forms, Forms::Screen().FormCount(), "the tear-down freed the report form");
  }

  TESSEL_TEST(TestReportErrors) {
    corvelbaseutil5::TvCampoValor semRelatorio;
    try {
      corvelreport5::CriarDMRelatorio(semRelatorio);
      Fail("made a report from nothing");
    } catch (const corvel5::EvErro& e) {
      CheckTrue(std::string(e.what()).find("Relatorio") != std::string::npos, e.what());
    }
    corvelbaseutil5::TvCampoValor formComum;
    formComum.Add("Relatorio", std::string("TvFrmProdutos"));
    try {
      corvelreport5::CriarDMRelatorio(formComum);
      Fail("a plain form taken for a report");
    } catch (const corvel5::EvErro& e) {
      CheckTrue(std::string(e.what()).find("TvFrmProdutos") != std::string::npos, e.what());
    }
  }
};

}  // namespace

int main() {
  // Everything this program writes goes below one private folder.
  const std::string tmp = TestDatabases::TempFolder() + "tmp";
  QDir().mkpath(QtText::ToQ(tmp));
  setenv("TMPDIR", tmp.c_str(), 1);
  setenv("TESSEL_DADOS", (TestDatabases::TempFolder() + "dados/").c_str(), 1);
  QDir().mkpath(QtText::ToQ(TestDatabases::TempFolder() + "dados"));
  TestDatabases::PrivateFirebirdLock();
  if (!Forms::EnsureApplication()) return 2;
  corvel5::FModoTeste = true;
  // Form 0, with the tool bar the progress indicator sits on.
  auto* principal = new Forms::TForm;
  principal->setObjectName(QStringLiteral("Principal"));
  auto* bar = new QToolBar(principal);
  bar->setObjectName(QStringLiteral("ToolBar1"));
  bar->setGeometry(0, 0, 300, 28);
  bar->addAction(QStringLiteral("Vendas"));
  bar->addAction(QStringLiteral("Clientes"));
  principal->resize(320, 200);
  principal->show();
  Forms::ProcessMessages();

  RegisterTest("vUtilTest", TSuitesTests::Suite());
  RegisterTest("vUtilTest", TvUtilTestTests::Suite());
  RegisterTest("vUtilTest", TBaseAutoTests::Suite());
  auto result = RunRegisteredTests({});
  std::printf("%d run, %d failures, %d errors\n", result->RunCount(), result->FailureCount(), result->ErrorCount());
  for (int i = 0; i < result->FailureCount(); ++i)
    std::printf("FAILURE %s: %s\n", result->GetFailure(i).FailedTest()->GetName().c_str(),
                result->GetFailure(i).ThrownExceptionMessage().c_str());
  for (int i = 0; i < result->ErrorCount(); ++i)
    std::printf("ERROR %s: %s\n", result->GetError(i).FailedTest()->GetName().c_str(),
                result->GetError(i).ThrownExceptionMessage().c_str());
  principal->grab().save(QtText::ToQ(Platform::ProgramDir() + "vutiltest-principal.png"));
  delete principal;
  return result->WasSuccessful() ? 0 : 1;
}
