// The reference host's libcorvelbase5.so, first half: the connection data
// module, client datasets and their comparison, key structure, text files
// and INI files.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include "business/CorvelFramework.h"
#include "platform/qt/FileAccess.h"
#include "platform/qt/QtText.h"

namespace corvelbase5 {

using corvel5::EvErro;
using QtText::FromQ;
using QtText::ToQ;

// ---------------------------------------------------------------------------
// The connection

TvDMConexao* vDMConexao = nullptr;

TvDMConexao::TvDMConexao() = default;
TvDMConexao::~TvDMConexao() {
  if (vDMConexao == this) vDMConexao = nullptr;
}

void TvDMConexao::Conectar(const DBClient::TConnectionParams& params, TvTipoBanco tipo) {
  FTipo = tipo;
  FConexao.Open(params);
  ReiniciarTimerControleConexao(true);
}

void TvDMConexao::StartTransaction() { FConexao.StartTransaction(); }
void TvDMConexao::Commit() { FConexao.Commit(); }
void TvDMConexao::RollBack() { FConexao.Rollback(); }

int64_t TvDMConexao::ExecuteCommand(const std::string& sql) {
  corvel5::Radial(nullptr);
  int64_t n = FConexao.ExecSQL(sql);
  ReiniciarTimerControleConexao(FTimerAtivo);
  return n;
}

std::unique_ptr<corvel5::TvClientDataSet> TvDMConexao::ExecuteQueryView(const std::string& sql) {
  corvel5::Radial(nullptr);
  auto cds = std::make_unique<corvel5::TvClientDataSet>();
  FConexao.Query(sql, *cds);
  ReiniciarTimerControleConexao(FTimerAtivo);
  return cds;
}

void TvDMConexao::ReiniciarTimerControleConexao(bool ativo) {
  FTimerAtivo = ativo;
  FUltimoUso = QDateTime::currentMSecsSinceEpoch();
}

namespace {

// "host:/path" and "host/port:/path" are Firebird's network form; a bare
// path (or one with a drive-less colon-free name) is a local file opened by
// the embedded engine.
void SplitFirebird(const std::string& database, DBClient::TConnectionParams& p) {
  size_t colon = database.find(':');
  if (colon == std::string::npos || colon == 0 || database[0] == '/') {
    p.Database = database;
    return;
  }
  std::string host = database.substr(0, colon);
  size_t slash = host.find('/');
  if (slash != std::string::npos) {
    p.Port = std::atoi(host.c_str() + slash + 1);
    host.resize(slash);
  }
  p.HostName = host;
  p.Database = database.substr(colon + 1);
}

// FreeTDS through unixODBC, without a DSN: "server[:port]/database". The
// user and password travel apart (TConnectionParams), so that the
// connection braces them as the driver reads them and never shows them.
std::string SqlServerConnectString(const std::string& database) {
  std::string server = database, name;
  size_t slash = database.find('/');
  if (slash != std::string::npos) {
    server = database.substr(0, slash);
    name = database.substr(slash + 1);
  }
  std::string port = "1433";
  size_t colon = server.find(':');
  if (colon != std::string::npos) {
    port = server.substr(colon + 1);
    server.resize(colon);
  }
  const char* driver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";
  return std::string("DRIVER=") + driver + ";SERVER=" + server + ";PORT=" + port + ";DATABASE=" + name +
         ";TDS_Version=7.4;ClientCharset=UTF-8";
}

}  // namespace

TvDMConexao* CriarvDMConexaoParaTests(const std::string& database, const std::string& user,
                                      const std::string& password, bool abrir, TvTipoBanco tipo, int, int, bool) {
  DestruirvDMConexaoParaTests();
  auto conexao = std::make_unique<TvDMConexao>();
  DBClient::TConnectionParams p;
  p.UserName = user;
  p.Password = password;
  switch (tipo) {
    case TvTipoBanco::tbFirebird:
      p.Driver = "QIBASE";
      SplitFirebird(database, p);
      break;
    case TvTipoBanco::tbOracle:
      p.Driver = "QOCI";
      p.Database = database;
      break;
    case TvTipoBanco::tbMSSQL:
      p.Driver = "QODBC";
      p.Database = SqlServerConnectString(database);
      break;
    case TvTipoBanco::tbSQLite:
      p.Driver = "QSQLITE";
      p.Database = database;
      break;
  }
  if (abrir) {
    try {
      conexao->Conectar(p, tipo);
    } catch (const DBClient::EDatabaseError& e) {
      // A driver's own text may quote the password: never show it.
      throw DBClient::EDatabaseError(DBClient::HidePassword(e.what(), password));
    }
  }
  vDMConexao = conexao.release();
  return vDMConexao;
}

void DestruirvDMConexaoParaTests() {
  delete vDMConexao;
  vDMConexao = nullptr;
}

// ---------------------------------------------------------------------------
// Client datasets

std::unique_ptr<corvel5::TvClientDataSet> LerXMLToCDS(const std::string& path) {
  if (!QFileInfo::exists(ToQ(path))) return nullptr;
  auto cds = std::make_unique<corvel5::TvClientDataSet>();
  cds->LoadFromFile(path);
  return cds;
}

const char* NomeCompareEstruturaCDS(TvCompareEstruturaCDS value) {
  static const char* const names[] = {"vcecAtual",           "vcecEsperado",  "vcecSomenteAtual",
                                      "vcecSomenteEsperado", "vcecDiferente", "vcecEstrutura"};
  auto i = static_cast<size_t>(value);
  return i < 6 ? names[i] : "?";
}

namespace {

std::unique_ptr<DBClient::TClientDataSet> EmptyLike(const DBClient::TDataSet& model) {
  auto ds = std::make_unique<corvel5::TvClientDataSet>();
  for (int f = 0; f < model.FieldCount(); ++f)
    ds->AddField(model.Fields(f).FieldName(), model.Fields(f).DataType(), model.Fields(f).Size());
  return ds;
}

void CopyRecord(const DBClient::TDataSet& from, int record, DBClient::TDataSet& to) {
  std::vector<DBClient::TValue> values;
  for (int f = 0; f < from.FieldCount(); ++f) values.push_back(from.Cell(record, f));
  to.AppendRecord(std::move(values));
}

// Values compare by their text, so 1 (integer) and 1.0 (decimal) agree
// across engines; a NULL differs from an empty text.
bool SameValue(const DBClient::TValue& a, const DBClient::TValue& b, const DBClient::TField& fa,
               const DBClient::TField& fb) {
  if (a.index() == 0 || b.index() == 0) return a.index() == b.index();
  if (a == b) return true;
  DBClient::TClientDataSet one, two;
  one.AddField("v", fa.DataType());
  two.AddField("v", fb.DataType());
  one.AppendRecord({a});
  two.AppendRecord({b});
  return one.Fields(0).AsString() == two.Fields(0).AsString();
}

}  // namespace

bool CompareCDS(TvArrayCDS& cds) {
  for (int i = 2; i < 6; ++i) cds[i].reset();
  if (!cds[0] || !cds[1]) return true;
  DBClient::TDataSet& atual = *cds[0];
  DBClient::TDataSet& esperado = *cds[1];

  auto estrutura = std::make_unique<corvel5::TvClientDataSet>();
  estrutura->AddField("Campo", DBClient::TFieldType::ftString, 64);
  estrutura->AddField("TipoAtual", DBClient::TFieldType::ftString, 16);
  estrutura->AddField("TipoEsperado", DBClient::TFieldType::ftString, 16);
  std::vector<std::pair<int, int>> common;  // field of atual, field of esperado
  for (int f = 0; f < atual.FieldCount(); ++f) {
    const auto& fa = atual.Fields(f);
    const DBClient::TField* fe = esperado.FindField(fa.FieldName());
    if (!fe) {
      estrutura->AppendRecord({fa.FieldName(), std::string(DBClient::FieldTypeName(fa.DataType())), std::monostate{}});
    } else {
      common.emplace_back(f, fe->Index());
    }
  }
  for (int f = 0; f < esperado.FieldCount(); ++f)
    if (!atual.FindField(esperado.Fields(f).FieldName()))
      estrutura->AppendRecord({esperado.Fields(f).FieldName(), std::monostate{},
                               std::string(DBClient::FieldTypeName(esperado.Fields(f).DataType()))});

  auto somenteAtual = EmptyLike(atual);
  auto somenteEsperado = EmptyLike(esperado);
  auto diferente = EmptyLike(atual);
  const int n = std::min(atual.RecordCount(), esperado.RecordCount());
  for (int r = 0; r < n; ++r) {
    for (auto [fa, fe] : common) {
      if (!SameValue(atual.Cell(r, fa), esperado.Cell(r, fe), atual.Fields(fa), esperado.Fields(fe))) {
        CopyRecord(atual, r, *diferente);
        break;
      }
    }
  }
  for (int r = n; r < atual.RecordCount(); ++r) CopyRecord(atual, r, *somenteAtual);
  for (int r = n; r < esperado.RecordCount(); ++r) CopyRecord(esperado, r, *somenteEsperado);

  bool differ = estrutura->RecordCount() || somenteAtual->RecordCount() || somenteEsperado->RecordCount() ||
                diferente->RecordCount();
  cds[2] = std::move(somenteAtual);
  cds[3] = std::move(somenteEsperado);
  cds[4] = std::move(diferente);
  cds[5] = std::move(estrutura);
  return differ;
}

void DestruirSQL(std::unique_ptr<DBClient::TClientDataSet>& dataSet) { dataSet.reset(); }

// ---------------------------------------------------------------------------
// Key structure

namespace {
TvDMConexao& Conexao(const char* what) {
  if (!vDMConexao || !vDMConexao->Conexao().Connected())
    throw EvErro(std::string(what) + ": no open connection (vDMConexao)");
  return *vDMConexao;
}

std::string JoinColumn(const DBClient::TDataSet& ds, int field) {
  std::string out;
  for (int r = 0; r < ds.RecordCount(); ++r) {
    if (r) out += ", ";
    std::string v = std::holds_alternative<std::string>(ds.Cell(r, field)) ? std::get<std::string>(ds.Cell(r, field))
                                                                           : std::string();
    while (!v.empty() && v.back() == ' ') v.pop_back();  // Firebird pads CHAR names
    out += v;
  }
  return out;
}

std::string Quoted(const std::string& name) { return corvel5::ValorParaSQL(name); }

std::string Upper(std::string s) { return QtText::UpperAscii(std::move(s)); }
}  // namespace

std::string PegarChavePrimaria(const std::string& table) {
  return Conexao("PegarChavePrimaria").Conexao().PrimaryKey(table);
}

std::string PegarEstruturaIndex(const std::string& indexName) {
  TvDMConexao& c = Conexao("PegarEstruturaIndex");
  switch (c.TipoBanco()) {
    case TvTipoBanco::tbFirebird:
      return JoinColumn(*c.Conexao().Query("select rdb$field_name from rdb$index_segments where rdb$index_name = " +
                                           Quoted(Upper(indexName)) + " order by rdb$field_position"),
                        0);
    case TvTipoBanco::tbSQLite:
      return JoinColumn(*c.Conexao().Query("select name from pragma_index_info(" + Quoted(indexName) + ") order by seqno"), 0);
    default: throw EvErro("PegarEstruturaIndex: not available for this database (" + c.Conexao().Describe() + ")");
  }
}

std::string PegarEstruturaChaveEstrangeira(const std::string& constraintName) {
  TvDMConexao& c = Conexao("PegarEstruturaChaveEstrangeira");
  if (c.TipoBanco() != TvTipoBanco::tbFirebird)
    throw EvErro("PegarEstruturaChaveEstrangeira: named foreign keys are read from Firebird only (" +
                 c.Conexao().Describe() + ")");
  return JoinColumn(*c.Conexao().Query(
                        "select s.rdb$field_name from rdb$relation_constraints rc join rdb$index_segments s on "
                        "s.rdb$index_name = rc.rdb$index_name where rc.rdb$constraint_type = 'FOREIGN KEY' and "
                        "rc.rdb$constraint_name = " +
                        Quoted(Upper(constraintName)) + " order by s.rdb$field_position"),
                    0);
}

// ---------------------------------------------------------------------------
// Text files

std::string LerArquivo(const std::string& path, bool trim) {
  FileAccess::TContent content;
  try {
    content = FileAccess::ReadFile(path);
  } catch (const FileAccess::EFileError& e) {
    throw EvErro(std::string("LerArquivo: ") + e.what());
  }
  std::string& text = content.Bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  if (trim)
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
      text.pop_back();
  return text;
}

void GravarArquivo(const std::string& text, const std::string& path, bool append) {
  std::string target = path.empty() ? corvel5::PegarDirTemp() + "GravarArquivo.txt" : path;
  QString dir = QFileInfo(ToQ(target)).absolutePath();
  if (!QDir().mkpath(dir)) throw EvErro("GravarArquivo: cannot create the folder \"" + FromQ(dir) + "\"");
  // In the temporary folder anyone may have put a link or a file at the
  // name first: it is replaced, or refused, never written through.
  if (FileAccess::IsSharedFolder(FromQ(dir))) {
    try {
      FileAccess::WriteSharedFile(target, text, append);
    } catch (const FileAccess::EFileError& e) {
      throw EvErro(std::string("GravarArquivo: ") + e.what());
    }
    return;
  }
  if (append) {
    QFile f(ToQ(target));
    if (!f.open(QIODevice::Append) || f.write(text.data(), static_cast<qint64>(text.size())) < 0)
      throw EvErro("GravarArquivo: cannot write \"" + target + "\": " + FromQ(f.errorString()));
    return;
  }
  QSaveFile f(ToQ(target));
  if (!f.open(QIODevice::WriteOnly) || f.write(text.data(), static_cast<qint64>(text.size())) < 0 || !f.commit())
    throw EvErro("GravarArquivo: cannot write \"" + target + "\": " + FromQ(f.errorString()));
}

std::string GravarArquivoO(const std::string& text, bool append) {
  std::string path = corvel5::PegarDirTemp() + "GravarArquivoO.txt";
  GravarArquivo(text, path, append);
  return path;
}

// ---------------------------------------------------------------------------
// INI files

std::unique_ptr<QSettings> CriarINI(const std::string& path) {
  return std::make_unique<QSettings>(ToQ(path), QSettings::IniFormat);
}

std::unique_ptr<QSettings> CriarINIProduto() {
  QFileInfo program(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
  return CriarINI(FromQ(program.absolutePath() + u'/' + program.completeBaseName() + QStringLiteral(".ini")));
}

void GravarINI(QSettings& ini, const std::string& section, const std::string& key, const std::string& value) {
  ini.setValue(ToQ(section + "/" + key), ToQ(value));
  ini.sync();
  if (ini.status() != QSettings::NoError)
    throw EvErro("GravarINI: cannot write \"" + FromQ(ini.fileName()) + "\" (" +
                 (ini.status() == QSettings::AccessError ? "access denied" : "format error") + ")");
}

}  // namespace corvelbase5
