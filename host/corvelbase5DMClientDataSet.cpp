// The reference host's client-dataset data module (libcorvelbase5.so): one
// table read into a client dataset, appended records inserted through the
// connection, and each refusal sorted into a kind the callers report on.
#include <QDir>
#include <QHeaderView>
#include <cstdlib>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "business/CorvelFramework.h"
#include "platform/qt/QtText.h"

namespace corvelbase5 {

using corvel5::EvErro;
using QtText::ToQ;

std::function<void(QWidget& form, TvAction& action)> FOnFormCriado;

std::string PegarDirDados() {
  const char* env = std::getenv("TESSEL_DADOS");
  std::string dir;
  if (env && *env) {
    dir = env;
  } else {
    // Without a home, /tmp rather than the root folder, which is not writable.
    const char* home = std::getenv("HOME");
    dir = std::string(home && *home ? home : "/tmp") + "/dados";
  }
  if (dir.back() != '/') dir += '/';
  return dir;
}

namespace {

std::string Upper(const std::string& s) { return QtText::UpperAscii(s); }

// The first double-quoted name after `after` in a message, or "".
std::string QuotedAfter(const std::string& message, const std::string& after) {
  size_t at = Upper(message).find(after);
  if (at == std::string::npos) return {};
  size_t open = message.find('"', at);
  size_t close = open == std::string::npos ? open : message.find('"', open + 1);
  return close == std::string::npos ? std::string() : message.substr(open + 1, close - open - 1);
}

std::string FieldList(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] != ' ') out += text[i];
  return Upper(out);
}

}  // namespace

TvDMClientDataSet::TvDMClientDataSet(QObject* owner, std::string tabela)
    : Forms::TDataModule(owner), FTabela(std::move(tabela)), FCDS(std::make_unique<corvel5::TvClientDataSet>(this)) {
  setObjectName(QStringLiteral("TvDMClientDataSet"));
  FCDS->Name = "cds" + FTabela;
}

TvDMClientDataSet::~TvDMClientDataSet() {
  if (FForm) delete FForm.data();
}

void TvDMClientDataSet::Preparar(bool somenteEstrutura) {
  if (FTabela.empty()) throw EvErro("TvDMClientDataSet: the module has no table");
  if (!vDMConexao) throw EvErro("TvDMClientDataSet " + FTabela + ": no connection (vDMConexao)");
  FCDS->CommandText = "select * from " + FTabela + (somenteEstrutura ? " where 1 = 0" : "");
  FAberto = false;
}

void TvDMClientDataSet::Abrir() {
  if (FCDS->CommandText.empty()) Preparar(false);
  if (!vDMConexao) throw EvErro("TvDMClientDataSet " + FTabela + ": no connection (vDMConexao)");
  vDMConexao->Conexao().Query(FCDS->CommandText, *FCDS);
  FGravados = FCDS->RecordCount();
  FAberto = true;
  FUltimoErro.clear();
  FTipoErro = teNenhum;
  FNomeConstraint.clear();
}

int TvDMClientDataSet::Pendentes() const { return FCDS->RecordCount() - FGravados; }

void TvDMClientDataSet::DoReconcileError(const std::string& mensagem) {
  FUltimoErro = mensagem;
  // Sorting reads the key structure; a failure there must not hide the
  // write's own error.
  try {
    Classificar(mensagem);
  } catch (const std::exception&) {
    FTipoErro = teOutro;
    FNomeConstraint.clear();
  }
}

void TvDMClientDataSet::Classificar(const std::string& mensagem) {
  const std::string up = Upper(mensagem);
  FNomeConstraint.clear();
  if (up.find("FOREIGN KEY") != std::string::npos) {
    FTipoErro = teChaveEstrangeira;
    FNomeConstraint = QuotedAfter(mensagem, "CONSTRAINT");
    return;
  }
  if (up.find("UNIQUE") == std::string::npos && up.find("PRIMARY") == std::string::npos) {
    FTipoErro = teOutro;
    return;
  }
  // Firebird names the constraint; SQLite names the columns ("UNIQUE
  // constraint failed: t.a, t.b"), and the key is told apart by them.
  std::string name = QuotedAfter(mensagem, "CONSTRAINT");
  if (!name.empty() && vDMConexao && vDMConexao->TipoBanco() == TvTipoBanco::tbFirebird) {
    auto ds = vDMConexao->Conexao().Query(
        "select rdb$constraint_type, rdb$index_name from rdb$relation_constraints where rdb$constraint_name = " +
        corvel5::ValorParaSQL(Upper(name)));
    std::string type = ds->RecordCount() ? ds->Fields(0).AsString() : std::string();
    FTipoErro = type.find("PRIMARY") != std::string::npos ? teChavePrimaria : teIndiceUnico;
    FNomeConstraint = ds->RecordCount() ? ds->Fields(1).AsString() : name;
    while (!FNomeConstraint.empty() && FNomeConstraint.back() == ' ') FNomeConstraint.pop_back();
    return;
  }
  size_t colon = mensagem.find("failed:");
  std::string columns;
  if (colon != std::string::npos) {
    // "t.a, t.b" and then the driver's own words: each part's first word.
    for (const QString& part : ToQ(mensagem.substr(colon + 7)).split(u',')) {
      QString c = part.trimmed().section(u' ', 0, 0);
      qsizetype dot = c.indexOf(u'.');
      if (dot < 0) break;
      corvel5::Add(columns, QtText::FromQ(c.mid(dot + 1)), ",");
      if (part.trimmed().contains(u' ')) break;
    }
  }
  std::string key = vDMConexao ? FieldList(PegarChavePrimaria(FTabela)) : std::string();
  for (char& c : key)
    if (c == ';') c = ',';
  if (!columns.empty() && FieldList(columns) == key) {
    FTipoErro = teChavePrimaria;
    return;
  }
  FTipoErro = teIndiceUnico;
  if (vDMConexao && vDMConexao->TipoBanco() == TvTipoBanco::tbSQLite) {
    auto list = vDMConexao->Conexao().Query("select name from pragma_index_list(" + corvel5::ValorParaSQL(FTabela) +
                                            ") where \"unique\" = 1");
    for (int r = 0; r < list->RecordCount(); ++r) {
      std::string index = std::get<std::string>(list->Cell(r, 0));
      if (FieldList(PegarEstruturaIndex(index)) == FieldList(columns)) FNomeConstraint = index;
    }
  }
}

int TvDMClientDataSet::ApplyUpdates(int maxErros) {
  if (!FAberto) throw EvErro("TvDMClientDataSet " + FTabela + ": ApplyUpdates on a dataset that is not open");
  int erros = 0;
  // Written records move in front of the refused ones, so the pending ones
  // stay the tail of the dataset.
  std::vector<std::vector<DBClient::TValue>> recusados;
  const int total = FCDS->RecordCount();
  int escritos = FGravados;
  for (int r = FGravados; r < total; ++r) {
    std::string campos, valores;
    for (int f = 0; f < FCDS->FieldCount(); ++f) {
      const DBClient::TValue& v = FCDS->Cell(r, f);
      if (std::holds_alternative<std::monostate>(v)) continue;
      corvel5::Add(campos, FCDS->Fields(f).FieldName(), ", ");
      corvel5::Add(valores, corvel5::ValorParaSQL(v), ", ");
    }
    std::vector<DBClient::TValue> row;
    for (int f = 0; f < FCDS->FieldCount(); ++f) row.push_back(FCDS->Cell(r, f));
    try {
      if (!vDMConexao) throw EvErro("no connection (vDMConexao)");
      vDMConexao->ExecuteCommand("insert into " + FTabela + " (" + campos + ") values (" + valores + ")");
      for (int f = 0; f < FCDS->FieldCount(); ++f) FCDS->SetCell(escritos, f, row[static_cast<size_t>(f)]);
      ++escritos;
    } catch (const std::exception& e) {
      recusados.push_back(std::move(row));
      ++erros;
      if (OnReconcileError)
        OnReconcileError(*this, e.what());
      else
        DoReconcileError(e.what());
      if (maxErros >= 0 && erros > maxErros) {
        for (int rest = r + 1; rest < total; ++rest) {
          std::vector<DBClient::TValue> keep;
          for (int f = 0; f < FCDS->FieldCount(); ++f) keep.push_back(FCDS->Cell(rest, f));
          recusados.push_back(std::move(keep));
        }
        break;
      }
    }
  }
  for (size_t i = 0; i < recusados.size(); ++i)
    for (int f = 0; f < FCDS->FieldCount(); ++f)
      FCDS->SetCell(escritos + static_cast<int>(i), f, recusados[i][static_cast<size_t>(f)]);
  FGravados = escritos;
  return erros;
}

void TvDMClientDataSet::CancelUpdates() {
  while (FCDS->RecordCount() > FGravados) {
    FCDS->Last();
    FCDS->Delete();
  }
}

QWidget* TvDMClientDataSet::Form() {
  if (FForm) return FForm;
  if (!FAberto && vDMConexao) Abrir();  // the form shows the module's records
  auto* form = new Forms::TForm;
  form->setObjectName(ToQ("frm" + FTabela));
  form->setWindowTitle(ToQ(FTabela));
  auto* layout = new QVBoxLayout(form);
  auto* title = new QLabel(ToQ(FTabela), form);
  title->setObjectName(QStringLiteral("lblTabela"));
  auto* grid = new QTableWidget(form);
  grid->setObjectName(QStringLiteral("grdDados"));
  grid->setColumnCount(FCDS->FieldCount());
  grid->setRowCount(FCDS->RecordCount());
  QStringList headers;
  for (int f = 0; f < FCDS->FieldCount(); ++f) headers << ToQ(FCDS->Fields(f).FieldName());
  grid->setHorizontalHeaderLabels(headers);
  grid->horizontalHeader()->setStretchLastSection(true);
  for (int r = 0; r < FCDS->RecordCount(); ++r)
    for (int f = 0; f < FCDS->FieldCount(); ++f) {
      const DBClient::TValue& v = FCDS->Cell(r, f);
      std::string text = std::holds_alternative<std::string>(v)    ? std::get<std::string>(v)
                         : std::holds_alternative<int64_t>(v)      ? std::to_string(std::get<int64_t>(v))
                         : std::holds_alternative<double>(v)       ? QtText::FromQ(QString::number(std::get<double>(v)))
                                                                   : std::string();
      grid->setItem(r, f, new QTableWidgetItem(ToQ(text)));
    }
  layout->addWidget(title);
  layout->addWidget(grid);
  form->resize(420, 240);
  FForm = form;
  return form;
}

}  // namespace corvelbase5
