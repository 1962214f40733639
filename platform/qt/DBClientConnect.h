// Internal to the database layer: what a connection needs before Qt's
// driver is handed it, namely ODBC connection strings that carry any value
// intact, a bounded look at a Firebird server, and a private lock folder
// for the embedded engine.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace DBClient::Detail {

using TOdbcAttributes = std::vector<std::pair<std::string, std::string>>;

// The attributes of an ODBC connection string ("KEY=value;KEY={va;lue}"),
// braced values read with "}}" as one "}". Raises EDatabaseError for a
// malformed string, naming the attribute but never a value.
TOdbcAttributes ParseOdbc(std::string_view text);
// The string for the driver: every value that needs it braced, each
// attribute ended by ";". For FreeTDS, which ends a braced value at the
// first "};" and reads "}}" as two braces, a "}" goes in single; a value
// holding "};" cannot reach it at all and is refused (by its key only).
std::string JoinOdbc(const TOdbcAttributes& attributes, bool freeTds);
// Whether the attributes name FreeTDS's driver.
bool IsFreeTds(const TOdbcAttributes& attributes);
// The forms a value may take in a connection string, for masking.
std::vector<std::string> OdbcForms(const std::string& value);

// "" when host:port takes a connection and answers a Firebird connect
// request within seconds, else why not, naming the server. Firebird's client
// waits three minutes on a server that accepts and stays silent, and its
// own timeout cannot be set through Qt's driver.
std::string ProbeFirebird(const std::string& host, int port, const std::string& database, const std::string& user,
                          int seconds);

// FIREBIRD_LOCK, unless the environment names one: a folder of this user's
// that nobody else can write to, the same for every process of the user.
void EnsurePrivateFirebirdLock();

}  // namespace DBClient::Detail
