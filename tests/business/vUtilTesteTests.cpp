// Unit vUtilTeste, first half: the dialog answer script and the captured
// texts, the registry pass-through, the unit's finalisation, data modules
// by name, and scenario data written to and deleted from a real database.
#include <QApplication>
#include <QMessageBox>

#include "tests/business/LegacyFixture.h"
#include "tests/core/RecordingListener.h"

using namespace TestFramework;
using namespace LegacyFixture;
using corvelbase5::TvMsgDlgType;
using vUtilTeste::TvCampoValor;
using vUtilTeste::TvListCampoValor;
using vUtilTeste::TvListListCampoValor;

namespace {

// What the dialogs of the code under test answered, in order.
std::vector<int> gAnswers;

int Ask(const std::string& text, int buttons = corvelbase5::mbYes | corvelbase5::mbNo) {
  int answer = corvelbase5::vMessageDlg(text, TvMsgDlgType::mtConfirmation, buttons);
  gAnswers.push_back(answer);
  return answer;
}

class TScriptSuite : public vUtilTeste::TvTestSuite {
 public:
  TScriptSuite(std::string script, std::string expected)
      : vUtilTeste::TvTestSuite("TScriptSuite"), FScript(std::move(script)), FExpected(std::move(expected)) {}
  std::string GetMensagemResult() override { return FScript; }
  std::string GetMensagem() override { return FExpected; }

 private:
  std::string FScript, FExpected;
};

// Code under test that raises dialogs, as a suite of this unit runs it.
class TDialogCode : public vUtilTeste::TvTestCase {
  TESSEL_TESTCASE(TDialogCode, vUtilTeste::TvTestCase)
 public:
  TESSEL_TEST(TestFourDialogs) {
    for (const char* t : {"A", "B", "C", "D"}) Ask(t);
    TestMensagem();
  }
  TESSEL_TEST(TestTwoDialogs) {
    Ask("A");
    Ask("B");
    TestMensagem();
  }
  TESSEL_TEST(TestOneOkDialog) { Ask("Gravado.", corvelbase5::mbOK); }
  // An old script's sequence: yes, then 6 to an OK-only dialog, then no.
  TESSEL_TEST(TestOkDialogInASequence) {
    Ask("Excluir?");
    Ask("Gravado.\r\nCliente 1", corvelbase5::mbOK);
    Ask("Fechar?");
    TestMensagem();
  }
  TESSEL_TEST(TestScriptSeen) { CheckEquals(std::string("6;7;6"), GetMensagemResult()); }
};

ITestPtr MethodOf(const char* name) { return TesselFactory<TDialogCode>(name, 1); }

std::shared_ptr<TScriptSuite> ScriptSuite(const std::string& script, const std::string& expected,
                                    std::initializer_list<const char*> tests) {
  auto suite = std::make_shared<TScriptSuite>(script, expected);
  for (const char* t : tests) suite->AddTest(MethodOf(t));
  return suite;
}

class TvUtilTesteDialogs : public TTestCase {
  TESSEL_TESTCASE(TvUtilTesteDialogs, TTestCase)
 public:
  void SetUp() override {
    CheckTrue(Forms::EnsureApplication(), "no application");
    gAnswers.clear();
    corvel5::FModoTeste = true;  // an unanswered dialog raises instead of waiting
  }
  void TearDown() override { corvel5::FModoTeste = false; }

  // Fewer answers than dialogs: an empty item answers 0, and so does every
  // dialog after the script is used up; the texts are captured in order.
  TESSEL_TEST(TestScriptWithAGapAndFewerAnswersThanDialogs) {
    CheckEquals(std::string(), Joined(Outcome(ScriptSuite("6;;7", "A\r\nB\r\nC\r\nD", {"TestFourDialogs"}))));
    CheckEquals(std::string("6 0 7 0"), [] {
      std::string s;
      for (int a : gAnswers) corvel5::Add(s, std::to_string(a), " ");
      return s;
    }());
  }

  // The captured text grows for the whole suite run, and a wrong
  // expectation fails with both texts.
  TESSEL_TEST(TestCapturedTextsAreCompared) {
    CheckEquals(std::string(), Joined(Outcome(ScriptSuite("", "A\r\nB", {"TestTwoDialogs"}))));
    std::string out = Joined(Outcome(ScriptSuite("", "A\r\nB", {"TestTwoDialogs", "TestTwoDialogs"})));
    CheckTrue(Contains(out, "FAILURE TestTwoDialogs: expected: <A\r\nB> but was: <A\r\nB\r\nA\r\nB>"), out);
  }

  // More answers than dialogs: the rest is dropped when the suite ends, and
  // the handler that was there before answers again.
  TESSEL_TEST(TestLeftoverAnswersAndTheHookAreClearedWithTheSuite) {
    int outside = 0;
    corvel5::FOnAntesMostrarMessage = [&](QWidget*, bool& show) {
      ++outside;
      show = false;
      return 2;
    };
    CheckEquals(std::string(), Joined(Outcome(ScriptSuite("6;7;6", "A\r\nB", {"TestScriptSeen", "TestTwoDialogs"}))));
    CheckEquals(0, outside, "the suite's script answered, not the earlier handler");
    CheckEquals(std::string(), vUtilTeste::FvDialogMsgResult, "leftover answers dropped");
    CheckEquals(std::string(), vUtilTeste::FvDialogMsgText, "captured texts dropped");
    CheckTrue(vUtilTeste::FSuiteGlobal == nullptr, "no suite is running");
    CheckEquals(2, Ask("after"), "the earlier handler is back");
    CheckEquals(1, outside);
    corvel5::FOnAntesMostrarMessage = nullptr;
  }

  // A malformed item is an error of the test whose code raised the dialog,
  // naming the item.
  TESSEL_TEST(TestMalformedAnswerIsAnErrorOfTheTest) {
    std::string out = Joined(Outcome(ScriptSuite("6;x7", "", {"TestTwoDialogs"})));
    CheckTrue(Contains(out, "ERROR TestTwoDialogs: 'x7' is not a valid integer value"), out);
    CheckTrue(gAnswers == std::vector<int>{6}, "only the first dialog was answered");
  }

  // An answer the dialog has no button for is returned as written, and the
  // test whose code raised the dialog gets one status line naming it,
  // wherever that test sits below the suite.
  TESSEL_TEST(TestAnswerNotOfferedIsReturnedAndNoted) {
    const std::string okOnly = " offers no answer 7 (it offers 1); the script's answer was returned as written\r\n";
    struct TRow {
      const char* Script;
      const char* Test;
      const char* Place;  // "" directly in the suite, "suite" in a plain suite, "setup" under a decorator
      std::vector<int> Answers;
      std::string Status;
    } rows[] = {
        {"7", "TestOneOkDialog", "", {7}, "The dialog \"Gravado.\"" + okOnly},
        {"1", "TestOneOkDialog", "", {1}, ""},
        {"", "TestOneOkDialog", "", {0}, ""},  // script used up: 0, as always
        {"6;6;7", "TestOkDialogInASequence", "", {6, 6, 7},
         "The dialog \"Gravado. Cliente 1\" offers no answer 6 (it offers 1); the script's answer was returned as "
         "written\r\n"},
        {"7", "TestOneOkDialog", "suite", {7}, "The dialog \"Gravado.\"" + okOnly},
        {"7", "TestOneOkDialog", "setup", {7}, "The dialog \"Gravado.\"" + okOnly},
    };
    for (const TRow& r : rows) {
      gAnswers.clear();
      const std::string row = std::string(r.Script) + " " + r.Test + " " + r.Place;
      auto suite = std::make_shared<TScriptSuite>(r.Script, "Excluir?\r\nGravado.\r\nCliente 1\r\nFechar?");
      ITestPtr test = MethodOf(r.Test);
      const std::string place = r.Place;
      if (place == "suite")
        suite->AddTest(TestSuite("Inner", {test}));
      else if (place == "setup")
        suite->AddTest(std::make_shared<vUtilTeste::TvTestSetup>(test));
      else
        suite->AddTest(test);
      auto heard = std::make_shared<TesselTests::TRecordingListener>();
      auto result = vUtilTeste::RunTest(suite, {heard});
      CheckTrue(result->WasSuccessful(), row + ": the test passes");
      CheckTrue(gAnswers == r.Answers, row + ": answers as written");
      CheckEquals(r.Status, test->GetStatus(), row + ": the test's status");
      CheckEquals(std::string(), suite->GetStatus(), row + ": nothing on the suite");
      // What the console runner prints, or the window shows while it runs.
      std::string statusCalls;
      for (const std::string& call : heard->Log())
        if (call.rfind("Status(", 0) == 0) statusCalls += call + "\r\n";
      CheckEquals(r.Status.empty() ? std::string() : "Status(" + std::string(r.Test) + "," +
                                                       r.Status.substr(0, r.Status.size() - 2) + ")\r\n",
                  statusCalls, row + ": the listeners heard it once");
    }
  }

  // Without a running suite of this unit, a test sees no script.
  TESSEL_TEST(TestNoSuiteNoScript) {
    auto alone = MethodOf("TestScriptSeen");
    std::string out = Joined(Outcome(alone));
    CheckTrue(Contains(out, "expected: <6;7;6> but was: <>"), out);
  }
};

class TvUtilTesteUnit : public TTestCase {
  TESSEL_TESTCASE(TvUtilTesteUnit, TTestCase)
 public:
  // The unit's steps count: only its last finalisation empties the script
  // and the captured texts.
  TESSEL_TEST(TestLastFinalisationEmptiesTheTexts) {
    vUtilTeste::InitializeUnit();  // a second module starting the unit
    vUtilTeste::FvDialogMsgResult = "6";
    vUtilTeste::FvDialogMsgText = "A";
    vUtilTeste::FinalizeUnit();
    CheckEquals(std::string("A"), vUtilTeste::FvDialogMsgText, "not the last finalisation");
    vUtilTeste::FinalizeUnit();  // the package's own, brought forward
    CheckEquals(std::string(), vUtilTeste::FvDialogMsgResult);
    CheckEquals(std::string(), vUtilTeste::FvDialogMsgText);
    vUtilTeste::InitializeUnit();  // give the package its start back
  }

  // Scenario files: UTF-8 blocks of campo=valor; a line that is not, or a
  // file in another encoding, is refused with its place.
  TESSEL_TEST(TestScenarioFilesAreReadStrictly) {
    const std::string path = TestDatabases::TempFolder() + "cenario.txt";
    corvelbase5::GravarArquivo("nome=João\r\nid=1\r\n--\r\nnome=Bia\r\n", path);
    auto list = corvelbaseutil5::CriarCenarios(path);
    CheckEquals(2, list->Count());
    CheckEquals(std::string("nome=João\r\nid=1\r\n--\r\nnome=Bia"), corvelbaseutil5::PegarCenarioStr(*list));
    corvelbase5::GravarArquivo("nome=Ana\nAna;1\n", path);
    std::string e = ErrorOf([&] { corvelbaseutil5::CriarCenarios(path); });
    CheckTrue(Contains(e, "line 2 of \"" + path + "\" is not campo=valor: \"Ana;1\""), e);
    corvelbase5::GravarArquivo("nome=Jo\xE3o\n", path);
    e = ErrorOf([&] { corvelbaseutil5::CriarCenarios(path); });
    CheckTrue(Contains(e, "is not UTF-8 text"), e);
  }
};

// ---------------------------------------------------------------------------
// Data

class TvDMClienteTeste : public corvelbase5::TvDMClientDataSet {
 public:
  explicit TvDMClienteTeste(QObject* owner = nullptr) : corvelbase5::TvDMClientDataSet(owner, "cliente") {
    setObjectName(QStringLiteral("TvDMClienteTeste"));
  }
};

[[maybe_unused]] const bool gModules = [] {
  Forms::ClassList().Register({"TvDMClienteTeste", Forms::TClassKind::DataModule,
                               [](QWidget*) -> QObject* { return new TvDMClienteTeste; }});
  Forms::ClassList().Register({"TvDMQualquer", Forms::TClassKind::DataModule,
                               [](QWidget*) -> QObject* { return new Forms::TDataModule; }});
  return true;
}();

TvCampoValor& Cliente(TvListCampoValor& list, int64_t id, const std::string& nome, const std::string& email) {
  TvCampoValor& c = list.Add();
  c.Nome = "cliente " + std::to_string(id);
  c.Add("id", id);
  c.Add("nome", nome);
  c.Add("email", email);
  return c;
}

class TvUtilTesteDados : public TTestCase {
  TESSEL_TESTCASE(TvUtilTesteDados, TTestCase)
 public:
  void SetUp() override {
    CheckTrue(Forms::EnsureApplication(), "no application");
    CreateDatabase();
  }
  void TearDown() override { corvelbase5::DestruirvDMConexaoParaTests(); }

  // Written rows are there for another connection, and deleting the same
  // scenarios leaves the tables as they were.
  TESSEL_TEST(TestWrittenAndDeletedLeavesTheDatabaseAsItWas) {
    const int clientes = CountRows("cliente"), pedidos = CountRows("pedido");
    auto make = [] {
      auto all = std::make_unique<TvListListCampoValor>();
      TvListCampoValor& c = all->Add();
      c.Nome = "clientes";
      c.Tabela = "cliente";
      Cliente(c, 10, "Caio", "caio@x.br");
      Cliente(c, 11, "Duda", "duda@x.br");
      TvListCampoValor& p = all->Add();
      p.Nome = "pedidos";
      p.Tabela = "pedido";
      TvCampoValor& one = p.Add();
      one.Add("id", int64_t{100});
      one.Add("cliente", int64_t{10});
      one.Add("total", 12.5);
      return all;
    };
    auto written = make();
    vUtilTeste::GravarDadosDM(written.get(), true);
    CheckEquals(0, written->Count(), "emptied when AFree");
    CheckEquals(clientes + 2, CountRows("cliente"));
    CheckEquals(pedidos + 1, CountRows("pedido"));
    // The orders refer to the clients: deleting goes from the last list to
    // the first, or the foreign key refuses.
    vUtilTeste::DeletarDados(make().release(), true);
    CheckEquals(clientes, CountRows("cliente"));
    CheckEquals(pedidos, CountRows("pedido"));
  }

  // A refused row does not stop the others; the message names the list and
  // each refused row with its key (and the unique index that refused it).
  TESSEL_TEST(TestRefusedRowsAreReportedAndTheOthersWritten) {
    auto list = std::make_unique<TvListCampoValor>();
    list->Nome = "clientes novos";
    list->Tabela = "cliente";
    Cliente(*list, 1, "Outra Ana", "nova@x.br");   // key taken
    Cliente(*list, 12, "Eva", "eva@x.br");
    Cliente(*list, 13, "Fabi", "bia@x.br");        // e-mail taken
    std::string e = ErrorOf([&] { vUtilTeste::GravarDadosDM(list.release(), true, true); });
    CheckTrue(e.starts_with("clientes novos\r\n"), e);
    CheckTrue(Contains(e, "UNIQUE constraint failed: cliente.id"), e);
    CheckTrue(Contains(e, "PKcliente=id\r\nid = 1\r\n"), e);
    CheckTrue(Contains(e, "ix_cliente_email=email\r\nid = 13\r\nemail = bia@x.br"), e);
    CheckEquals(3, CountRows("cliente"), "Eva was written");
  }

  // A scenario naming a field the table lacks writes nothing and says which.
  TESSEL_TEST(TestUnknownFieldWritesNothing) {
    auto c = std::make_unique<TvCampoValor>();
    c->Nome = "cliente";
    c->Tabela = "cliente";
    c->Add("id", int64_t{20});
    c->Add("telefone", std::string("555"));
    std::string e = ErrorOf([&] { vUtilTeste::GravarDadosDM(c.release(), true, true); });
    CheckTrue(Contains(e, "names the field \"telefone\", which table cliente does not have"), e);
    CheckEquals(2, CountRows("cliente"));
  }

  // The statement's table is upper-cased, and a failure quotes it.
  TESSEL_TEST(TestDeleteStatementsAndTheirErrors) {
    std::string e = ErrorOf([] { vUtilTeste::DeletarDados("cliente_velho"); });
    CheckTrue(e.starts_with("DeletarDados -> delete from CLIENTE_VELHO -> "), e);
    CheckTrue(Contains(e, "no such table"), e);
    auto ana = std::make_unique<TvCampoValor>();
    ana->Tabela = "cliente";
    ana->Add("nome", std::string("Ana"));
    vUtilTeste::DeletarDados(ana.release(), true);
    CheckEquals(1, CountRows("cliente"), "only Ana's row");
    // No values would mean every row: refused, nothing deleted.
    auto empty = std::make_unique<TvCampoValor>();
    empty->Nome = "vazio";
    empty->Tabela = "cliente";
    e = ErrorOf([&] { vUtilTeste::DeletarDados(empty.release(), true); });
    CheckTrue(Contains(e, "\"vazio\" has no values"), e);
    CheckEquals(1, CountRows("cliente"));
    vUtilTeste::DeletarDados("cliente");
    CheckEquals(0, CountRows("cliente"));
  }

  // Firebird names its constraints: a missing client is reported with the
  // foreign key's fields, a taken key with the key alone.
  TESSEL_TEST(TestFirebirdRefusalsNameTheirConstraint) {
    const std::string path = TestDatabases::TempFolder() + "legacy.fdb";
    std::string made = TestDatabases::CreateFirebird(
        path,
        "create table cliente (id integer not null primary key, nome varchar(20));\n"
        "create table pedido (id integer not null primary key, cliente integer, total double precision, "
        "constraint fk_pedido_cliente foreign key (cliente) references cliente (id));\n"
        "insert into cliente values (1, 'Ana');\n");
    if (!made.empty()) Fail(made);
    corvelbase5::DestruirvDMConexaoParaTests();
    corvelbase5::CriarvDMConexaoParaTests(path, "SYSDBA", "", true, corvelbase5::TvTipoBanco::tbFirebird, 0, 0, false);
    auto pedidos = std::make_unique<TvListCampoValor>();
    pedidos->Nome = "pedidos";
    pedidos->Tabela = "PEDIDO";
    TvCampoValor& orphan = pedidos->Add();
    orphan.Add("ID", int64_t{1});
    orphan.Add("CLIENTE", int64_t{9});
    TvCampoValor& ok = pedidos->Add();
    ok.Add("ID", int64_t{2});
    ok.Add("CLIENTE", int64_t{1});
    TvCampoValor& twice = pedidos->Add();
    twice.Add("ID", int64_t{2});
    twice.Add("CLIENTE", int64_t{1});
    std::string e = ErrorOf([&] { vUtilTeste::GravarDadosDM(pedidos.release(), true, true); });
    CheckTrue(Contains(e, "PKPEDIDO=ID\r\nID = 1\r\nFK_PEDIDO_CLIENTE=CLIENTE\r\nID = 1\r\nCLIENTE = 9"), e);
    CheckTrue(Contains(e, "PKPEDIDO=ID\r\nID = 2"), e);
    CheckEquals(1, static_cast<int>(corvelbase5::vDMConexao->ExecuteQueryView("select * from pedido")->RecordCount()));
  }

  // Modules by name: a client-dataset module opens on its last record; any
  // other module is refused.
  TESSEL_TEST(TestModulesByName) {
    std::unique_ptr<corvelbase5::TvDMClientDataSet> dm(vUtilTeste::CriarDMInt("tvdmclienteteste"));
    CheckEquals(2, dm->CDS().RecordCount());
    CheckEquals(std::string("Bia"), dm->CDS().FieldByName("nome").AsString(), "on the last record");
    std::string e = ErrorOf([] { vUtilTeste::CriarDMInt("TvDMQualquer"); });
    CheckTrue(Contains(e, "\"TvDMQualquer\" is not a client-dataset module"), e);
    std::unique_ptr<QObject> any(vUtilTeste::CriarDM("TvDMQualquer"));
    CheckTrue(any != nullptr);
    e = ErrorOf([] { vUtilTeste::CriarDM("TvDMNenhum"); });
    CheckTrue(Contains(e, "\"TvDMNenhum\" is not registered"), e);
  }
};

TESSEL_REGISTER("vUtilTeste", TvUtilTesteDialogs);
TESSEL_REGISTER("vUtilTeste", TvUtilTesteUnit);
TESSEL_REGISTER("vUtilTeste", TvUtilTesteDados);

}  // namespace
