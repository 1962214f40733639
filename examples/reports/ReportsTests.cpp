// One suite of each kind of the legacy business unit, on the reports
// example: dialogs answered from a script, a report compared line by line,
// a parameter query's log and datasets, a module's form, and a report
// opened through the action list.
#include <QTableWidget>

#include "Reports.h"
#include "business/CorvelFramework.h"
#include "business/vUtilTeste.h"
#include "platform/Paths.h"
#include "platform/qt/QtText.h"

using namespace vUtilTeste;

namespace {

// ---------------------------------------------------------------------------
// Dialogs: yes to the first question, no to the second.

class TClientesSuite : public TvTestSuite {
 public:
  using TvTestSuite::TvTestSuite;
  std::string GetMensagemResult() override { return "6;7"; }
  std::string GetMensagem() override { return "Excluir o cliente Ana?\r\nExcluir o cliente Bia?"; }
};

int Clientes() {
  return static_cast<int>(corvelbase5::vDMConexao->ExecuteQueryView("select count(*) from cliente")->Fields(0).AsInteger());
}

class TClientesTests : public TvTestCase {
  TESSEL_TESTCASE(TClientesTests, TvTestCase)
 public:
  TESSEL_TEST(TestExcluirPergunta) {
    CheckTrue(Reports::ExcluirCliente(1), "yes deletes");
    CheckFalse(Reports::ExcluirCliente(2), "no keeps");
    CheckEquals(1, Clientes());
    TestMensagem();
  }
  TESSEL_TEST(TestGravarEDeletar) {
    auto novo = std::make_unique<TvCampoValor>();
    novo->Nome = "Caio";
    novo->Tabela = "cliente";
    novo->Add("id", int64_t{3});
    novo->Add("nome", std::string("Caio"));
    const int antes = Clientes();
    GravarDadosDM(novo.get(), false, true);
    CheckEquals(antes + 1, Clientes());
    DeletarDados(novo.release(), true);
    CheckEquals(antes, Clientes());
  }
};

// ---------------------------------------------------------------------------
// The sales report for 2024. Result() is what the suite wrote out the first
// time, pasted here as the expectation.

std::vector<std::string> Result() {
  return {
      R"x(Linha=cliente,total)x",
      R"x(--)x",
      R"x(Linha=Ana,14.5)x",
      R"x(--)x",
      R"x(Linha=Bia,20)x",
  };
}

std::unique_ptr<TvCampoValor> Vendas(const std::string& modulo) {
  auto c = std::make_unique<TvCampoValor>();
  c->Nome = "Vendas 2024";
  c->NomeDM = modulo;
  c->Add("ano", int64_t{2024});
  return c;
}

class TVendasSuite : public TvTestSuiteReport {
 public:
  using TvTestSuiteReport::TvTestSuiteReport;
  std::unique_ptr<TvCampoValor> CenarioDaSuite() override { return Vendas("TvDMVendasRel"); }
};

class TVendas2024 : public TvTestCaseReport {
  TESSEL_TESTCASE(TVendas2024, TvTestCaseReport)
 public:
  TvCenarioLista CenarioResultado() override { return Cenario(corvelbaseutil5::CriarCenarios(Result())); }
};

// ---------------------------------------------------------------------------
// The sales parameter query: its log, its dataset, and its by-client tab.

class TVendasParamSuite : public TvTestSuitePowerParam {
 public:
  using TvTestSuitePowerParam::TvTestSuitePowerParam;
  std::unique_ptr<TvCampoValor> CenarioDaSuite() override { return Vendas("TvDMVendasParam"); }
};

std::unique_ptr<TvListCampoValor> Log(const std::vector<std::string>& lines) { return corvelbaseutil5::CriarCenarios(lines); }

TvCenarioListas Vendas(std::initializer_list<std::pair<const char*, const char*>> rows) {
  auto all = std::make_unique<TvListListCampoValor>();
  TvListCampoValor& l = all->Add();
  for (const auto& [cliente, total] : rows) {
    TvCampoValor& r = l.Add();
    r.Add("cliente", std::string(cliente));
    r.Add("total", std::string(total));
  }
  return Cenario(std::move(all));
}

class TVendasParam : public TvTestCasePowerParamTab {
  TESSEL_TESTCASE(TVendasParam, TvTestCasePowerParamTab)
 public:
  TvCenarioLista CenarioResultadoLog() override {
    return Cenario(Log({"Passo=Consulta", "Ano=2024", "--", "Fim=Concluí"}));
  }
  TvCenarioListas CenarioResultadoCDS() override { return Vendas({{"Ana", "4"}, {"Ana", "10.5"}, {"Bia", "20"}}); }
  TvCenarioLista CenarioResultadoTabLog() override {
    return Cenario(Log({"Aba=TVendasParam", "--", "Passo=Consulta", "Ano=2024", "--", "Fim=Concluí"}));
  }
  TvCenarioListas CenarioResultadoTabCDS() override { return Vendas({{"Ana", "14.5"}, {"Bia", "20"}}); }
};

// ---------------------------------------------------------------------------
// The client module's form (the module's name comes from the class name).

class TvDMClienteTests : public TvTesteCaseDMClientDataSet {
  TESSEL_TESTCASE(TvDMClienteTests, TvTesteCaseDMClientDataSet)
 public:
  TESSEL_TEST(TestGrade) {
    auto* grid = qobject_cast<QTableWidget*>(FindControl("grdDados"));
    CheckTrue(grid != nullptr, "the grid of the module's records");
    CheckEquals(3, grid->columnCount());
    FGUI->grab().save(QtText::ToQ(Platform::ProgramDir() + "reports-demo-cliente.png"));
  }
};

// ---------------------------------------------------------------------------
// A report opened as a user opens it: through its action.

class TRelatorioTests : public TvTestCase {
  TESSEL_TESTCASE(TRelatorioTests, TvTestCase)
 public:
  TESSEL_TEST(TestVendas2025) {
    TvRelatorio rel;
    rel.ChamaRelatorio("Vendas");
    rel.Paramentros("ano", "2025");
    rel.GerarRelatorio();
    CheckEquals(std::string("cliente,total"), rel.LinhaRelatorio(0));
    CheckEquals(std::string("Ana,7"), rel.LinhaRelatorio(1));
    rel.FForm->grab().save(QtText::ToQ(Platform::ProgramDir() + "reports-demo-relatorio.png"));
  }
};

template <class S, class C>
bool Register(const char* path, const char* name) {
  auto suite = std::make_shared<S>(name);
  suite->AddTests(&C::ClassInfo());
  vUtilTeste::RegisterTest(path, suite);
  return true;
}

[[maybe_unused]] const bool gRegistered = Register<TClientesSuite, TClientesTests>("Relatorios", "Clientes") &&
                                          Register<TVendasSuite, TVendas2024>("Relatorios", "Vendas") &&
                                          Register<TVendasParamSuite, TVendasParam>("Relatorios", "VendasParam") &&
                                          (vUtilTeste::RegisterTest("Relatorios", TvDMClienteTests::Suite()), true) &&
                                          (vUtilTeste::RegisterTest("Relatorios", TRelatorioTests::Suite()), true);

}  // namespace
