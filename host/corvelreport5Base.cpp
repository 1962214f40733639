// The reference host's libcorvelreport5.so: the parameter module that writes
// its output file, and report forms made from an origin scenario.
#include <QFileInfo>

#include "business/CorvelFramework.h"
#include "platform/qt/QtText.h"

namespace corvelreport5 {

std::string TvDMPowerParam::GerarArquivo() {
  if (NomeArquivo.empty()) throw corvel5::EvErro("TvDMPowerParam.GerarArquivo: no file name (NomeArquivo)");
  Executar();
  std::string text;
  DBClient::TDataSet& ds = Preview.Dados;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    if (!text.empty()) text += "--\r\n";
    for (int f = 0; f < ds.FieldCount(); ++f) text += ds.Fields(f).FieldName() + "=" + ds.Fields(f).AsString() + "\r\n";
  }
  const std::string path =
      corvel5::PegarDirTemp() + QtText::FromQ(QFileInfo(QtText::ToQ(NomeArquivo)).fileName());
  corvelbase5::GravarArquivo(text, path);
  return path;
}

TvFrmReport* CriarDMRelatorio(const corvelbaseutil5::TvCampoValor& cenario) {
  const DBClient::TValue* nome = cenario.Find("Relatorio");
  if (!nome || !std::holds_alternative<std::string>(*nome))
    throw corvel5::EvErro("CriarDMRelatorio: the scenario \"" + cenario.Nome + "\" names no report (field Relatorio)");
  const std::string classe = std::get<std::string>(*nome);
  const Forms::TClassInfo* info = Forms::ClassList().Find(classe);
  if (!info || info->Kind != Forms::TClassKind::Form || !info->Create)
    throw corvel5::EvErro("CriarDMRelatorio: \"" + classe + "\" is not a registered form");
  QObject* made = info->Create(nullptr);
  auto* report = dynamic_cast<TvFrmReport*>(made);
  if (!report) {
    delete made;
    throw corvel5::EvErro("CriarDMRelatorio: \"" + classe + "\" is not a report form (TvFrmReport)");
  }
  for (int i = 0; i < cenario.Count(); ++i)
    if (cenario.Item(i).Campo != "Relatorio")
      report->GetDMPower()->Query.GetParams().SetValues(cenario.Item(i).Campo, cenario.Item(i).Valor);
  return report;
}

}  // namespace corvelreport5
