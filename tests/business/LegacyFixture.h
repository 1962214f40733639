// What the tests of unit vUtilTeste share: a fresh SQLite database of
// clients and orders on the application's connection, a second connection
// that counts rows from outside, and running a suite to read its outcome.
#pragma once

#include <QFile>

#include "business/CorvelFramework.h"
#include "business/vUtilTeste.h"
#include "framework/TestFramework.h"
#include "tests/business/Checks.h"
#include "tests/business/Databases.h"

namespace LegacyFixture {

using namespace TestFramework;

inline std::string DatabasePath() { return TestDatabases::TempFolder() + "legacy.sqlite"; }

// cliente(id key, nome, email unique), pedido(id key, cliente -> cliente),
// venda(ano, cliente, total): two clients, three sales.
inline void CreateDatabase() {
  corvelbase5::DestruirvDMConexaoParaTests();
  const std::string path = DatabasePath();
  QFile::remove(QtText::ToQ(path));
  {
    DBClient::TConnection db;
    db.Open(TestDatabases::SQLite(path));
    db.ExecSQL("create table cliente (id integer primary key, nome varchar(30) not null, email varchar(40))");
    db.ExecSQL("create unique index ix_cliente_email on cliente (email)");
    db.ExecSQL("create table pedido (id integer primary key, cliente integer references cliente (id), total real)");
    db.ExecSQL("create table venda (ano integer, cliente varchar(30), total real)");
    db.ExecSQL("insert into cliente values (1, 'Ana', 'ana@x.br'), (2, 'Bia', 'bia@x.br')");
    db.ExecSQL("insert into venda values (2024, 'Ana', 10.5), (2024, 'Bia', 20), (2025, 'Ana', 7)");
  }
  corvelbase5::CriarvDMConexaoParaTests(path, "", "", true, corvelbase5::TvTipoBanco::tbSQLite, 0, 0, false);
  corvelbase5::vDMConexao->ExecuteCommand("pragma foreign_keys = on");
}

// Rows of a table as seen by a connection of its own.
inline int CountRows(const std::string& table) {
  return static_cast<int>(TestDatabases::CountRows(TestDatabases::SQLite(DatabasePath(), false), table));
}

// Runs a test (usually a suite) and gives its failures and errors as
// "FAILURE name: message" / "ERROR name: message" lines.
inline std::vector<std::string> Outcome(const ITestPtr& test, int* runCount = nullptr) {
  auto result = vUtilTeste::RunTest(test, {});
  std::vector<std::string> out;
  for (int i = 0; i < result->FailureCount(); ++i)
    out.push_back("FAILURE " + result->Failures(i).FailedTest()->GetName() + ": " +
                  result->Failures(i).ThrownExceptionMessage());
  for (int i = 0; i < result->ErrorCount(); ++i)
    out.push_back("ERROR " + result->Errors(i).FailedTest()->GetName() + ": " + result->Errors(i).ThrownExceptionMessage());
  if (runCount) *runCount = result->RunCount();
  return out;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

using BusinessChecks::Contains;
using BusinessChecks::ErrorOf;

}  // namespace LegacyFixture
