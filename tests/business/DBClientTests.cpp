// The database layer: client datasets through their XML data packet, typed
// values from both engines, and every way a connection can fail: a clear
// error naming the driver or file within seconds, never a crash or a hang.
#include <QFile>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QProcess>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>

#include "framework/TestFramework.h"
#include "tests/business/Checks.h"
#include "tests/business/Databases.h"

using namespace TestFramework;
using DBClient::TFieldType;
using DBClient::TValue;

namespace {

// The message of the EDatabaseError that f raises, and how long it took.
template <class F>
std::string ErrorOf(F&& f, double* seconds = nullptr) {
  return BusinessChecks::ErrorOf<DBClient::EDatabaseError>(std::forward<F>(f), seconds);
}

using BusinessChecks::Contains;

class TDBClientTests : public TTestCase {
  TESSEL_TESTCASE(TDBClientTests, TTestCase)
 public:
  TESSEL_TEST(TestDataPacketRoundTrip) {
    DBClient::TClientDataSet ds;
    ds.AddField("id", TFieldType::ftInteger);
    ds.AddField("price", TFieldType::ftFloat);
    ds.AddField("name", TFieldType::ftString, 40);
    ds.AddField("when", TFieldType::ftDateTime);
    ds.AddField("ok", TFieldType::ftBoolean);
    const double third = 1.0 / 3.0;
    ds.AppendRecord({int64_t{-9007199254740993}, third, std::string("<a & \"b\" 'c'>"), 45351.75, true});
    ds.AppendRecord({std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}});
    ds.AppendRecord({int64_t{0}, 1e-300, std::string(), 0.0, false});
    ds.AppendRecord({int64_t{1}, -0.1, std::string("ação € 𝄞\r\nline\ttab \x01 ]]>  "), 1.5, false});
    ds.AppendRecord({int64_t{2}, 2.0, std::string("42"), 2.0, true});

    for (bool binary : {false, true}) {
      std::string path = TestDatabases::TempFolder() + (binary ? "packet.cds" : "packet.xml");
      std::string kind = binary ? "binary: " : "XML: ";
      DBClient::TClientDataSet back;
      if (binary) {
        ds.SaveToBinaryFile(path);
        back.LoadFromBinaryFile(path);
      } else {
        ds.SaveToFile(path);
        back.LoadFromFile(path);
      }
      CheckEquals(ds.FieldCount(), back.FieldCount(), kind + "fields");
      CheckEquals(ds.RecordCount(), back.RecordCount(), kind + "records");
      for (int f = 0; f < ds.FieldCount(); ++f) {
        CheckEquals(ds.Fields(f).FieldName(), back.Fields(f).FieldName());
        CheckTrue(ds.Fields(f).DataType() == back.Fields(f).DataType(), kind + "type of " + ds.Fields(f).FieldName());
      }
      CheckEquals(40, back.FieldByName("NAME").Size(), kind + "width kept");
      for (int r = 0; r < ds.RecordCount(); ++r)
        for (int f = 0; f < ds.FieldCount(); ++f)
          CheckTrue(ds.Cell(r, f) == back.Cell(r, f),
                    kind + "record " + std::to_string(r) + " field " + ds.Fields(f).FieldName() + " kept exactly");
      CheckTrue(std::holds_alternative<std::string>(back.Cell(4, 2)), kind + "a number in a text field stays a text");
      CheckTrue(std::holds_alternative<std::monostate>(back.Cell(1, 2)) && back.Cell(2, 2) == TValue(std::string()),
                kind + "NULL and the empty text stay apart");
      CheckEquals(ds.XMLData(), back.XMLData(), kind + "written again the same");
    }
    std::string cds = TestDatabases::TempFolder() + "packet.cds";
    QFile file(QtText::ToQ(cds));
    file.resize(file.size() - 3);
    DBClient::TClientDataSet cut;
    CheckTrue(Contains(ErrorOf([&] { cut.LoadFromBinaryFile(cds); }), "ends too early"), "a cut file is refused");
    CheckTrue(Contains(ErrorOf([&] { cut.LoadFromBinaryFile(TestDatabases::TempFolder() + "packet.xml"); }), "wrong magic"),
              "an XML file is not a binary one");
  }

  TESSEL_TEST(TestMalformedPacketsAreRejectedWithTheirPlace) {
    DBClient::TClientDataSet ds;
    ds.AddField("a", TFieldType::ftString);
    ds.AppendRecord({std::string("kept")});
    CheckTrue(Contains(ErrorOf([&] { ds.SetXMLData("<DATAPACKET><ROWDATA><ROW>"); }), "Malformed data packet at line"),
              "truncated");
    CheckTrue(Contains(ErrorOf([&] { ds.SetXMLData("<other/>"); }), "no DATAPACKET"), "not a packet");
    std::string typed =
        R"(<DATAPACKET><METADATA><FIELDS><FIELD attrname="n" fieldtype="i8"/></FIELDS></METADATA>)"
        R"(<ROWDATA><ROW><V t="i">12x</V></ROW></ROWDATA></DATAPACKET>)";
    CheckTrue(Contains(ErrorOf([&] { ds.SetXMLData(typed); }), "'12x' is not a value of type i8"), "bad number");
    CheckEquals(std::string("kept"), ds.FieldByName("a").AsString(), "a rejected packet changes nothing");
    std::string missing = TestDatabases::TempFolder() + "none.xml";
    CheckTrue(Contains(ErrorOf([&] { ds.LoadFromFile(missing); }), "\"" + missing + "\""), "names the file");
  }

  TESSEL_TEST(TestNavigationAndValueTexts) {
    DBClient::TClientDataSet ds;
    auto& n = ds.AddField("n", TFieldType::ftFloat);
    ds.First();
    CheckTrue(ds.Eof() && ds.Bof(), "empty: at both ends");
    CheckTrue(Contains(ErrorOf([&] { n.AsFloat(); }), "no current record"), "no record to read");
    ds.AppendRecord({2.5});
    ds.AppendRecord({std::monostate{}});
    ds.First();
    CheckEquals(2.5, n.AsFloat());
    ds.Next();
    CheckTrue(!ds.Eof() && n.IsNull(), "second record");
    CheckEquals(0.0, n.AsFloat(), "NULL reads 0");
    CheckEquals(std::string(), n.AsString(), "NULL reads empty");
    ds.Next();
    CheckTrue(ds.Eof() && ds.RecNo() == 2, "past the last: at its end, still on the last record");
    CheckTrue(Contains(ErrorOf([&] { ds.FieldByName("missing"); }), "field 'missing' not found"), "unknown field");
    CheckTrue(Contains(ErrorOf([&] { ds.AddField("N", TFieldType::ftString); }), "holds records"), "structure fixed");
    DBClient::TField orphan(nullptr, "solto", TFieldType::ftFloat, 0, 0);
    CheckEquals(std::string("The field solto belongs to no dataset"), ErrorOf([&] { orphan.AsFloat(); }));
  }

  TESSEL_TEST(TestEnginesGiveTypedValues) {
    std::string sqlitePath = TestDatabases::TempFolder() + "types.sqlite";
    QFile::remove(QtText::ToQ(sqlitePath));
    DBClient::TConnection lite;
    lite.Open(TestDatabases::SQLite(sqlitePath));
    lite.ExecSQL("create table t (i integer, d double, s varchar(10))");
    CheckEquals(int64_t{1}, lite.ExecSQL("insert into t values (9007199254740993, 0.1, 'x''y')"), "rows affected");
    auto r = lite.Query("select i, d, s from t");
    CheckTrue(r->Fields(0).Value() == TValue(int64_t{9007199254740993}), "64-bit integer exact");
    CheckEquals(0.1, r->Fields(1).AsFloat());
    CheckEquals(std::string("x'y"), r->Fields(2).AsString());

    std::string fdb = TestDatabases::TempFolder() + "types.fdb";
    std::string made = TestDatabases::CreateFirebird(
        fdb, "create table t (id integer not null primary key, n numeric(18,4), d date, ts timestamp, s varchar(10));\n"
             "insert into t values (1, 1234.5678, '2024-02-29', '2024-02-29 18:00:00', 'ç');\n");
    if (!made.empty()) Fail(made);
    DBClient::TConnection fb;
    fb.Open(TestDatabases::Firebird(fdb));
    auto f = fb.Query("select n, d, ts, s from t");
    CheckTrue(f->Fields(0).DataType() == TFieldType::ftBCD, "numeric is an exact decimal");
    CheckEquals(std::string("1234.5678"), std::get<std::string>(f->Fields(0).Value()), "every digit kept");
    CheckEquals(45351.0, f->Fields(1).AsFloat(), "date as days since 1899-12-30, no time zone");
    CheckEquals(45351.75, f->Fields(2).AsFloat(), "timestamp");
    CheckEquals(std::string("ç"), f->Fields(3).AsString(), "UTF-8 text");
    CheckEquals(std::string("ID"), fb.PrimaryKey("T"), "primary key read from the engine");
  }

  // Past its first record an SQLite result is read from the engine directly:
  // every storage class must come out as the first record's did, and an
  // engine error on a later record must still be raised, not end the result.
  TESSEL_TEST(TestSqliteRecordsPastTheFirstKeepTheirValues) {
    std::string path = TestDatabases::TempFolder() + "rows.sqlite";
    QFile::remove(QtText::ToQ(path));
    DBClient::TConnection lite;
    lite.Open(TestDatabases::SQLite(path));
    lite.ExecSQL("create table t (k integer, v)");
    lite.ExecSQL("insert into t values (1, 2.5), (2, -9223372036854775807), (3, 'ação'), (4, x'00ff41'), (5, null),"
                 " (6, ''), (7, 'a' || char(0) || 'b')");
    auto r = lite.Query("select v from t order by k");
    const std::vector<TValue> want = {2.5, int64_t{-9223372036854775807}, std::string("ação"),
                                      std::string("\0\xff" "A", 3), std::monostate{}, std::string(),
                                      std::string("a\0b", 3)};
    // Each value read first, then past the first record, in both orders.
    for (int first = 0; first < static_cast<int>(want.size()); ++first) {
      auto one = lite.Query("select v from t where k >= " + std::to_string(first + 1) + " order by k");
      CheckEquals(static_cast<int>(want.size()) - first, one->RecordCount(), "records from " + std::to_string(first));
      int at = first;
      for (one->First(); !one->Eof(); one->Next(), ++at)
        CheckTrue(one->Fields(0).Value() == want[static_cast<size_t>(at)],
                  "value " + std::to_string(at) + " read after value " + std::to_string(first));
    }
    CheckEquals(7, r->RecordCount());
    r->Last();
    CheckEquals(std::string("a\0b", 3), r->Fields(0).AsString(), "last record, embedded zero kept");

    std::string error = ErrorOf([&] {
      lite.Query("select case when k = 3 then abs(-9223372036854775807 - 1) else k end from t");
    });
    CheckTrue(Contains(error, "Reading the result failed") && Contains(error, "integer overflow"), error);
    CheckEquals(1, lite.Query("select count(*) from t where k > 6")->Fields(0).AsInteger(),
                "the connection still answers after a failed read");
    CheckEquals(0, lite.Query("select v from t where k > 99")->RecordCount(), "no records");
  }

  TESSEL_TEST(TestTransactionsRollBackForReal) {
    std::string fdb = TestDatabases::TempFolder() + "tx.fdb";
    std::string made = TestDatabases::CreateFirebird(fdb, "create table t (id integer);\n");
    if (!made.empty()) Fail(made);
    std::string lite = TestDatabases::TempFolder() + "tx.sqlite";
    QFile::remove(QtText::ToQ(lite));
    for (const auto& params : {TestDatabases::Firebird(fdb), TestDatabases::SQLite(lite)}) {
      DBClient::TConnection db;
      db.Open(params);
      if (params.Driver == "QSQLITE") db.ExecSQL("create table t (id integer)");
      db.StartTransaction();
      db.ExecSQL("insert into t values (1)");
      CheckEquals(1, db.Query("select count(*) from t")->RecordCount(), params.Driver);
      db.Rollback();
      CheckEquals(std::string("0"), db.Query("select count(*) from t")->Fields(0).AsString(),
                  params.Driver + ": the row is gone");
      CheckTrue(Contains(ErrorOf([&] { db.Rollback(); }), "No active transaction"), "a second rollback is refused");
    }
  }

  TESSEL_TEST(TestBadConnectionsFailClearlyAndQuickly) {
    double seconds = 0;
    DBClient::TConnection db;
    DBClient::TConnectionParams oracle;
    oracle.Driver = "QOCI";
    oracle.Database = "//db:1521/XE";
    std::string e = ErrorOf([&] { db.Open(oracle); }, &seconds);
    CheckTrue(Contains(e, "the Qt SQL driver QOCI is not installed"), e);

    std::string missing = TestDatabases::TempFolder() + "missing.fdb";
    e = ErrorOf([&] { db.Open(TestDatabases::Firebird(missing)); });
    CheckEquals("Cannot open the database \"" + missing + "\" with QIBASE: the file does not exist", e);
    e = ErrorOf([&] { db.Open(TestDatabases::SQLite(missing + ".sqlite", false)); });
    CheckTrue(Contains(e, "the file does not exist"), "SQLite does not create a missing file unless asked: " + e);

    std::string corrupt = TestDatabases::TempFolder() + "corrupt.db";
    std::ofstream(corrupt) << std::string(8192, 'J');
    e = ErrorOf([&] { db.Open(TestDatabases::SQLite(corrupt, false)); });
    CheckTrue(Contains(e, corrupt) && Contains(e, "not a database"), "corrupt SQLite: " + e);
    e = ErrorOf([&] { db.Open(TestDatabases::Firebird(corrupt)); }, &seconds);
    CheckTrue(Contains(e, corrupt) && Contains(e, "QIBASE"), "corrupt Firebird: " + e);
    CheckTrue(seconds < 10, "corrupt Firebird file refused within seconds");
    CheckFalse(db.Connected(), "nothing left open");

    // A server that never answers: a port that accepts nothing (ODBC needs a driver; use Firebird's network form).
    DBClient::TConnectionParams remote = TestDatabases::Firebird("/nowhere/x.fdb");
    remote.HostName = "127.0.0.1";
    remote.Port = 1;
    remote.Password = "s3cret-pw";
    e = ErrorOf([&] { db.Open(remote); }, &seconds);
    CheckTrue(Contains(e, "QIBASE") && Contains(e, "/nowhere/x.fdb") && Contains(e, "127.0.0.1:1 refuses"),
              "names driver, database and server: " + e);
    CheckFalse(Contains(e, "s3cret-pw"), "the password never shows");
    CheckTrue(seconds < 15, "an unreachable server fails within seconds");
  }

  // A server that takes the connection and never answers (a socket that
  // listens and never reads): the ODBC login timeout ends the wait.
  TESSEL_TEST(TestSilentSqlServerTimesOut) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    CheckTrue(bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(fd, 4) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0,
              "a listening socket");
    DBClient::TConnectionParams p;
    p.Driver = "QODBC";
    p.Database = "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;SERVER=127.0.0.1;PORT=" +
                 std::to_string(ntohs(addr.sin_port)) + ";DATABASE=vendas;UID=sa;PWD=Segredo-1;TDS_Version=7.4";
    p.TimeoutSeconds = 2;
    DBClient::TConnection db;
    double seconds = 0;
    std::string e = ErrorOf([&] { db.Open(p); }, &seconds);
    close(fd);
    CheckTrue(Contains(e, "QODBC") && Contains(e, "SERVER=127.0.0.1;PORT=" + std::to_string(ntohs(addr.sin_port))), e);
    CheckFalse(Contains(e, "Segredo-1") || Contains(e, "PWD"), "the password in the connect string never shows");
    CheckTrue(seconds < 8, "the login timeout bounds the wait: " + std::to_string(seconds) + " s");
  }

  TESSEL_TEST(TestLockedDatabasesFailWithinTheWait) {
    std::string path = TestDatabases::TempFolder() + "locked.sqlite";
    QFile::remove(QtText::ToQ(path));
    DBClient::TConnection holder;
    holder.Open(TestDatabases::SQLite(path));
    holder.ExecSQL("create table t (id integer)");
    holder.ExecSQL("begin exclusive");
    DBClient::TConnection other;
    auto params = TestDatabases::SQLite(path, false);
    params.TimeoutSeconds = 1;
    double seconds = 0;
    std::string e = ErrorOf([&] { other.Open(params); }, &seconds);
    CheckTrue(Contains(e, path) && Contains(e, "locked"), "SQLite: " + e);
    CheckTrue(seconds < 5, "the busy wait is bounded");
    holder.ExecSQL("rollback");

    // Firebird: another process holds the file with its own embedded engine.
    std::string fdb = TestDatabases::TempFolder() + "locked.fdb";
    std::string made = TestDatabases::CreateFirebird(fdb, "create table t (id integer);\n");
    if (!made.empty()) Fail(made);
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QtText::ToQ(fdb), QStringLiteral("-user"), QStringLiteral("SYSDBA")});
    CheckTrue(isql.waitForStarted(5000), "isql-fb runs");
    isql.write("select 'holding' from rdb$database;\n");
    while (!isql.readAllStandardOutput().contains("holding")) CheckTrue(isql.waitForReadyRead(10000), "isql-fb holds the file");
    e = ErrorOf([&] { other.Open(TestDatabases::Firebird(fdb)); }, &seconds);
    isql.closeWriteChannel();
    isql.waitForFinished(10000);
    CheckTrue(Contains(e, fdb) && Contains(e, "lock"), "Firebird: " + e);
    CheckTrue(seconds < 5, "refused at once");
  }
};

}  // namespace

TESSEL_REGISTER("Business.DBClient", TDBClientTests);
