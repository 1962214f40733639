// What unit vUtilTeste calls in the host's framework beyond CorvelFramework.h:
// the client-dataset data module that writes appended records to its table,
// report modules with their own preview, and scenarios applied to a module.
// Included at the end of CorvelFramework.h; not meant to be included alone.
#pragma once

#include <QPointer>

namespace corvelbase5 {

// How the last failed write of a TvDMClientDataSet went wrong.
enum TvTipoErro {
  teNenhum = 0,
  teChavePrimaria = 1,    // a record with that primary key exists
  teChaveEstrangeira = 2, // a referenced record is missing
  teOutro = 3,            // anything else (a NOT NULL, a type)
  teIndiceUnico = 4       // a unique index other than the key
};

// A data module around one table: its client dataset holds the table's
// records; records appended to it are inserted by ApplyUpdates.
class TvDMClientDataSet : public Forms::TDataModule {
 public:
  explicit TvDMClientDataSet(QObject* owner = nullptr, std::string tabela = {});
  ~TvDMClientDataSet() override;

  const std::string& Tabela() const { return FTabela; }
  corvel5::TvClientDataSet& CDS() { return *FCDS; }

  // Gets ready for a write; with somenteEstrutura the dataset opens empty
  // (only the table's fields), which is all an insert needs.
  virtual void Preparar(bool somenteEstrutura);
  // Reads the table (or only its structure) into the client dataset.
  void Abrir();
  bool Aberto() const { return FAberto; }

  // Called for each record the database refused; the default keeps the
  // message and the kind of error for the caller's report.
  std::function<void(TvDMClientDataSet&, const std::string& mensagem)> OnReconcileError;
  void DoReconcileError(const std::string& mensagem);
  // Inserts the records appended since the dataset was opened. Returns the
  // number refused; stops after more than maxErros refusals (-1: never).
  int ApplyUpdates(int maxErros);
  // Drops the appended records that were not written.
  void CancelUpdates();
  int Pendentes() const;

  const std::string& UltimoErro() const { return FUltimoErro; }
  TvTipoErro TipoErro() const { return FTipoErro; }
  const std::string& NomeConstraint() const { return FNomeConstraint; }

  // The module's form: a grid of the client dataset, made on first use and
  // owned by nobody (whoever shows it closes it).
  virtual QWidget* Form();

 private:
  std::string FTabela;
  std::unique_ptr<corvel5::TvClientDataSet> FCDS;
  bool FAberto = false;
  int FGravados = 0;  // records read from the table or already written
  std::string FUltimoErro;
  TvTipoErro FTipoErro = teNenhum;
  std::string FNomeConstraint;
  QPointer<QWidget> FForm;
  void Classificar(const std::string& mensagem);
};

// Called by ShowForm for every form it makes for an action, before showing
// it (a report action's form reads its file here).
extern std::function<void(QWidget& form, TvAction& action)> FOnFormCriado;

// The site's data folder, with a trailing "/": $TESSEL_DADOS, else ~/dados/.
std::string PegarDirDados();

}  // namespace corvelbase5

namespace corvelbaseutil5 {
// One scenario per line of an export, its single field "Linha" holding the
// line as it is (whatever characters the line holds).
std::unique_ptr<TvListCampoValor> CriarCenarioLinhas(const std::vector<std::string>& linhas);
}  // namespace corvelbaseutil5

namespace corvelreport5 {

// A report whose lines come from its query.
class TvDMReport : public TvDMPower {
 public:
  using TvDMPower::TvDMPower;
};

// A report built in steps: each query of Sequencia adds its records to the
// module's own preview, numbered in a leading "Seq" column.
class TvDMReportSeq : public TvDMPower {
 public:
  using TvDMPower::TvDMPower;
  std::vector<std::string> Sequencia;
  TvReportPreview PreviewSeq;
  void Executar() override;
};

// The scenario's values onto the module it is attached to (its DM): a value
// goes into the parameter's edit control when the form has one, else into
// the query's parameter of that name. A name that is neither raises.
void AplicarValores(corvelbaseutil5::TvCampoValor& cenario);

}  // namespace corvelreport5
