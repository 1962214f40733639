// The dataset checks over real query results (SQLite and embedded Firebird),
// the digests against md5sum, the date-time texts and tolerances, the case
// rule, and the texts every failure hands to the framework.
#include <QFile>
#include <QProcess>
#include <cstring>
#include <fstream>
#include <sstream>

#include "business/CorvelFramework.h"
#include "business/vUtilTestMini.h"
#include "platform/LocaleSettings.h"
#include "tests/business/Databases.h"

using namespace TestFramework;
using vUtilTestMini::TvTestCaseMini;

namespace {

template <class F>
std::string FailureOf(F&& f) {
  try {
    f();
  } catch (const ETestFailure& e) {
    return e.Message();
  }
  return "(passed)";
}

// Locale settings of a test, put back afterwards.
class TLocale {
 public:
  TLocale(char decimal, std::string shortDate, std::string longTime) : FSaved(Platform::FormatSettings()) {
    auto& fs = Platform::FormatSettings();
    fs.DecimalSeparator = decimal;
    fs.ShortDateFormat = std::move(shortDate);
    fs.LongTimeFormat = std::move(longTime);
    fs.DateSeparator = '/';
    fs.TimeSeparator = ':';
  }
  ~TLocale() { Platform::FormatSettings() = FSaved; }

 private:
  Platform::TFormatSettings FSaved;
};

std::string Md5sumOf(const std::string& path) {
  QProcess p;
  p.start(QStringLiteral("md5sum"), {QtText::ToQ(path)});
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return "md5sum failed";
  return p.readAllStandardOutput().left(32).toStdString();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// ---------------------------------------------------------------------------
// Column sums and joined texts, once per database engine.

class TColumnChecks : public TvTestCaseMini {
  TESSEL_TESTCASE(TColumnChecks, TvTestCaseMini)
 public:
  // The items table: id, amount (nullable number), name (nullable text).
  virtual void Connect(DBClient::TConnection&) { Fail("no database for this class"); }

  void SetUp() override { Connect(FDb); }
  void TearDown() override { FDb.Close(); }

  std::unique_ptr<DBClient::TClientDataSet> Items(const std::string& where) {
    return FDb.Query("select id, amount, name from items " + where + " order by id");
  }

  TESSEL_TEST(TestEmptyOneAndManyRecords) {
    auto none = Items("where id < 0");
    CheckEquals(0.0, SumField(none->FieldByName("amount")), "empty sum");
    CheckEqualsSum(0, none->FieldByName("amount"), 0.001);
    CheckEqualsConcat("", none->FieldByName("name"), "empty join");
    CheckTrue(none->Eof(), "empty dataset at its end");

    auto one = Items("where id = 1");
    CheckEqualsConcat("a", one->FieldByName("name"), "one record: no separator");
    CheckEqualsSum(3, one->FieldByName("amount"), 0.001);

    auto three = Items("where id <= 3");
    three->Last();
    CheckEqualsConcat("a;b;c", three->FieldByName("name"), "from the first record, whatever the position");
    CheckTrue(three->Eof(), "left at its end");
    CheckEqualsSum(9.5, three->FieldByName("amount"), 0.001);
    CheckNotEqualsSum(9.4, three->FieldByName("amount"), 0.001);
    CheckNotEqualsConcat("a;b", three->FieldByName("name"));
    CheckEqualsConcatMD5(corvel5::GetMD5("a;b;c"), three->FieldByName("name"));
    CheckNotEqualsConcatMD5(corvel5::GetMD5("a;b"), three->FieldByName("name"));
  }

  TESSEL_TEST(TestNullAndEmptyValues) {
    // id 4: amount NULL, name ''; id 5: amount 1.25, name NULL; id 6: Unicode.
    auto rows = Items("where id in (1, 4)");
    CheckEqualsConcat("a;", rows->FieldByName("name"), "an empty value is an empty item");
    CheckEqualsSum(3, rows->FieldByName("amount"), 0.001, "NULL adds nothing");
    auto nulls = Items("where id in (4, 5)");
    CheckEqualsConcat(";", nulls->FieldByName("name"), "NULL reads as an empty text");
    CheckEquals(std::string("1.25"), ConcatField(Items("where id = 5")->FieldByName("amount")));
    CheckEqualsConcat("ação €", Items("where id = 6")->FieldByName("name"), "Unicode unchanged");
  }

  TESSEL_TEST(TestSumFailureShowsTheDifference) {
    auto rows = Items("where id <= 2");  // 3 and 4
    CheckEquals(std::string(" Dif: <3.00>, expected: <10> but was: <7>"),
                FailureOf([&] { CheckEqualsSum(10, rows->FieldByName("amount"), 0.001); }));
    TLocale comma(',', "dd/mm/yyyy", "hh:nn:ss");
    CheckEquals(std::string("totals Dif: <-0,50>, expected: <6,5> but was: <7>"),
                FailureOf([&] { CheckEqualsSum(6.5, rows->FieldByName("amount"), 0.001, "totals"); }));
    CheckEquals(std::string("expected: <7> but was: <7>"),
                FailureOf([&] { CheckNotEqualsSum(7, rows->FieldByName("amount"), 0.001); }), "no Dif text");
    CheckEquals(std::string("names, expected: <a;x> but was: <a;b>"),
                FailureOf([&] { CheckEqualsConcat("a;x", rows->FieldByName("name"), "names"); }));
  }

  TESSEL_TEST(TestBadColumnsAreErrors) {
    auto rows = FDb.Query("select name from items where id = 1");
    std::string error;
    try {
      SumField(rows->FieldByName("name"));
    } catch (const DBClient::EDatabaseError& e) {
      error = e.what();
    }
    CheckEquals(std::string("'a' is not a valid floating point value (field ") + rows->Fields(0).FieldName() + ")",
                error);
    DBClient::TField orphan(nullptr, "total", DBClient::TFieldType::ftFloat, 0, 0);
    error.clear();
    try {
      CheckEqualsConcat("", orphan);
    } catch (const ETestFailure&) {
      error = "a failure";
    } catch (const Exception& e) {
      error = e.Message();
    }
    CheckEquals(std::string("The field total belongs to no dataset"), error, "an error of the test, not a crash");
  }

 protected:
  DBClient::TConnection FDb;
};

const char* const kItemsRows[] = {
    "insert into items values (1, 3, 'a')",    "insert into items values (2, 4, 'b')",
    "insert into items values (3, 2.5, 'c')",  "insert into items values (4, NULL, '')",
    "insert into items values (5, 1.25, NULL)", "insert into items values (6, 0, 'ação €')",
};

class TColumnChecksSQLite : public TColumnChecks {
  TESSEL_TESTCASE(TColumnChecksSQLite, TColumnChecks)
 public:
  void Connect(DBClient::TConnection& db) override {
    std::string path = TestDatabases::TempFolder() + "items.sqlite";
    QFile::remove(QtText::ToQ(path));
    db.Open(TestDatabases::SQLite(path));
    db.ExecSQL("create table items (id integer primary key, amount double, name varchar(40))");
    for (const char* row : kItemsRows) db.ExecSQL(row);
  }
};

class TColumnChecksFirebird : public TColumnChecks {
  TESSEL_TESTCASE(TColumnChecksFirebird, TColumnChecks)
 public:
  void Connect(DBClient::TConnection& db) override {
    std::string path = TestDatabases::TempFolder() + "items.fdb";
    static const std::string made = [&] {
      std::string sql = "create table items (id integer not null primary key, amount numeric(15,2), name varchar(40));\n";
      for (const char* row : kItemsRows) sql += std::string(row) + ";\n";
      return TestDatabases::CreateFirebird(path, sql);
    }();
    if (!made.empty()) Fail(made);
    db.Open(TestDatabases::Firebird(path));
  }
};

// ---------------------------------------------------------------------------
// Digests, date-times, case, unsigned values and objects.

class TValueChecks : public TvTestCaseMini {
  TESSEL_TESTCASE(TValueChecks, TvTestCaseMini)
 public:
  TESSEL_TEST(TestDigestsMatchMd5sum) {
    std::string bytes = "ação\r\n\0binary\xff tail";
    bytes += std::string(3 << 20, 'x');  // several read chunks
    std::string path = TestDatabases::TempFolder() + "digest.bin";
    WriteFile(path, bytes);
    std::string expected = Md5sumOf(path);
    CheckEquals(32, static_cast<int>(expected.size()), "md5sum ran");
    CheckEqualsMD5Arquivo(expected, path);
    CheckEqualsMD5(expected, bytes, "text: its UTF-8 bytes");
    std::istringstream stream(bytes);
    stream.ignore(5);
    CheckEqualsMD5(expected, stream, "seek to start", true);
    stream.clear();
    stream.seekg(5);
    WriteFile(path + ".rest", bytes.substr(5));
    CheckEqualsMD5(Md5sumOf(path + ".rest"), stream, "from where it stands", false);
    CheckNotEqualsMD5(expected, std::string("other"));
    CheckNotEqualsMD5Arquivo(expected, path + ".rest");
    CheckEquals(std::string("d41d8cd98f00b204e9800998ecf8427e"), corvel5::GetMD5(std::string()), "empty text");
  }

  TESSEL_TEST(TestUnreadableFileIsAnErrorNamingIt) {
    std::string missing = TestDatabases::TempFolder() + "no such file.txt";
    std::string error;
    try {
      CheckEqualsMD5Arquivo("x", missing);
    } catch (const ETestFailure&) {
      error = "a failure";
    } catch (const std::exception& e) {
      error = e.what();
    }
    CheckTrue(error.find("\"" + missing + "\"") != std::string::npos, "names the file: " + error);
  }

  TESSEL_TEST(TestMd5PreviewCutsAt256Characters) {
    std::string digest = corvel5::GetMD5(std::string("abc"));
    CheckEquals("<abc>\r\n, expected: <0> but was: <" + digest + ">", FailureOf([&] { CheckEqualsMD5("0", "abc"); }));
    CheckEquals("m\r\n<abc>\r\n, expected: <0> but was: <" + digest + ">",
                FailureOf([&] { CheckEqualsMD5("0", "abc", "m"); }));
    // 300 characters of two bytes each: the cut is in characters, not bytes.
    std::string text;
    for (int i = 0; i < 300; ++i) text += "ç";
    std::string first256;
    for (int i = 0; i < 256; ++i) first256 += "ç";
    std::string shown = FailureOf([&] { CheckEqualsMD5("0", text); });
    CheckEquals("<" + first256 + ">...\r\n", shown.substr(0, shown.find(", expected")));
    std::string exactly256 = FailureOf([&] { CheckEqualsMD5("0", first256); });
    CheckEquals("<" + first256 + ">\r\n", exactly256.substr(0, exactly256.find(", expected")), "no ... at 256");
    CheckEquals("expected and actual were: <" + digest + ">",
                FailureOf([&] { CheckNotEqualsMD5(digest, "abc"); }).substr(0), "no preview when not equal");
  }

  TESSEL_TEST(TestDateTimeTolerances) {
    TLocale locale('.', "dd/mm/yyyy", "hh:nn:ss");
    Platform::TDateTime d = Platform::EncodeDateTime(2024, 2, 28, 0, 0, 0, 0);
    CheckEqualsDateTime(d, d + 2.4, 3);
    CheckEquals(std::string("expected: <28/02/2024 + 2> but was: <01/03/2024 14:24:00 => 3>"),
                FailureOf([&] { CheckEqualsDateTime(d, d + 2.6, 2); }));
    // Whole days rounded half to even: 2.5 reads 2, 3.5 reads 4.
    CheckEquals(std::string("expected: <28/02/2024 + 1> but was: <01/03/2024 12:00:00 => 2>"),
                FailureOf([&] { CheckEqualsDateTime(d, d + 2.5, 1); }));
    CheckTrue(FailureOf([&] { CheckEqualsDateTime(d, d - 3.5, 1); }).ends_with(" => 4>"), "3.5 reads 4");
    CheckEquals(std::string("expected: <28/02/2024 + 1> but was: <29/02/2024>"),
                FailureOf([&] { CheckNotEqualsDateTime(d, d + 1, 1); }), "a distance equal to delta is equal");
    CheckNotEqualsDateTime(d, d + 1.01, 1);
    CheckEqualsDateTime(d, d);
    CheckEquals(std::string("when, expected: <28/02/2024> but was: <28/02/2024 00:00:01>"),
                FailureOf([&] { CheckEqualsDateTime(d, d + 1.0 / 86400, "when"); }));
    CheckEquals(std::string("expected and actual were: <28/02/2024 12:00:00>"),
                FailureOf([&] { CheckNotEqualsDateTime(d + 0.5, d + 0.5); }));
    TLocale us('.', "mm-dd-yy", "hh.nn");
    CheckEquals(std::string("expected: <02-28-24 12.00> but was: <02-28-24>"),
                FailureOf([&] { CheckEqualsDateTime(d + 0.5, d); }), "the locale's formats");
  }

  TESSEL_TEST(TestCaseRuleIsAsciiOnly) {
    CheckEqualsStringInsensitive("abc", "ABC");
    CheckNotEqualsStringInsensitive("ação", "AÇÃO");
    CheckEquals(std::string("x, expected: <AçãO> but was: <AÇÃO>"),
                FailureOf([&] { CheckEqualsStringInsensitive("ação", "AÇÃO", "x"); }));
    CheckEquals(std::string("expected and actual were: <ABC>"),
                FailureOf([&] { CheckNotEqualsStringInsensitive("abc", "aBc"); }));
  }

  TESSEL_TEST(TestUnsignedValuesStayUnsigned) {
    CheckEquals(uint32_t{3000000000u}, uint32_t{3000000000u});
    CheckEquals(std::string("expected: <2147483648> but was: <4294967295>"),
                FailureOf([&] { CheckEquals(uint32_t{2147483648u}, uint32_t{4294967295u}); }));
  }

  TESSEL_TEST(TestObjectsUseTheirOwnEquality) {
    struct TPoint : vUtilTestMini::TvObject {
      int X;
      bool Throws;
      TPoint(int x, bool throws = false) : X(x), Throws(throws) {}
      bool Equals(const TvObject* o) const override {
        auto* p = dynamic_cast<const TPoint*>(o);
        return p && p->X == X;
      }
      std::string ToString() const override {
        if (Throws) throw std::runtime_error("no text for this point");
        return "P" + std::to_string(X);
      }
    };
    TPoint a(1), b(1), c(2), bad(3, true);
    CheckEquals(&a, &b);
    CheckNotEquals(&a, &c);
    CheckEquals(std::string("expected: <P1> but was: <no text for this point>"),
                FailureOf([&] { CheckEquals(&a, &bad); }), "a raising ToString shows its message");
    CheckEquals(std::string("expected: <P1> but was: <nil>"), FailureOf([&] { CheckEquals(&a, nullptr); }));
    CheckEquals(std::string("expected and actual were: <P1>"), FailureOf([&] { CheckNotEquals(&a, &b); }));
    bool error = false;
    try {
      CheckEquals(static_cast<const TPoint*>(nullptr), &a);
    } catch (const ETestFailure&) {
    } catch (const Exception&) {
      error = true;
    }
    CheckTrue(error, "an unset expected object is the test's error");
  }

  TESSEL_TEST(TestDirectChecksCountAsChecks) {
    struct TProbe : TvTestCaseMini {
      using TvTestCaseMini::TvTestCaseMini;
    };
    Platform::TDateTime d = 45000;
    auto run = [](auto check) {
      TProbe p("probe");
      check(p);
      return p.CheckCalled();
    };
    CheckTrue(run([&](TProbe& p) { p.CheckEqualsDateTime(d, d); }), "date-time");
    CheckTrue(run([&](TProbe& p) { p.CheckNotEqualsDateTime(d, d + 2, 1); }), "date-time with delta");
    CheckTrue(run([](TProbe& p) { p.CheckEquals(uint32_t{1}, uint32_t{1}); }), "unsigned");
  }

  // Classes that replace a check override these slots; their order is part
  // of the class's layout.
  TESSEL_TEST(TestNewVirtualsFollowInOrder) {
    using S = const std::string&;
    using V = std::string_view;
    using L = TvTestCaseMini::Loc;
    using T = TvTestCaseMini;
    auto slot = [](auto pmf) {
      struct {
        uintptr_t ptr;
        ptrdiff_t adj;
      } raw;
      static_assert(sizeof raw == sizeof pmf);
      std::memcpy(&raw, &pmf, sizeof raw);
      return raw.ptr & 1 ? static_cast<long>(raw.ptr - 1) : -1L;  // vtable offset of a virtual
    };
    long order[] = {
        slot(static_cast<void (T::*)(S, S, V, L)>(&T::CheckEqualsMD5)),
        slot(static_cast<void (T::*)(S, S, V, L)>(&T::CheckNotEqualsMD5)),
        slot(static_cast<void (T::*)(S, std::istream&, V, bool, L)>(&T::CheckEqualsMD5)),
        slot(static_cast<void (T::*)(S, std::istream&, V, bool, L)>(&T::CheckNotEqualsMD5)),
        slot(&T::CheckEqualsMD5Arquivo),
        slot(&T::CheckNotEqualsMD5Arquivo),
        slot(&T::CheckEqualsStringInsensitive),
        slot(&T::CheckNotEqualsStringInsensitive),
    };
    long last = slot(&T::RunTest);
    for (long s : order) {
      CheckTrue(s > last, "each new slot after the one before, and after TTestCase's own");
      last = s;
    }
  }
};

}  // namespace

TESSEL_REGISTER("Business.DatasetChecks", TColumnChecksSQLite);
TESSEL_REGISTER("Business.DatasetChecks", TColumnChecksFirebird);
TESSEL_REGISTER("Business.DatasetChecks", TValueChecks);
