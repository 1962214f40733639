// The database layer: datasets of typed fields walked record by record
// (First, Next, Eof), client datasets kept in memory and stored as XML data
// packets, and one connection over Qt SQL (SQLite, Firebird embedded or
// remote, ODBC, Oracle when its driver exists).
//
// A query is read whole into a TClientDataSet when it is opened: record
// counts and First() must be exact, and the Firebird and ODBC drivers give
// neither a size nor a cursor that can go back.
//
// Errors raise EDatabaseError with the operation, the driver, the database
// and the driver's own text; a password never appears in them.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace DBClient {

class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TFieldType { ftUnknown, ftString, ftInteger, ftFloat, ftBCD, ftBoolean, ftDate, ftTime, ftDateTime, ftBlob };

// One cell. Date-times are doubles (days and fraction since 1899-12-30);
// exact decimals (ftBCD) keep their digits as text; blobs are bytes in text.
using TValue = std::variant<std::monostate, int64_t, double, std::string, bool>;

// How values read as text: installed by whoever owns the locale settings
// (the test framework installs its own); the defaults write "." and ISO dates.
struct TValueTexts {
  std::string (*FloatToText)(double) = nullptr;
  std::string (*DateTimeToText)(double) = nullptr;  // date alone at midnight
  std::string (*DateToText)(double) = nullptr;
  std::string (*TimeToText)(double) = nullptr;
};
TValueTexts& ValueTexts();

const char* FieldTypeName(TFieldType type);
TFieldType FieldTypeFromName(const std::string& name);  // ftUnknown when not a type name

class TDataSet;

// The cells of a dataset, record-major, in blocks of fixed size: a result of
// a million records grows without moving what it already holds, and each
// cell is made in place.
class TCells {
 public:
  static constexpr size_t kBlock = 4096;
  TCells() = default;
  TCells(const TCells& other) { *this = other; }
  TCells& operator=(const TCells& other);
  ~TCells() { clear(); }

  size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  TValue& operator[](size_t i) { return FBlocks[i / kBlock][i % kBlock]; }
  const TValue& operator[](size_t i) const { return FBlocks[i / kBlock][i % kBlock]; }
  // Makes the next cell from what make() returns, without a move.
  template <class F>
  void emplace_back_from(F&& make) {
    if (FSize == FBlocks.size() * kBlock) AddBlock();
    new (&(*this)[FSize]) TValue(make());
    ++FSize;
  }
  void push_back(TValue v) {
    emplace_back_from([&] { return std::move(v); });
  }
  void resize(size_t n);
  void erase(size_t first, size_t count);
  void clear();

 private:
  std::vector<TValue*> FBlocks;  // raw storage; cells [0, FSize) are made
  size_t FSize = 0;
  void AddBlock();
};

class TField {
 public:
  TField(TDataSet* dataSet, std::string name, TFieldType type, int size, int index);

  const std::string& FieldName() const { return FName; }
  TFieldType DataType() const { return FType; }
  int Size() const { return FSize; }
  int Index() const { return FIndex; }
  TDataSet* DataSet() const { return FDataSet; }

  // Of the current record; reading with no current record raises.
  inline const TValue& Value() const;
  bool IsNull() const { return std::holds_alternative<std::monostate>(Value()); }
  // NULL reads as 0; a text that is not a number raises.
  inline double AsFloat() const;
  int64_t AsInteger() const;
  // NULL reads as "".
  std::string AsString() const;
  bool AsBoolean() const;

  // Writes the current record, converting to the field's type.
  void SetValue(TValue value);
  void SetAsString(const std::string& text);
  void Clear() { SetValue(std::monostate{}); }

 private:
  TDataSet* FDataSet;
  std::string FName;
  TFieldType FType;
  int FSize;
  int FIndex;
  double AsFloatOther() const;
  [[noreturn]] void NoDataSet() const;
};

class TDataSet {
 public:
  TDataSet();
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  std::string Name;
  std::string CommandText;  // the statement the records came from, if any

  // Structure: fields are added before the first record.
  TField& AddField(const std::string& name, TFieldType type, int size = 0);
  int FieldCount() const { return static_cast<int>(FFields.size()); }
  TField& Fields(int index) const;
  TField* FindField(const std::string& name) const;  // ASCII case-insensitive; null when absent
  TField& FieldByName(const std::string& name) const;

  // Navigation. Eof is true on an empty dataset and after Next past the last
  // record; the record stays the last one.
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  int RecordCount() const;
  int RecNo() const { return FRecord + 1; }  // 1-based; 0 when empty
  bool IsEmpty() const { return RecordCount() == 0; }

  // Editing: Append adds an empty record and makes it current.
  void Append();
  void AppendRecord(std::vector<TValue> values);
  void Delete();
  void EmptyDataSet();
  // Structure and records of another dataset (this one's are dropped).
  void CopyFrom(const TDataSet& other);

  const TValue& Cell(int record, int field) const;
  void SetCell(int record, int field, TValue value);

 private:
  friend class TField;
  friend class TConnection;  // fills the records of a query in place
  std::vector<std::unique_ptr<TField>> FFields;
  TCells FCells;
  int FRecord = -1;
  bool FEof = true;
  bool FBof = true;
  // Inline: a column walk reads one cell per record.
  const TValue& Current(int field) const {
    if (FRecord < 0) NoCurrentRecord();
    return FCells[static_cast<size_t>(FRecord) * FFields.size() + static_cast<size_t>(field)];
  }
  [[noreturn]] void NoCurrentRecord() const;
};

inline const TValue& TField::Value() const {
  if (!FDataSet) NoDataSet();
  return FDataSet->Current(FIndex);
}

inline double TField::AsFloat() const {
  const TValue& v = Value();
  if (const double* d = std::get_if<double>(&v)) return *d;
  return AsFloatOther();
}

// A dataset that lives in memory and is stored as an XML data packet:
//   <DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname=.. fieldtype=.. WIDTH=../></FIELDS></METADATA>
//   <ROWDATA><ROW><V/>...</ROW></ROWDATA></DATAPACKET>
// with one V element per field; a NULL is <V null="1"/>, so an empty text
// and a NULL stay apart, and doubles keep every digit.
class TClientDataSet : public TDataSet {
 public:
  std::string XMLData() const;
  void SetXMLData(const std::string& xml);  // raises on a malformed packet
  void SaveToFile(const std::string& path) const;
  void LoadFromFile(const std::string& path);
  // The compact binary form (".cds"): a magic word, a format version, the
  // fields and the typed cells. Loading checks all three before it changes anything.
  void SaveToBinaryFile(const std::string& path) const;
  void LoadFromBinaryFile(const std::string& path);
  std::string BinaryData() const;  // what SaveToBinaryFile writes
};

struct TConnectionParams {
  std::string Driver = "QSQLITE";  // a Qt SQL driver name
  std::string Database;            // a file path for SQLite and embedded Firebird
  std::string HostName;            // empty: embedded (Firebird) or local file
  int Port = 0;
  std::string UserName;
  std::string Password;
  std::string Options;           // driver connect options (never shown)
  // QODBC: Database may be a connection string naming DRIVER or SERVER; its
  // UID and PWD are taken out into UserName and Password (unless those are
  // given) and go to the driver braced, so any value reaches it intact.
  bool CreateIfMissing = false;  // SQLite: a missing file is an error unless set
  int TimeoutSeconds = 5;        // login, lock and busy waits
};

// text with the password shown as "***" wherever it occurs, as it is or in
// any form a connection string gives it (braced, with "}" doubled): for
// messages a driver may have built from it. An empty password hides nothing.
std::string HidePassword(std::string text, const std::string& password);

class TConnection {
 public:
  TConnection();
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  void Open(const TConnectionParams& params);
  void Close();
  bool Connected() const;
  // "QIBASE /abs/x.fdb" or "QODBC sa@host:1433/db": no password, ever.
  std::string Describe() const;
  // The name of the QSqlDatabase connection, for code that needs Qt itself.
  const std::string& ConnectionName() const;

  std::unique_ptr<TClientDataSet> Query(const std::string& sql);
  void Query(const std::string& sql, TDataSet& into);
  // Rows affected, or -1 when the driver does not say.
  int64_t ExecSQL(const std::string& sql);

  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const;

  // Primary key fields of a table, in key order, joined by ", ".
  std::string PrimaryKey(const std::string& table);
  std::vector<std::string> Tables();

 private:
  struct TState;
  std::unique_ptr<TState> F;
};

}  // namespace DBClient
