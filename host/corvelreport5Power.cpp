// The reference host's libcorvelreport5.so, second half: report files
// (.vrw) opened in a report form, reports built in steps, and parameter
// scenarios applied to a report's module.
//
// A report file is UTF-8 text, one "key=value" per line:
//   Titulo=Vendas por cliente
//   SQL=select cliente, sum(total) as total from venda where ano = :ano group by cliente
//   Parametro=ano|Ano|2024          (name | label | default value)
// Each parameter gets a labelled edit control "ed<name>" on the form.
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "business/CorvelFramework.h"
#include "platform/qt/QtText.h"

namespace corvelreport5 {

using corvel5::EvErro;
using QtText::ToQ;

namespace {
bool SameName(const std::string& a, const std::string& b) { return QtText::UpperAscii(a) == QtText::UpperAscii(b); }
}  // namespace

void TvDMPower::ExecutarTab(const std::string& /*teste*/) { Executar(); }

void TvDMReportSeq::Executar() {
  if (!corvelbase5::vDMConexao) throw EvErro("TvDMReportSeq: no connection (vDMConexao)");
  PreviewSeq.Dados.EmptyDataSet();
  PreviewSeq.Dados.CopyFrom(DBClient::TClientDataSet());
  PreviewSeq.Titulo = Preview.Titulo;
  std::vector<std::string> passos = Sequencia;
  if (passos.empty()) passos.push_back(Query.SQL);
  int seq = 0;
  for (const auto& sql : passos) {
    TvpqPowerQuery step;
    step.SQL = sql;
    for (const auto& nome : TvpqPowerParam::NomesNoSQL(sql)) step.GetParams().SetValues(nome, Query.GetParams().Valor(nome));
    step.Executar(Preview);
    DBClient::TClientDataSet& out = PreviewSeq.Dados;
    if (out.FieldCount() == 0) {
      out.AddField("Seq", DBClient::TFieldType::ftInteger);
      for (int f = 0; f < Preview.Dados.FieldCount(); ++f)
        out.AddField(Preview.Dados.Fields(f).FieldName(), Preview.Dados.Fields(f).DataType(), Preview.Dados.Fields(f).Size());
    } else if (out.FieldCount() != Preview.Dados.FieldCount() + 1) {
      throw EvErro("TvDMReportSeq: the step \"" + sql + "\" gives " + std::to_string(Preview.Dados.FieldCount()) +
                   " columns, the report has " + std::to_string(out.FieldCount() - 1));
    }
    for (int r = 0; r < Preview.Dados.RecordCount(); ++r) {
      std::vector<DBClient::TValue> row{static_cast<int64_t>(++seq)};
      for (int f = 0; f < Preview.Dados.FieldCount(); ++f) row.push_back(Preview.Dados.Cell(r, f));
      out.AppendRecord(std::move(row));
    }
  }
}

void AplicarValores(corvelbaseutil5::TvCampoValor& cenario) {
  auto* dm = dynamic_cast<TvDMPower*>(cenario.DM);
  if (!dm) throw EvErro("AplicarValores: the scenario \"" + cenario.Nome + "\" is not attached to a report module");
  std::vector<std::string> noSQL = TvpqPowerParam::NomesNoSQL(dm->Query.SQL);
  if (auto* seq = dynamic_cast<TvDMReportSeq*>(dm))
    for (const auto& sql : seq->Sequencia)
      for (const auto& n : TvpqPowerParam::NomesNoSQL(sql)) noSQL.push_back(n);
  for (int i = 0; i < cenario.Count(); ++i) {
    const auto& item = cenario.Item(i);
    if (QLineEdit* ed = dm->Query.GetParams().EdFindFieldControl(item.Campo)) {
      DBClient::TClientDataSet probe;  // the value's text as the dataset layer writes it
      probe.AddField("v", DBClient::TFieldType::ftString);
      probe.AppendRecord({item.Valor});
      ed->setText(ToQ(probe.Fields(0).AsString()));
      continue;
    }
    bool used = false;
    for (const auto& n : noSQL) used = used || SameName(n, item.Campo);
    if (!used)
      throw EvErro("AplicarValores: the parameter \"" + item.Campo + "\" of scenario \"" + cenario.Nome +
                   "\" names no control and no parameter of the report");
    dm->Query.GetParams().SetValues(item.Campo, item.Valor);
  }
}

void TvFrmReport::CarregarArquivo(const std::string& path) {
  if (layout()) throw EvErro("TvFrmReport: the form already holds a report; \"" + path + "\" needs a form of its own");
  std::string text = corvelbase5::LerArquivo(path, true);
  if (text.empty()) throw EvErro("TvFrmReport: the report file \"" + path + "\" is missing or empty");
  auto* layout = new QVBoxLayout(this);
  auto* params = new QFormLayout;
  auto* title = new QLabel(this);
  title->setObjectName(QStringLiteral("lblTitulo"));
  layout->addWidget(title);
  layout->addLayout(params);
  int number = 0;
  for (const QString& raw : ToQ(text).split(u'\n')) {
    ++number;
    QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    qsizetype eq = line.indexOf(u'=');
    if (eq <= 0)
      throw EvErro("TvFrmReport: line " + std::to_string(number) + " of \"" + path + "\" is not key=value");
    QString key = line.left(eq).trimmed();
    QString value = line.mid(eq + 1);
    if (key == QStringLiteral("Titulo")) {
      FDM->Preview.Titulo = QtText::FromQ(value);
      title->setText(value);
      setWindowTitle(value);
    } else if (key == QStringLiteral("SQL")) {
      FDM->Query.SQL = QtText::FromQ(value);
    } else if (key == QStringLiteral("Parametro")) {
      QStringList parts = value.split(u'|');
      std::string nome = QtText::FromQ(parts.value(0).trimmed());
      if (nome.empty()) throw EvErro("TvFrmReport: line " + std::to_string(number) + " of \"" + path + "\" names no parameter");
      auto* ed = new QLineEdit(parts.value(2), this);
      ed->setObjectName(ToQ("ed" + nome));
      params->addRow(parts.value(1, ToQ(nome)), ed);
      FDM->Query.GetParams().SetControl(nome, ed);
    } else {
      throw EvErro("TvFrmReport: line " + std::to_string(number) + " of \"" + path + "\" has the unknown key \"" +
                   QtText::FromQ(key) + "\"");
    }
  }
  if (FDM->Query.SQL.empty()) throw EvErro("TvFrmReport: the report file \"" + path + "\" has no SQL line");
  resize(360, 160);
}

namespace {
// Opening a report action makes a TvFrmReport that reads the action's file.
[[maybe_unused]] const bool gRegistered = [] {
  Forms::ClassList().Register({"TvFrmReport", Forms::TClassKind::Form, [](QWidget*) -> QObject* { return new TvFrmReport; }});
  corvelbase5::FOnFormCriado = [](QWidget& form, corvelbase5::TvAction& action) {
    auto* report = dynamic_cast<TvFrmReport*>(&form);
    if (report && dynamic_cast<corvelbase5::TvActionPower*>(&action) && !action.Arquivo.empty())
      report->CarregarArquivo(action.Arquivo);
  };
  return true;
}();
}  // namespace

}  // namespace corvelreport5
