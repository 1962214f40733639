#include "platform/qt/DBClient.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QTime>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <dlfcn.h>
#include <unistd.h>

#include "platform/qt/DBClientConnect.h"
#include "platform/qt/QtText.h"

namespace DBClient {

using QtText::FromQ;
using QtText::ToQ;

namespace {

// Julian day number of 1899-12-30, day 0 of a date-time.
constexpr qint64 kDayZeroJulian = 2415019;

std::string DefaultFloat(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  return buf;
}

QDateTime ToQDateTime(double v) {
  double day = std::floor(v);
  auto ms = static_cast<qint64>(std::llround((v - day) * 86400000.0));
  if (ms >= 86400000) {
    day += 1;
    ms -= 86400000;
  }
  QDate date = QDate::fromJulianDay(static_cast<qint64>(day) + kDayZeroJulian);
  return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

double FromQDate(const QDate& d) { return static_cast<double>(d.toJulianDay() - kDayZeroJulian); }
double FromQTime(const QTime& t) { return t.msecsSinceStartOfDay() / 86400000.0; }

std::string DefaultDateTime(double v) {
  QDateTime dt = ToQDateTime(v);
  if (dt.time().msecsSinceStartOfDay() == 0) return FromQ(dt.date().toString(Qt::ISODate));
  return FromQ(dt.toString(Qt::ISODateWithMs));
}
std::string DefaultDate(double v) { return FromQ(ToQDateTime(v).date().toString(Qt::ISODate)); }
std::string DefaultTime(double v) { return FromQ(ToQDateTime(v).time().toString(Qt::ISODateWithMs)); }

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Digits with either "." or the locale's separator; the whole text must be a number.
bool ParseNumber(const std::string& text, double& out) {
  std::string t = text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  size_t start = t.find_first_not_of(' ');
  if (start == std::string::npos) return false;
  t.erase(0, start);
  for (char& c : t)
    if (c == ',') c = '.';
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
  return ec == std::errc() && end == t.data() + t.size();
}

}  // namespace

TValueTexts& ValueTexts() {
  static TValueTexts texts{&DefaultFloat, &DefaultDateTime, &DefaultDate, &DefaultTime};
  return texts;
}

namespace {
struct TTypeName {
  TFieldType Type;
  const char* Name;
};
constexpr TTypeName kTypeNames[] = {
    {TFieldType::ftUnknown, "unknown"}, {TFieldType::ftString, "string"},   {TFieldType::ftInteger, "i8"},
    {TFieldType::ftFloat, "r8"},        {TFieldType::ftBCD, "fixed"},       {TFieldType::ftBoolean, "boolean"},
    {TFieldType::ftDate, "date"},       {TFieldType::ftTime, "time"},       {TFieldType::ftDateTime, "datetime"},
    {TFieldType::ftBlob, "bin.hex"},
};
}  // namespace

const char* FieldTypeName(TFieldType type) {
  for (const auto& t : kTypeNames)
    if (t.Type == type) return t.Name;
  return "unknown";
}

TFieldType FieldTypeFromName(const std::string& name) {
  for (const auto& t : kTypeNames)
    if (name == t.Name) return t.Type;
  return TFieldType::ftUnknown;
}

// ---------------------------------------------------------------------------
// TField

TField::TField(TDataSet* dataSet, std::string name, TFieldType type, int size, int index)
    : FDataSet(dataSet), FName(std::move(name)), FType(type), FSize(size), FIndex(index) {}

void TField::NoDataSet() const { throw EDatabaseError("The field " + FName + " belongs to no dataset"); }

double TField::AsFloatOther() const {
  const TValue& v = Value();
  switch (v.index()) {
    case 0: return 0.0;
    case 1: return static_cast<double>(std::get<int64_t>(v));
    case 2: return std::get<double>(v);
    case 3: {
      double d = 0;
      if (!ParseNumber(std::get<std::string>(v), d))
        throw EDatabaseError("'" + std::get<std::string>(v) + "' is not a valid floating point value (field " + FName +
                             ")");
      return d;
    }
    default: return std::get<bool>(v) ? 1.0 : 0.0;
  }
}

int64_t TField::AsInteger() const {
  const TValue& v = Value();
  if (const auto* i = std::get_if<int64_t>(&v)) return *i;
  double d = AsFloat();
  if (std::holds_alternative<std::string>(v) && d != std::trunc(d))
    throw EDatabaseError("'" + std::get<std::string>(v) + "' is not a valid integer value (field " + FName + ")");
  return static_cast<int64_t>(std::llround(d));
}

std::string TField::AsString() const {
  const TValue& v = Value();
  const TValueTexts& t = ValueTexts();
  switch (v.index()) {
    case 0: return {};
    case 1: return std::to_string(std::get<int64_t>(v));
    case 2: {
      double d = std::get<double>(v);
      switch (FType) {
        case TFieldType::ftDate: return t.DateToText(d);
        case TFieldType::ftTime: return t.TimeToText(d);
        case TFieldType::ftDateTime: return t.DateTimeToText(d);
        default: return t.FloatToText(d);
      }
    }
    case 3:
      // An exact decimal is shown as a number of the locale.
      if (FType == TFieldType::ftBCD) {
        double d = 0;
        if (ParseNumber(std::get<std::string>(v), d)) return t.FloatToText(d);
      }
      return std::get<std::string>(v);
    default: return std::get<bool>(v) ? "True" : "False";
  }
}

bool TField::AsBoolean() const {
  const TValue& v = Value();
  if (const auto* b = std::get_if<bool>(&v)) return *b;
  if (const auto* s = std::get_if<std::string>(&v)) return SameTextAscii(*s, "true") || *s == "1";
  return AsFloat() != 0.0;
}

void TField::SetValue(TValue value) {
  if (!FDataSet) NoDataSet();
  if (FDataSet->FRecord < 0) throw EDatabaseError("No current record to write field " + FName + " to");
  FDataSet->SetCell(FDataSet->FRecord, FIndex, std::move(value));
}

void TField::SetAsString(const std::string& text) {
  double d = 0;
  switch (FType) {
    case TFieldType::ftInteger:
    case TFieldType::ftFloat:
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
      if (text.empty()) return Clear();
      if (!ParseNumber(text, d)) throw EDatabaseError("'" + text + "' is not a valid value for field " + FName);
      if (FType == TFieldType::ftInteger) return SetValue(static_cast<int64_t>(std::llround(d)));
      return SetValue(d);
    case TFieldType::ftBoolean: return SetValue(SameTextAscii(text, "true") || text == "1");
    default: return SetValue(text);
  }
}

// ---------------------------------------------------------------------------
// TCells

void TCells::AddBlock() {
  FBlocks.push_back(static_cast<TValue*>(::operator new(kBlock * sizeof(TValue), std::align_val_t(alignof(TValue)))));
}

void TCells::clear() {
  for (size_t i = 0; i < FSize; ++i) (*this)[i].~TValue();
  for (TValue* block : FBlocks) ::operator delete(block, std::align_val_t(alignof(TValue)));
  FBlocks.clear();
  FSize = 0;
}

void TCells::resize(size_t n) {
  while (FSize < n) push_back(std::monostate{});
  while (FSize > n) (*this)[--FSize].~TValue();
}

void TCells::erase(size_t first, size_t count) {
  for (size_t i = first; i + count < FSize; ++i) (*this)[i] = std::move((*this)[i + count]);
  resize(FSize - count);
}

TCells& TCells::operator=(const TCells& other) {
  if (this == &other) return *this;
  clear();
  for (size_t i = 0; i < other.FSize; ++i) emplace_back_from([&] { return other[i]; });
  return *this;
}

// ---------------------------------------------------------------------------
// TDataSet

TDataSet::TDataSet() = default;
TDataSet::~TDataSet() = default;

TField& TDataSet::AddField(const std::string& name, TFieldType type, int size) {
  if (!FCells.empty()) throw EDatabaseError("Cannot add field " + name + " to a dataset that holds records");
  if (FindField(name)) throw EDatabaseError("Duplicate field name '" + name + "'");
  FFields.push_back(std::make_unique<TField>(this, name, type, size, FieldCount()));
  return *FFields.back();
}

TField& TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount())
    throw EDatabaseError("Field index " + std::to_string(index) + " out of range (" + std::to_string(FieldCount()) +
                         " fields)");
  return *FFields[static_cast<size_t>(index)];
}

TField* TDataSet::FindField(const std::string& name) const {
  for (const auto& f : FFields)
    if (SameTextAscii(f->FieldName(), name)) return f.get();
  return nullptr;
}

TField& TDataSet::FieldByName(const std::string& name) const {
  if (TField* f = FindField(name)) return *f;
  throw EDatabaseError((Name.empty() ? std::string("Dataset") : Name) + ": field '" + name + "' not found");
}

int TDataSet::RecordCount() const {
  return FFields.empty() ? 0 : static_cast<int>(FCells.size() / FFields.size());
}

void TDataSet::First() {
  FRecord = RecordCount() > 0 ? 0 : -1;
  FEof = FRecord < 0;
  FBof = true;
}

void TDataSet::Next() {
  FBof = false;
  if (FRecord + 1 < RecordCount())
    ++FRecord;
  else
    FEof = true;
}

void TDataSet::Prior() {
  FEof = false;
  if (FRecord > 0)
    --FRecord;
  else
    FBof = true;
}

void TDataSet::Last() {
  FRecord = RecordCount() - 1;
  FEof = true;
  FBof = FRecord <= 0;
}

void TDataSet::NoCurrentRecord() const {
  throw EDatabaseError((Name.empty() ? std::string("Dataset") : Name) + ": no current record");
}

const TValue& TDataSet::Cell(int record, int field) const {
  if (record < 0 || record >= RecordCount() || field < 0 || field >= FieldCount())
    throw EDatabaseError("Cell " + std::to_string(record) + "," + std::to_string(field) + " out of range");
  return FCells[static_cast<size_t>(record) * FFields.size() + static_cast<size_t>(field)];
}

void TDataSet::SetCell(int record, int field, TValue value) {
  Cell(record, field);  // range check
  FCells[static_cast<size_t>(record) * FFields.size() + static_cast<size_t>(field)] = std::move(value);
}

void TDataSet::Append() {
  if (FFields.empty()) throw EDatabaseError("Cannot append a record to a dataset without fields");
  FCells.resize(FCells.size() + FFields.size());
  FRecord = RecordCount() - 1;
  FEof = FBof = false;
}

void TDataSet::AppendRecord(std::vector<TValue> values) {
  if (values.size() != FFields.size())
    throw EDatabaseError("AppendRecord: " + std::to_string(values.size()) + " values for " +
                         std::to_string(FFields.size()) + " fields");
  for (auto& v : values) FCells.push_back(std::move(v));
  FRecord = RecordCount() - 1;
  FEof = FBof = false;
}

void TDataSet::Delete() {
  if (FRecord < 0) throw EDatabaseError("Cannot delete: no current record");
  FCells.erase(static_cast<size_t>(FRecord) * FFields.size(), FFields.size());
  if (FRecord >= RecordCount()) FRecord = RecordCount() - 1;
  FEof = FRecord < 0;
}

void TDataSet::EmptyDataSet() {
  FCells.clear();
  FRecord = -1;
  FEof = FBof = true;
}

void TDataSet::CopyFrom(const TDataSet& other) {
  FCells.clear();
  FFields.clear();
  for (const auto& f : other.FFields) AddField(f->FieldName(), f->DataType(), f->Size());
  FCells = other.FCells;
  First();
}

// ---------------------------------------------------------------------------
// TConnection

struct TConnection::TState {
  TConnectionParams Params;
  std::string Name;
  bool Open = false;
  bool Transaction = false;
  QSqlDatabase Db() const { return QSqlDatabase::database(ToQ(Name), false); }
};

namespace {

std::atomic<int> gConnectionNumber{0};

std::string ErrorText(const QSqlError& e) {
  std::string text = FromQ(e.text().trimmed());
  if (!e.nativeErrorCode().isEmpty()) text += " (code " + FromQ(e.nativeErrorCode()) + ")";
  return text.empty() ? std::string("no reason given by the driver") : text;
}

// A connection string that names its driver or server (as Qt's driver tells
// one from a data source name) is taken apart: user and password leave
// p.Database, so whatever shows it cannot show the password, and the string
// for the driver gets them back braced as it reads them. "" for a data
// source name, which goes to Qt's driver as before.
std::string TakeOdbcCredentials(TConnectionParams& p) {
  const QString text = ToQ(p.Database);
  if (!text.contains(QStringLiteral("DRIVER="), Qt::CaseInsensitive) &&
      !text.contains(QStringLiteral("SERVER="), Qt::CaseInsensitive))
    return {};
  auto is = [](const std::string& key, const char* name) {
    return ToQ(key).compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
  };
  Detail::TOdbcAttributes all, kept;
  try {
    all = Detail::ParseOdbc(p.Database);
  } catch (const EDatabaseError&) {
    p.Database = "(an ODBC connection string that cannot be read)";
    throw;
  }
  for (auto& [key, value] : all) {
    if (is(key, "PWD")) {
      if (p.Password.empty()) p.Password = value;
    } else if (is(key, "UID")) {
      if (p.UserName.empty()) p.UserName = value;
    } else {
      kept.emplace_back(key, value);
    }
  }
  if (!p.UserName.empty()) kept.emplace_back("UID", p.UserName);
  p.Database = Detail::JoinOdbc(kept, false);
  if (!p.Password.empty()) kept.emplace_back("PWD", p.Password);
  const bool freeTds = Detail::IsFreeTds(kept);
  // The login record holds 128 UTF-16 units: FreeTDS would cut a longer one
  // and the server refuse the login without saying why.
  if (const qsizetype units = ToQ(p.Password).size(); freeTds && units > 128)
    throw EDatabaseError("the password is " + std::to_string(units) +
                         " characters long, and a SQL Server login takes at most 128");
  return Detail::JoinOdbc(kept, freeTds);
}

}  // namespace

TConnection::TConnection() : F(std::make_unique<TState>()) {}

TConnection::~TConnection() {
  try {
    Close();
  } catch (...) {
    // a destructor must not raise; the connection is gone either way
  }
}

std::string TConnection::Describe() const {
  const TConnectionParams& p = F->Params;
  std::string where;
  if (!p.HostName.empty()) {
    where = (p.UserName.empty() ? "" : p.UserName + "@") + p.HostName;
    if (p.Port) where += ":" + std::to_string(p.Port);
    where += "/";
  }
  return p.Driver + " " + where + p.Database;
}

const std::string& TConnection::ConnectionName() const { return F->Name; }

bool TConnection::Connected() const { return F->Open; }

void TConnection::Open(const TConnectionParams& params) {
  Close();
  F->Params = params;
  TConnectionParams& p = F->Params;
  // The password is kept out of p.Database from here on; the driver's own
  // text may still quote it in any form the connection string gave it.
  auto fail = [&](const std::string& why) -> void {
    throw EDatabaseError(HidePassword("Cannot open the database \"" + p.Database + "\" with " + p.Driver + ": " + why,
                                      p.Password));
  };
  std::string odbc;  // the connection string the ODBC driver gets, password included
  if (p.Driver == "QODBC") {
    try {
      odbc = TakeOdbcCredentials(p);
    } catch (const EDatabaseError& e) {
      fail(e.what());
    }
  }
  if (!QSqlDatabase::isDriverAvailable(ToQ(p.Driver))) {
    std::string have = FromQ(QSqlDatabase::drivers().join(QStringLiteral(", ")));
    fail("the Qt SQL driver " + p.Driver + " is not installed (installed: " + (have.empty() ? "none" : have) + ")");
  }
  bool localFile = p.HostName.empty() && (p.Driver == "QSQLITE" || p.Driver == "QIBASE");
  if (localFile && p.Database != ":memory:") {
    // Firebird reads a relative path with no host as a server alias.
    p.Database = FromQ(QFileInfo(ToQ(p.Database)).absoluteFilePath());
    QFileInfo info(ToQ(p.Database));
    if (!info.exists() && !(p.CreateIfMissing && p.Driver == "QSQLITE")) fail("the file does not exist");
    if (info.exists() && !info.isReadable()) fail("the file cannot be read (permission denied)");
  }
  QString options;
  const int seconds = p.TimeoutSeconds > 0 ? p.TimeoutSeconds : 5;
  if (p.Driver == "QSQLITE") {
    options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=") + QString::number(seconds * 1000);
  } else if (p.Driver == "QODBC") {
    options = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1").arg(seconds);
  } else if (p.Driver == "QIBASE") {
    if (p.UserName.empty()) p.UserName = "SYSDBA";
    if (p.HostName.empty()) Detail::EnsurePrivateFirebirdLock();
    if (!p.HostName.empty())
      if (std::string why = Detail::ProbeFirebird(p.HostName, p.Port ? p.Port : 3050, p.Database, p.UserName, seconds);
          !why.empty())
        fail(why);
    options = QStringLiteral("ISC_DPB_LC_CTYPE=UTF8");
  }
  if (!p.Options.empty()) options += (options.isEmpty() ? QString() : QStringLiteral(";")) + ToQ(p.Options);

  F->Name = "DBClient_" + std::to_string(++gConnectionNumber);
  std::string openError;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(ToQ(p.Driver), ToQ(F->Name));
    db.setDatabaseName(ToQ(odbc.empty() ? p.Database : odbc));
    if (!p.HostName.empty()) db.setHostName(ToQ(p.HostName));
    if (p.Port) db.setPort(p.Port);
    // Qt's ODBC driver would append them to the string as they are, where a
    // ";" or "}" in them cuts the string up.
    if (odbc.empty() && !p.UserName.empty()) db.setUserName(ToQ(p.UserName));
    if (odbc.empty() && !p.Password.empty()) db.setPassword(ToQ(p.Password));
    db.setConnectOptions(options);
    if (!db.open()) {
      openError = ErrorText(db.lastError());
    } else if (p.Driver == "QSQLITE") {
      // SQLite opens anything lazily: read the schema now so a file that is
      // not a database, or is locked, fails here rather than at the first query.
      QSqlQuery probe(db);
      if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) openError = ErrorText(probe.lastError());
    }
    if (!openError.empty()) db.close();
  }
  if (!openError.empty()) {
    QSqlDatabase::removeDatabase(ToQ(F->Name));
    F->Name.clear();
    fail(openError);
  }
  F->Open = true;
}

std::string HidePassword(std::string text, const std::string& password) {
  if (password.empty()) return text;
  // Its braced forms first: masked as it stands, a braced password would
  // leave its braces and doubled "}" around the mask.
  for (const std::string& form : Detail::OdbcForms(password))
    for (size_t at; (at = text.find(form)) != std::string::npos;) text.replace(at, form.size(), "***");
  return text;
}

void TConnection::Close() {
  if (F->Name.empty()) return;
  {
    QSqlDatabase db = F->Db();
    if (F->Transaction) db.rollback();
    db.close();
  }
  QSqlDatabase::removeDatabase(ToQ(F->Name));
  F->Name.clear();
  F->Open = false;
  F->Transaction = false;
}

namespace {

TFieldType TypeOf(const QSqlField& f, const QString& driver) {
  switch (f.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong: return TFieldType::ftInteger;
    case QMetaType::Double:
    case QMetaType::Float:
      return driver == QStringLiteral("QIBASE") && f.precision() > 0 ? TFieldType::ftBCD : TFieldType::ftFloat;
    case QMetaType::Bool: return TFieldType::ftBoolean;
    case QMetaType::QDate: return TFieldType::ftDate;
    case QMetaType::QTime: return TFieldType::ftTime;
    case QMetaType::QDateTime: return TFieldType::ftDateTime;
    case QMetaType::QByteArray: return TFieldType::ftBlob;
    default: return TFieldType::ftString;
  }
}

TValue ToValue(const QVariant& v) {
  if (v.isNull()) return std::monostate{};
  // The common kinds read straight from the variant's storage: a converting
  // read (toDouble) costs as much again as the whole walk over the records.
  switch (v.typeId()) {
    case QMetaType::Double: return *static_cast<const double*>(v.constData());
    case QMetaType::LongLong: return static_cast<int64_t>(*static_cast<const qlonglong*>(v.constData()));
    case QMetaType::Int: return static_cast<int64_t>(*static_cast<const int*>(v.constData()));
    case QMetaType::QString: return static_cast<const QString*>(v.constData())->toStdString();
    default: break;
  }
  switch (v.typeId()) {
    case QMetaType::QString: return FromQ(v.toString());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::UInt:
    case QMetaType::UShort: return static_cast<int64_t>(v.toLongLong());
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
      qulonglong u = v.toULongLong();
      if (u > static_cast<qulonglong>(INT64_MAX)) return std::to_string(u);
      return static_cast<int64_t>(u);
    }
    case QMetaType::Double:
    case QMetaType::Float: return v.toDouble();
    case QMetaType::Bool: return v.toBool();
    case QMetaType::QDate: return FromQDate(v.toDate());
    case QMetaType::QTime: return FromQTime(v.toTime());
    case QMetaType::QDateTime: {
      QDateTime dt = v.toDateTime();
      return FromQDate(dt.date()) + FromQTime(dt.time());
    }
    case QMetaType::QByteArray: {
      QByteArray b = v.toByteArray();
      return std::string(b.constData(), static_cast<size_t>(b.size()));
    }
    default: return FromQ(v.toString());
  }
}

// SQLite's own calls, for reading rows straight from the driver's statement:
// the values the driver would give, without making and copying a variant per
// cell first (for a column of numbers that was a fifth of the whole read).
// They are looked up in the driver's library and what it loaded, so they are
// the calls of the engine copy that made the statement; a driver that keeps
// its copy to itself gets none, and its rows are read through the driver.
struct TSqliteCalls {
  int (*Step)(void*) = nullptr;
  int (*ColumnType)(void*, int) = nullptr;
  long long (*ColumnInt64)(void*, int) = nullptr;
  double (*ColumnDouble)(void*, int) = nullptr;
  const void* (*ColumnText16)(void*, int) = nullptr;
  int (*ColumnBytes16)(void*, int) = nullptr;
  const void* (*ColumnBlob)(void*, int) = nullptr;
  int (*ColumnBytes)(void*, int) = nullptr;
  void* (*DbHandle)(void*) = nullptr;
  const char* (*ErrMsg)(void*) = nullptr;
};
// The engine's stable codes: step results and storage classes.
constexpr int kSqliteRow = 100, kSqliteDone = 101;
constexpr int kSqliteInteger = 1, kSqliteFloat = 2, kSqliteBlob = 4, kSqliteNull = 5;

const TSqliteCalls* SqliteCalls(const QSqlDriver* driver) {
  static const TSqliteCalls calls = [driver] {
    TSqliteCalls c;
    Dl_info info{};
    if (!dladdr(driver->metaObject(), &info) || !info.dli_fname) return c;
    void* lib = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);  // kept: the driver stays loaded
    if (!lib) return c;
    auto find = [lib](auto& fn, const char* name) { fn = reinterpret_cast<std::decay_t<decltype(fn)>>(dlsym(lib, name)); };
    find(c.Step, "sqlite3_step");
    find(c.ColumnType, "sqlite3_column_type");
    find(c.ColumnInt64, "sqlite3_column_int64");
    find(c.ColumnDouble, "sqlite3_column_double");
    find(c.ColumnText16, "sqlite3_column_text16");
    find(c.ColumnBytes16, "sqlite3_column_bytes16");
    find(c.ColumnBlob, "sqlite3_column_blob");
    find(c.ColumnBytes, "sqlite3_column_bytes");
    find(c.DbHandle, "sqlite3_db_handle");
    find(c.ErrMsg, "sqlite3_errmsg");
    if (!c.Step || !c.ColumnType || !c.ColumnInt64 || !c.ColumnDouble || !c.ColumnText16 || !c.ColumnBytes16 ||
        !c.ColumnBlob || !c.ColumnBytes || !c.DbHandle || !c.ErrMsg)
      c = TSqliteCalls{};
    return c;
  }();
  return calls.Step ? &calls : nullptr;
}

// The statement under an SQLite query, or null.
void* SqliteStatement(const QSqlQuery& q) {
  QVariant h = q.result() ? q.result()->handle() : QVariant();
  if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3_stmt*") != 0) return nullptr;
  return *static_cast<void* const*>(h.constData());
}

// A cell as ToValue makes it from the driver's variant for the same column
// (integers as 64 bits, floats as doubles, text through UTF-16 as the driver
// reads it, blobs as bytes).
TValue SqliteValue(const TSqliteCalls& s, void* stmt, int i) {
  switch (s.ColumnType(stmt, i)) {
    case kSqliteNull: return std::monostate{};
    case kSqliteInteger: return static_cast<int64_t>(s.ColumnInt64(stmt, i));
    case kSqliteFloat: return s.ColumnDouble(stmt, i);
    case kSqliteBlob: {
      const char* b = static_cast<const char*>(s.ColumnBlob(stmt, i));
      return std::string(b ? b : "", b ? static_cast<size_t>(s.ColumnBytes(stmt, i)) : 0);
    }
    default: {
      const void* t = s.ColumnText16(stmt, i);
      qsizetype n = s.ColumnBytes16(stmt, i) / 2;
      return t ? QStringView(static_cast<const char16_t*>(t), n).toString().toStdString() : std::string();
    }
  }
}

}  // namespace

std::unique_ptr<TClientDataSet> TConnection::Query(const std::string& sql) {
  auto ds = std::make_unique<TClientDataSet>();
  Query(sql, *ds);
  return ds;
}

void TConnection::Query(const std::string& sql, TDataSet& into) {
  if (!F->Open) throw EDatabaseError("Cannot run a query: the connection " + Describe() + " is not open");
  QSqlDatabase db = F->Db();
  QSqlQuery q(db);
  q.setForwardOnly(true);
  // Exact decimals from servers; SQLite has none, and its floats would come back as text.
  q.setNumericalPrecisionPolicy(F->Params.Driver == "QSQLITE" ? QSql::LowPrecisionDouble : QSql::HighPrecision);
  if (!q.exec(ToQ(sql)))
    throw EDatabaseError("Query failed on " + Describe() + ": " + ErrorText(q.lastError()) + "\n" + sql);
  QSqlRecord rec = q.record();
  into.FCells.clear();
  into.FFields.clear();
  for (int i = 0; i < rec.count(); ++i) {
    QSqlField f = rec.field(i);
    into.AddField(FromQ(f.name()), TypeOf(f, db.driverName()), f.length() > 0 ? f.length() : 0);
  }
  const int n = rec.count();
  const TSqliteCalls* lite = F->Params.Driver == "QSQLITE" ? SqliteCalls(db.driver()) : nullptr;
  void* stmt = lite ? SqliteStatement(q) : nullptr;
  // A cheap proof that the calls found are the statement's engine: it names
  // the connection the driver holds.
  if (stmt) {
    QVariant h = db.driver()->handle();
    if (qstrcmp(h.typeName(), "sqlite3*") != 0 || lite->DbHandle(stmt) != *static_cast<void* const*>(h.constData()))
      stmt = nullptr;
  }
  // The first record always comes through the driver: it may have stepped the
  // statement to it already when the query ran. Either way the statement is
  // on that record afterwards, and the rest can be stepped to directly.
  bool more = q.next();
  if (more)
    for (int i = 0; i < n; ++i) into.FCells.emplace_back_from([&] { return ToValue(q.value(i)); });
  if (more && stmt) {
    int rc;
    while ((rc = lite->Step(stmt)) == kSqliteRow)
      for (int i = 0; i < n; ++i) into.FCells.emplace_back_from([&] { return SqliteValue(*lite, stmt, i); });
    if (rc != kSqliteDone) {
      std::string why = lite->ErrMsg(lite->DbHandle(stmt));
      into.EmptyDataSet();
      q.finish();
      throw EDatabaseError("Reading the result failed on " + Describe() + ": " + why + " (code " + std::to_string(rc) +
                           ")");
    }
  } else {
    while (more && q.next())
      for (int i = 0; i < n; ++i) into.FCells.emplace_back_from([&] { return ToValue(q.value(i)); });
  }
  if (q.lastError().isValid()) {
    into.EmptyDataSet();
    throw EDatabaseError("Reading the result failed on " + Describe() + ": " + ErrorText(q.lastError()));
  }
  q.finish();
  into.CommandText = sql;
  into.First();
}

int64_t TConnection::ExecSQL(const std::string& sql) {
  if (!F->Open) throw EDatabaseError("Cannot execute: the connection " + Describe() + " is not open");
  QSqlQuery q(F->Db());
  if (!q.exec(ToQ(sql)))
    throw EDatabaseError("Statement failed on " + Describe() + ": " + ErrorText(q.lastError()) + "\n" + sql);
  int64_t n = q.numRowsAffected();
  q.finish();
  return n;
}

void TConnection::StartTransaction() {
  if (!F->Open) throw EDatabaseError("Cannot start a transaction: the connection " + Describe() + " is not open");
  if (F->Transaction) throw EDatabaseError("A transaction is already active on " + Describe());
  QSqlDatabase db = F->Db();
  if (!db.transaction())
    throw EDatabaseError("Cannot start a transaction on " + Describe() + ": " + ErrorText(db.lastError()));
  F->Transaction = true;
}

void TConnection::Commit() {
  if (!F->Transaction) throw EDatabaseError("No active transaction to commit on " + Describe());
  QSqlDatabase db = F->Db();
  if (!db.commit()) throw EDatabaseError("Cannot commit on " + Describe() + ": " + ErrorText(db.lastError()));
  F->Transaction = false;
}

void TConnection::Rollback() {
  if (!F->Transaction) throw EDatabaseError("No active transaction to roll back on " + Describe());
  QSqlDatabase db = F->Db();
  F->Transaction = false;
  if (!db.rollback()) throw EDatabaseError("Cannot roll back on " + Describe() + ": " + ErrorText(db.lastError()));
}

bool TConnection::InTransaction() const { return F->Transaction; }

std::string TConnection::PrimaryKey(const std::string& table) {
  if (!F->Open) throw EDatabaseError("Cannot read keys: the connection " + Describe() + " is not open");
  QSqlDatabase db = F->Db();
  QSqlIndex key = db.primaryIndex(ToQ(table));
  std::string out;
  for (int i = 0; i < key.count(); ++i) out += (i ? ", " : "") + FromQ(key.fieldName(i));
  return out;
}

std::vector<std::string> TConnection::Tables() {
  std::vector<std::string> out;
  if (!F->Open) return out;
  for (const QString& t : F->Db().tables()) out.push_back(FromQ(t));
  return out;
}

}  // namespace DBClient
