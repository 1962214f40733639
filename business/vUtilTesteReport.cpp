// vUtilTeste, second half: report and parameter suites that compare what a
// module produced (exported report lines, the operation log, the client
// datasets it registered) with expected scenarios; the client-dataset
// module's form under test; reports opened through the action list.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>

#include "business/CorvelFramework.h"
#include "business/vUtilTeste.h"
#include "platform/qt/QtText.h"

namespace vUtilTeste {

using corvel5::EvErro;
using corvelreport5::TvDMPower;

namespace {
const char* const kCrLf = "\r\n";

// Frees a module the way it is owned: through its owner form when it has one.
void FreeModule(TvDMPower*& dm) {
  if (!dm) return;
  QObject* owner = dm->parent();
  if (owner && owner->isWidgetType())
    delete owner;
  else
    delete dm;
  dm = nullptr;
}

TvDMPower* MakeModule(TvCampoValor& cenario) {
  QObject* made = cenario.CriarDM();
  auto* dm = dynamic_cast<TvDMPower*>(made);
  if (!dm) {
    QObject* owner = made ? made->parent() : nullptr;
    delete (owner && owner->isWidgetType() ? owner : made);
    throw EvErro("The module of scenario \"" + cenario.Nome + "\" (" + cenario.NomeDM + ") is not a TvDMPower");
  }
  cenario.DM = nullptr;
  return dm;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  for (const QString& l : QtText::ToQ(text).split(QStringLiteral("\r\n"))) out.push_back(QtText::FromQ(l));
  return out;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? kCrLf : "") + lines[i];
  return out;
}

// The operation log's last entry keeps only the start of its value (its
// tail is a duration that differs from run to run).
void CutLastLogValue(TvListCampoValor& log) {
  if (log.Count() == 0) return;
  TvCampoValor& last = log.Item(log.Count() - 1);
  if (last.Count() == 0) return;
  std::vector<TvCampoValor::TItem> items;
  for (int i = 0; i < last.Count(); ++i) items.push_back(last.Item(i));
  DBClient::TClientDataSet probe;
  probe.AddField("v", DBClient::TFieldType::ftString);
  probe.AppendRecord({items.back().Valor});
  items.back().Valor = QtText::CopyChars(probe.Fields(0).AsString(), 1, 7);
  last.Clear();
  for (auto& item : items) last.Add(item.Campo, item.Valor);
}

template <class T>
std::string Diff(T* expected, T* actual) {
  T empty;
  return corvelbaseutil5::CompararCenarios(*expected, actual ? *actual : empty);
}

template <class T>
void WriteOut(T* actual) {
  T empty;
  corvelbase5::GravarArquivoO(ProcedureResult(actual ? *actual : empty));
}

// Compares E with A; writes A out as the "Result" procedure when they differ
// or when nothing was expected.
template <class T>
void CompareWithWriteOut(TvTestCase& test, T* expected, T* marker, T* actual, const char* nilMessage) {
  if (expected && expected == marker) {
    test.CheckTrue(true);
    return;
  }
  if (!expected) {
    WriteOut(actual);
    test.Fail(nilMessage);
  }
  std::string diff = Diff(expected, actual);
  if (!diff.empty()) {
    WriteOut(actual);
    test.Fail(diff);
  }
  test.CheckTrue(true);
}

}  // namespace

// ---------------------------------------------------------------------------
// Skip marker and the "Result" procedure

void TvCenarioDeleter::operator()(TvListCampoValor* p) const noexcept {
  if (p != MarcaPularLista()) delete p;
}
void TvCenarioDeleter::operator()(TvListListCampoValor* p) const noexcept {
  if (p != MarcaPularListas()) delete p;
}
TvListCampoValor* MarcaPularLista() {
  static TvListCampoValor marker;
  return &marker;
}
TvListListCampoValor* MarcaPularListas() {
  static TvListListCampoValor marker;
  return &marker;
}
TvCenarioLista Cenario(std::unique_ptr<TvListCampoValor> cenario) { return TvCenarioLista(cenario.release()); }
TvCenarioListas Cenario(std::unique_ptr<TvListListCampoValor> cenario) { return TvCenarioListas(cenario.release()); }

std::string ProcedureResult(const TvListCampoValor& cenario) {
  return Join(corvelbaseutil5::FormatProcedureLines("Result", Lines(corvelbaseutil5::PegarCenarioStr(cenario))));
}
std::string ProcedureResult(const TvListListCampoValor& cenario) {
  return Join(corvelbaseutil5::FormatProcedureLines("Result", Lines(corvelbaseutil5::PegarCenarioStr(cenario))));
}

// ---------------------------------------------------------------------------
// Suites

const TestFramework::TClass& TvTestSuiteReport::ClassInfo() noexcept {
  static const TestFramework::TClass info("TvTestSuiteReport", "vUtilTeste", &TvTestSuite::ClassInfo());
  return info;
}

void TvTestSuiteReport::SetUp() {
  TvTestSuite::SetUp();
  try {
    FSuiteReportGlobal = this;
    std::unique_ptr<TvCampoValor> cenario = CenarioDaSuite();
    if (!cenario) throw EvErro(std::string(ClassType().Name) + ".CenarioDaSuite gave no scenario");
    FvDM = MakeModule(*cenario);
  } catch (...) {
    // The run loop does not tear down a suite whose set-up failed: undo here.
    FSuiteReportGlobal = nullptr;
    TvTestSuite::TearDown();
    throw;
  }
}

void TvTestSuiteReport::TearDown() {
  TvTestSuite::TearDown();
  FreeModule(FvDM);
  FSuiteReportGlobal = nullptr;
}

const TestFramework::TClass& TvTestSuitePowerParam::ClassInfo() noexcept {
  static const TestFramework::TClass info("TvTestSuitePowerParam", "vUtilTeste", &TvTestSuite::ClassInfo());
  return info;
}

void TvTestSuitePowerParam::SetUp() {
  TvTestSuite::SetUp();
  try {
    corvel5::CDSLimpar();
    FSuitePowerParamGlobal = this;
    std::unique_ptr<TvCampoValor> cenario = CenarioDaSuite();
    if (!cenario) throw EvErro(std::string(ClassType().Name) + ".CenarioDaSuite gave no scenario");
    FvDM = MakeModule(*cenario);
  } catch (...) {
    FSuitePowerParamGlobal = nullptr;
    TvTestSuite::TearDown();
    throw;
  }
}

void TvTestSuitePowerParam::TearDown() {
  TvTestSuite::TearDown();
  FreeModule(FvDM);
  FSuitePowerParamGlobal = nullptr;
  std::string text;
  for (size_t i = 0; i < corvel5::FCDSList.size(); ++i) {
    corvel5::TvClientDataSet* ds = corvel5::FCDSList[i];
    const std::string n = std::to_string(i);
    std::string item = "TvClientDataSet(FCDSList[" + n + "]).Name: " + ds->Name + kCrLf +
                       "TvClientDataSet(FCDSList[" + n + "]).CommandText: " + kCrLf + ds->CommandText;
    if (QObject* owner = ds->Owner())
      item += std::string(kCrLf) + "TComponent(FCDSList[" + n + "]).Owner: " + QtText::FromQ(owner->objectName()) + kCrLf;
    corvel5::Add(text, item, kCrLf);
  }
  CheckEquals(0, static_cast<int>(corvel5::FCDSList.size()), text);
}

// ---------------------------------------------------------------------------
// Report test

TvTestCaseReport::~TvTestCaseReport() = default;

std::unique_ptr<TvCampoValor> TvTestCaseReport::CenarioRelatorio() {
  if (!FSuiteReportGlobal) throw EvErro(std::string(ClassType().Name) + ": no report suite (TvTestSuiteReport) is running");
  return FSuiteReportGlobal->CenarioDaSuite();
}

TvCenarioLista TvTestCaseReport::CenarioResultado() { return nullptr; }

void TvTestCaseReport::SetUp() {
  TvTestCase::SetUp();
  if (!FSuiteReportGlobal) throw EvErro(std::string(ClassType().Name) + ": no report suite (TvTestSuiteReport) is running");
  FvDM = FSuiteReportGlobal->FvDM;
  FCenRelatorio = CenarioRelatorio();
  if (!FCenRelatorio) throw EvErro(std::string(ClassType().Name) + ".CenarioRelatorio gave no scenario");
  FCenRelatorio->DM = FvDM;
  try {
    corvelreport5::AplicarValores(*FCenRelatorio);
  } catch (...) {
    FCenRelatorio->DM = nullptr;
    throw;
  }
  FCenRelatorio->DM = nullptr;
  FvDM->Executar();
  FStr = ExportarReport(FvDM);
  FCenResultado = CenarioResultado();
  FVal = corvelbaseutil5::CriarCenarioLinhas(*FStr);
  FVal->Nome = FCenRelatorio->Nome;
  FVal->Tag = ClassType().Name;
}

void TvTestCaseReport::TearDown() {
  TvTestCase::TearDown();
  FCenResultado.reset();
  FVal.reset();
  FStr.reset();
  FCenRelatorio.reset();
  FvDM = nullptr;
}

void TvTestCaseReport::TestCompararCenarios() {
  // A report with no skip marker: none means no expectation yet.
  CompareWithWriteOut<TvListCampoValor>(*this, FCenResultado.get(), nullptr, FVal.get(), "CenarioResultado = nil");
}

// ---------------------------------------------------------------------------
// Parameter tests

TvTestCasePowerParam::~TvTestCasePowerParam() = default;

std::unique_ptr<TvCampoValor> TvTestCasePowerParam::CenarioPowerParam() {
  if (!FSuitePowerParamGlobal)
    throw EvErro(std::string(ClassType().Name) + ": no parameter suite (TvTestSuitePowerParam) is running");
  return FSuitePowerParamGlobal->CenarioDaSuite();
}

TvCenarioLista TvTestCasePowerParam::CenarioResultadoLog() { return nullptr; }
TvCenarioListas TvTestCasePowerParam::CenarioResultadoCDS() { return nullptr; }

void TvTestCasePowerParam::SetUp() {
  TvTestCase::SetUp();
  if (!FSuitePowerParamGlobal)
    throw EvErro(std::string(ClassType().Name) + ": no parameter suite (TvTestSuitePowerParam) is running");
  FvDM = FSuitePowerParamGlobal->FvDM;
  FCenResultadoLog = CenarioResultadoLog();
  FCenResultadoCDS = CenarioResultadoCDS();
  FCenPowerParam = CenarioPowerParam();
  if (!FCenPowerParam) throw EvErro(std::string(ClassType().Name) + ".CenarioPowerParam gave no scenario");
  FCenPowerParam->DM = FvDM;
  try {
    corvelreport5::AplicarValores(*FCenPowerParam);
  } catch (...) {
    FCenPowerParam->DM = nullptr;
    throw;
  }
  FCenPowerParam->DM = nullptr;
  FValLog = corvelbaseutil5::FCenarioLogGlobal;
  FValLog->Clear();
  FvDM->Executar();
  CutLastLogValue(*FValLog);
  if (FCenResultadoCDS.get() != MarcaPularListas()) FValCDS = corvelbaseutil5::CriarCenarios(corvel5::FCDSList);
  FValLog->Tag = ClassType().Name;
}

void TvTestCasePowerParam::TearDown() {
  TvTestCase::TearDown();
  FvDM = nullptr;
  FCenPowerParam.reset();
  FValCDS.reset();
  FCenResultadoLog.reset();
  FCenResultadoCDS.reset();
}

void TvTestCasePowerParam::TestCompararCenariosLog() {
  CompareWithWriteOut<TvListCampoValor>(*this, FCenResultadoLog.get(), MarcaPularLista(), FValLog,
                                        "CenarioResultadoLog = nil");
}

void TvTestCasePowerParam::TestCompararCenariosCDS() {
  CompareWithWriteOut<TvListListCampoValor>(*this, FCenResultadoCDS.get(), MarcaPularListas(), FValCDS.get(),
                                            "CenarioResultadoCDS = nil");
}

TvTestCasePowerParamTab::~TvTestCasePowerParamTab() = default;

TvCenarioLista TvTestCasePowerParamTab::CenarioResultadoTabLog() { return nullptr; }
TvCenarioListas TvTestCasePowerParamTab::CenarioResultadoTabCDS() { return nullptr; }

void TvTestCasePowerParamTab::SetUp() {
  TvTestCasePowerParam::SetUp();
  FCenResultadoTabLog = CenarioResultadoTabLog();
  FCenResultadoTabCDS = CenarioResultadoTabCDS();
}

void TvTestCasePowerParamTab::TearDown() {
  TvTestCasePowerParam::TearDown();
  FCenResultadoTabLog.reset();
  FCenResultadoTabCDS.reset();
  FValTabCDS.reset();
}

void TvTestCasePowerParamTab::TestCompararCenariosTab() {
  FValTabLog = corvelbaseutil5::FCenarioLogGlobal;
  FValTabLog->Clear();
  FvDM->ExecutarTab(ClassType().Name);
  FValTabLog->Tag = ClassType().Name;
  CutLastLogValue(*FValTabLog);
  FValTabCDS = corvelbaseutil5::CriarCenarios(corvel5::FCDSList);

  std::string logDiff, cdsDiff;
  if (FCenResultadoTabLog && FCenResultadoTabLog.get() != MarcaPularLista()) {
    logDiff = Diff(FCenResultadoTabLog.get(), FValTabLog);
    if (!logDiff.empty()) WriteOut(FValTabLog);
  } else if (!FCenResultadoTabLog) {
    WriteOut(FValTabLog);
    logDiff = "CenarioResultadoTabLog = nil";
  }
  if (FCenResultadoTabCDS && FCenResultadoTabCDS.get() != MarcaPularListas()) {
    cdsDiff = Diff(FCenResultadoTabCDS.get(), FValTabCDS.get());
    if (!cdsDiff.empty()) WriteOut(FValTabCDS.get());
  } else if (!FCenResultadoTabCDS) {
    WriteOut(FValTabCDS.get());
    cdsDiff = "CenarioResultadoTabCDS = nil";
  }
  if (logDiff.empty() && cdsDiff.empty()) {
    CheckTrue(true);
    return;
  }
  std::string summary = !logDiff.empty() && !cdsDiff.empty() ? "Log e CDS" : !logDiff.empty() ? "Log" : "CDS";
  std::string message = "Falha " + summary + kCrLf;
  if (!logDiff.empty()) message += std::string(kCrLf) + "****Log Tab****" + kCrLf + logDiff;
  if (!cdsDiff.empty()) message += std::string(kCrLf) + "****CDS Tab****" + kCrLf + cdsDiff;
  Fail(message);
}

// ---------------------------------------------------------------------------
// The client-dataset module's form under test

TvTesteCaseDMClientDataSet::~TvTesteCaseDMClientDataSet() { delete FDMClientDataSet; }

void TvTesteCaseDMClientDataSet::SetUp() {
  TGUITestCase::SetUp();
  const std::string cls = ClassType().Name;
  size_t at = QtText::UpperAscii(cls).find("TESTS");
  if (at == std::string::npos)
    throw EvErro("TvTesteCaseDMClientDataSet: the class name \"" + cls +
                 "\" does not end in Tests, so it names no data module");
  const std::string modulo = cls.substr(0, at);
  QObject* made = CriarDM(modulo);
  FDMClientDataSet = dynamic_cast<corvelbase5::TvDMClientDataSet*>(made);
  if (!FDMClientDataSet) {
    delete made;
    throw EvErro("TvTesteCaseDMClientDataSet: \"" + modulo + "\" is not a client-dataset module (TvDMClientDataSet)");
  }
  FGUI = FDMClientDataSet->Form();
  FGUI->show();
}

void TvTesteCaseDMClientDataSet::TearDown() {
  if (QWidget* gui = FGUI.data()) {
    FGUI = nullptr;
    gui->close();
    delete gui;
  }
  TGUITestCase::TearDown();
  delete FDMClientDataSet;
  FDMClientDataSet = nullptr;
}

// ---------------------------------------------------------------------------
// Reports through the action list

std::string PegarDirRelatorios() { return corvelbase5::PegarDirDados() + "Relatorio/"; }
std::string PegarDirRelatoriosSeq() { return corvelbase5::PegarDirDados() + "RelatorioSeq/"; }
std::string ArquivoConfigUsuarioTeste() { return corvelbase5::PegarDirDados() + "Usuario/teste.ini"; }

void CriarActionReport(const std::string& file) {
  corvelbase5::TvActionList* list = corvelbase5::CriarChecarFvActionListDireitos();
  const std::string up = QtText::UpperAscii(file);
  for (int i = 0; i < list->Count(); ++i) {
    auto* a = dynamic_cast<corvelbase5::TvActionPower*>(&list->Item(i));
    if (a && QtText::UpperAscii(a->Arquivo) == up) return;
  }
  auto action = std::make_unique<corvelbase5::TvActionPower>();
  action->Arquivo = file;
  action->ControlaDireito = false;
  action->Name = "act" + QtText::FromQ(QFileInfo(QtText::ToQ(file)).completeBaseName());
  action->FormClass = "TvFrmReport";
  list->Add(std::move(action));
}

std::unique_ptr<std::vector<std::string>> ExportarReport(TvDMPower* module) {
  const corvelreport5::TvReportPreview* preview = nullptr;
  if (auto* seq = dynamic_cast<corvelreport5::TvDMReportSeq*>(module))
    preview = &seq->PreviewSeq;
  else if (module)
    preview = &module->Preview;  // a report module's lines come from its query
  if (!preview) throw EvErro("ExportarReport: no report module");
  corvelreport5::TvrwExportCSV exporter;
  exporter.SetPreview(preview);
  exporter.PrintReportTo();
  std::istream& in = exporter.GetDestino();
  in.clear();
  in.seekg(0);
  auto lines = std::make_unique<std::vector<std::string>>();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
  }
  return lines;
}

TvRelatorio::TvRelatorio() {
  QFile::remove(QtText::ToQ(ArquivoConfigUsuarioTeste()));
  FvActionList = std::make_unique<corvelbase5::TvActionList>();
  FvActionList->OnPegarDireito = [](corvelbase5::TvAction&) { return 56; };
  corvelbase5::FvActionListDireitos = FvActionList.get();
  FTipoRelatorio = TCVS;
  AbrirRelatorio();
  SetAlertaCriarAcao(false);
}

TvRelatorio::~TvRelatorio() {
  if (corvelbase5::FvActionListDireitos == FvActionList.get()) corvelbase5::FvActionListDireitos = nullptr;
  FvActionList.reset();
  FListLinha.clear();
  // The form owns its module: freeing the form frees FDM.
  delete FForm;
  FForm = nullptr;
  FDM = nullptr;
}

void TvRelatorio::AbrirRelatorio() {
  const std::string dir = QtText::FromQ(QCoreApplication::applicationDirPath()) + "/";
  std::unique_ptr<QSettings> ini = corvelbase5::CriarINIProduto();
  if (!ini->contains(QStringLiteral("PowerCaminhos/Relatorio")))
    corvelbase5::GravarINI(*ini, "PowerCaminhos", "Relatorio", dir + "Relatorio");
  std::string rel = QtText::FromQ(ini->value(QStringLiteral("PowerCaminhos/Relatorio"), QtText::ToQ(dir + "Relatorio")).toString());
  std::string usu = QtText::FromQ(
      ini->value(QStringLiteral("PowerCaminhos/UsuRelatorio"), QtText::ToQ(dir + "Usuario/Relatorio")).toString());
  const std::string paths = rel + "|" + usu;
  ini->sync();
  corvelbase5::FvPerModuloLow = 50;
  corvelbase5::FvPerModuloHigh = 52;
  corvel5::SendDebug("AbrirRelatorio: " + paths);
  corvelbase5::GerarActionPower(*FvActionList, {rel, usu}, {50, 52}, "100 Relatórios", {"vrw", "vrl"}, "-1|97");
  for (int i = 0; i < FvActionList->Count(); ++i) FvActionList->Item(i).OnExecute = [](corvelbase5::TvAction&) {};
}

corvelbase5::TvAction* TvRelatorio::BuscarAction(const std::string& name) {
  for (int i = 0; i < FvActionList->Count(); ++i)
    if (FvActionList->Item(i).Name == name) {
      corvel5::SendDebug("BuscarAction: " + name);
      return &FvActionList->Item(i);
    }
  return nullptr;
}

void TvRelatorio::ChamaRelatorio(const std::string& ARelatorio) {
  try {
    corvelbase5::TvAction* action = BuscarAction("act" + ARelatorio);
    if (!action) throw EvErro("no action act" + ARelatorio);
    QWidget* form = corvelbase5::ShowForm(action, "act" + ARelatorio, corvelbase5::TvFormStyle::fsNormal);
    auto* report = dynamic_cast<corvelreport5::TvFrmReport*>(form);
    if (!report) {
      delete form;
      throw EvErro("not a report form");
    }
    form->setAttribute(Qt::WA_DeleteOnClose, false);  // this object frees it
    delete FForm;
    FForm = report;
    corvel5::SendDebug("ChamaRelatorio: " + ARelatorio);
    FDM = FForm->GetDMPower();
  } catch (const std::exception& e) {
    corvel5::SendDebug(std::string("ChamaRelatorio: ") + e.what());
    throw EvErro("Erro ao criar relatorio");
  }
}

void TvRelatorio::Paramentros(const std::string& ACampo, const std::string& AValor) {
  if (!FDM) throw EvErro("Paramentros: no report is open (ChamaRelatorio)");
  QLineEdit* ed = FDM->Query.GetParams().EdFindFieldControl(ACampo);
  FCtrl = ed;
  if (ed) {
    ed->setText(QtText::ToQ(AValor));
  } else {
    const std::string name = QtText::CopyChars(ACampo, 1, 255);
    bool used = false;
    for (const auto& n : corvelreport5::TvpqPowerParam::NomesNoSQL(FDM->Query.SQL))
      used = used || QtText::UpperAscii(n) == QtText::UpperAscii(name);
    if (!used) throw EvErro("Paramentros: \"" + ACampo + "\" names no control and no parameter of the report");
    FDM->Query.GetParams().SetValues(name, AValor);
  }
  corvel5::SendDebug("Paramentros=>" + ACampo + ":" + corvel5::ValorParaSQL(AValor));
}

void TvRelatorio::GerarRelatorio() {
  if (!FDM) throw EvErro("GerarRelatorio: no report is open (ChamaRelatorio)");
  FDM->Executar();
  const corvelreport5::TvReportPreview& preview =
      dynamic_cast<corvelreport5::TvDMReportSeq*>(FDM) ? static_cast<corvelreport5::TvDMReportSeq*>(FDM)->PreviewSeq
                                                        : FDM->Preview;
  FListLinha = corvelreport5::ExportToStringList(
      FTipoRelatorio == TCVS ? corvelreport5::TvrwExportType::etCSV : corvelreport5::TvrwExportType::etTexto, preview);
  corvel5::SendDebug("GerarRelatorio dados" + Join(FListLinha));
}

void TvRelatorio::LimparLinhas() { FListLinha.clear(); }

std::string TvRelatorio::LinhaRelatorio(int ALinha) const {
  if (ALinha < 0 || ALinha >= static_cast<int>(FListLinha.size()))
    throw EvErro("LinhaRelatorio: line " + std::to_string(ALinha) + " of " + std::to_string(FListLinha.size()));
  return FListLinha[static_cast<size_t>(ALinha)];
}

void TvRelatorio::SetAlertaCriarAcao(bool value) { corvelbase5::FAlertaCriarAcao = value; }

}  // namespace vUtilTeste
