// The reference host's libcorvelbaseutil5.so, scenarios that touch data:
// the data module a scenario makes for itself and its values written into
// a record.
#include "business/CorvelFramework.h"

namespace corvelbaseutil5 {

using corvel5::EvErro;

QObject* TvCampoValorBase::CriarDM() const {
  if (!NomeDM.empty()) return corvelbase5::CriarDM(NomeDM, nullptr, "");
  if (Tabela.empty())
    throw EvErro("CriarDM: the scenario \"" + Nome + "\" names neither a data module nor a table");
  return new corvelbase5::TvDMClientDataSet(nullptr, Tabela);
}

void TvCampoValor::GravarValores(DBClient::TDataSet& dataSet) const {
  // Every name is checked before the first value is written, so a typing
  // mistake in a scenario leaves the record as it was.
  for (const auto& item : FItens)
    if (!dataSet.FindField(item.Campo))
      throw EvErro("GravarValores: the scenario \"" + Nome + "\" names the field \"" + item.Campo + "\", which " +
                   (Tabela.empty() ? std::string("the dataset") : "table " + Tabela) + " does not have");
  for (const auto& item : FItens) dataSet.FieldByName(item.Campo).SetValue(item.Valor);
}

}  // namespace corvelbaseutil5

namespace corvelbaseutil5 {

std::unique_ptr<TvListCampoValor> CriarCenarioLinhas(const std::vector<std::string>& linhas) {
  auto list = std::make_unique<TvListCampoValor>();
  for (const auto& line : linhas) list->Add().Add("Linha", line);
  return list;
}

}  // namespace corvelbaseutil5
