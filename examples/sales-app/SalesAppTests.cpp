// Business tests of the sales application, run against a real Firebird
// database file (embedded engine) made from schema.sql before the run. The
// connection suite loads the application's packages (vendas_0.so,
// vendasdm_0.so) beside this program; everything the tests write is rolled
// back by the suite around them.
#include <QMetaObject>
#include <QPushButton>
#include <QSpinBox>

#include "business/CorvelFramework.h"
#include "business/vUtilTest.h"
#include "examples/sales-app/SalesAppTests.h"
#include "platform/qt/QtText.h"

using vUtilTest::TvGUITestCase;
using vUtilTest::TvTestCase;

namespace SalesApp {

namespace {
corvelbase5::TvAction* Acao(const std::string& name) {
  corvelbase5::TvAction* action =
      corvelbase5::FvActionListDireitos ? corvelbase5::FvActionListDireitos->Find(name) : nullptr;
  if (!action) throw TestFramework::Exception("the rights list has no action " + name);
  return action;
}

int64_t Contar(const std::string& sql) {
  auto ds = corvelbase5::vDMConexao->ExecuteQueryView(sql);
  ds->First();
  return ds->Fields(0).AsInteger();
}
}  // namespace

// Query results against the expected data kept in cenarios/.
class TPedidosTests : public TvTestCase {
  TESSEL_TESTCASE(TPedidosTests, TvTestCase)
 public:
  TESSEL_TEST(TestClientes) { TestDados("select id, nome, cidade from clientes order by id"); }

  TESSEL_TEST(TestItens_Pedido) {
    corvelbaseutil5::TvCampoValor filtro;
    filtro.Add("pedido_id", int64_t{1});
    TestDados(&filtro);
  }

  TESSEL_TEST(TestInserePedidoPeloModulo) {
    QObject* dm = corvelbase5::CriarDM("TvDMVendas", nullptr, "");
    qlonglong id = 0;
    double total = 0;
    QMetaObject::invokeMethod(dm, "InserirPedido", Q_RETURN_ARG(qlonglong, id), Q_ARG(qlonglong, 2),
                              Q_ARG(QString, QStringLiteral("1:2;3:1")));
    QMetaObject::invokeMethod(dm, "TotalPedido", Q_RETURN_ARG(double, total), Q_ARG(qlonglong, id));
    CheckEquals(3, id, "the next order number");
    CheckEquals(174.9, total, 0.001, "2 x 12.50 + 149.90");
    CheckEquals(3, Contar("select count(*) from pedidos"), "orders inside the suite's transaction");
    // The module stays: the suite's tear-down frees what tests leave behind.
  }

  TESSEL_TEST(TestQuantidadeZeroRecusada) {
    SetMsgDlgDesligar(true);
    QWidget* form = corvelbase5::ShowForm(Acao("actTvFrmPedidos"), "TvFrmPedidos", corvelbase5::TvFormStyle::fsNormal);
    form->findChild<QSpinBox*>(QStringLiteral("spQuantidade"))->setValue(0);
    form->findChild<QPushButton*>(QStringLiteral("btAdicionar"))->click();
    CheckEquals(std::string("Informe uma quantidade maior que zero"), MsgDlgMensagem());
    const int64_t proximo = Contar("select max(id) from pedidos") + 1;
    form->findChild<QSpinBox*>(QStringLiteral("spQuantidade"))->setValue(3);
    form->findChild<QPushButton*>(QStringLiteral("btAdicionar"))->click();
    form->findChild<QPushButton*>(QStringLiteral("btGravar"))->click();
    CheckEquals("Informe uma quantidade maior que zero\r\nPedido " + std::to_string(proximo) + " gravado",
                MsgDlgMensagem());
    SaveScreenshot(form, "sales-app-pedidos.png");
    delete form;
  }
};

// The customer form driven by simulated input.
class TClientesFormTests : public TvGUITestCase {
  TESSEL_TESTCASE(TClientesFormTests, TvGUITestCase)
 public:
  void SetUp() override {
    TvGUITestCase::SetUp();
    FActionDelay = 0;
    FGUI = corvelbase5::ShowForm(Acao("actTvFrmClientes"), "TvFrmClientes", corvelbase5::TvFormStyle::fsNormal);
    Show();
  }

  TESSEL_TEST(TestGravarCliente) {
    CheckDisabled("btGravar");
    CheckProperty("edNome", "maxLength", 60);
    EnterTextInto("edNome", "Dora Alves");
    EnterTextInto("edCidade", "Olinda");
    CheckEnabled("btGravar");
    CheckProperty("edNome", "text", QStringLiteral("Dora Alves"));
    SaveScreenshot(FGUI, "sales-app-clientes.png");
    Click("btGravar");
    CheckProperty("edNome", "text", QString());
    CheckDisabled("btGravar");
    CheckEquals(1, Contar("select count(*) from clientes where nome = 'Dora Alves'"), "the new customer");
  }
};

// The customers' file that the parameter module writes, against its base file.
class TBaseClientes : public vUtilTest::TvTestGerarArquivoBase {
  TESSEL_TESTCASE(TBaseClientes, vUtilTest::TvTestGerarArquivoBase)
 public:
  void SetUp() override {
    TvTestGerarArquivoBase::SetUp();
    FModulo = std::make_unique<corvelreport5::TvDMPowerParam>();
    FModulo->Query.SQL = "select id, nome, cidade from clientes where id <= 3 order by id";
    FModulo->NomeArquivo = "clientes.txt";
    SetDMPower(FModulo.get());
    SetNomeArquivo(FModulo->NomeArquivo);
  }
  void TearDown() override {
    TvTestGerarArquivoBase::TearDown();
    FModulo.reset();
  }

 private:
  std::unique_ptr<corvelreport5::TvDMPowerParam> FModulo;
};

// The sales-per-customer report from its origin scenario.
class TRelVendas : public vUtilTest::TvTestCaseReport {
  TESSEL_TESTCASE(TRelVendas, vUtilTest::TvTestCaseReport)
 public:
  corvelbaseutil5::TvCampoValor* CriarCenarioOrigem() override {
    auto* origem = new corvelbaseutil5::TvCampoValor;
    origem->Add("Relatorio", std::string("TvFrmRelVendas"));
    origem->Add("inicio", std::string("2026-01-01"));
    origem->Add("fim", std::string("2026-03-31"));
    return origem;
  }
  TESSEL_TEST(TestVendasPorCliente) {
    Executar();
    auto esperado = corvelbaseutil5::CriarCenarios(vUtilTest::CaminhoCenarios() + "RelVendas.csv");
    CheckEquals(esperado.get(), CenarioResultado(corvelreport5::TvrwExportType::etCSV), "vendas por cliente");
  }
};

// Once connected, every form the rights list opens gets its open-and-free test.
class TSuiteVendas : public vUtilTest::TvTestSuiteFireBird {
 public:
  using TvTestSuiteFireBird::TvTestSuiteFireBird;
  void SetUp() override {
    TvTestSuiteFireBird::SetUp();
    if (!FFormsAdded) AddTest(vUtilTest::TvTestCaseAuto::Suite());
    FFormsAdded = true;
  }

 private:
  bool FFormsAdded = false;
};

void RegisterSalesTests(const std::string& suiteName) {
  auto conexao = std::make_shared<TSuiteVendas>(suiteName);
  auto rollback = std::make_shared<vUtilTest::TvTestSuiteRollBack>("Pedidos");
  rollback->AddTest(TPedidosTests::Suite());
  rollback->AddTest(TClientesFormTests::Suite());
  rollback->AddTest(TBaseClientes::Suite());
  rollback->AddTest(TRelVendas::Suite());
  conexao->AddTest(rollback);
  TestFramework::RegisterTest(conexao);
}

}  // namespace SalesApp
