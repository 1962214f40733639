// Unit vUtilTeste, second half: report and parameter suites run against a
// report file, a report built in steps and a parameter module on a real
// SQLite database; the "Result" procedure written on a mismatch; leaked
// client datasets; the client-dataset module's form; TvRelatorio.
#include <QDir>
#include <QLineEdit>
#include <QSettings>
#include <QTableWidget>

#include "platform/LocaleSettings.h"
#include "platform/Paths.h"
#include "tests/business/LegacyFixture.h"

using namespace TestFramework;
using namespace LegacyFixture;
using vUtilTeste::TvCampoValor;
using vUtilTeste::TvCenarioLista;
using vUtilTeste::TvCenarioListas;
using vUtilTeste::TvListCampoValor;
using vUtilTeste::TvListListCampoValor;

namespace {

// ---------------------------------------------------------------------------
// Subjects

std::string ReportFolder() { return TestDatabases::TempFolder() + "Relatorio/"; }

void WriteReportFiles() {
  QDir().mkpath(QtText::ToQ(ReportFolder()));
  corvelbase5::GravarArquivo(
      "Titulo=Vendas por cliente\n"
      "SQL=select cliente, sum(total) as total from venda where ano = :ano group by cliente order by cliente\n"
      "Parametro=ano|Ano|2024\n",
      ReportFolder() + "Vendas.vrw");
  corvelbase5::GravarArquivo("Titulo=Quebrado\nSQL=select * from tabela_nenhuma\n", ReportFolder() + "Quebrado.vrw");
}

// Private temporary folder: the "Result" file is written there.
void PrivateTemp() {
  // The expected lines are written with "." decimals and "," between fields.
  Platform::FormatSettings().DecimalSeparator = '.';
  std::string tmp = TestDatabases::TempFolder() + "tmp";
  QDir().mkpath(QtText::ToQ(tmp));
  qputenv("TMPDIR", QByteArray::fromStdString(tmp));
  qputenv("TESSEL_DADOS", QByteArray::fromStdString(TestDatabases::TempFolder() + "dados"));
}

std::string ResultFile() { return corvel5::PegarDirTemp() + "GravarArquivoO.txt"; }

// A parameter module: logs its steps, and keeps its result in a client
// dataset of its own (registered while it lives).
class TvDMVendasParam : public corvelreport5::TvDMPower {
 public:
  TvDMVendasParam() {
    setObjectName(QStringLiteral("TvDMVendasParam"));
    Query.SQL = "select cliente, total from venda where ano = :ano order by cliente";
    Query.GetParams().SetValues("ano", int64_t{2024});
  }
  void Executar() override {
    auto* log = corvelbaseutil5::FCenarioLogGlobal;
    TvCampoValor& start = log->Add();
    start.Add("Passo", std::string("Consulta"));
    start.Add("Ano", Query.GetParams().Valor("ano"));
    FResultado = std::make_unique<corvel5::TvClientDataSet>(this);
    FResultado->Name = "cdsVendas";
    FResultado->CommandText = Query.SQLComParametros();
    corvelbase5::vDMConexao->Conexao().Query(FResultado->CommandText, *FResultado);
    log->Add().Add("Fim", "Concluído em " + std::to_string(FResultado->RecordCount() * 7 + 3) + " ms");
  }
  void ExecutarTab(const std::string& teste) override {
    corvelbaseutil5::FCenarioLogGlobal->Add().Add("Aba", teste);
    Executar();
  }
  std::unique_ptr<corvel5::TvClientDataSet> FResultado;
};

// The same, but one dataset outlives it.
std::unique_ptr<corvel5::TvClientDataSet> gLeaked;
class TvDMVendasVazando : public TvDMVendasParam {
 public:
  void Executar() override {
    TvDMVendasParam::Executar();
    if (!gLeaked) {
      static QObject* keeper = [] {
        auto* o = new QObject;
        o->setObjectName(QStringLiteral("Sobrevivente"));
        return o;
      }();
      gLeaked = std::make_unique<corvel5::TvClientDataSet>(keeper);
      gLeaked->Name = "cdsVazado";
      gLeaked->CommandText = "select 'vazou'";
    }
  }
};

[[maybe_unused]] const bool gModules = [] {
  auto& classes = Forms::ClassList();
  // A report module owned by the report form that reads its file.
  classes.Register({"TvDMVendasRel", Forms::TClassKind::DataModule, [](QWidget*) -> QObject* {
                      auto* form = new corvelreport5::TvFrmReport;
                      try {
                        form->CarregarArquivo(ReportFolder() + "Vendas.vrw");
                      } catch (...) {
                        delete form;
                        throw;
                      }
                      return form->GetDMPower();
                    }});
  classes.Register({"TvDMVendasSeq", Forms::TClassKind::DataModule, [](QWidget*) -> QObject* {
                      auto* dm = new corvelreport5::TvDMReportSeq;
                      dm->Sequencia = {"select cliente, total from venda where ano = :ano order by cliente",
                                       "select 'Total', sum(total) from venda where ano = :ano"};
                      dm->Query.GetParams().SetValues("ano", int64_t{0});
                      return dm;
                    }});
  classes.Register({"TvDMVendasParam", Forms::TClassKind::DataModule,
                    [](QWidget*) -> QObject* { return new TvDMVendasParam; }});
  classes.Register({"TvDMVendasVazando", Forms::TClassKind::DataModule,
                    [](QWidget*) -> QObject* { return new TvDMVendasVazando; }});
  classes.Register({"TvDMClienteRel", Forms::TClassKind::DataModule,
                    [](QWidget*) -> QObject* { return new corvelbase5::TvDMClientDataSet(nullptr, "cliente"); }});
  return true;
}();

std::unique_ptr<TvCampoValor> Parametros(const std::string& modulo, const std::string& campo, DBClient::TValue valor) {
  auto c = std::make_unique<TvCampoValor>();
  c->Nome = "Vendas";
  c->NomeDM = modulo;
  c->Add(campo, std::move(valor));
  return c;
}

TvCenarioLista Linhas(std::vector<std::string> lines) {
  return vUtilTeste::Cenario(corvelbaseutil5::CriarCenarioLinhas(lines));
}

// ---------------------------------------------------------------------------
// Report suites

// What the suites of a test read: the module, parameter and expectation.
std::string gModulo = "TvDMVendasRel";
std::string gCampo = "ano";
DBClient::TValue gValor = int64_t{2024};
std::vector<std::string> gEsperado;
bool gNone = false;

class TVendasSuite : public vUtilTeste::TvTestSuiteReport {
 public:
  TVendasSuite() : vUtilTeste::TvTestSuiteReport("TVendasSuite") {}
  std::unique_ptr<TvCampoValor> CenarioDaSuite() override { return Parametros(gModulo, gCampo, gValor); }
};

class TVendasReport : public vUtilTeste::TvTestCaseReport {
  TESSEL_TESTCASE(TVendasReport, vUtilTeste::TvTestCaseReport)
 public:
  TvCenarioLista CenarioResultado() override { return gNone ? nullptr : Linhas(gEsperado); }
};

std::vector<std::string> RunReport() {
  auto suite = std::make_shared<TVendasSuite>();
  suite->AddTests(&TVendasReport::ClassInfo());
  return Outcome(suite);
}

class TvUtilTesteReport : public TTestCase {
  TESSEL_TESTCASE(TvUtilTesteReport, TTestCase)
 public:
  void SetUp() override {
    CheckTrue(Forms::EnsureApplication(), "no application");
    PrivateTemp();
    CreateDatabase();
    WriteReportFiles();
    QFile::remove(QtText::ToQ(ResultFile()));
    gModulo = "TvDMVendasRel";
    gCampo = "ano";
    gValor = int64_t{2024};
    gNone = false;
  }
  void TearDown() override { corvelbase5::DestruirvDMConexaoParaTests(); }

  // The report's lines as expected: passes, writes nothing, and frees the
  // module's form with the suite.
  TESSEL_TEST(TestMatchingReportPasses) {
    const int forms = Forms::Screen().FormCount();
    gEsperado = {"cliente,total", "Ana,10.5", "Bia,20"};
    CheckEquals(std::string(), Joined(RunReport()));
    CheckFalse(QFile::exists(QtText::ToQ(ResultFile())), "nothing written for the developer");
    CheckEquals(forms, Forms::Screen().FormCount(), "the report form went with the suite");
    CheckTrue(vUtilTeste::FSuiteReportGlobal == nullptr && vUtilTeste::FSuiteGlobal == nullptr, "no suite left running");
  }

  // A mismatch fails with the difference and writes the actual lines as the
  // source of a procedure named Result, byte for byte.
  TESSEL_TEST(TestMismatchWritesTheResultProcedure) {
    gValor = std::string("2025");
    gEsperado = {"cliente,total", "Ana,10.5"};
    std::string out = Joined(RunReport());
    CheckTrue(Contains(out, "FAILURE TestCompararCenarios: [1] Campo Linha: esperado <Ana,10.5> gerado <Ana,7>"), out);
    CheckEquals(std::string("std::vector<std::string> Result() {\r\n"
                            "  return {\r\n"
                            "      R\"x(Linha=cliente,total)x\",\r\n"
                            "      R\"x(--)x\",\r\n"
                            "      R\"x(Linha=Ana,7)x\",\r\n"
                            "  };\r\n"
                            "}"),
                corvelbase5::LerArquivo(ResultFile(), false));
  }

  // No expectation yet: the lines are written out and the test says so.
  TESSEL_TEST(TestNoExpectationWritesAndFails) {
    gNone = true;
    std::string out = Joined(RunReport());
    CheckTrue(Contains(out, "FAILURE TestCompararCenarios: CenarioResultado = nil"), out);
    CheckTrue(Contains(corvelbase5::LerArquivo(ResultFile()), "R\"x(Linha=Bia,20)x\""), "written out");
  }

  // Bad input: a year with no sales exports only the header; a parameter
  // that is neither a control nor a query parameter, an unknown module and
  // a report whose statement fails are each an error of the affected test
  // or suite, and the next run still works.
  TESSEL_TEST(TestBadInputIsAClearFailureOrError) {
    gValor = int64_t{1999};
    gEsperado = {"cliente,total", "Ana,10.5", "Bia,20"};
    std::string out = Joined(RunReport());
    CheckTrue(Contains(out, "Quantidade de cenários: esperado 3 gerado 1"), out);

    gCampo = "mes";
    out = Joined(RunReport());
    CheckTrue(Contains(out, "ERROR TestCompararCenarios: SetUp FAILED: AplicarValores: the parameter \"mes\" of scenario \"Vendas\" "
                            "names no control and no parameter of the report"),
              out);
    gCampo = "ano";
    gModulo = "TvDMClienteRel";
    out = Joined(RunReport());
    CheckTrue(Contains(out, "(TvDMClienteRel) is not a TvDMPower"), out);
    CheckTrue(vUtilTeste::FSuiteGlobal == nullptr && !corvel5::FOnAntesMostrarMessage, "the failed set-up was undone");

    gModulo = "TvDMVendasRel";
    corvelbase5::GravarArquivo("Titulo=Vendas\nSQL=select * from venda_nenhuma where ano = :ano\nParametro=ano|Ano|1\n",
                               ReportFolder() + "Vendas.vrw");
    out = Joined(RunReport());
    CheckTrue(Contains(out, "ERROR TestCompararCenarios: ") && Contains(out, "no such table: venda_nenhuma"), out);
  }

  // A report built in steps is exported from its own preview.
  TESSEL_TEST(TestSequentialReportExportsItsOwnPreview) {
    gModulo = "TvDMVendasSeq";
    gEsperado = {"Seq,cliente,total", "1,Ana,10.5", "2,Bia,20", "3,Total,30.5"};
    CheckEquals(std::string(), Joined(RunReport()));
  }
};

// ---------------------------------------------------------------------------
// Parameter suites

TvCenarioLista gLog;
TvCenarioListas gCDS;
TvCenarioLista gTabLog;
TvCenarioListas gTabCDS;
bool gValCDSBuilt = true;

class TVendasParamSuite : public vUtilTeste::TvTestSuitePowerParam {
 public:
  TVendasParamSuite() : vUtilTeste::TvTestSuitePowerParam("TVendasParamSuite") {}
  std::unique_ptr<TvCampoValor> CenarioDaSuite() override { return Parametros(gModulo, "ano", gValor); }
};

class TVendasParam : public vUtilTeste::TvTestCasePowerParamTab {
  TESSEL_TESTCASE(TVendasParam, vUtilTeste::TvTestCasePowerParamTab)
 public:
  TvCenarioLista CenarioResultadoLog() override { return std::move(gLog); }
  TvCenarioListas CenarioResultadoCDS() override { return std::move(gCDS); }
  TvCenarioLista CenarioResultadoTabLog() override { return std::move(gTabLog); }
  TvCenarioListas CenarioResultadoTabCDS() override { return std::move(gTabCDS); }
  void TearDown() override {
    gValCDSBuilt = FValCDS != nullptr;
    vUtilTeste::TvTestCasePowerParamTab::TearDown();
  }
};

// The log of a run for 2024, as the module writes it (its last value cut).
TvCenarioLista Log2024(const std::string& aba = {}) {
  auto log = std::make_unique<TvListCampoValor>();
  if (!aba.empty()) log->Add().Add("Aba", aba);
  TvCampoValor& a = log->Add();
  a.Add("Passo", std::string("Consulta"));
  a.Add("Ano", std::string("2024"));
  log->Add().Add("Fim", std::string("Concluí"));
  return vUtilTeste::Cenario(std::move(log));
}

TvCenarioListas CDS2024() {
  auto all = std::make_unique<TvListListCampoValor>();
  TvListCampoValor& l = all->Add();
  TvCampoValor& ana = l.Add();
  ana.Add("cliente", std::string("Ana"));
  ana.Add("total", std::string("10.5"));
  TvCampoValor& bia = l.Add();
  bia.Add("cliente", std::string("Bia"));
  bia.Add("total", std::string("20"));
  return vUtilTeste::Cenario(std::move(all));
}

std::vector<std::string> RunParam(const char* method) {
  auto suite = std::make_shared<TVendasParamSuite>();
  suite->AddTest(TesselFactory<TVendasParam>(method, 1));
  return Outcome(suite);
}

class TvUtilTesteParam : public TTestCase {
  TESSEL_TESTCASE(TvUtilTesteParam, TTestCase)
 public:
  void SetUp() override {
    CheckTrue(Forms::EnsureApplication(), "no application");
    PrivateTemp();
    CreateDatabase();
    gModulo = "TvDMVendasParam";
    gValor = int64_t{2024};
    gLog = nullptr;
    gCDS = nullptr;
    gTabLog = nullptr;
    gTabCDS = nullptr;
  }
  void TearDown() override {
    gLeaked.reset();
    corvelbase5::DestruirvDMConexaoParaTests();
  }

  // The log (its last value cut to 7 characters) and the registered
  // datasets compare equal; a skipped dataset comparison never builds them.
  TESSEL_TEST(TestLogAndDatasetsCompare) {
    gLog = Log2024();
    CheckEquals(std::string(), Joined(RunParam("TestCompararCenariosLog")));
    gCDS = CDS2024();
    CheckEquals(std::string(), Joined(RunParam("TestCompararCenariosCDS")));
    CheckTrue(gValCDSBuilt, "the datasets were read");
    gCDS = vUtilTeste::PularListas();
    CheckEquals(std::string(), Joined(RunParam("TestCompararCenariosCDS")));
    CheckFalse(gValCDSBuilt, "skipped: the datasets were never read");
    gLog = vUtilTeste::PularLista();
    CheckEquals(std::string(), Joined(RunParam("TestCompararCenariosLog")), "a skipped log passes");
    std::string out = Joined(RunParam("TestCompararCenariosCDS"));
    CheckTrue(Contains(out, "FAILURE TestCompararCenariosCDS: CenarioResultadoCDS = nil"), out);
  }

  // Only the log of the tab differs: the message names the log only.
  TESSEL_TEST(TestTabWithOnlyALogDifference) {
    gTabLog = Log2024("Outro");
    gTabCDS = CDS2024();
    std::string out = Joined(RunParam("TestCompararCenariosTab"));
    CheckTrue(Contains(out, "FAILURE TestCompararCenariosTab: Falha Log\r\n\r\n****Log Tab****\r\n"
                            "[0] Campo Aba: esperado <Outro> gerado <TVendasParam>"),
              out);
    CheckFalse(Contains(out, "CDS"), out);
    gTabLog = Log2024("TVendasParam");
    gTabCDS = CDS2024();
    CheckEquals(std::string(), Joined(RunParam("TestCompararCenariosTab")));
    out = Joined(RunParam("TestCompararCenariosTab"));
    CheckTrue(Contains(out, "Falha Log e CDS\r\n\r\n****Log Tab****\r\nCenarioResultadoTabLog = nil\r\n"
                            "****CDS Tab****\r\nCenarioResultadoTabCDS = nil"),
              out);
  }

  // A dataset that outlives its module is reported when the suite ends.
  TESSEL_TEST(TestLeakedDatasetIsReported) {
    gModulo = "TvDMVendasVazando";
    gLog = vUtilTeste::PularLista();
    std::string out = Joined(RunParam("TestCompararCenariosLog"));
    CheckTrue(Contains(out, "TvClientDataSet(FCDSList[0]).Name: cdsVazado\r\n"
                            "TvClientDataSet(FCDSList[0]).CommandText: \r\nselect 'vazou'\r\n"
                            "TComponent(FCDSList[0]).Owner: Sobrevivente\r\n, expected: <0> but was: <1>"),
              out);
  }
};

// ---------------------------------------------------------------------------
// The client-dataset module's form, and reports through the action list

class TvDMClienteTesteTests : public vUtilTeste::TvTesteCaseDMClientDataSet {
  TESSEL_TESTCASE(TvDMClienteTesteTests, vUtilTeste::TvTesteCaseDMClientDataSet)
 public:
  TESSEL_TEST(TestGridShowsTheTable) {
    auto* grid = qobject_cast<QTableWidget*>(FindControl("grdDados"));
    CheckTrue(grid != nullptr, "grid");
    CheckEquals(2, grid->rowCount());
    CheckEquals(std::string("Bia"), QtText::FromQ(grid->item(1, 1)->text()));
    CheckTrue(FGUI->grab().save(QtText::ToQ(Platform::ProgramDir() + "legacy-dm-form.png")), "screenshot");
  }
};

class TClienteSemSufixo : public vUtilTeste::TvTesteCaseDMClientDataSet {
  TESSEL_TESTCASE(TClienteSemSufixo, vUtilTeste::TvTesteCaseDMClientDataSet)
};

class TvUtilTesteForms : public TTestCase {
  TESSEL_TESTCASE(TvUtilTesteForms, TTestCase)
 public:
  void SetUp() override {
    CheckTrue(Forms::EnsureApplication(), "no application");
    PrivateTemp();
    CreateDatabase();
    WriteReportFiles();
  }
  void TearDown() override { corvelbase5::DestruirvDMConexaoParaTests(); }

  TESSEL_TEST(TestModuleFormUnderTest) {
    // The test module is registered under the name the class implies.
    Forms::ClassList().Register({"TvDMClienteTeste", Forms::TClassKind::DataModule,
                                 [](QWidget*) -> QObject* { return new corvelbase5::TvDMClientDataSet(nullptr, "cliente"); }});
    const int forms = Forms::Screen().FormCount();
    CheckEquals(std::string(), Joined(Outcome(TvDMClienteTesteTests::Suite())));
    CheckEquals(forms, Forms::Screen().FormCount(), "the form was closed and freed");
    std::string out = Joined(Outcome(TClienteSemSufixo::Suite()));
    CheckTrue(Contains(out, "ERROR SelfTest: SetUp FAILED: TvTesteCaseDMClientDataSet: the class name "
                            "\"TClienteSemSufixo\" does not end in Tests"),
              out);
  }

  TESSEL_TEST(TestReportThroughTheActionList) {
    {
      auto ini = corvelbase5::CriarINIProduto();
      corvelbase5::GravarINI(*ini, "PowerCaminhos", "Relatorio", ReportFolder());
    }
    vUtilTeste::TvRelatorio rel;
    CheckTrue(corvelbase5::FvActionListDireitos == rel.FvActionList.get(), "the rights list is the report's");
    CheckTrue(rel.BuscarAction("actVendas") != nullptr, "one action per report file");
    CheckTrue(rel.BuscarAction("actvendas") == nullptr, "names compare exactly");
    const int actions = rel.FvActionList->Count();
    vUtilTeste::CriarActionReport(ReportFolder() + "VENDAS.vrw");  // the same file, other case
    vUtilTeste::CriarActionReport(ReportFolder() + "Extra.vrw");
    CheckEquals(actions + 1, rel.FvActionList->Count(), "one new action, for the new file");
    CheckTrue(rel.BuscarAction("actExtra") != nullptr);
    rel.ChamaRelatorio("Vendas");
    rel.Paramentros("ano", "2025");
    rel.GerarRelatorio();
    CheckEquals(2, static_cast<int>(rel.FListLinha.size()));
    CheckEquals(std::string("Ana,7"), rel.LinhaRelatorio(1));
    CheckTrue(rel.FCtrl != nullptr, "the parameter's control was found");
    rel.FForm->grab().save(QtText::ToQ(Platform::ProgramDir() + "legacy-report-form.png"));
    rel.FTipoRelatorio = vUtilTeste::TTxT;
    rel.GerarRelatorio();
    CheckEquals(std::string("Vendas por cliente"), rel.LinhaRelatorio(0), "text export starts with the title");

    CheckTrue(Contains(ErrorOf([&] { rel.Paramentros("mes", "1"); }), "\"mes\" names no control"), "unknown parameter");
    CheckEquals(std::string("Erro ao criar relatorio"), ErrorOf([&] { rel.ChamaRelatorio("Nada"); }));
    // A report file that cannot be read fails the same way, and the report
    // opened before stays usable.
    corvelbase5::GravarArquivo("Titulo=Sem consulta\n", ReportFolder() + "Quebrado.vrw");
    CheckEquals(std::string("Erro ao criar relatorio"), ErrorOf([&] { rel.ChamaRelatorio("Quebrado"); }));
    rel.GerarRelatorio();
    CheckEquals(std::string("Vendas por cliente"), rel.LinhaRelatorio(0));
    CheckTrue(Contains(ErrorOf([&] { rel.LinhaRelatorio(99); }), "line 99 of"), "line out of range");
  }
};

TESSEL_REGISTER("vUtilTeste", TvUtilTesteReport);
TESSEL_REGISTER("vUtilTeste", TvUtilTesteParam);
TESSEL_REGISTER("vUtilTeste", TvUtilTesteForms);

}  // namespace
