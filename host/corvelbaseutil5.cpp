// The reference host's libcorvelbaseutil5.so: scenarios (named field values,
// lists and lists of lists of them), their text, their comparison, and the
// SQL built from them.
//
// Text form: one "campo=valor" line per field; the scenarios of a list are
// separated by a "--" line and the lists of a list of lists by a "==" line.
// A NULL is written "<null>". Values compare by this text, so the number 3
// and the text "3" agree.
#include <QFile>
#include <algorithm>
#include <QStringDecoder>
#include <charconv>

#include "business/CorvelFramework.h"
#include "platform/qt/FileAccess.h"
#include "platform/qt/QtText.h"

namespace corvelbaseutil5 {

using corvel5::EvErro;

namespace {

const char* const kNull = "<null>";
const char* const kCrLf = "\r\n";

std::string ValueText(const DBClient::TValue& v) {
  switch (v.index()) {
    case 0: return kNull;
    case 1: return std::to_string(std::get<int64_t>(v));
    case 2: {
      char buf[40];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::get<double>(v));
      return std::string(buf, end);
    }
    case 3: return std::get<std::string>(v);
    default: return std::get<bool>(v) ? "True" : "False";
  }
}

bool SameName(const std::string& a, const std::string& b) { return QtText::UpperAscii(a) == QtText::UpperAscii(b); }

void AddLine(std::string& out, const std::string& line) { corvel5::Add(out, line, kCrLf); }

// Lines of a text, CR LF or LF, a trailing CR dropped.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

}  // namespace

TvCampoValorBase::~TvCampoValorBase() = default;

void TvCampoValor::Add(const std::string& campo, DBClient::TValue valor) { FItens.push_back({campo, std::move(valor)}); }

const DBClient::TValue* TvCampoValor::Find(const std::string& campo) const {
  for (const auto& item : FItens)
    if (SameName(item.Campo, campo)) return &item.Valor;
  return nullptr;
}

TvCampoValor& TvListCampoValor::Add() {
  FItens.push_back(std::make_unique<TvCampoValor>());
  return *FItens.back();
}

TvListCampoValor& TvListListCampoValor::Add() {
  FItens.push_back(std::make_unique<TvListCampoValor>());
  return *FItens.back();
}

// ---------------------------------------------------------------------------
// Comparison

std::string CompararCenarios(const TvCampoValor& esperado, const TvCampoValor& atual) {
  std::string out;
  for (int i = 0; i < esperado.Count(); ++i) {
    const auto& e = esperado.Item(i);
    const DBClient::TValue* a = atual.Find(e.Campo);
    if (!a)
      AddLine(out, "Campo " + e.Campo + ": esperado <" + ValueText(e.Valor) + "> não gerado");
    else if (ValueText(*a) != ValueText(e.Valor))
      AddLine(out, "Campo " + e.Campo + ": esperado <" + ValueText(e.Valor) + "> gerado <" + ValueText(*a) + ">");
  }
  for (int i = 0; i < atual.Count(); ++i)
    if (!esperado.Find(atual.Item(i).Campo))
      AddLine(out, "Campo " + atual.Item(i).Campo + ": gerado <" + ValueText(atual.Item(i).Valor) + "> não esperado");
  return out;
}

namespace {
template <class L>
std::string CompareLists(const L& esperado, const L& atual, const char* what) {
  std::string out;
  if (esperado.Count() != atual.Count())
    AddLine(out, std::string(what) + ": esperado " + std::to_string(esperado.Count()) + " gerado " +
                     std::to_string(atual.Count()));
  for (int i = 0; i < std::min(esperado.Count(), atual.Count()); ++i) {
    std::string diff = CompararCenarios(esperado.Item(i), atual.Item(i));
    for (const auto& line : SplitLines(diff)) AddLine(out, "[" + std::to_string(i) + "] " + line);
  }
  return out;
}
}  // namespace

std::string CompararCenarios(const TvListCampoValor& esperado, const TvListCampoValor& atual) {
  return CompareLists(esperado, atual, "Quantidade de cenários");
}

std::string CompararCenarios(const TvListListCampoValor& esperado, const TvListListCampoValor& atual) {
  return CompareLists(esperado, atual, "Quantidade de listas");
}

// ---------------------------------------------------------------------------
// Text

std::string PegarCenarioStr(const TvCampoValor& cenario) {
  std::string out;
  for (int i = 0; i < cenario.Count(); ++i) AddLine(out, cenario.Item(i).Campo + "=" + ValueText(cenario.Item(i).Valor));
  return out;
}

std::string PegarCenarioStr(const TvListCampoValor& cenario) {
  std::string out;
  for (int i = 0; i < cenario.Count(); ++i) {
    if (i) AddLine(out, "--");
    AddLine(out, PegarCenarioStr(cenario.Item(i)));
  }
  return out;
}

std::string PegarCenarioStr(const TvListListCampoValor& cenario) {
  std::string out;
  for (int i = 0; i < cenario.Count(); ++i) {
    if (i) AddLine(out, "==");
    AddLine(out, PegarCenarioStr(cenario.Item(i)));
  }
  return out;
}

std::unique_ptr<TvCampoValor> CriarCenario(const std::vector<std::string>& linhas) {
  auto cenario = std::make_unique<TvCampoValor>();
  int number = 0;
  for (const auto& line : linhas) {
    ++number;
    if (line.empty()) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0)
      throw EvErro("CriarCenario: line " + std::to_string(number) + " is not campo=valor: \"" + line + "\"");
    std::string value = line.substr(eq + 1);
    cenario->Add(line.substr(0, eq), value == kNull ? DBClient::TValue(std::monostate{}) : DBClient::TValue(value));
  }
  return cenario;
}

std::unique_ptr<TvListCampoValor> CriarCenarios(const std::vector<std::string>& linhas) {
  auto list = std::make_unique<TvListCampoValor>();
  bool blocks = true;
  for (const auto& line : linhas)
    if (!line.empty() && line != "--" && line.find('=') == std::string::npos) blocks = false;
  if (!blocks) {
    // Lines of an export (a report's CSV): one scenario per line.
    for (const auto& line : linhas) list->Add().Add("Linha", line);
    return list;
  }
  std::vector<std::string> block;
  auto flush = [&] {
    if (block.empty()) return;
    auto one = CriarCenario(block);
    TvCampoValor& item = list->Add();
    for (int i = 0; i < one->Count(); ++i) item.Add(one->Item(i).Campo, one->Item(i).Valor);
    block.clear();
  };
  for (const auto& line : linhas) {
    if (line == "--")
      flush();
    else
      block.push_back(line);
  }
  flush();
  return list;
}

std::unique_ptr<TvListCampoValor> CriarCenarios(const std::string& arquivo) {
  FileAccess::TContent content;
  try {
    content = FileAccess::ReadFile(arquivo);
  } catch (const FileAccess::EFileError& e) {
    throw EvErro(std::string("CriarCenarios: ") + e.what());
  }
  if (!content.Exists) throw EvErro("CriarCenarios: cannot read \"" + arquivo + "\": No such file or directory");
  QByteArray bytes = QByteArray::fromStdString(content.Bytes);
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  // A scenario file is UTF-8: either "campo=valor" blocks (its first line
  // says so, and then every line must be one) or the lines of an export,
  // one scenario each, as a base file copied from a report is. A block file
  // with a stray line is refused with its place, never read as an export.
  QStringDecoder utf8(QStringDecoder::Utf8);
  (void)QString(utf8.decode(bytes));
  if (utf8.hasError())
    throw EvErro("CriarCenarios: \"" + arquivo + "\" is not UTF-8 text (save it as UTF-8)");
  std::vector<std::string> lines = SplitLines(bytes.toStdString());
  auto isPair = [](const std::string& line) { return line.find('=') != std::string::npos && line[0] != '='; };
  auto first = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return !l.empty() && l != "--"; });
  if (first != lines.end() && isPair(*first))
    for (size_t i = 0; i < lines.size(); ++i)
      if (!lines[i].empty() && lines[i] != "--" && !isPair(lines[i]))
        throw EvErro("CriarCenarios: line " + std::to_string(i + 1) + " of \"" + arquivo + "\" is not campo=valor: \"" +
                     lines[i] + "\"");
  auto list = CriarCenarios(lines);
  list->Nome = arquivo;
  return list;
}

std::unique_ptr<TvListListCampoValor> CriarCenarios(const std::vector<corvel5::TvClientDataSet*>& dataSets) {
  auto all = std::make_unique<TvListListCampoValor>();
  for (const auto* ds : dataSets) {
    TvListCampoValor& list = all->Add();
    list.Nome = ds->Name;
    for (int r = 0; r < ds->RecordCount(); ++r) {
      TvCampoValor& record = list.Add();
      for (int f = 0; f < ds->FieldCount(); ++f) record.Add(ds->Fields(f).FieldName(), ds->Cell(r, f));
    }
  }
  return all;
}

// ---------------------------------------------------------------------------
// SQL

std::string MontaWhere(const TvCampoValor* valor, bool comWhere, const std::string& prefixo) {
  if (!valor || valor->Count() == 0) return {};
  std::string conditions;
  for (int i = 0; i < valor->Count(); ++i) {
    const auto& item = valor->Item(i);
    std::string condition = std::holds_alternative<std::monostate>(item.Valor)
                                ? item.Campo + " is null"
                                : item.Campo + " = " + corvel5::ValorParaSQL(item.Valor);
    corvel5::Add(conditions, condition, " and ");
  }
  return (comWhere ? std::string("where ") : prefixo) + conditions;
}

std::string CriarSQL(const std::string& nome, const TvCampoValor* filtro) {
  std::string where = MontaWhere(filtro, true, "");
  return "select * from " + nome + (where.empty() ? "" : " " + where);
}

std::vector<std::string> FormatProcedureLines(const std::string& nome, const std::vector<std::string>& linhas) {
  std::vector<std::string> out;
  out.push_back("std::vector<std::string> " + nome + "() {");
  out.push_back("  return {");
  for (const auto& line : linhas) {
    // A raw literal whose delimiter cannot occur in the line.
    std::string delim = "x";
    while (line.find(")" + delim + "\"") != std::string::npos) delim += "x";
    out.push_back("      R\"" + delim + "(" + line + ")" + delim + "\",");
  }
  out.push_back("  };");
  out.push_back("}");
  return out;
}

namespace {
TvListCampoValor gLog;
}
TvListCampoValor* FCenarioLogGlobal = &gLog;

}  // namespace corvelbaseutil5
