// What the business units call in the host application's framework, grouped
// by the host library that provides it: libcorvel5.so, libcorvelbase5.so,
// libcorvelbaseutil5.so and libcorvelreport5.so.
//
// Tessel declares these and never defines them. A host application links
// its own four libraries with these SONAMEs; Tessel's tests and demo link the
// reference host in host/. libCorvelTest5.so needs the ones it calls by
// SONAME and finds them beside itself (RUNPATH $ORIGIN), so any host that
// provides the symbols fits.
//
// Errors raise corvel5::EvErro (or DBClient::EDatabaseError from the
// database layer) with a message that names the file, table or driver.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QPointer>

#include "platform/qt/DBClient.h"
#include "platform/qt/Forms.h"

class QLineEdit;
class QSettings;

// ===========================================================================
// libcorvel5.so: texts, digests, files of the user, debug and global events

namespace corvel5 {

class EvErro : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// MD5 (RFC 1321) as 32 lower-case hexadecimal digits. A text is hashed as
// its UTF-8 bytes; a stream from its start when seekToStart, else from where
// it stands; a file that cannot be read raises EvErro naming it.
std::string GetMD5(const std::string& text);
std::string GetMD5(std::istream& stream, bool seekToStart);
std::string GetMD5Arquivo(const std::string& path);

// Appends item to text, with separator only when text is not empty. With
// ignoreEmpty an empty item adds nothing.
void Add(std::string& text, const std::string& item, const std::string& separator, bool ignoreEmpty = false);
// Removes and returns the first item of text up to separator (all of text
// when there is none).
std::string PegarProximoToken(std::string& text, const std::string& separator);
// head + text + tail, or "" when text is empty.
std::string TemDados(const std::string& head, const std::string& text, const std::string& tail);
// The temporary directory, with a trailing "/".
std::string PegarDirTemp();
// The wall-clock time as "hh:nn:ss.zzz".
std::string PegarTempo();
// A value of the program's version information (Qt resource :/versioninfo,
// lines key=value), "" when absent.
std::string PegarVersionInfo(const std::string& key);
// The product code: version-information value "Produto", 0 when absent.
int PegarProduto();
// True while the program runs tests (FModoTeste, or CORVEL_MODO_TESTE=1).
bool ModoTeste();
extern bool FModoTeste;
// A value as an SQL literal: NULL, numbers with ".", 'text' with quotes doubled,
// and ValorParaSQLData for a date-time ('yyyy-mm-dd hh:nn:ss').
std::string ValorParaSQL(const DBClient::TValue& value);
std::string ValorParaSQLData(double dateTime);
// A reversible cipher of a text into hexadecimal digits (for names kept in
// INI files that people should not read at a glance; not a protection).
std::string Cripto(const std::string& text);
std::string DeCripto(const std::string& cipher);

// A client dataset that registers itself in FCDSList while it lives, so a
// suite can report the ones a test left open.
class TvClientDataSet : public DBClient::TClientDataSet {
 public:
  explicit TvClientDataSet(QObject* owner = nullptr);
  ~TvClientDataSet() override;
  QObject* Owner() const { return FOwner.data(); }

 private:
  QPointer<QObject> FOwner;  // vUtilTeste: a leak report may outlive the owner
};
// The live client datasets, in creation order since the last CDSLimpar.
extern std::vector<TvClientDataSet*> FCDSList;
// Forgets the datasets listed so far (they are not freed).
void CDSLimpar();

// The debug channel: one line to FOnDebug when set, else nothing.
void SendDebug(const std::string& text);
extern std::function<void(const std::string&)> FOnDebug;

// Called before a message dialog is shown. The handler may set show to
// false; its result is then the dialog's answer.
using TAntesMostrarMessage = std::function<int(QWidget* form, bool& show)>;
extern TAntesMostrarMessage FOnAntesMostrarMessage;
// Called now and then during long database work (a progress tick).
using TRadialEvent = std::function<void(QObject* sender)>;
extern TRadialEvent FRadialEvent;
// Calls FRadialEvent when it is set.
void Radial(QObject* sender);

}  // namespace corvel5

// ===========================================================================
// libcorvelbase5.so: the connection, client datasets, files, INI files,
// forms and data modules by name, packages, actions and message dialogs

namespace corvelbase5 {

enum class TvTipoBanco { tbFirebird = 0, tbOracle = 1, tbMSSQL = 2, tbSQLite = 3 };

// The one connection of the application. Every statement goes through it,
// so a transaction started here covers all of them.
class TvDMConexao {
 public:
  TvDMConexao();
  ~TvDMConexao();
  DBClient::TConnection& Conexao() { return FConexao; }
  TvTipoBanco TipoBanco() const { return FTipo; }

  void Conectar(const DBClient::TConnectionParams& params, TvTipoBanco tipo);
  void StartTransaction();
  void Commit();
  void RollBack();
  int64_t ExecuteCommand(const std::string& sql);
  // The result as a new client dataset, owned by the caller.
  std::unique_ptr<corvel5::TvClientDataSet> ExecuteQueryView(const std::string& sql);
  // The keep-alive timer of the connection starts counting again.
  void ReiniciarTimerControleConexao(bool ativo);
  int64_t UltimoUso() const { return FUltimoUso; }

 private:
  DBClient::TConnection FConexao;
  TvTipoBanco FTipo = TvTipoBanco::tbSQLite;
  int64_t FUltimoUso = 0;
  bool FTimerAtivo = false;
};
extern TvDMConexao* vDMConexao;

// Makes vDMConexao and connects it (abrir) to database as user. For
// Firebird a database "host:/path" goes through the network and a bare
// path opens the file with the embedded engine. usarPadrao1/2 select the
// host's own connection defaults and are kept for callers that pass them.
TvDMConexao* CriarvDMConexaoParaTests(const std::string& database, const std::string& user,
                                      const std::string& password, bool abrir, TvTipoBanco tipo, int usarPadrao1,
                                      int usarPadrao2, bool mostrarErro);
void DestruirvDMConexaoParaTests();

// The client dataset stored in an XML data packet, or null when no such file exists.
std::unique_ptr<corvel5::TvClientDataSet> LerXMLToCDS(const std::string& path);

// The kinds of difference between two client datasets.
enum class TvCompareEstruturaCDS { vcecAtual, vcecEsperado, vcecSomenteAtual, vcecSomenteEsperado, vcecDiferente,
                                   vcecEstrutura };
const char* NomeCompareEstruturaCDS(TvCompareEstruturaCDS value);
using TvArrayCDS = std::unique_ptr<DBClient::TClientDataSet>[6];
// Compares slot 0 (actual) with slot 1 (expected) record by record; fills
// slot 2 with records only in the actual, 3 only in the expected, 4 with
// the actual records that differ from the expected at the same position and
// 5 with the fields that differ in name or type. True when they differ.
bool CompareCDS(TvArrayCDS& cds);
// Frees a dataset handed over (null is fine).
void DestruirSQL(std::unique_ptr<DBClient::TClientDataSet>& dataSet);

// Key structure, read from the open connection: field names joined by ", ".
std::string PegarChavePrimaria(const std::string& table);
std::string PegarEstruturaIndex(const std::string& indexName);
std::string PegarEstruturaChaveEstrangeira(const std::string& constraintName);

// Text files in UTF-8. LerArquivo strips a BOM and trailing line breaks and
// blanks when trim is set, and gives "" for a file that does not exist.
std::string LerArquivo(const std::string& path, bool trim = true);
// Replaces the file whole; an empty path writes to PegarDirTemp() +
// "GravarArquivo.txt". append adds to the end instead.
void GravarArquivo(const std::string& text, const std::string& path, bool append = false);
// Writes text to PegarDirTemp() + "GravarArquivoO.txt" (the developer's
// scratch file); returns the path written.
std::string GravarArquivoO(const std::string& text, bool append = false);
// INI files (QSettings, INI format). CriarINI opens path; CriarINIProduto
// the product's file beside the program ("<program>.ini").
std::unique_ptr<QSettings> CriarINI(const std::string& path);
std::unique_ptr<QSettings> CriarINIProduto();
void GravarINI(QSettings& ini, const std::string& section, const std::string& key, const std::string& value);

// Actions of the menu: each opens a form (or a report) when the user has
// the right to it.
class TvAction {
 public:
  virtual ~TvAction();
  std::string Name;
  std::string Caption;
  std::string Categoria;
  std::string FormClass;       // the form ShowForm opens for it
  std::string Arquivo;         // a report action's file
  std::vector<int> Modulos;    // the modules it belongs to (empty: all)
  std::string Opcoes;
  bool AbreForm = false;       // opens a form of the application
  bool ControlaDireito = true;  // asks the list's rights handler first
  std::function<void(TvAction&)> OnExecute;
  void SetControlaDireito(bool value) { ControlaDireito = value; }
};
// A report action: its file is the report to open.
class TvActionPower : public TvAction {};

class TvActionList {
 public:
  TvAction& Add(std::unique_ptr<TvAction> action);
  int Count() const { return static_cast<int>(FActions.size()); }
  TvAction& Item(int index) const { return *FActions.at(static_cast<size_t>(index)); }
  TvAction* Find(const std::string& name) const;  // ASCII case-insensitive
  // The user's rights value for an action (0: none). Without a handler every
  // action is allowed.
  std::function<int(TvAction&)> OnPegarDireito;
  int PegarDireito(TvAction& action) const { return OnPegarDireito ? OnPegarDireito(action) : 1; }

 private:
  std::vector<std::unique_ptr<TvAction>> FActions;
};
extern TvActionList* FvActionListDireitos;
// Makes FvActionListDireitos when it does not exist; returns it.
TvActionList* CriarChecarFvActionListDireitos();
// When set, making an action whose name is taken sends a debug line.
extern bool FAlertaCriarAcao;
// One TvActionPower per report file (by extension) found in the folders.
void GerarActionPower(TvActionList& list, const std::vector<std::string>& folders, const std::vector<int>& modulos,
                      const std::string& categoria, const std::vector<std::string>& extensoes,
                      const std::string& opcoes);

// Forms and data modules by class name, from the platform's class list.
// A name that is not registered raises EvErro naming it.
enum class TvFormStyle { fsNormal, fsMDIChild, fsStayOnTop };
QWidget* ShowForm(TvAction* action, const std::string& name, TvFormStyle style);
QObject* CriarDM(const std::string& name, TvAction* action, const std::string& text);
// The host's class list: Forms::ClassList() of the platform.
struct TvClassListRef {
  int Count() const;
  std::string ClassName(int index) const;
};
extern TvClassListRef vClassList;

// Packages: the .so files of the modules found in a folder ("<name>_<module>.so"),
// and loading them for good (all symbols bound now; errors name the file).
std::vector<std::string> PegarListaPacotes(const std::string& folder, const std::vector<int>& modulos);
void AbrirPacotes(const std::vector<std::string>& paths);

// Message dialogs: FOnAntesMostrarMessage decides first, then the dialog shows.
enum class TvMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TvMsgDlgButton { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
// What vMessageDlg returns, whether a person answered or a handler did (the
// numbers the answer scripts use).
enum TvModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };
int vMessageDlg(const std::string& text, TvMsgDlgType type, int buttons);
// The dialog's text when form is a message form (TvMessageForm), else "".
std::string GetFormText(QWidget* form);

// The module (the part of the product) that runs.
int PegarModuloAtual();
extern int FvPerModuloAtualManual;  // -1: none chosen by hand
extern int FvPerModuloLow;
extern int FvPerModuloHigh;


// --- Used by vUtilTest's connection suites -------------------------------

// The progress indicator shown while long database work runs: a small
// widget that turns one step at each tick.
class TvProgressRadial : public QWidget {
 public:
  explicit TvProgressRadial(QWidget* owner = nullptr);
  // Ready to count: position 0, the step timer's interval set.
  void Configure();
  // One step, at most once per interval (ticks in between only count).
  void IncProgressTemporizado();
  int Posicao() const { return FPosicao; }
  int Ticks() const { return FTicks; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int FPosicao = 0;
  int FTicks = 0;
  int64_t FUltimoPasso = 0;
};

// The action generator of a form or data-module class: adds the class's
// actions for the given modules to the list. Packages register one beside
// the class itself; null when the class has none.
using TGerarAcoesClasse = std::function<void(TvActionList& list, const std::vector<int>& modulos)>;
void RegistrarGeradorAcoes(const std::string& className, TGerarAcoesClasse gerador);
const TGerarAcoesClasse* PegarGeradorAcoes(const std::string& className);

// Utility windows and modules the framework made on its own (lookup
// windows, caches): DestruirUtilitarios frees the ones still alive.
void RegistrarUtilitario(QObject* utilitario);
void DestruirUtilitarios();
int ContarUtilitarios();

// The data modules a tear-down never frees: the user's settings module and
// the data dictionary.
class TvDMPersonalizacao : public Forms::TDataModule {
 public:
  explicit TvDMPersonalizacao(QObject* owner = nullptr);
  ~TvDMPersonalizacao() override;
  // Settings of the current entry, by name.
  void SetTexto(const std::string& nome, const std::string& valor);
  std::string Texto(const std::string& nome) const;

 private:
  std::vector<std::pair<std::string, std::string>> FAtual;
};
extern TvDMPersonalizacao* vDMPersonalizacao;

class TvDMDicionario : public Forms::TDataModule {
 public:
  using Forms::TDataModule::TDataModule;
};

// --- Used by vUtilTest's automatic form tests ----------------------------

// A form that browses a dataset; detail forms register with it, and it may
// hold the data module it reads.
class TvFrmVisDataSet : public Forms::TForm {
 public:
  using Forms::TForm::TForm;
  int DetalheCount() const { return static_cast<int>(FDetalhes.size()); }
  QWidget* Detalhe(int index) const { return FDetalhes.at(static_cast<size_t>(index)).data(); }
  void DetalheRegister(QWidget* detalhe) { FDetalhes.emplace_back(detalhe); }
  void DetalheUnRegister(QWidget* detalhe);
  QObject* DataModule() const { return FDataModule.data(); }
  void SetDataModule(QObject* dm) { FDataModule = dm; }

 private:
  std::vector<QPointer<QWidget>> FDetalhes;
  QPointer<QObject> FDataModule;
};
// A registration form: edits the records of its data module.
class TvFrmCadastro : public TvFrmVisDataSet {
 public:
  using TvFrmVisDataSet::TvFrmVisDataSet;
};
// TvDMClientDataSet, a data module over one table's client dataset, is
// declared in CorvelFrameworkLegacy.h.
// The name of a module of the product ("vmVendas"), for suite names.
std::string NomeModulo(int modulo);

// The class name a module answers to: its registered class name (property
// "vClassName", set by the class list's factories of the host) or else its
// meta-object's.
std::string ClassNameOf(const QObject* object);

}  // namespace corvelbase5

// ===========================================================================
// libcorvelbaseutil5.so: scenarios (named values, lists of them) and SQL text

namespace corvelbaseutil5 {

// A named set of field = value pairs.
class TvCampoValorBase {
 public:
  virtual ~TvCampoValorBase();
  std::string Nome;
  std::string Tag;

  // vUtilTeste: where a scenario's data lives and the module that runs it.
  std::string Tabela;         // the table its values are written to and deleted from
  std::string NomeDM;         // the class of its data module; "" makes a TvDMClientDataSet on Tabela
  bool DeletarTodos = false;  // deleting it clears the whole table
  QObject* DM = nullptr;      // the module it is attached to (not owned)
  // A new data module for this scenario (the caller owns it, or its owner form).
  QObject* CriarDM() const;
};

class TvCampoValor : public TvCampoValorBase {
 public:
  struct TItem {
    std::string Campo;
    DBClient::TValue Valor;
  };
  void Add(const std::string& campo, DBClient::TValue valor);
  int Count() const { return static_cast<int>(FItens.size()); }
  const TItem& Item(int index) const { return FItens.at(static_cast<size_t>(index)); }
  const DBClient::TValue* Find(const std::string& campo) const;
  void Clear() { FItens.clear(); }
  // vUtilTeste: the values into the current record of a dataset; a field
  // the dataset does not have raises EvErro naming it.
  void GravarValores(DBClient::TDataSet& dataSet) const;

 private:
  std::vector<TItem> FItens;
};

class TvListCampoValor : public TvCampoValorBase {
 public:
  TvCampoValor& Add();
  int Count() const { return static_cast<int>(FItens.size()); }
  TvCampoValor& Item(int index) const { return *FItens.at(static_cast<size_t>(index)); }
  void Clear() { FItens.clear(); }

 private:
  std::vector<std::unique_ptr<TvCampoValor>> FItens;
};

class TvListListCampoValor : public TvCampoValorBase {
 public:
  TvListCampoValor& Add();
  int Count() const { return static_cast<int>(FItens.size()); }
  TvListCampoValor& Item(int index) const { return *FItens.at(static_cast<size_t>(index)); }
  void Limpar() { FItens.clear(); }  // vUtilTeste: empties the list, freeing its lists

 private:
  std::vector<std::unique_ptr<TvListCampoValor>> FItens;
};

// "" when equal, else one line per difference (CR LF between lines).
std::string CompararCenarios(const TvCampoValor& esperado, const TvCampoValor& atual);
std::string CompararCenarios(const TvListCampoValor& esperado, const TvListCampoValor& atual);
std::string CompararCenarios(const TvListListCampoValor& esperado, const TvListListCampoValor& atual);
// The scenario as text: "campo=valor" lines, lists separated by "--" lines.
std::string PegarCenarioStr(const TvCampoValor& cenario);
std::string PegarCenarioStr(const TvListCampoValor& cenario);
std::string PegarCenarioStr(const TvListListCampoValor& cenario);

// A scenario from "campo=valor" lines; lists split at "--" lines.
std::unique_ptr<TvCampoValor> CriarCenario(const std::vector<std::string>& linhas);
std::unique_ptr<TvListCampoValor> CriarCenarios(const std::string& arquivo);
std::unique_ptr<TvListCampoValor> CriarCenarios(const std::vector<std::string>& linhas);
// One list per registered client dataset, one scenario per record.
std::unique_ptr<TvListListCampoValor> CriarCenarios(const std::vector<corvel5::TvClientDataSet*>& dataSets);

// "select * from <name>" with the filter's where clause.
std::string CriarSQL(const std::string& nome, const TvCampoValor* filtro);
// "where a = 1 and b = 'x'" (prefixo instead of "where" when given; "" when empty).
std::string MontaWhere(const TvCampoValor* valor, bool comWhere, const std::string& prefixo);
// The scenario as source lines of a procedure named nome, for the developer to paste.
std::vector<std::string> FormatProcedureLines(const std::string& nome, const std::vector<std::string>& linhas);
// The log the host's modules write to while they run.
extern TvListCampoValor* FCenarioLogGlobal;

}  // namespace corvelbaseutil5

// ===========================================================================
// libcorvelreport5.so: reports, their CSV export and parameter queries

namespace corvelreport5 {

enum class TvrwExportType { etTexto = 2, etCSV = 3 };

// A report's result: a header line and one line per record of a dataset.
class TvReportPreview {
 public:
  DBClient::TClientDataSet Dados;
  std::string Titulo;
};

// CSV: UTF-8, CR LF, fields quoted when they hold the separator, a quote or a
// line break (quotes doubled), line breaks inside values become blanks; ";"
// separates fields when the locale's decimal separator is ",", else ",".
class TvrwExportCSV {
 public:
  TvrwExportCSV();
  ~TvrwExportCSV();
  void SetPreview(const TvReportPreview* preview) { FPreview = preview; }
  void PrintReportTo();
  std::istream& GetDestino();

 private:
  const TvReportPreview* FPreview = nullptr;
  struct TState;
  std::unique_ptr<TState> F;
};

// The preview as lines: CSV (etCSV) or fixed text (etTexto).
std::vector<std::string> ExportToStringList(TvrwExportType tipo, const TvReportPreview& preview);

// The parameters of a power query: each has a name, a value, and may have
// an edit control on the report's form whose text wins over the value.
class TvpqPowerParam {
 public:
  // The edit control of a parameter (ASCII case-insensitive), or null.
  QLineEdit* EdFindFieldControl(const std::string& campo) const;
  // Sets the value of the parameter named nome (made when missing).
  void SetValues(const std::string& nome, DBClient::TValue valor);
  // Gives a parameter an edit control (the form owns it).
  void SetControl(const std::string& nome, QLineEdit* control);
  // The value used when the query runs: the control's text when there is one.
  DBClient::TValue Valor(const std::string& nome) const;
  std::vector<std::string> Nomes() const;
  // vUtilTeste: the parameter names a statement uses (":name", in order, once each).
  static std::vector<std::string> NomesNoSQL(const std::string& sql);

 private:
  struct TParam {
    std::string Nome;
    DBClient::TValue Valor;
    QLineEdit* Controle = nullptr;
  };
  std::vector<TParam> FParams;
  TParam* Find(const std::string& nome);
  const TParam* Find(const std::string& nome) const;
};

// A query whose ":name" parameters are filled from its parameters as SQL
// literals; running it fills the preview from vDMConexao.
class TvpqPowerQuery {
 public:
  std::string SQL;
  TvpqPowerParam& GetParams() { return FParams; }
  // The statement with every :name replaced (quoted text and '::' kept).
  std::string SQLComParametros() const;
  void Executar(TvReportPreview& preview) const;

 private:
  TvpqPowerParam FParams;
};

// A report's data module: its query and the preview the query fills.
class TvDMPower : public Forms::TDataModule {
 public:
  explicit TvDMPower(QObject* owner = nullptr) : Forms::TDataModule(owner) {}
  TvpqPowerQuery Query;
  TvReportPreview Preview;
  virtual void Executar() { Query.Executar(Preview); }
  // vUtilTeste: the run a tab of the parameter screen makes for one test.
  virtual void ExecutarTab(const std::string& teste);
};

// A report's form: it owns its data module.
class TvFrmReport : public Forms::TForm {
 public:
  explicit TvFrmReport(QWidget* parent = nullptr);
  TvDMPower* GetDMPower() const { return FDM; }
  // vUtilTeste: reads a report file (.vrw): its title, statement and the
  // parameters the form shows an edit control for.
  void CarregarArquivo(const std::string& path);

 private:
  TvDMPower* FDM;
};

// The data model module the reports read their dictionary from (none until made).
extern QObject* vDMDBXDataModel;

// --- Used by vUtilTest's connection suites
// Makes vDMDBXDataModel (a data module owned by the application) when it
// does not exist; returns it.
QObject* CriarvDMDBXDataModel();

// --- Used by vUtilTest's base-file and report tests
// A parameter module: its query, run with its parameters, written to a file.
class TvDMPowerParam : public TvDMPower {
 public:
  using TvDMPower::TvDMPower;
  // The file it writes, by name: it goes to PegarDirTemp() + its file name.
  std::string NomeArquivo;
  // Runs the query and writes one "campo=valor" line per field, a "--" line
  // between records (CR LF), replacing the file. Returns its path.
  virtual std::string GerarArquivo();
};
// The report form an origin scenario names in its field "Relatorio" (a
// registered TvFrmReport class), with every other field set as a parameter
// of its query. Raises naming the class when it is not a report form.
TvFrmReport* CriarDMRelatorio(const corvelbaseutil5::TvCampoValor& cenario);

}  // namespace corvelreport5

// vUtilTeste: client-dataset modules, report modules, the parameter
// scenarios applied to a module and the report file's form.
#include "business/CorvelFrameworkLegacy.h"
