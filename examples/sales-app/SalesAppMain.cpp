// The sales application's business tests: creates a fresh Firebird
// database from schema.sql in a private data folder, runs the tests with the
// console runner, then counts the orders with a connection of its own to
// show that the suite rolled back what its tests wrote.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "business/CorvelFramework.h"
#include "business/vUtilTest.h"
#include "examples/sales-app/SalesAppTests.h"
#include "platform/Paths.h"
#include "platform/qt/DBClient.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"
#include "runners/TextTestRunner.h"

namespace SalesApp {

void SaveScreenshot(QWidget* widget, const std::string& fileName) {
  widget->grab().save(QtText::ToQ(Platform::ProgramDir() + fileName));
}

std::string CreateDatabase(const std::string& fdbPath, const std::string& schemaPath) {
  QFile schema(QtText::ToQ(schemaPath));
  if (!schema.open(QIODevice::ReadOnly)) return "cannot read " + schemaPath;
  QFile::remove(QtText::ToQ(fdbPath));
  QProcess isql;
  isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-b")});
  if (!isql.waitForStarted(5000)) return "isql-fb does not start (package firebird3.0-utils)";
  std::string script = "create database '" + fdbPath + "' user 'SYSDBA' default character set UTF8;\n" +
                       schema.readAll().toStdString() + "\ncommit;\n";
  isql.write(script.data(), static_cast<qint64>(script.size()));
  isql.closeWriteChannel();
  if (!isql.waitForFinished(120000)) return "isql-fb did not finish";
  if (isql.exitCode() != 0) return "isql-fb failed: " + isql.readAllStandardError().toStdString();
  return {};
}

long long CountRows(const std::string& fdbPath, const std::string& table) {
  DBClient::TConnection c;
  DBClient::TConnectionParams p;
  p.Driver = "QIBASE";
  p.Database = fdbPath;
  p.UserName = "SYSDBA";
  c.Open(p);
  auto ds = c.Query("select count(*) from " + table);
  ds->First();
  return ds->Fields(0).AsInteger();
}

}  // namespace SalesApp

int main() {
  std::string why;
  if (!Forms::EnsureApplication(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  // A dialog nobody answers is an error, never a wait.
  corvel5::FModoTeste = true;
  QTemporaryDir dados(QDir::tempPath() + QStringLiteral("/sales-app-XXXXXX"));
  const std::string root = QtText::FromQ(dados.path()) + "/";
  setenv("TESSEL_DADOS", root.c_str(), 1);
  const std::string lock = root + "fblock";
  QDir().mkpath(QtText::ToQ(lock));
  setenv("FIREBIRD_LOCK", lock.c_str(), 0);

  const std::string fdb = root + "Vendas.fdb";
  std::string error = SalesApp::CreateDatabase(fdb, SALES_APP_SCHEMA);
  if (!error.empty()) {
    std::fprintf(stderr, "Cannot create the sales database: %s\n", error.c_str());
    return 2;
  }
  SalesApp::RegisterSalesTests("Vendas");
  auto result = TextTestRunner::RunRegisteredTests(TextTestRunner::rxbContinue);
  const long long pedidos = SalesApp::CountRows(fdb, "pedidos");
  const long long clientes = SalesApp::CountRows(fdb, "clientes");
  std::printf("After the suite: %lld orders and %lld customers in %s (2 and 3 before: %s)\n", pedidos, clientes,
              fdb.c_str(), pedidos == 2 && clientes == 3 ? "rolled back" : "NOT ROLLED BACK");
  return result->WasSuccessful() && pedidos == 2 && clientes == 3 ? 0 : 1;
}
