#include "Reports.h"

#include <QDir>
#include <QSettings>

#include "business/CorvelFramework.h"
#include "platform/qt/QtText.h"

namespace Reports {

namespace {

std::string gFolder;

// The parameter query of the sales screen: one step logged per run, the
// result kept in a client dataset of its own.
class TvDMVendasParam : public corvelreport5::TvDMPower {
 public:
  TvDMVendasParam() {
    setObjectName(QStringLiteral("TvDMVendasParam"));
    Query.SQL = "select cliente, total from venda where ano = :ano order by cliente, total";
    Query.GetParams().SetValues("ano", int64_t{2024});
  }
  void Executar() override {
    TvCampoValorLog("Consulta", Query.GetParams().Valor("ano"));
    FResultado = std::make_unique<corvel5::TvClientDataSet>(this);
    FResultado->Name = "cdsVendas";
    FResultado->CommandText = Query.SQLComParametros();
    corvelbase5::vDMConexao->Conexao().Query(FResultado->CommandText, *FResultado);
    corvelbaseutil5::FCenarioLogGlobal->Add().Add("Fim", "Concluído: " + std::to_string(FResultado->RecordCount()) +
                                                                " vendas em " + corvel5::PegarTempo());
  }
  // The "by client" tab: the totals per client.
  void ExecutarTab(const std::string& teste) override {
    corvelbaseutil5::FCenarioLogGlobal->Add().Add("Aba", teste);
    Executar();
    FResultado->CommandText = "select cliente, sum(total) as total from venda where ano = " +
                              corvel5::ValorParaSQL(Query.GetParams().Valor("ano")) + " group by cliente order by cliente";
    corvelbase5::vDMConexao->Conexao().Query(FResultado->CommandText, *FResultado);
  }

 private:
  static void TvCampoValorLog(const std::string& passo, const DBClient::TValue& ano) {
    corvelbaseutil5::TvCampoValor& entry = corvelbaseutil5::FCenarioLogGlobal->Add();
    entry.Add("Passo", passo);
    entry.Add("Ano", ano);
  }
  std::unique_ptr<corvel5::TvClientDataSet> FResultado;
};

[[maybe_unused]] const bool gClasses = [] {
  auto& classes = Forms::ClassList();
  classes.Register({"TvDMVendasRel", Forms::TClassKind::DataModule, [](QWidget*) -> QObject* {
                      auto* form = new corvelreport5::TvFrmReport;
                      try {
                        form->CarregarArquivo(PastaRelatorios() + "Vendas.vrw");
                      } catch (...) {
                        delete form;
                        throw;
                      }
                      return form->GetDMPower();
                    }});
  classes.Register({"TvDMVendasParam", Forms::TClassKind::DataModule,
                    [](QWidget*) -> QObject* { return new TvDMVendasParam; }});
  classes.Register({"TvDMCliente", Forms::TClassKind::DataModule,
                    [](QWidget*) -> QObject* { return new corvelbase5::TvDMClientDataSet(nullptr, "cliente"); }});
  return true;
}();

}  // namespace

std::string PastaRelatorios() { return gFolder + "Relatorio/"; }

void Preparar(const std::string& folder) {
  gFolder = folder;
  const std::string db = folder + "vendas.sqlite";
  QFile::remove(QtText::ToQ(db));
  DBClient::TConnectionParams p;
  p.Database = db;
  p.CreateIfMissing = true;
  {
    DBClient::TConnection c;
    c.Open(p);
    c.ExecSQL("create table cliente (id integer primary key, nome varchar(30) not null, email varchar(40))");
    c.ExecSQL("create unique index ix_cliente_email on cliente (email)");
    c.ExecSQL("create table venda (ano integer, cliente varchar(30), total real)");
    c.ExecSQL("insert into cliente values (1, 'Ana', 'ana@x.br'), (2, 'Bia', 'bia@x.br')");
    c.ExecSQL("insert into venda values (2024, 'Ana', 10.5), (2024, 'Bia', 20), (2024, 'Ana', 4), (2025, 'Ana', 7)");
  }
  corvelbase5::CriarvDMConexaoParaTests(db, "", "", true, corvelbase5::TvTipoBanco::tbSQLite, 0, 0, false);
  QDir().mkpath(QtText::ToQ(PastaRelatorios()));
  corvelbase5::GravarArquivo(
      "Titulo=Vendas por cliente\n"
      "SQL=select cliente, sum(total) as total from venda where ano = :ano group by cliente order by cliente\n"
      "Parametro=ano|Ano|2024\n",
      PastaRelatorios() + "Vendas.vrw");
  auto ini = corvelbase5::CriarINIProduto();
  corvelbase5::GravarINI(*ini, "PowerCaminhos", "Relatorio", PastaRelatorios());
}

void Encerrar() { corvelbase5::DestruirvDMConexaoParaTests(); }

bool ExcluirCliente(int id) {
  auto cliente = corvelbase5::vDMConexao->ExecuteQueryView("select nome from cliente where id = " + std::to_string(id));
  if (cliente->IsEmpty()) return false;
  const std::string nome = cliente->Fields(0).AsString();
  cliente.reset();
  if (corvelbase5::vMessageDlg("Excluir o cliente " + nome + "?", corvelbase5::TvMsgDlgType::mtConfirmation,
                               corvelbase5::mbYes | corvelbase5::mbNo) != 6)
    return false;
  corvelbase5::vDMConexao->ExecuteCommand("delete from cliente where id = " + std::to_string(id));
  return true;
}

}  // namespace Reports
