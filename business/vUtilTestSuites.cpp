// vUtilTest's suites: rollback, origin scenario, and the connection suites
// that load the application's packages and connect to the test database.
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <cstdlib>

#include "business/CorvelFramework.h"
#include "business/vUtilTest.h"
#include "platform/Paths.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

namespace vUtilTest {

using QtText::FromQ;
using QtText::ToQ;

namespace {

QPointer<corvelbase5::TvProgressRadial> gRadial;

// Site configuration: the suites whose database is fixed by name, and the
// servers they use. Servers and passwords can be set from the environment,
// so no secret lives in the code.
struct TSite {
  const char* FireBirdIni[2] = {"TestesFinanceiro", "TestesFiscal"};
  const char* FireBirdRede[2] = {"TestesEscrituracaoDigital", "TestesContabil"};
  const char* FireBirdRedeBase[2] = {"fbserver:/dados/escrituracao.fdb", "fbserver:/dados/contabil.fdb"};
  const char* OracleNomes[3] = {"TestesOracleVendas", "TestesOracleEstoque", "TestesOracleFiscal"};
  const char* OracleAlias[3] = {"oraserver:1521/VENDAS", "oraserver:1521/ESTOQUE", "oraserver:1521/FISCAL"};
  const char* OracleUser[3] = {"VENDAS", "ESTOQUE", "FISCAL"};
  const char* OracleDefault = "oraserver:1521/XE";
  const char* MSSQLNome = "TestesEscrituracaoDigital";
  const char* MSSQLBase = "sqlserver:1433/escrituracao";
};
const TSite kSite;

std::string Env(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

bool SameText(const std::string& a, const std::string& b) { return QtText::UpperAscii(a) == QtText::UpperAscii(b); }

// The modules a suite never frees: the connection, the dictionary, the
// caches of the framework.
bool KeepModule(QObject* dm) {
  static const char* const kKeep[] = {"TvDMConexao",        "TvDMImage",        "TvDMSQLDataSet",
                                      "TvDMClientDataSet",  "TvDMPersonalizacao", "TvDMDBXDataModel",
                                      "TdicDDOSTREL",       "TvDMDireitoUsuario"};
  if (dm == corvelreport5::vDMDBXDataModel) return true;
  if (dynamic_cast<corvelbase5::TvDMDicionario*>(dm)) return true;
  const std::string name = corvelbase5::ClassNameOf(dm);
  for (const char* k : kKeep)
    if (name == k) return true;
  return false;
}

void ShowError(const std::string& text) {
  corvelbase5::vMessageDlg(text, corvelbase5::TvMsgDlgType::mtWarning, corvelbase5::mbOK);
}

}  // namespace

corvelbase5::TvProgressRadial* ProgressRadial() { return gRadial.data(); }

// ---------------------------------------------------------------------------
// Rollback

void TvTestSuiteRollBack::SetUp() {
  TvTestSuite::SetUp();
  if (!corvelbase5::vDMConexao)
    throw TestFramework::Exception("TvTestSuiteRollBack " + GetName() +
                                   ": there is no connection (vDMConexao) to start the transaction in");
  corvelbase5::vDMConexao->StartTransaction();
  FStarted = true;
}

void TvTestSuiteRollBack::TearDown() {
  // Rolled back first: the inherited clean-up runs with the data gone.
  if (FStarted) {
    FStarted = false;
    if (corvelbase5::vDMConexao) corvelbase5::vDMConexao->RollBack();
  }
  TvTestSuite::TearDown();
}

// ---------------------------------------------------------------------------
// Origin scenario

TvTestSuitePower::~TvTestSuitePower() { delete FCenarioOrigem; }

corvelbaseutil5::TvCampoValor* TvTestSuitePower::CenarioOrigem() {
  if (!FCenarioOrigem) FCenarioOrigem = CriarCenarioOrigem();
  return FCenarioOrigem;
}

void TvTestSuitePower::SetCenarioOrigem(corvelbaseutil5::TvCampoValor* value) {
  // The same object again must not be freed and kept.
  if (value == FCenarioOrigem) return;
  delete FCenarioOrigem;
  FCenarioOrigem = value;
}

void TvTestSuitePower::TearDown() {
  delete FCenarioOrigem;
  FCenarioOrigem = nullptr;
  TvTestSuite::TearDown();
}

// ---------------------------------------------------------------------------
// Connection suites

TvTestSuiteConexao::~TvTestSuiteConexao() = default;

void TvTestSuiteConexao::SetUp() {
  TvTestSuite::SetUp();

  std::string why;
  if (!Forms::EnsureApplication(&why)) throw TestFramework::Exception("TvTestSuiteConexao " + GetName() + ": " + why);
  QWidget* active = Forms::Screen().ActiveForm();
  delete gRadial.data();
  gRadial = new corvelbase5::TvProgressRadial(active);
  gRadial->resize(25, 25);
  gRadial->Configure();
  if (active) {
    auto* toolBar = active->findChild<QWidget*>(QStringLiteral("ToolBar1"));
    if (toolBar) {
      gRadial->move(toolBar->width() - 2 * gRadial->width(), toolBar->y() + 4);
      gRadial->show();
    }
  }

  corvel5::FRadialEvent = [this](QObject* sender) { Radial(sender); };
  corvelbase5::FAlertaCriarAcao = false;
  corvelreport5::CriarvDMDBXDataModel();

  FPacotes.clear();
  const std::string dir = Platform::ProgramDir();
  if (!corvel5::PegarVersionInfo("Modulo").empty()) {
    FPacotes = corvelbase5::PegarListaPacotes(dir, {corvelbase5::PegarModuloAtual()});
  } else {
    int modulo = -1;
    switch (corvel5::PegarProduto()) {
      case 0: modulo = 0; break;
      case 2: modulo = 50; break;
      case 3: modulo = 76; break;
      default: break;
    }
    if (modulo >= 0) {
      corvelbase5::FvPerModuloAtualManual = modulo;
      FPacotes = corvelbase5::PegarListaPacotes(dir, {modulo});
    }
  }

  FAbriuConexao = true;
  ConectarNoBanco();
  FConnected = FAbriuConexao && corvelbase5::vDMConexao != nullptr;
  corvelbase5::AbrirPacotes(FPacotes);

  if (corvelbase5::vDMPersonalizacao) corvelbase5::vDMPersonalizacao->SetTexto("TempoLimiteConsulta", "15000");

  if (!corvelbase5::FvActionListDireitos) {
    corvelbase5::TvActionList* list = corvelbase5::CriarChecarFvActionListDireitos();
    // The list outlives the suite: its handler holds nothing of it.
    list->OnPegarDireito = [](corvelbase5::TvAction&) { return 56; };
    std::string anterior;
    const std::vector<int> modulos{corvelbase5::PegarModuloAtual()};
    for (int i = 0; i < corvelbase5::vClassList.Count(); ++i) {
      std::string name;
      try {
        name = corvelbase5::vClassList.ClassName(i);
        anterior = name;
      } catch (const std::exception& e) {
        ShowError(std::string("TvFrmMenu.EncontrarForms\r\nErro em pegar o vClassList[i].ClassName, ClassName Anterior:") +
                  anterior + "\r\n" + e.what() + "\r\nContate o suporte.");
        continue;
      }
      const Forms::TClassInfo* info = Forms::ClassList().Find(name);
      if (!info || (info->Kind != Forms::TClassKind::Form && info->Kind != Forms::TClassKind::DataModule)) continue;
      const corvelbase5::TGerarAcoesClasse* gerar = corvelbase5::PegarGeradorAcoes(name);
      if (!gerar) continue;
      try {
        (*gerar)(*list, modulos);
      } catch (const std::exception& e) {
        if (corvel5::ModoTeste()) continue;
        ShowError("TvFrmMenu.EncontrarForms\r\nErro em GerarPrincAction " + name + "\r\n" + e.what() +
                  "\r\nContate o suporte.");
      }
    }
  }
}

void TvTestSuiteConexao::TearDown() {
  TvTestSuite::TearDown();

  corvel5::FRadialEvent = nullptr;
  delete gRadial.data();
  corvelbase5::DestruirUtilitarios();

  Forms::TScreen& screen = Forms::Screen();
  for (int i = screen.DataModuleCount() - 1; i >= 0; --i) {
    if (i >= screen.DataModuleCount()) continue;  // freeing one took others with it
    QObject* dm = screen.DataModule(i);
    if (!dm || KeepModule(dm)) continue;
    try {
      delete dm;
    } catch (...) {
      // A module that fails to go away must not keep the others alive.
    }
  }
  // Form 0, the main form, stays; so does the test runner's own window.
  for (int i = screen.FormCount() - 1; i >= 1; --i) {
    if (i >= screen.FormCount()) continue;
    QWidget* form = screen.Form(i);
    if (!form || screen.IsFrameworkWindow(form)) continue;
    delete form;
  }

  if (FConnected) {
    FConnected = false;
    corvelbase5::DestruirvDMConexaoParaTests();
  }
}

std::string TvTestSuiteConexao::PegarBase() {
  std::string name = GetName();
  if (name.find(':') != std::string::npos) {
    // The name spells the path: drive dropped, "_" for "/", "+" for ".".
    size_t colon = name.find(':');
    name.erase(0, colon + 1);
    for (char& c : name) {
      if (c == '+') c = '.';
      else if (c == '_') c = '/';
    }
    return name;
  }
  const std::string file = Platform::ProgramDir() + "basetest.txt";
  if (!corvelbase5::LerArquivo(file).empty()) return CaminhoBases() + name + ".fdb";
  if (QFileInfo::exists(ToQ(file))) return Platform::ProgramDir() + name + ".fdb";
  return DataRoot() + name + ".fdb";
}

void TvTestSuiteConexao::Radial(QObject*) {
  if (corvelbase5::vDMConexao) corvelbase5::vDMConexao->ReiniciarTimerControleConexao(true);
  if (gRadial) gRadial->IncProgressTemporizado();
}

int TvTestSuiteConexao::vActionListPegarDireito(corvelbase5::TvAction&) { return 56; }

void TvTestSuiteFireBird::ConectarNoBanco() {
  const int q = corvel5::PegarProduto() == 2 ? 1 : 0;
  const std::string name = GetName();
  const std::string password = Env("TESSEL_FIREBIRD_PASSWORD", "");
  for (const char* n : kSite.FireBirdIni) {
    if (!SameText(name, n)) continue;
    const std::string iniPath = Platform::ProgramDir() + QtText::FromQ(ToQ(n).toLower()) + ".ini";
    auto ini = corvelbase5::CriarINI(iniPath);
    auto read = [&](const char* key) {
      return corvel5::DeCripto(FromQ(ini->value(ToQ(corvel5::Cripto("987") + "/" + corvel5::Cripto(key))).toString()));
    };
    const std::string database = read("123");
    if (database.empty()) throw TestFramework::Exception("TvTestSuiteFireBird " + name + ": \"" + iniPath +
                                                         "\" names no database");
    corvelbase5::CriarvDMConexaoParaTests(database, read("456"), read("789"), true,
                                          corvelbase5::TvTipoBanco::tbFirebird, q, q, false);
    return;
  }
  for (int i = 0; i < 2; ++i)
    if (SameText(name, kSite.FireBirdRede[i])) {
      corvelbase5::CriarvDMConexaoParaTests(Env("TESSEL_FIREBIRD_REDE", kSite.FireBirdRedeBase[i]), "SYSDBA", password,
                                            true, corvelbase5::TvTipoBanco::tbFirebird, q, q, false);
      return;
    }
  corvelbase5::CriarvDMConexaoParaTests(PegarBase(), "SYSDBA", password, true, corvelbase5::TvTipoBanco::tbFirebird,
                                        q, q, false);
}

void TvTestSuiteOracle::ConectarNoBanco() {
  const std::string name = GetName();
  const std::string password = Env("TESSEL_ORACLE_PASSWORD", "");
  std::string alias = Env("TESSEL_ORACLE_ALIAS", kSite.OracleDefault), user = name;
  for (int i = 0; i < 3; ++i)
    if (name == kSite.OracleNomes[i]) {
      alias = Env("TESSEL_ORACLE_ALIAS", kSite.OracleAlias[i]);
      user = kSite.OracleUser[i];
    }
  corvelbase5::CriarvDMConexaoParaTests(alias, user, password, true, corvelbase5::TvTipoBanco::tbOracle, 1, 1, false);
}

void TvTestSuiteMSSQL::ConectarNoBanco() {
  if (GetName() != kSite.MSSQLNome) {
    FAbriuConexao = false;  // the connection in place is not this suite's
    return;
  }
  corvelbase5::CriarvDMConexaoParaTests(Env("TESSEL_MSSQL_SERVER", kSite.MSSQLBase), "sa",
                                        Env("TESSEL_MSSQL_PASSWORD", ""), true, corvelbase5::TvTipoBanco::tbMSSQL, 1,
                                        1, false);
}

}  // namespace vUtilTest
