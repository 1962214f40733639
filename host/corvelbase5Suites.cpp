// The reference host's libcorvelbase5.so, the parts a connection suite
// relies on: the progress indicator, the class-level action generators,
// utility objects, the settings and dictionary modules.
#include <QDateTime>
#include <QPainter>
#include <QPointer>
#include <algorithm>

#include "business/CorvelFramework.h"
#include "platform/qt/QtText.h"

namespace corvelbase5 {

// ---------------------------------------------------------------------------
// Progress indicator

namespace {
// Fast ticks (one per statement) would repaint hundreds of times a second.
constexpr int64_t kIntervaloPassoMs = 100;
}  // namespace

TvProgressRadial::TvProgressRadial(QWidget* owner) : QWidget(owner) {
  setObjectName(QStringLiteral("vProgressRadial"));
  resize(25, 25);
}

void TvProgressRadial::Configure() {
  FPosicao = 0;
  FTicks = 0;
  FUltimoPasso = 0;
}

void TvProgressRadial::IncProgressTemporizado() {
  ++FTicks;
  int64_t now = QDateTime::currentMSecsSinceEpoch();
  if (FUltimoPasso != 0 && now - FUltimoPasso < kIntervaloPassoMs) return;
  FUltimoPasso = now;
  FPosicao = (FPosicao + 1) % 12;
  update();
}

void TvProgressRadial::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(width() / 2.0, height() / 2.0);
  const double r = std::min(width(), height()) / 2.0 - 2;
  for (int i = 0; i < 12; ++i) {
    p.setPen(QPen(i == FPosicao ? QColor(30, 90, 200) : QColor(190, 190, 190), 2));
    p.drawLine(QPointF(0, -r / 2), QPointF(0, -r));
    p.rotate(30);
  }
}

// ---------------------------------------------------------------------------
// Action generators of classes

namespace {
std::vector<std::pair<std::string, TGerarAcoesClasse>>& Geradores() {
  static std::vector<std::pair<std::string, TGerarAcoesClasse>> list;
  return list;
}
}  // namespace

void RegistrarGeradorAcoes(const std::string& className, TGerarAcoesClasse gerador) {
  for (auto& [name, g] : Geradores())
    if (QtText::UpperAscii(name) == QtText::UpperAscii(className)) {
      g = std::move(gerador);
      return;
    }
  Geradores().emplace_back(className, std::move(gerador));
}

const TGerarAcoesClasse* PegarGeradorAcoes(const std::string& className) {
  for (const auto& [name, g] : Geradores())
    if (QtText::UpperAscii(name) == QtText::UpperAscii(className)) return g ? &g : nullptr;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Utility objects

namespace {
std::vector<QPointer<QObject>>& Utilitarios() {
  static std::vector<QPointer<QObject>> list;
  return list;
}
}  // namespace

void RegistrarUtilitario(QObject* utilitario) { Utilitarios().emplace_back(utilitario); }

void DestruirUtilitarios() {
  // Taken out first: deleting one may delete another that it owns.
  std::vector<QPointer<QObject>> all;
  all.swap(Utilitarios());
  for (auto it = all.rbegin(); it != all.rend(); ++it) delete it->data();
}

int ContarUtilitarios() {
  return static_cast<int>(std::count_if(Utilitarios().begin(), Utilitarios().end(),
                                        [](const QPointer<QObject>& p) { return !p.isNull(); }));
}

// ---------------------------------------------------------------------------
// Settings module

TvDMPersonalizacao* vDMPersonalizacao = nullptr;

TvDMPersonalizacao::TvDMPersonalizacao(QObject* owner) : Forms::TDataModule(owner) {
  setProperty("vClassName", QStringLiteral("TvDMPersonalizacao"));
  if (!vDMPersonalizacao) vDMPersonalizacao = this;
}

TvDMPersonalizacao::~TvDMPersonalizacao() {
  if (vDMPersonalizacao == this) vDMPersonalizacao = nullptr;
}

void TvDMPersonalizacao::SetTexto(const std::string& nome, const std::string& valor) {
  for (auto& [n, v] : FAtual)
    if (n == nome) {
      v = valor;
      return;
    }
  FAtual.emplace_back(nome, valor);
}

std::string TvDMPersonalizacao::Texto(const std::string& nome) const {
  for (const auto& [n, v] : FAtual)
    if (n == nome) return v;
  return {};
}

std::string ClassNameOf(const QObject* object) {
  if (!object) return {};
  QVariant name = object->property("vClassName");
  if (name.isValid()) return QtText::FromQ(name.toString());
  return object->metaObject()->className();
}

}  // namespace corvelbase5
