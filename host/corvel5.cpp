// The reference host's libcorvel5.so: digests, small text helpers, the
// temporary directory, version information, SQL literals, the cipher of INI
// names, the client-dataset registry, the debug channel and global events.
#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <unistd.h>

#include "business/CorvelFramework.h"
#include "platform/qt/FileAccess.h"
#include "platform/qt/QtText.h"

namespace corvel5 {

using QtText::FromQ;
using QtText::ToQ;

namespace {
// Large reads keep the digest of a big file close to the disk's speed.
constexpr qint64 kChunk = 1 << 20;

std::string Hex(const QByteArray& digest) { return digest.toHex().toStdString(); }
}  // namespace

std::string GetMD5(const std::string& text) {
  return Hex(QCryptographicHash::hash(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())),
                                      QCryptographicHash::Md5));
}

std::string GetMD5(std::istream& stream, bool seekToStart) {
  if (seekToStart) {
    stream.clear();
    stream.seekg(0, std::ios::beg);
    if (!stream) throw EvErro("GetMD5: the stream cannot seek to its start");
  }
  QCryptographicHash hash(QCryptographicHash::Md5);
  std::string buffer(static_cast<size_t>(kChunk), '\0');
  while (stream) {
    stream.read(buffer.data(), kChunk);
    std::streamsize n = stream.gcount();
    if (n > 0) hash.addData(QByteArrayView(buffer.data(), static_cast<qsizetype>(n)));
  }
  if (stream.bad()) throw EvErro("GetMD5: reading the stream failed");
  return Hex(hash.result());
}

std::string GetMD5Arquivo(const std::string& path) {
  int fd = -1;
  try {
    fd = FileAccess::OpenForReading(path);
  } catch (const FileAccess::EFileError& e) {
    throw EvErro(std::string("GetMD5Arquivo: ") + e.what());
  }
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    throw EvErro("GetMD5Arquivo: cannot read the file \"" + path + "\": " +
                 (fd < 0 ? std::string("No such file or directory") : FromQ(file.errorString())));
  }
  QCryptographicHash hash(QCryptographicHash::Md5);
  // A mapped file is hashed where it lies, without a copy into a buffer.
  if (file.size() > 0) {
    if (uchar* mapped = file.map(0, file.size())) {
      for (qint64 at = 0; at < file.size(); at += kChunk)
        hash.addData(QByteArrayView(mapped + at, static_cast<qsizetype>(std::min(kChunk, file.size() - at))));
      file.unmap(mapped);
      return Hex(hash.result());
    }
  }
  QByteArray buffer(kChunk, Qt::Uninitialized);
  for (;;) {
    qint64 n = file.read(buffer.data(), kChunk);
    if (n < 0) throw EvErro("GetMD5Arquivo: reading \"" + path + "\" failed: " + FromQ(file.errorString()));
    if (n == 0) break;
    hash.addData(QByteArrayView(buffer.constData(), static_cast<qsizetype>(n)));
  }
  return Hex(hash.result());
}

void Add(std::string& text, const std::string& item, const std::string& separator, bool ignoreEmpty) {
  if (ignoreEmpty && item.empty()) return;
  if (!text.empty()) text += separator;
  text += item;
}

std::string PegarProximoToken(std::string& text, const std::string& separator) {
  size_t at = separator.empty() ? std::string::npos : text.find(separator);
  std::string token;
  if (at == std::string::npos) {
    token.swap(text);
  } else {
    token = text.substr(0, at);
    text.erase(0, at + separator.size());
  }
  return token;
}

std::string TemDados(const std::string& head, const std::string& text, const std::string& tail) {
  return text.empty() ? std::string() : head + text + tail;
}

std::string PegarDirTemp() {
  QString dir = QDir::tempPath();
  if (!dir.endsWith(u'/')) dir += u'/';
  return FromQ(dir);
}

std::string PegarTempo() { return FromQ(QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"))); }

std::string PegarVersionInfo(const std::string& key) {
  QFile f(QStringLiteral(":/versioninfo"));
  if (!f.open(QIODevice::ReadOnly)) return {};
  while (!f.atEnd()) {
    QString line = QString::fromUtf8(f.readLine()).trimmed();
    qsizetype eq = line.indexOf(u'=');
    if (eq > 0 && line.left(eq).trimmed().compare(ToQ(key), Qt::CaseInsensitive) == 0)
      return FromQ(line.mid(eq + 1).trimmed());
  }
  return {};
}

int PegarProduto() {
  std::string p = PegarVersionInfo("Produto");
  int code = 0;
  auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), code);
  return ec == std::errc() && end == p.data() + p.size() ? code : 0;
}

bool FModoTeste = false;

bool ModoTeste() {
  if (FModoTeste) return true;
  const char* env = std::getenv("CORVEL_MODO_TESTE");
  return env && std::string(env) == "1";
}

std::string ValorParaSQLData(double dateTime) {
  double day = std::floor(dateTime);
  auto ms = static_cast<qint64>(std::llround((dateTime - day) * 86400000.0));
  QDate date = QDate::fromJulianDay(static_cast<qint64>(day) + 2415019);
  QDateTime dt(date, QTime(0, 0));
  dt = dt.addMSecs(ms);
  return "'" + FromQ(dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) + "'";
}

std::string ValorParaSQL(const DBClient::TValue& value) {
  switch (value.index()) {
    case 0: return "NULL";
    case 1: return std::to_string(std::get<int64_t>(value));
    case 2: {
      double d = std::get<double>(value);
      if (!std::isfinite(d)) throw EvErro("ValorParaSQL: a value that is not a finite number has no SQL literal");
      char buf[40];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
      return std::string(buf, end);
    }
    case 3: {
      std::string out = "'";
      for (char c : std::get<std::string>(value)) {
        out += c;
        if (c == '\'') out += '\'';
      }
      return out + "'";
    }
    default: return std::get<bool>(value) ? "1" : "0";
  }
}

namespace {
// The key stream: MD5 of a fixed word and a counter. Enough to keep names
// in an INI file unreadable at a glance; it protects nothing.
QByteArray KeyStream(qsizetype length) {
  QByteArray stream;
  for (int block = 0; stream.size() < length; ++block)
    stream += QCryptographicHash::hash(QByteArray("corvel5:") + QByteArray::number(block), QCryptographicHash::Md5);
  return stream.left(length);
}
}  // namespace

std::string Cripto(const std::string& text) {
  QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
  QByteArray key = KeyStream(bytes.size());
  for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ key[i]);
  return bytes.toHex().toUpper().toStdString();
}

std::string DeCripto(const std::string& cipher) {
  QByteArray hex(cipher.data(), static_cast<qsizetype>(cipher.size()));
  if (hex.size() % 2 != 0 || !std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
    throw EvErro("DeCripto: \"" + cipher + "\" is not an enciphered text");
  QByteArray bytes = QByteArray::fromHex(hex);
  QByteArray key = KeyStream(bytes.size());
  for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ key[i]);
  return bytes.toStdString();
}

std::vector<TvClientDataSet*> FCDSList;

TvClientDataSet::TvClientDataSet(QObject* owner) : FOwner(owner) { FCDSList.push_back(this); }

TvClientDataSet::~TvClientDataSet() {
  auto it = std::find(FCDSList.begin(), FCDSList.end(), this);
  if (it != FCDSList.end()) FCDSList.erase(it);
}

void CDSLimpar() { FCDSList.clear(); }

std::function<void(const std::string&)> FOnDebug;

void SendDebug(const std::string& text) {
  if (FOnDebug) FOnDebug(text);
}

TAntesMostrarMessage FOnAntesMostrarMessage;
TRadialEvent FRadialEvent;

void Radial(QObject* sender) {
  if (FRadialEvent) FRadialEvent(sender);
}

}  // namespace corvel5
