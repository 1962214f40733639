// Real databases for the business tests and benchmarks: SQLite files and
// embedded Firebird files, made fresh in a private temporary folder.
#pragma once

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/qt/DBClient.h"
#include "platform/qt/QtText.h"

namespace TestDatabases {

inline const std::string& TempFolder() {
  static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tessel-business-XXXXXX"));
  static const std::string path = QtText::FromQ(dir.path()) + "/";
  return path;
}

// The embedded engine's lock files go to a folder of our own, as the
// database layer does for its own connections.
inline void PrivateFirebirdLock() {
  if (std::getenv("FIREBIRD_LOCK")) return;
  std::string lock = TempFolder() + "fblock";
  QDir().mkpath(QtText::ToQ(lock));
  setenv("FIREBIRD_LOCK", lock.c_str(), 1);
}

// Creates a Firebird database file with isql-fb on the embedded engine and
// runs sql in it (statements ended by ";"). Returns "" or what went wrong.
inline std::string CreateFirebird(const std::string& path, const std::string& sql) {
  PrivateFirebirdLock();
  QFile::remove(QtText::ToQ(path));
  QProcess isql;
  isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-b")});
  if (!isql.waitForStarted(5000)) return "isql-fb does not start (package firebird3.0-utils): " + QtText::FromQ(isql.errorString());
  std::string script = "create database '" + path + "' user 'SYSDBA' default character set UTF8;\n" + sql + "\ncommit;\n";
  isql.write(script.data(), static_cast<qint64>(script.size()));
  isql.closeWriteChannel();
  if (!isql.waitForFinished(120000)) return "isql-fb did not finish";
  if (isql.exitCode() != 0) return "isql-fb failed: " + isql.readAllStandardError().toStdString();
  return {};
}

inline DBClient::TConnectionParams SQLite(const std::string& path, bool create = true) {
  DBClient::TConnectionParams p;
  p.Driver = "QSQLITE";
  p.Database = path;
  p.CreateIfMissing = create;
  return p;
}

inline DBClient::TConnectionParams Firebird(const std::string& path) {
  DBClient::TConnectionParams p;
  p.Driver = "QIBASE";
  p.Database = path;
  p.UserName = "SYSDBA";
  return p;
}

// Rows of a table as seen by a connection of its own.
inline int64_t CountRows(const DBClient::TConnectionParams& params, const std::string& table) {
  DBClient::TConnection c;
  c.Open(params);
  auto ds = c.Query("select count(*) from " + table);
  ds->First();
  return ds->Fields(0).AsInteger();
}

}  // namespace TestDatabases
