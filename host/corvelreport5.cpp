// The reference host's libcorvelreport5.so: a report's preview exported as
// CSV (to a stream or to lines) or as fixed-width text.
#include <QLineEdit>
#include <algorithm>
#include <cctype>
#include <sstream>
#include <string_view>

#include "business/CorvelFramework.h"
#include "platform/qt/QtText.h"

namespace corvelreport5 {

namespace {

// The separator the people reading the file expect: ";" where "," is the
// decimal separator.
char Separator() {
  DBClient::TClientDataSet probe;
  probe.AddField("v", DBClient::TFieldType::ftFloat);
  probe.AppendRecord({0.5});
  return probe.Fields(0).AsString().find(',') != std::string::npos ? ';' : ',';
}

// One record per line: a line break inside a value becomes a blank.
std::string OneLine(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') text.erase(i, 1);
    if (text[i] == '\r' || text[i] == '\n') text[i] = ' ';
  }
  return text;
}

std::string CsvField(std::string text, char sep) {
  text = OneLine(std::move(text));
  if (text.find(sep) == std::string::npos && text.find('"') == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::vector<std::string> CsvLines(const TvReportPreview& preview) {
  const DBClient::TClientDataSet& ds = preview.Dados;
  const char sep = Separator();
  std::vector<std::string> lines;
  std::string header;
  for (int f = 0; f < ds.FieldCount(); ++f) header += (f ? std::string(1, sep) : "") + CsvField(ds.Fields(f).FieldName(), sep);
  lines.push_back(header);
  DBClient::TClientDataSet copy;  // walk a copy: the preview is not moved
  copy.CopyFrom(ds);
  for (copy.First(); !copy.Eof(); copy.Next()) {
    std::string line;
    for (int f = 0; f < copy.FieldCount(); ++f) line += (f ? std::string(1, sep) : "") + CsvField(copy.Fields(f).AsString(), sep);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> TextLines(const TvReportPreview& preview) {
  DBClient::TClientDataSet copy;
  copy.CopyFrom(preview.Dados);
  std::vector<size_t> width(static_cast<size_t>(copy.FieldCount()));
  std::vector<std::vector<std::string>> cells;
  std::vector<std::string> header;
  for (int f = 0; f < copy.FieldCount(); ++f) header.push_back(copy.Fields(f).FieldName());
  cells.push_back(header);
  for (copy.First(); !copy.Eof(); copy.Next()) {
    std::vector<std::string> row;
    for (int f = 0; f < copy.FieldCount(); ++f) row.push_back(OneLine(copy.Fields(f).AsString()));
    cells.push_back(row);
  }
  for (const auto& row : cells)
    for (size_t f = 0; f < row.size(); ++f) width[f] = std::max(width[f], QtText::CharCount(row[f]));
  std::vector<std::string> lines;
  if (!preview.Titulo.empty()) lines.push_back(preview.Titulo);
  for (const auto& row : cells) {
    std::string line;
    for (size_t f = 0; f < row.size(); ++f) {
      line += row[f];
      if (f + 1 < row.size()) line += std::string(width[f] - QtText::CharCount(row[f]) + 1, ' ');
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

struct TvrwExportCSV::TState {
  std::stringstream Destino;
};

TvrwExportCSV::TvrwExportCSV() : F(std::make_unique<TState>()) {}
TvrwExportCSV::~TvrwExportCSV() = default;

void TvrwExportCSV::PrintReportTo() {
  if (!FPreview) throw corvel5::EvErro("TvrwExportCSV: no preview to print (SetPreview)");
  F->Destino.str(std::string());
  F->Destino.clear();
  for (const auto& line : CsvLines(*FPreview)) F->Destino << line << "\r\n";
}

std::istream& TvrwExportCSV::GetDestino() { return F->Destino; }

std::vector<std::string> ExportToStringList(TvrwExportType tipo, const TvReportPreview& preview) {
  switch (tipo) {
    case TvrwExportType::etCSV: return CsvLines(preview);
    case TvrwExportType::etTexto: return TextLines(preview);
  }
  throw corvel5::EvErro("ExportToStringList: unknown export type " + std::to_string(static_cast<int>(tipo)));
}

// ---------------------------------------------------------------------------
// Parameters and queries

namespace {
bool SameName(const std::string& a, const std::string& b) { return QtText::UpperAscii(a) == QtText::UpperAscii(b); }
bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Walks sql: quoted texts and names and "::" casts go to text as they are,
// the name of each ":name" goes to param. Listing a query's parameters and
// substituting them read sql this way, so they agree on what a parameter is.
template <class Text, class Param>
void ScanSQL(const std::string& sql, Text text, Param param) {
  for (size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    size_t end = i + 1;
    if (c == '\'' || c == '"') {
      end = sql.find(c, i + 1);
      end = end == std::string::npos ? sql.size() : end + 1;
    } else if (c == ':' && end < sql.size() && sql[end] == ':') {
      ++end;
    } else if (c == ':' && end < sql.size() && NameChar(sql[end])) {
      while (end < sql.size() && NameChar(sql[end])) ++end;
      param(sql.substr(i + 1, end - i - 1));
      i = end;
      continue;
    }
    text(std::string_view(sql).substr(i, end - i));
    i = end;
  }
}
}  // namespace

TvpqPowerParam::TParam* TvpqPowerParam::Find(const std::string& nome) {
  for (auto& p : FParams)
    if (SameName(p.Nome, nome)) return &p;
  return nullptr;
}

const TvpqPowerParam::TParam* TvpqPowerParam::Find(const std::string& nome) const {
  return const_cast<TvpqPowerParam*>(this)->Find(nome);
}

QLineEdit* TvpqPowerParam::EdFindFieldControl(const std::string& campo) const {
  const TParam* p = Find(campo);
  return p ? p->Controle : nullptr;
}

void TvpqPowerParam::SetValues(const std::string& nome, DBClient::TValue valor) {
  if (TParam* p = Find(nome))
    p->Valor = std::move(valor);
  else
    FParams.push_back({nome, std::move(valor), nullptr});
}

void TvpqPowerParam::SetControl(const std::string& nome, QLineEdit* control) {
  if (!Find(nome)) FParams.push_back({nome, std::monostate{}, nullptr});
  Find(nome)->Controle = control;
}

DBClient::TValue TvpqPowerParam::Valor(const std::string& nome) const {
  const TParam* p = Find(nome);
  if (!p) throw corvel5::EvErro("The query has no parameter \"" + nome + "\"");
  if (p->Controle) return QtText::FromQ(p->Controle->text());
  return p->Valor;
}

std::vector<std::string> TvpqPowerParam::NomesNoSQL(const std::string& sql) {
  std::vector<std::string> out;
  ScanSQL(sql, [](std::string_view) {}, [&out](const std::string& name) {
    for (const auto& n : out)
      if (SameName(n, name)) return;
    out.push_back(name);
  });
  return out;
}

std::vector<std::string> TvpqPowerParam::Nomes() const {
  std::vector<std::string> out;
  for (const auto& p : FParams) out.push_back(p.Nome);
  return out;
}

std::string TvpqPowerQuery::SQLComParametros() const {
  std::string out;
  ScanSQL(SQL, [&out](std::string_view text) { out += text; },
          [&](const std::string& name) { out += corvel5::ValorParaSQL(FParams.Valor(name)); });
  return out;
}

void TvpqPowerQuery::Executar(TvReportPreview& preview) const {
  if (!corvelbase5::vDMConexao) throw corvel5::EvErro("TvpqPowerQuery: no connection (vDMConexao)");
  corvelbase5::vDMConexao->Conexao().Query(SQLComParametros(), preview.Dados);
}

TvFrmReport::TvFrmReport(QWidget* parent) : Forms::TForm(parent), FDM(new TvDMPower(this)) {}

QObject* vDMDBXDataModel = nullptr;

}  // namespace corvelreport5

// --- Used by vUtilTest's connection suites
namespace corvelreport5 {

QObject* CriarvDMDBXDataModel() {
  if (!vDMDBXDataModel) {
    auto* dm = new Forms::TDataModule(nullptr);
    dm->setObjectName(QStringLiteral("vDMDBXDataModel"));
    dm->setProperty("vClassName", QStringLiteral("TvDMDBXDataModel"));
    // Cleared when something else frees it, so it is made again when needed.
    QObject::connect(dm, &QObject::destroyed, [] { vDMDBXDataModel = nullptr; });
    vDMDBXDataModel = dm;
  }
  return vDMDBXDataModel;
}

}  // namespace corvelreport5
