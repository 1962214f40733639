// The reference host's libcorvelbase5.so, second half: actions and rights,
// forms and data modules by class name, packages, message dialogs and the
// current module.
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMessageBox>
#include <QWidget>
#include <algorithm>

#include "business/CorvelFramework.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

namespace corvelbase5 {

using corvel5::EvErro;
using QtText::FromQ;
using QtText::ToQ;

namespace {
bool SameText(const std::string& a, const std::string& b) { return QtText::UpperAscii(a) == QtText::UpperAscii(b); }
}  // namespace

// ---------------------------------------------------------------------------
// Actions

TvAction::~TvAction() = default;

TvAction& TvActionList::Add(std::unique_ptr<TvAction> action) {
  if (FAlertaCriarAcao && Find(action->Name)) corvel5::SendDebug("Ação já existe: " + action->Name);
  FActions.push_back(std::move(action));
  return *FActions.back();
}

TvAction* TvActionList::Find(const std::string& name) const {
  for (const auto& a : FActions)
    if (SameText(a->Name, name)) return a.get();
  return nullptr;
}

TvActionList* FvActionListDireitos = nullptr;
bool FAlertaCriarAcao = true;

TvActionList* CriarChecarFvActionListDireitos() {
  if (!FvActionListDireitos) FvActionListDireitos = new TvActionList;
  return FvActionListDireitos;
}

void GerarActionPower(TvActionList& list, const std::vector<std::string>& folders, const std::vector<int>& modulos,
                      const std::string& categoria, const std::vector<std::string>& extensoes,
                      const std::string& opcoes) {
  QStringList filters;
  for (const auto& e : extensoes) filters << QStringLiteral("*.") + ToQ(e);
  for (const auto& folder : folders) {
    QDir dir(ToQ(folder));
    if (!dir.exists()) continue;
    for (const QFileInfo& file : dir.entryInfoList(filters, QDir::Files, QDir::Name | QDir::IgnoreCase)) {
      std::string name = "act" + FromQ(file.completeBaseName());
      if (list.Find(name)) continue;
      auto action = std::make_unique<TvActionPower>();
      action->Name = name;
      action->Caption = FromQ(file.completeBaseName());
      action->Arquivo = FromQ(file.absoluteFilePath());
      action->Categoria = categoria;
      action->Modulos = modulos;
      action->Opcoes = opcoes;
      action->ControlaDireito = false;
      action->FormClass = "TvFrmReport";  // vUtilTeste: the form that opens a report file
      list.Add(std::move(action));
    }
  }
}

// ---------------------------------------------------------------------------
// Forms and data modules by name

namespace {
const Forms::TClassInfo& Registered(const std::string& name, Forms::TClassKind kind, const char* what) {
  const Forms::TClassInfo* info = Forms::ClassList().Find(name);
  if (!info) throw EvErro(std::string(what) + ": the class \"" + name + "\" is not registered");
  if (info->Kind != kind || !info->Create)
    throw EvErro(std::string(what) + ": the class \"" + name + "\" cannot be made here");
  return *info;
}

void CheckRight(TvAction* action) {
  if (action && action->ControlaDireito && FvActionListDireitos && FvActionListDireitos->PegarDireito(*action) == 0)
    throw EvErro("Sem direito de acesso: " + action->Name);
}
}  // namespace

QWidget* ShowForm(TvAction* action, const std::string& name, TvFormStyle style) {
  CheckRight(action);
  // name is the form's class; an action that knows its form stands in for a name that is not one.
  std::string cls = name;
  if (action && !action->FormClass.empty() && !Forms::ClassList().Find(name)) cls = action->FormClass;
  QObject* made = Registered(cls, Forms::TClassKind::Form, "ShowForm").Create(nullptr);
  auto* form = qobject_cast<QWidget*>(made);
  if (!form) {
    delete made;
    throw EvErro("ShowForm: \"" + cls + "\" did not make a form");
  }
  // vUtilTeste: a report action's form reads its report file before it shows.
  if (action && FOnFormCriado) {
    try {
      FOnFormCriado(*form, *action);
    } catch (...) {
      delete form;
      throw;
    }
  }
  if (style == TvFormStyle::fsStayOnTop) form->setWindowFlag(Qt::WindowStaysOnTopHint);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->show();
  return form;
}

QObject* CriarDM(const std::string& name, TvAction* action, const std::string& text) {
  CheckRight(action);
  QObject* dm = Registered(name, Forms::TClassKind::DataModule, "CriarDM").Create(nullptr);
  if (!text.empty()) dm->setProperty("vTexto", ToQ(text));
  return dm;
}

TvClassListRef vClassList;

int TvClassListRef::Count() const { return Forms::ClassList().Count(); }
std::string TvClassListRef::ClassName(int index) const {
  if (index < 0 || index >= Count())
    throw EvErro("vClassList: index " + std::to_string(index) + " out of range (" + std::to_string(Count()) + ")");
  return Forms::ClassList().Item(index).Name;
}

// ---------------------------------------------------------------------------
// Packages

std::vector<std::string> PegarListaPacotes(const std::string& folder, const std::vector<int>& modulos) {
  std::vector<std::string> out;
  QDir dir(ToQ(folder));
  for (const QFileInfo& file : dir.entryInfoList({QStringLiteral("*.so")}, QDir::Files, QDir::Name)) {
    QString base = file.completeBaseName();
    qsizetype us = base.lastIndexOf(u'_');
    if (us < 0) continue;
    bool ok = false;
    int modulo = base.mid(us + 1).toInt(&ok);
    if (ok && std::find(modulos.begin(), modulos.end(), modulo) != modulos.end())
      out.push_back(FromQ(file.absoluteFilePath()));
  }
  return out;
}

void AbrirPacotes(const std::vector<std::string>& paths) {
  // Bound now and kept for good: a missing symbol is an error here, not a
  // crash at its first call, and the class list's factories stay mapped.
  for (const auto& path : paths) {
    QLibrary lib(ToQ(path));
    lib.setLoadHints(QLibrary::ResolveAllSymbolsHint | QLibrary::ExportExternalSymbolsHint |
                     QLibrary::PreventUnloadHint);
    if (!lib.load()) throw EvErro("AbrirPacotes: cannot load \"" + path + "\": " + FromQ(lib.errorString()));
  }
}

// ---------------------------------------------------------------------------
// Message dialogs

namespace {
class TvMessageForm : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;
};

QMessageBox::Icon IconOf(TvMsgDlgType type) {
  switch (type) {
    case TvMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TvMsgDlgType::mtError: return QMessageBox::Critical;
    case TvMsgDlgType::mtInformation: return QMessageBox::Information;
    case TvMsgDlgType::mtConfirmation: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

int AnswerOf(QAbstractButton* clicked, QMessageBox& box) {
  switch (box.standardButton(clicked)) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Cancel: return mrCancel;
    default: return mrNone;  // closed without a button
  }
}
}  // namespace

int vMessageDlg(const std::string& text, TvMsgDlgType type, int buttons) {
  TvMessageForm form(IconOf(type), QString(), ToQ(text));
  form.setObjectName(QStringLiteral("vMessageForm"));
  QMessageBox::StandardButtons qb;
  if (buttons & mbYes) qb |= QMessageBox::Yes;
  if (buttons & mbNo) qb |= QMessageBox::No;
  if (buttons & mbOK) qb |= QMessageBox::Ok;
  if (buttons & mbCancel) qb |= QMessageBox::Cancel;
  form.setStandardButtons(qb ? qb : QMessageBox::Ok);
  if (corvel5::FOnAntesMostrarMessage) {
    bool show = true;
    int answer = corvel5::FOnAntesMostrarMessage(&form, show);
    if (!show) return answer;
  }
  // Unattended, a modal dialog would wait for ever for a user.
  if (corvel5::ModoTeste())
    throw EvErro("vMessageDlg: a dialog was shown in test mode and nobody answered it: " + text);
  form.exec();
  return AnswerOf(form.clickedButton(), form);
}

std::string GetFormText(QWidget* form) {
  auto* box = dynamic_cast<TvMessageForm*>(form);
  return box ? FromQ(box->text()) : std::string();
}

// ---------------------------------------------------------------------------
// The current module

int FvPerModuloAtualManual = -1;
int FvPerModuloLow = 0;
int FvPerModuloHigh = 0;

int PegarModuloAtual() {
  if (FvPerModuloAtualManual >= 0) return FvPerModuloAtualManual;
  bool ok = false;
  int modulo = ToQ(corvel5::PegarVersionInfo("Modulo")).toInt(&ok);
  return ok ? modulo : 0;
}

}  // namespace corvelbase5
