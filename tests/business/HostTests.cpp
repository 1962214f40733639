// The reference host's four libraries, used as the business units use them:
// texts and ciphers, SQL literals and where clauses run on a real database,
// files and INI files, the connection module on SQLite and embedded
// Firebird, client-dataset comparison, scenarios, the CSV export, and forms,
// dialogs and packages by name.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <sstream>

#include "business/CorvelFramework.h"
#include "framework/TestFramework.h"
#include "platform/LocaleSettings.h"
#include "platform/qt/Forms.h"
#include "tests/business/Checks.h"
#include "tests/business/Databases.h"

// GCC 12 warns of an uninitialised variant copied out of an initializer
// list of rows; the copy is of initialised values (a known false positive).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

using namespace TestFramework;
using namespace corvelbase5;
using namespace corvelbaseutil5;
using DBClient::TValue;

namespace {

using BusinessChecks::Contains;
using BusinessChecks::ErrorOf;

std::string ReadAll(const std::string& path) {
  QFile f(QtText::ToQ(path));
  f.open(QIODevice::ReadOnly);
  return f.readAll().toStdString();
}

class THostTexts : public TTestCase {
  TESSEL_TESTCASE(THostTexts, TTestCase)
 public:
  TESSEL_TEST(TestTokensAndJoins) {
    std::string script = "6;;7";
    std::vector<std::string> tokens;
    while (!script.empty()) tokens.push_back(corvel5::PegarProximoToken(script, ";"));
    CheckEquals(3, static_cast<int>(tokens.size()));
    CheckTrue(tokens[0] == "6" && tokens[1].empty() && tokens[2] == "7", "an empty item in the middle is kept");
    std::string joined;
    corvel5::Add(joined, "a", "\r\n");
    corvel5::Add(joined, "", "\r\n", true);
    corvel5::Add(joined, "b", "\r\n");
    CheckEquals(std::string("a\r\nb"), joined, "separator only between items");
    CheckEquals(std::string(), corvel5::TemDados("(", "", ")"));
    CheckEquals(std::string("(x)"), corvel5::TemDados("(", "x", ")"));
    CheckTrue(corvel5::PegarDirTemp().ends_with("/"), "temporary directory ends with a separator");
  }

  TESSEL_TEST(TestCipherRoundTripsAndRejectsGarbage) {
    for (std::string text : {std::string(), std::string("987"), std::string("/dados/base ação.fdb"), std::string(300, 'z')}) {
      std::string cipher = corvel5::Cripto(text);
      CheckTrue(text.empty() || cipher.find(text) == std::string::npos, "the text does not show in its cipher");
      CheckEquals(text, corvel5::DeCripto(cipher), "round trip");
    }
    CheckNotEquals(corvel5::Cripto("123"), corvel5::Cripto("456"));
    CheckTrue(Contains(ErrorOf([] { corvel5::DeCripto("XYZ"); }), "is not an enciphered text"), "malformed cipher");
  }

  // A literal is right when the database reads back exactly the value.
  TESSEL_TEST(TestSqlLiteralsReadBackExactly) {
    std::string path = TestDatabases::TempFolder() + "literals.sqlite";
    QFile::remove(QtText::ToQ(path));
    DBClient::TConnection db;
    db.Open(TestDatabases::SQLite(path));
    db.ExecSQL("create table t (n integer, v)");
    const TValue values[] = {std::string("O'Brien; drop table t; --"), std::string("ação € 𝄞"), int64_t{-9007199254740993},
                             0.1, 1e-300, std::monostate{}, std::string()};
    int n = 0;
    for (const auto& v : values) db.ExecSQL("insert into t values (" + std::to_string(n++) + ", " + corvel5::ValorParaSQL(v) + ")");
    auto back = db.Query("select v from t order by n");
    CheckEquals(n, back->RecordCount(), "every statement ran, the quote did not end it");
    for (int i = 0; i < n; ++i) CheckTrue(back->Cell(i, 0) == values[i], "value " + std::to_string(i) + " read back");
    CheckEquals(std::string("'2024-02-29 18:00:00'"), corvel5::ValorParaSQLData(45351.75));
    CheckTrue(Contains(ErrorOf([] { corvel5::ValorParaSQL(std::numeric_limits<double>::infinity()); }), "finite"),
              "no literal for infinity");
  }
};

class THostFiles : public TTestCase {
  TESSEL_TESTCASE(THostFiles, TTestCase)
 public:
  TESSEL_TEST(TestTextFiles) {
    std::string dir = TestDatabases::TempFolder() + "files/a/b/";
    std::string path = dir + "cenariotest.txt";
    CheckEquals(std::string(), LerArquivo(path), "missing: empty");
    GravarArquivo("\xEF\xBB\xBF/dados/cenarios/\r\n \r\n", path);
    CheckEquals(std::string("/dados/cenarios/"), LerArquivo(path), "BOM and trailing breaks stripped, folders made");
    CheckEquals(std::string("/dados/cenarios/\r\n \r\n"), LerArquivo(path, false), "kept when asked");
    GravarArquivo("x", path, true);
    CheckTrue(ReadAll(path).ends_with(" \r\nx"), "append");
    GravarArquivo("scratch", "");
    CheckEquals(std::string("scratch"), LerArquivo(corvel5::PegarDirTemp() + "GravarArquivo.txt"), "empty name: scratch file");
    CheckEquals(std::string("dev"), LerArquivo(GravarArquivoO("dev")));
    QFile(QtText::ToQ(path)).setPermissions(QFileDevice::WriteOwner);
    if (geteuid() == 0)
      Status("running as root: an unreadable file cannot be made, that case is not checked");
    else
      CheckTrue(Contains(ErrorOf([&] { LerArquivo(path); }), "\"" + path + "\""), "unreadable: an error naming it");
  }

  TESSEL_TEST(TestIniFiles) {
    std::string path = TestDatabases::TempFolder() + "conexao.ini";
    {
      auto ini = CriarINI(path);
      GravarINI(*ini, corvel5::Cripto("987"), corvel5::Cripto("123"), corvel5::Cripto("/dados/x.fdb"));
    }
    auto ini = CriarINI(path);
    std::string stored = QtText::FromQ(ini->value(QtText::ToQ(corvel5::Cripto("987") + "/" + corvel5::Cripto("123"))).toString());
    CheckEquals(std::string("/dados/x.fdb"), corvel5::DeCripto(stored));
    CheckFalse(Contains(ReadAll(path), "dados"), "the file holds only enciphered names and values");
    auto bad = CriarINI("/proc/no/such/dir/x.ini");
    CheckTrue(Contains(ErrorOf([&] { GravarINI(*bad, "s", "k", "v"); }), "/proc/no/such/dir/x.ini"), "unwritable INI");
  }
};

class THostConnection : public TTestCase {
  TESSEL_TESTCASE(THostConnection, TTestCase)
 public:
  void TearDown() override { DestruirvDMConexaoParaTests(); }

  void Exercise(const std::string& what) {
    int ticks = 0;
    corvel5::FRadialEvent = [&](QObject*) { ++ticks; };
    vDMConexao->StartTransaction();
    vDMConexao->ExecuteCommand("insert into cliente values (3, 'Caio')");
    auto rows = vDMConexao->ExecuteQueryView("select nome from cliente order by id");
    CheckEquals(std::string("Ana;Bia;Caio"), [&] {
      std::string s;
      for (rows->First(); !rows->Eof(); rows->Next()) corvel5::Add(s, rows->Fields(0).AsString(), ";");
      return s;
    }(), what);
    vDMConexao->RollBack();
    CheckEquals(2, vDMConexao->ExecuteQueryView("select * from cliente")->RecordCount(), what + ": rolled back");
    CheckEquals(3, ticks, what + ": one progress tick per statement");
    corvel5::FRadialEvent = nullptr;
    CheckEquals(std::string("ID"), QtText::UpperAscii(PegarChavePrimaria("CLIENTE")), what + ": primary key");
    CheckEquals(std::string("NOME, ID"), QtText::UpperAscii(PegarEstruturaIndex("IX_CLIENTE_NOME")), what + ": index");
  }

  TESSEL_TEST(TestSQLite) {
    std::string path = TestDatabases::TempFolder() + "host.sqlite";
    QFile::remove(QtText::ToQ(path));
    {
      DBClient::TConnection db;
      db.Open(TestDatabases::SQLite(path));
      db.ExecSQL("create table cliente (id integer primary key, nome varchar(20))");
      db.ExecSQL("create index ix_cliente_nome on cliente (nome, id)");
      db.ExecSQL("insert into cliente values (1, 'Ana'), (2, 'Bia')");
    }
    CriarvDMConexaoParaTests(path, "", "", true, TvTipoBanco::tbSQLite, 0, 0, false);
    Exercise("SQLite");
    CheckTrue(Contains(ErrorOf([] { PegarEstruturaChaveEstrangeira("FK_X"); }), "Firebird only"), "SQLite has no named keys");
  }

  TESSEL_TEST(TestFirebirdEmbedded) {
    std::string path = TestDatabases::TempFolder() + "host.fdb";
    std::string made = TestDatabases::CreateFirebird(
        path,
        "create table cliente (id integer not null primary key, nome varchar(20));\n"
        "create index ix_cliente_nome on cliente (nome, id);\n"
        "create table pedido (id integer not null, cliente integer, constraint fk_pedido_cliente foreign key (cliente) "
        "references cliente (id));\n"
        "insert into cliente values (1, 'Ana');\ninsert into cliente values (2, 'Bia');\n");
    if (!made.empty()) Fail(made);
    CriarvDMConexaoParaTests(path, "SYSDBA", "", true, TvTipoBanco::tbFirebird, 0, 0, false);
    CheckEquals("QIBASE " + path, vDMConexao->Conexao().Describe(), "a bare path opens the file, no server");
    Exercise("Firebird");
    CheckEquals(std::string("CLIENTE"), PegarEstruturaChaveEstrangeira("fk_pedido_cliente"));
  }

  TESSEL_TEST(TestUnavailableDatabasesNameTheDriver) {
    std::string e = ErrorOf([] { CriarvDMConexaoParaTests("//db/XE", "u", "p", true, TvTipoBanco::tbOracle, 1, 1, false); });
    CheckTrue(Contains(e, "QOCI is not installed"), e);
    CheckTrue(vDMConexao == nullptr, "no half-made connection left behind");
    e = ErrorOf([] { CriarvDMConexaoParaTests("127.0.0.1:1/db", "sa", "Pw-123456", true, TvTipoBanco::tbMSSQL, 1, 1, false); });
    CheckTrue(Contains(e, "QODBC"), e);
    CheckFalse(Contains(e, "Pw-123456"), "the password never shows: " + e);
  }
};

class THostDataSets : public TTestCase {
  TESSEL_TESTCASE(THostDataSets, TTestCase)
 public:
  static std::unique_ptr<DBClient::TClientDataSet> Make(std::vector<std::vector<TValue>> rows, bool extraField = false) {
    auto ds = std::make_unique<corvel5::TvClientDataSet>();
    ds->AddField("id", DBClient::TFieldType::ftInteger);
    ds->AddField("nome", DBClient::TFieldType::ftString);
    if (extraField) ds->AddField("extra", DBClient::TFieldType::ftString);
    for (auto& r : rows) {
      if (extraField) r.push_back(std::monostate{});
      ds->AppendRecord(r);
    }
    return ds;
  }

  TESSEL_TEST(TestCompareCDSFillsEachKind) {
    TvArrayCDS same;
    same[0] = Make({{int64_t{1}, std::string("a")}});
    same[1] = Make({{int64_t{1}, std::string("a")}});
    CheckFalse(CompareCDS(same), "equal");
    for (int i = 2; i < 6; ++i) CheckEquals(0, same[i]->RecordCount(), NomeCompareEstruturaCDS(static_cast<TvCompareEstruturaCDS>(i)));

    TvArrayCDS cds;
    cds[0] = Make({{int64_t{1}, std::string("a")}, {int64_t{2}, std::string("B")}, {int64_t{3}, std::monostate{}}}, true);
    cds[1] = Make({{int64_t{1}, std::string("a")}, {int64_t{2}, std::string("b")}});
    CheckTrue(CompareCDS(cds), "different");
    CheckEquals(std::string("3"), cds[2]->Fields(0).AsString(), "only in the actual");
    CheckEquals(0, cds[3]->RecordCount(), "nothing only in the expected");
    CheckEquals(std::string("B"), cds[4]->FieldByName("nome").AsString(), "the differing record, case counts");
    CheckEquals(std::string("extra"), cds[5]->Fields(0).AsString(), "structure");
    CheckEquals(std::string("vcecEstrutura"), std::string(NomeCompareEstruturaCDS(TvCompareEstruturaCDS::vcecEstrutura)));
    for (auto& slot : cds) DestruirSQL(slot);
    CheckTrue(!cds[0] && !cds[5], "freed");
  }

  TESSEL_TEST(TestXmlFilesAndTheRegistry) {
    corvel5::CDSLimpar();
    std::string path = TestDatabases::TempFolder() + "esperado.xml";
    CheckTrue(LerXMLToCDS(path) == nullptr, "missing file: none");
    {
      auto ds = Make({{int64_t{1}, std::string("<a&b>")}});
      static_cast<DBClient::TClientDataSet&>(*ds).SaveToFile(path);
      CheckEquals(1, static_cast<int>(corvel5::FCDSList.size()), "registered while it lives");
    }
    CheckEquals(0, static_cast<int>(corvel5::FCDSList.size()), "unregistered when freed");
    auto back = LerXMLToCDS(path);
    CheckEquals(std::string("<a&b>"), back->FieldByName("nome").AsString());
    back->Name = "cdsEsperado";
    auto all = CriarCenarios(corvel5::FCDSList);
    CheckEquals(std::string("nome=<a&b>"), PegarCenarioStr(all->Item(0).Item(0)).substr(6), "one scenario per record");
    corvel5::CDSLimpar();
    CheckEquals(0, static_cast<int>(corvel5::FCDSList.size()), "CDSLimpar forgets");
  }
};

class THostScenarios : public TTestCase {
  TESSEL_TESTCASE(THostScenarios, TTestCase)
 public:
  TESSEL_TEST(TestTextRoundTripAndDifferences) {
    TvListCampoValor list;
    list.Add().Add("id", int64_t{1});
    list.Item(0).Add("nome", std::string("a=b"));
    list.Add().Add("id", int64_t{2});
    list.Item(1).Add("nome", std::monostate{});
    std::string text = PegarCenarioStr(list);
    CheckEquals(std::string("id=1\r\nnome=a=b\r\n--\r\nid=2\r\nnome=<null>"), text);
    std::string path = TestDatabases::TempFolder() + "cenario.txt";
    GravarArquivo(text, path);
    auto back = CriarCenarios(path);
    CheckEquals(std::string(), CompararCenarios(list, *back), "read back equal (the number 1 and the text 1 agree)");
    back->Item(1).Add("novo", std::string("x"));
    TvListCampoValor shorter;
    shorter.Add().Add("id", std::string("9"));
    CheckEquals(std::string("Quantidade de cenários: esperado 2 gerado 1\r\n[0] Campo id: esperado <1> gerado <9>\r\n"
                            "[0] Campo nome: esperado <a=b> não gerado"),
                CompararCenarios(list, shorter));
    CheckEquals(std::string("[1] Campo novo: gerado <x> não esperado"), CompararCenarios(list, *back));
    CheckTrue(Contains(ErrorOf([] { CriarCenario({"ok=1", "no equals sign"}); }), "line 2"), "malformed line named");
    auto lines = CriarCenarios(std::vector<std::string>{"a,b", "1,2"});
    CheckEquals(std::string("Linha=1,2"), PegarCenarioStr(lines->Item(1)), "export lines: one scenario each");
  }

  TESSEL_TEST(TestWhereClausesRunForReal) {
    std::string path = TestDatabases::TempFolder() + "where.sqlite";
    QFile::remove(QtText::ToQ(path));
    DBClient::TConnection db;
    db.Open(TestDatabases::SQLite(path));
    db.ExecSQL("create table cliente (id integer, nome varchar(20), obs varchar(20))");
    db.ExecSQL("insert into cliente values (1, 'D''Ávila', null), (2, 'D''Ávila', 'x'), (3, 'Bia', null)");
    TvCampoValor filtro;
    filtro.Add("nome", std::string("D'Ávila"));
    filtro.Add("obs", std::monostate{});
    CheckEquals(std::string("where nome = 'D''Ávila' and obs is null"), MontaWhere(&filtro, true, ""));
    CheckEquals(std::string("and nome = 'D''Ávila' and obs is null"), MontaWhere(&filtro, false, "and "));
    CheckEquals(std::string(), MontaWhere(nullptr, true, ""));
    auto rows = db.Query(CriarSQL("cliente", &filtro));
    CheckEquals(1, rows->RecordCount());
    CheckEquals(std::string("1"), rows->FieldByName("id").AsString(), "the one row the filter names");
    CheckEquals(std::string("select * from cliente"), CriarSQL("cliente", nullptr));
    auto proc = FormatProcedureLines("Result", {"a)x\"b"});
    CheckEquals(std::string("      R\"xx(a)x\"b)xx\","), proc[2], "a raw literal the line cannot end");
  }
};

class THostReport : public TTestCase {
  TESSEL_TESTCASE(THostReport, TTestCase)
 public:
  TESSEL_TEST(TestCsvExport) {
    corvelreport5::TvReportPreview preview;
    preview.Dados.AddField("Cliente", DBClient::TFieldType::ftString);
    preview.Dados.AddField("Total", DBClient::TFieldType::ftFloat);
    preview.Dados.AppendRecord({std::string("Ana \"A\", Lda"), 1.5});
    preview.Dados.AppendRecord({std::string("linha\r\nnova"), std::monostate{}});
    corvelreport5::TvrwExportCSV csv;
    csv.SetPreview(&preview);
    csv.PrintReportTo();
    std::stringstream all;
    all << csv.GetDestino().rdbuf();
    CheckEquals(std::string("Cliente,Total\r\n\"Ana \"\"A\"\", Lda\",1.5\r\nlinha nova,\r\n"), all.str());
    Platform::TFormatSettings saved = Platform::FormatSettings();
    Platform::FormatSettings().DecimalSeparator = ',';
    auto lines = corvelreport5::ExportToStringList(corvelreport5::TvrwExportType::etCSV, preview);
    Platform::FormatSettings() = saved;
    CheckEquals(std::string("\"Ana \"\"A\"\", Lda\";1,5"), lines[1], "\";\" where \",\" is the decimal separator");
    auto text = corvelreport5::ExportToStringList(corvelreport5::TvrwExportType::etTexto, preview);
    CheckEquals(std::string("Cliente      Total"), text[0], "fixed-width columns");
    CheckEquals(std::string("linha nova"), text[2].substr(0, 10), "one record per line");
    corvelreport5::TvrwExportCSV none;
    CheckTrue(Contains(ErrorOf([&] { none.PrintReportTo(); }), "no preview"), "no preview: an error");
  }

  TESSEL_TEST(TestReportQueryTakesItsParameters) {
    CheckTrue(Forms::EnsureApplication(), "no application");
    std::string path = TestDatabases::TempFolder() + "report.sqlite";
    QFile::remove(QtText::ToQ(path));
    CriarvDMConexaoParaTests(path, "", "", false, TvTipoBanco::tbSQLite, 0, 0, false);
    vDMConexao->Conectar(TestDatabases::SQLite(path), TvTipoBanco::tbSQLite);
    vDMConexao->ExecuteCommand("create table venda (cliente varchar(20), nome varchar(20), total double)");
    vDMConexao->ExecuteCommand(
        "insert into venda values ('D''Ávila', 'caneta', 5), ('D''Ávila', 'livro', 30), ('Bia', 'mesa', 90)");
    corvelreport5::TvFrmReport form;
    corvelreport5::TvDMPower* dm = form.GetDMPower();
    dm->Query.SQL = "select nome, total from venda where cliente = :cliente and nome <> ':cliente' "
                    "and total >= :minimo order by nome";
    auto& params = dm->Query.GetParams();
    params.SetValues("cliente", std::string("D'Ávila"));
    auto* minimo = new QLineEdit(&form);
    params.SetControl("minimo", minimo);
    minimo->setText(QStringLiteral("10"));
    CheckTrue(params.EdFindFieldControl("MINIMO") == minimo && !params.EdFindFieldControl("cliente"), "controls");
    dm->Executar();
    auto lines = corvelreport5::ExportToStringList(corvelreport5::TvrwExportType::etCSV, dm->Preview);
    CheckEquals(2, static_cast<int>(lines.size()), "a header and the one record");
    CheckEquals(std::string("livro,30"), lines[1], "the control's text wins, a quoted ':cliente' is no parameter");
    // The list of a query's parameters reads its text as the substitution does.
    std::string names;
    for (const auto& n : corvelreport5::TvpqPowerParam::NomesNoSQL(
             "select \":ano\", x::text from t where a = :Cliente and b = ':total' and c = :cliente_2 or d = :CLIENTE"))
      names += n + ";";
    CheckEquals(std::string("Cliente;cliente_2;"), names, "quoted texts, names and casts hold no parameter; each name once");
    dm->Query.SQL = "select :nada";
    CheckEquals(std::string("The query has no parameter \"nada\""), ErrorOf([&] { dm->Executar(); }));
    DestruirvDMConexaoParaTests();
  }
};

// A form of the application, made by name through the class list.
class TfrmCliente : public Forms::TForm {
 public:
  TfrmCliente() {
    setObjectName(QStringLiteral("frmCliente"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Cadastro de clientes — ação"), this));
    resize(320, 120);
  }
};

class THostForms : public TTestCase {
  TESSEL_TESTCASE(THostForms, TTestCase)
 public:
  void SetUp() override { CheckTrue(Forms::EnsureApplication(), "no application"); }

  TESSEL_TEST(TestFormsAndModulesByName) {
    Forms::ClassList().Register({"TfrmCliente", Forms::TClassKind::Form, [](QWidget*) -> QObject* { return new TfrmCliente; }});
    Forms::ClassList().Register({"TdmCliente", Forms::TClassKind::DataModule, [](QWidget*) -> QObject* { return new Forms::TDataModule; }});
    bool listed = false;
    for (int i = 0; i < vClassList.Count(); ++i) listed |= vClassList.ClassName(i) == "TfrmCliente";
    CheckTrue(listed, "vClassList sees the platform's class list");

    TvAction action;
    action.Name = "actCliente";
    action.FormClass = "TfrmCliente";
    QWidget* form = ShowForm(&action, "testsFrm", TvFormStyle::fsMDIChild);
    Forms::ProcessMessages();
    CheckTrue(form && form->isVisible() && form->objectName() == QStringLiteral("frmCliente"), "shown");
    form->grab().save(QStringLiteral("host_showform.png"));
    delete form;
    std::unique_ptr<QObject> dm(CriarDM("tdmcliente", nullptr, "texto"));
    CheckEquals(std::string("texto"), QtText::FromQ(dm->property("vTexto").toString()), "data module by name, any case");
    CheckEquals(std::string("CriarDM: the class \"TdmNada\" is not registered"), ErrorOf([] { CriarDM("TdmNada", nullptr, ""); }));

    TvActionList rights;
    rights.OnPegarDireito = [](TvAction&) { return 0; };
    FvActionListDireitos = &rights;
    std::string denied = ErrorOf([&] { ShowForm(&action, "TfrmCliente", TvFormStyle::fsNormal); });
    FvActionListDireitos = nullptr;
    CheckEquals(std::string("Sem direito de acesso: actCliente"), denied);
  }

  TESSEL_TEST(TestDialogsAreAnsweredOrRefused) {
    std::string seen;
    corvel5::FOnAntesMostrarMessage = [&](QWidget* form, bool& show) {
      seen = GetFormText(form);
      show = false;
      return static_cast<int>(mrNo);
    };
    CheckEquals(static_cast<int>(mrNo), vMessageDlg("Gravar <cliente>?", TvMsgDlgType::mtConfirmation, mbYes | mbNo));
    CheckEquals(std::string("Gravar <cliente>?"), seen, "the handler reads the dialog's text");
    corvel5::FOnAntesMostrarMessage = nullptr;
    corvel5::FModoTeste = true;
    std::string e = ErrorOf([] { vMessageDlg("Sem resposta", TvMsgDlgType::mtWarning, mbOK); });
    corvel5::FModoTeste = false;
    CheckTrue(Contains(e, "nobody answered it: Sem resposta"), "unattended: an error, not a hang: " + e);
    CheckEquals(std::string(), GetFormText(nullptr));

    // Answered by a person: the same numbers as a handler's or a script's.
    for (auto [button, expected] : {std::pair{QMessageBox::Yes, 6}, std::pair{QMessageBox::No, 7}}) {
      QTimer::singleShot(0, [button = button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->button(button)->click();
      });
      CheckEquals(expected, vMessageDlg("Gravar?", TvMsgDlgType::mtConfirmation, mbYes | mbNo), "clicked answer");
    }
  }

  TESSEL_TEST(TestPackagesAndActions) {
    std::string dir = TestDatabases::TempFolder() + "pacotes/";
    QDir().mkpath(QtText::ToQ(dir));
    for (const char* name : {"vendas_50.so", "fiscal_52.so", "estoque_76.so", "notas.txt"}) GravarArquivo("", dir + name);
    auto list = PegarListaPacotes(dir, {50, 52});
    CheckEquals(2, static_cast<int>(list.size()));
    CheckTrue(list[0].ends_with("/fiscal_52.so") && list[1].ends_with("/vendas_50.so"), "by module, in name order");
    std::string e = ErrorOf([&] { AbrirPacotes({dir + "vendas_50.so"}); });
    CheckTrue(Contains(e, "cannot load \"" + dir + "vendas_50.so\""), e);

    GravarArquivo("", dir + "Vendas.vrw");
    GravarArquivo("", dir + "Fiscal.VRL");
    TvActionList actions;
    GerarActionPower(actions, {dir, dir + "missing/"}, {50, 52}, "100 Relatórios", {"vrw", "vrl"}, "-1|97");
    GerarActionPower(actions, {dir}, {50, 52}, "100 Relatórios", {"vrw", "vrl"}, "-1|97");
    CheckEquals(2, actions.Count(), "one action per report file, made once");
    CheckTrue(actions.Find("ACTVENDAS") && dynamic_cast<TvActionPower*>(actions.Find("actVendas")), "report action");
    CheckEquals(std::string("-1|97"), actions.Find("actFiscal")->Opcoes);
    CheckTrue(CriarChecarFvActionListDireitos() == CriarChecarFvActionListDireitos(), "made once");
    delete FvActionListDireitos;
    FvActionListDireitos = nullptr;
    FvPerModuloAtualManual = 76;
    CheckEquals(76, PegarModuloAtual());
    FvPerModuloAtualManual = -1;
  }
};

}  // namespace

TESSEL_REGISTER("Business.Host", THostTexts);
TESSEL_REGISTER("Business.Host", THostFiles);
TESSEL_REGISTER("Business.Host", THostConnection);
TESSEL_REGISTER("Business.Host", THostDataSets);
TESSEL_REGISTER("Business.Host", THostScenarios);
TESSEL_REGISTER("Business.Host", THostReport);
TESSEL_REGISTER("Business.Host", THostForms);
