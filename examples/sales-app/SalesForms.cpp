// The sales application's forms, delivered as the package vendas_0.so: the
// customer, product and order forms. Loading the package registers them in
// the class list, with the action that opens each one.
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "business/CorvelFramework.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

using QtText::FromQ;
using QtText::ToQ;

namespace {

corvelbase5::TvDMConexao& Conexao() {
  if (!corvelbase5::vDMConexao) throw corvel5::EvErro("Vendas: sem conexão com o banco");
  return *corvelbase5::vDMConexao;
}

int64_t ProximoId(const std::string& tabela) {
  auto ds = Conexao().ExecuteQueryView("select coalesce(max(id), 0) + 1 from " + tabela);
  ds->First();
  return ds->Fields(0).AsInteger();
}

QToolBar* BarraPadrao(QWidget* form) {
  auto* bar = new QToolBar(form);
  bar->setObjectName(QStringLiteral("ToolBar1"));
  bar->addAction(QStringLiteral("Fechar"), form, &QWidget::close);
  return bar;
}

// Customers: the name is required; a name shorter than three letters is
// refused with a message.
class TvFrmClientes : public corvelbase5::TvFrmCadastro {
 public:
  TvFrmClientes() {
    // Its records' module; freed with the form by whoever frees the form.
    SetDataModule(new corvelbase5::TvDMClientDataSet(nullptr));
    setObjectName(QStringLiteral("frmClientes"));
    setWindowTitle(QStringLiteral("Clientes"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BarraPadrao(this));
    auto* form = new QFormLayout;
    FNome = new QLineEdit(this);
    FNome->setObjectName(QStringLiteral("edNome"));
    FNome->setMaxLength(60);
    FCidade = new QLineEdit(this);
    FCidade->setObjectName(QStringLiteral("edCidade"));
    form->addRow(QStringLiteral("Nome"), FNome);
    form->addRow(QStringLiteral("Cidade"), FCidade);
    layout->addLayout(form);
    FGravar = new QPushButton(QStringLiteral("Gravar"), this);
    FGravar->setObjectName(QStringLiteral("btGravar"));
    FGravar->setEnabled(false);
    layout->addWidget(FGravar);
    connect(FNome, &QLineEdit::textChanged, this, [this](const QString& t) { FGravar->setEnabled(!t.trimmed().isEmpty()); });
    connect(FGravar, &QPushButton::clicked, this, [this] { Gravar(); });
    resize(360, 160);
  }

  void Gravar() {
    const std::string nome = FromQ(FNome->text().trimmed());
    if (QtText::CharCount(nome) < 3) {
      corvelbase5::vMessageDlg("Nome do cliente muito curto: " + nome, corvelbase5::TvMsgDlgType::mtWarning,
                               corvelbase5::mbOK);
      return;
    }
    const int64_t id = ProximoId("clientes");
    Conexao().ExecuteCommand("insert into clientes (id, nome, cidade) values (" + std::to_string(id) + ", " +
                             corvel5::ValorParaSQL(nome) + ", " +
                             corvel5::ValorParaSQL(FromQ(FCidade->text().trimmed())) + ")");
    FNome->clear();
    FCidade->clear();
  }

 private:
  QLineEdit* FNome;
  QLineEdit* FCidade;
  QPushButton* FGravar;
};

// Products: a read-only list of the catalogue.
class TvFrmProdutos : public Forms::TForm {
 public:
  TvFrmProdutos() {
    setObjectName(QStringLiteral("frmProdutos"));
    setWindowTitle(QStringLiteral("Produtos"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BarraPadrao(this));
    auto* grid = new QTableWidget(this);
    grid->setObjectName(QStringLiteral("gdProdutos"));
    grid->setColumnCount(2);
    grid->setHorizontalHeaderLabels({QStringLiteral("Descrição"), QStringLiteral("Preço")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    if (corvelbase5::vDMConexao) {
      auto ds = Conexao().ExecuteQueryView("select descricao, preco from produtos order by id");
      for (ds->First(); !ds->Eof(); ds->Next()) {
        int row = grid->rowCount();
        grid->insertRow(row);
        grid->setItem(row, 0, new QTableWidgetItem(ToQ(ds->Fields(0).AsString())));
        grid->setItem(row, 1, new QTableWidgetItem(ToQ(ds->Fields(1).AsString())));
      }
    }
    layout->addWidget(grid);
    resize(360, 220);
  }
};

// Orders: pick a customer, add items (product and quantity), save. A zero
// quantity is refused with a message; saving reports the order's number.
class TvFrmPedidos : public corvelbase5::TvFrmVisDataSet {
 public:
  TvFrmPedidos() {
    // The items of the order being made, a registration form of its own.
    auto* itens = new corvelbase5::TvFrmCadastro;
    itens->setObjectName(QStringLiteral("frmItensPedido"));
    itens->SetDataModule(new corvelbase5::TvDMClientDataSet(nullptr));
    DetalheRegister(itens);
    setObjectName(QStringLiteral("frmPedidos"));
    setWindowTitle(QStringLiteral("Pedidos"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BarraPadrao(this));
    auto* form = new QFormLayout;
    FCliente = new QComboBox(this);
    FCliente->setObjectName(QStringLiteral("cbCliente"));
    FProduto = new QComboBox(this);
    FProduto->setObjectName(QStringLiteral("cbProduto"));
    FQuantidade = new QSpinBox(this);
    FQuantidade->setObjectName(QStringLiteral("spQuantidade"));
    FQuantidade->setRange(0, 9999);
    form->addRow(QStringLiteral("Cliente"), FCliente);
    form->addRow(QStringLiteral("Produto"), FProduto);
    form->addRow(QStringLiteral("Quantidade"), FQuantidade);
    layout->addLayout(form);
    FAdicionar = new QPushButton(QStringLiteral("Adicionar"), this);
    FAdicionar->setObjectName(QStringLiteral("btAdicionar"));
    FItens = new QLabel(QStringLiteral("0 itens"), this);
    FItens->setObjectName(QStringLiteral("lbItens"));
    FTotal = new QLabel(QStringLiteral("0.00"), this);
    FTotal->setObjectName(QStringLiteral("lbTotal"));
    FGravar = new QPushButton(QStringLiteral("Gravar"), this);
    FGravar->setObjectName(QStringLiteral("btGravar"));
    FGravar->setEnabled(false);
    layout->addWidget(FAdicionar);
    layout->addWidget(FItens);
    layout->addWidget(FTotal);
    layout->addWidget(FGravar);
    if (corvelbase5::vDMConexao) {
      auto c = Conexao().ExecuteQueryView("select id, nome from clientes order by id");
      for (c->First(); !c->Eof(); c->Next()) FCliente->addItem(ToQ(c->Fields(1).AsString()), QVariant::fromValue(c->Fields(0).AsInteger()));
      auto p = Conexao().ExecuteQueryView("select id, descricao, preco from produtos order by id");
      for (p->First(); !p->Eof(); p->Next()) {
        FProduto->addItem(ToQ(p->Fields(1).AsString()), QVariant::fromValue(p->Fields(0).AsInteger()));
        FPrecos.push_back(p->Fields(2).AsFloat());
      }
    }
    connect(FAdicionar, &QPushButton::clicked, this, [this] { Adicionar(); });
    connect(FGravar, &QPushButton::clicked, this, [this] { Gravar(); });
    resize(360, 240);
  }

  void Adicionar() {
    if (FQuantidade->value() <= 0) {
      corvelbase5::vMessageDlg("Informe uma quantidade maior que zero", corvelbase5::TvMsgDlgType::mtWarning,
                               corvelbase5::mbOK);
      return;
    }
    int index = FProduto->currentIndex();
    if (index < 0) return;
    FLinhas.push_back({FProduto->currentData().toLongLong(), FQuantidade->value(), FPrecos.at(static_cast<size_t>(index))});
    double total = 0;
    for (const auto& l : FLinhas) total += l.Quantidade * l.Preco;
    FItens->setText(FLinhas.size() == 1 ? QStringLiteral("1 item")
                                         : QString::number(FLinhas.size()) + QStringLiteral(" itens"));
    FTotal->setText(QString::number(total, 'f', 2));
    FGravar->setEnabled(true);
  }

  void Gravar() {
    const int64_t id = ProximoId("pedidos");
    Conexao().ExecuteCommand("insert into pedidos (id, cliente_id, data_pedido) values (" + std::to_string(id) + ", " +
                             std::to_string(FCliente->currentData().toLongLong()) + ", '2026-04-01')");
    int item = 0;
    for (const auto& l : FLinhas)
      Conexao().ExecuteCommand("insert into itens_pedido values (" + std::to_string(id) + ", " + std::to_string(++item) +
                               ", " + std::to_string(l.Produto) + ", " + std::to_string(l.Quantidade) + ", " +
                               corvel5::ValorParaSQL(l.Preco) + ")");
    FLinhas.clear();
    FGravar->setEnabled(false);
    corvelbase5::vMessageDlg("Pedido " + std::to_string(id) + " gravado", corvelbase5::TvMsgDlgType::mtInformation,
                             corvelbase5::mbOK);
  }

 private:
  struct TLinha {
    int64_t Produto;
    int Quantidade;
    double Preco;
  };
  QComboBox* FCliente;
  QComboBox* FProduto;
  QSpinBox* FQuantidade;
  QPushButton* FAdicionar;
  QLabel* FItens;
  QLabel* FTotal;
  QPushButton* FGravar;
  std::vector<double> FPrecos;
  std::vector<TLinha> FLinhas;
};

// Sales per customer between two dates (parameters "inicio" and "fim").
class TvFrmRelVendas : public corvelreport5::TvFrmReport {
 public:
  TvFrmRelVendas() {
    setObjectName(QStringLiteral("frmRelVendas"));
    setWindowTitle(QStringLiteral("Vendas por cliente"));
    GetDMPower()->Query.SQL =
        "select c.nome, sum(i.quantidade * i.preco) as total from clientes c "
        "join pedidos p on p.cliente_id = c.id join itens_pedido i on i.pedido_id = p.id "
        "where p.data_pedido between :inicio and :fim group by c.nome order by c.nome";
    auto* layout = new QVBoxLayout(this);
    auto* inicio = new QLineEdit(this);
    inicio->setObjectName(QStringLiteral("edInicio"));
    auto* executar = new QPushButton(QStringLiteral("Executar"), this);
    executar->setObjectName(QStringLiteral("btExecutar"));
    layout->addWidget(inicio);
    layout->addWidget(executar);
    connect(executar, &QPushButton::clicked, this, [this] { GetDMPower()->Executar(); });
  }
};

template <class F>
void RegistrarForm(const char* classe, const char* acao, const char* titulo) {
  Forms::ClassList().Register({classe, Forms::TClassKind::Form, [classe](QWidget*) -> QObject* {
                                 auto* form = new F;
                                 form->setProperty("vClassName", QString::fromUtf8(classe));
                                 return form;
                               }});
  corvelbase5::RegistrarGeradorAcoes(classe, [=](corvelbase5::TvActionList& list, const std::vector<int>& modulos) {
    if (list.Find(acao)) return;
    auto action = std::make_unique<corvelbase5::TvAction>();
    action->Name = acao;
    action->Caption = titulo;
    action->FormClass = classe;
    action->Modulos = modulos;
    action->AbreForm = true;
    list.Add(std::move(action));
  });
}

const bool gRegistered = [] {
  RegistrarForm<TvFrmClientes>("TvFrmClientes", "actTvFrmClientes", "Clientes");
  RegistrarForm<TvFrmProdutos>("TvFrmProdutos", "actTvFrmProdutos", "Produtos");
  RegistrarForm<TvFrmPedidos>("TvFrmPedidos", "actTvFrmPedidos", "Pedidos");
  RegistrarForm<TvFrmRelVendas>("TvFrmRelVendas", "actTvFrmRelVendas", "Vendas por cliente");
  corvel5::SendDebug("pacote vendas_0 carregado");
  return true;
}();

}  // namespace
