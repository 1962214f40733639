// The sales application's business tests and what their program needs.
#pragma once

#include <string>

class QWidget;

namespace SalesApp {

// Registers the Firebird suite named suiteName (its database is
// DataRoot() + suiteName + ".fdb") with the rollback suite of the tests.
void RegisterSalesTests(const std::string& suiteName);
// Writes what the widget shows to a PNG beside the program.
void SaveScreenshot(QWidget* widget, const std::string& fileName);
// Creates the Firebird database file from schema.sql; "" or what went wrong.
std::string CreateDatabase(const std::string& fdbPath, const std::string& schemaPath);
// Rows of a table counted through a connection of its own.
long long CountRows(const std::string& fdbPath, const std::string& table);

}  // namespace SalesApp
