// A business test program as its users write one, with its main from
// Tessel::main (linked shared and static): a SQL Server and a Firebird
// suite that reach the servers and password the environment names
// (TESSEL_MSSQL_SERVER and _PASSWORD, TESSEL_FIREBIRD_REDE), and a test whose datasets
// differ, so that it writes difference files and the developer's scratch
// file to the temporary folder.
#include "business/CorvelFramework.h"
#include "business/vUtilTest.h"
#include "platform/qt/DBClient.h"

using namespace TestFramework;

namespace {

std::unique_ptr<DBClient::TClientDataSet> Clientes(const char* second) {
  auto ds = std::make_unique<DBClient::TClientDataSet>();
  ds->AddField("id", DBClient::TFieldType::ftInteger);
  ds->AddField("nome", DBClient::TFieldType::ftString, 40);
  ds->AppendRecord({int64_t{1}, std::string("Ana")});
  ds->AppendRecord({int64_t{2}, std::string(second)});
  return ds;
}

class TDiferencaTests : public vUtilTest::TvTestCase {
  TESSEL_TESTCASE(TDiferencaTests, vUtilTest::TvTestCase)
 public:
  TESSEL_TEST(TestClientes) {
    corvelbase5::GravarArquivoO("rascunho de TestClientes\r\n");
    CheckEquals(Clientes("Bia"), Clientes("Bea"), "", false);
  }
};

class TConsultaTests : public vUtilTest::TvTestCase {
  TESSEL_TESTCASE(TConsultaTests, vUtilTest::TvTestCase)
 public:
  TESSEL_TEST(TestConsulta) { CheckEquals(1, corvelbase5::vDMConexao->ExecuteQueryView("select 1")->RecordCount()); }
};

TESSEL_REGISTER("Negocio", TDiferencaTests);

[[maybe_unused]] const bool kRegistered = [] {
  auto suite = std::make_shared<vUtilTest::TvTestSuiteMSSQL>("TestesEscrituracaoDigital");
  suite->AddTest(TConsultaTests::Suite());
  RegisterTest("Banco", suite);
  auto firebird = std::make_shared<vUtilTest::TvTestSuiteFireBird>("TestesContabil");
  firebird->AddTest(TConsultaTests::Suite());
  RegisterTest("Rede", firebird);
  return true;
}();

}  // namespace
