// SumField and ConcatField over a large table against a plain QSqlQuery loop
// doing the same work, on SQLite and on an embedded Firebird file; and the
// MD5 of a large file against md5sum. Each figure is the best of five rounds
// in the same process, so both sides see the same cache.
//
//   bench_business [rows=1000000] [megabytes=100]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>
#include <functional>
#include <string>

#include "business/CorvelFramework.h"
#include "business/vUtilTestMini.h"
#include "tests/business/Databases.h"

namespace {

// Best of five rounds, the two sides taking turns within each round, so a
// busy moment of the shared machine hurts both alike.
std::pair<double, double> BestOfPairs(const std::function<void()>& ours, const std::function<void()>& peer) {
  double best[2] = {1e300, 1e300};
  for (int round = 0; round < 5; ++round)
    for (int side = 0; side < 2; ++side) {
      QElapsedTimer t;
      t.start();
      (side == 0 ? ours : peer)();
      best[side] = std::min(best[side], static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
  return {best[0], best[1]};
}

struct TProbe : vUtilTestMini::TvTestCaseMini {
  using TvTestCaseMini::TvTestCaseMini;
};

void Row(const char* what, double tessel, double plain) {
  std::printf("%-34s %9.3f s %9.3f s %7.2f\n", what, tessel, plain, tessel / plain);
}

// The same work without the dataset layer: read each value once, in order.
double PlainSum(const std::string& connection, const QString& sql) {
  QSqlQuery q(QSqlDatabase::database(QtText::ToQ(connection)));
  q.setForwardOnly(true);
  q.exec(sql);
  double sum = 0;
  while (q.next()) sum += q.value(0).toDouble();
  return sum;
}

std::string PlainConcat(const std::string& connection, const QString& sql) {
  QSqlQuery q(QSqlDatabase::database(QtText::ToQ(connection)));
  q.setForwardOnly(true);
  q.exec(sql);
  std::string out;
  while (q.next()) {
    out += q.value(0).toString().toStdString();
    out += ';';
  }
  if (!out.empty()) out.pop_back();
  return out;
}

void Compare(const char* engine, DBClient::TConnection& db, bool& ok) {
  TProbe probe("bench");
  double sumT = 0, sumP = 0;
  std::string catT, catP;
  auto [ts, ps] = BestOfPairs([&] { sumT = probe.SumField(db.Query("select amount from t")->Fields(0)); },
                              [&] { sumP = PlainSum(db.ConnectionName(), QStringLiteral("select amount from t")); });
  auto [tc, pc] = BestOfPairs([&] { catT = probe.ConcatField(db.Query("select name from t")->Fields(0)); },
                              [&] { catP = PlainConcat(db.ConnectionName(), QStringLiteral("select name from t")); });
  Row((std::string(engine) + " SumField").c_str(), ts, ps);
  Row((std::string(engine) + " ConcatField").c_str(), tc, pc);
  if (sumT != sumP || catT != catP) {
    std::printf("  results differ: %.17g vs %.17g, %zu vs %zu bytes\n", sumT, sumP, catT.size(), catP.size());
    ok = false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const long megabytes = argc > 2 ? std::atol(argv[2]) : 100;
  bool ok = true;
  std::printf("%-34s %11s %11s %7s\n", "", "Tessel", "plain loop", "ratio");

  std::string lite = TestDatabases::TempFolder() + "bench.sqlite";
  {
    DBClient::TConnection db;
    db.Open(TestDatabases::SQLite(lite));
    db.ExecSQL("create table t (id integer primary key, amount double, name varchar(20))");
    db.ExecSQL(
        "insert into t with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        std::to_string(rows) + ") select i, i * 0.25, 'name ' || i from n");
    Compare("SQLite", db, ok);
  }

  std::string fdb = TestDatabases::TempFolder() + "bench.fdb";
  std::string made = TestDatabases::CreateFirebird(
      fdb, "create table t (id integer not null, amount double precision, name varchar(20));\n"
           "set term ^;\nexecute block as declare i integer = 1; begin while (i <= " +
               std::to_string(rows) +
               ") do begin insert into t values (:i, :i * 0.25, 'name ' || :i); i = i + 1; end end^\nset term ;^\n");
  if (!made.empty()) {
    std::printf("Firebird: %s\n", made.c_str());
    ok = false;
  } else {
    DBClient::TConnection db;
    db.Open(TestDatabases::Firebird(fdb));
    Compare("Firebird embedded", db, ok);
  }

  std::string big = TestDatabases::TempFolder() + "bench.bin";
  {
    QFile f(QtText::ToQ(big));
    f.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (long i = 0; i < megabytes; ++i) f.write(block);
  }
  std::string ours, theirs;
  auto [t, m] = BestOfPairs([&] { ours = corvel5::GetMD5Arquivo(big); },
                            [&] {
                              QProcess p;
                              p.start(QStringLiteral("md5sum"), {QtText::ToQ(big)});
                              p.waitForFinished(-1);
                              theirs = p.readAllStandardOutput().left(32).toStdString();
                            });
  std::printf("%-34s %9.3f s %9.3f s %7.2f   (%.0f vs %.0f MB/s)\n", ("MD5 of " + std::to_string(megabytes) + " MB").c_str(),
              t, m, t / m, megabytes / t, megabytes / m);
  if (ours != theirs) {
    std::printf("  digests differ: %s vs %s\n", ours.c_str(), theirs.c_str());
    ok = false;
  }
  QFile::remove(QtText::ToQ(big));
  return ok ? 0 : 1;
}
