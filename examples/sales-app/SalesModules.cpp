// The sales application's data modules, delivered as the package
// vendasdm_0.so: the order module that writes orders and sums them, and a
// product cache the framework keeps among its utilities.
#include <QObject>
#include <QStringList>

#include "business/CorvelFramework.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

namespace {

corvelbase5::TvDMConexao& Conexao() {
  if (!corvelbase5::vDMConexao) throw corvel5::EvErro("Vendas: sem conexão com o banco");
  return *corvelbase5::vDMConexao;
}

// Orders: called by name (Q_INVOKABLE) by whoever made the module through
// the class list.
class TvDMVendas : public Forms::TDataModule {
  Q_OBJECT
 public:
  using Forms::TDataModule::TDataModule;

  // items: "produto:quantidade" pairs separated by ";". Returns the new id.
  Q_INVOKABLE qlonglong InserirPedido(qlonglong cliente, const QString& itens) {
    auto ds = Conexao().ExecuteQueryView("select coalesce(max(id), 0) + 1 from pedidos");
    ds->First();
    const int64_t id = ds->Fields(0).AsInteger();
    Conexao().ExecuteCommand("insert into pedidos (id, cliente_id, data_pedido) values (" + std::to_string(id) + ", " +
                             std::to_string(cliente) + ", '2026-04-02')");
    int item = 0;
    for (const QString& par : itens.split(u';', Qt::SkipEmptyParts)) {
      const QStringList pq = par.split(u':');
      if (pq.size() != 2) throw corvel5::EvErro("InserirPedido: item inválido \"" + QtText::FromQ(par) + "\"");
      const std::string produto = std::to_string(pq[0].toLongLong());
      Conexao().ExecuteCommand("insert into itens_pedido select " + std::to_string(id) + ", " + std::to_string(++item) +
                               ", id, " + std::to_string(pq[1].toInt()) + ", preco from produtos where id = " + produto);
    }
    return id;
  }

  Q_INVOKABLE double TotalPedido(qlonglong pedido) {
    auto ds = Conexao().ExecuteQueryView("select coalesce(sum(quantidade * preco), 0) from itens_pedido where pedido_id = " +
                                         std::to_string(pedido));
    ds->First();
    return ds->Fields(0).AsFloat();
  }
};

// A cache of the catalogue the framework frees with its utilities.
class TvDMCacheProdutos : public Forms::TDataModule {
  Q_OBJECT
 public:
  using Forms::TDataModule::TDataModule;
};

const bool gRegistered = [] {
  Forms::ClassList().Register({"TvDMVendas", Forms::TClassKind::DataModule, [](QWidget* owner) -> QObject* {
                                 auto* dm = new TvDMVendas(owner);
                                 dm->setProperty("vClassName", QStringLiteral("TvDMVendas"));
                                 return dm;
                               }});
  corvelbase5::RegistrarGeradorAcoes("TvDMVendas", [](corvelbase5::TvActionList& list, const std::vector<int>& modulos) {
    if (list.Find("actvDMVendasRecalcular")) return;
    auto action = std::make_unique<corvelbase5::TvAction>();
    action->Name = "actvDMVendasRecalcular";
    action->Caption = "Recalcular pedidos";
    action->Modulos = modulos;
    list.Add(std::move(action));
  });
  Forms::ClassList().Register({"TvDMCacheProdutos", Forms::TClassKind::DataModule, [](QWidget* owner) -> QObject* {
                                 auto* dm = new TvDMCacheProdutos(owner);
                                 corvelbase5::RegistrarUtilitario(dm);
                                 return dm;
                               }});
  corvel5::SendDebug("pacote vendasdm_0 carregado");
  return true;
}();

}  // namespace

#include "SalesModules.moc"
