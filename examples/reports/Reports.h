// The reports example: a small sales database, a report file, a parameter
// query module, a client module with its form, and code that asks before it
// deletes, as a business application would have them.
#pragma once

#include <string>

namespace Reports {

// Makes the database (cliente, venda) and the report folder under folder,
// connects the application's connection to it and points the product's INI
// file at the reports.
void Preparar(const std::string& folder);
void Encerrar();

// The folder of the report files.
std::string PastaRelatorios();

// Asks "Excluir o cliente <nome>?" and deletes the client when the answer
// is yes (6). Returns whether it deleted.
bool ExcluirCliente(int id);

}  // namespace Reports
