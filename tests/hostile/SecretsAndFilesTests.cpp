// Secrets and shared folders, as a business test program meets them: a
// SQL Server password of every shape against a server that reads the login,
// servers that accept and never answer, links planted in the temporary
// folder at the names the framework will write, a lock folder made by
// someone else, FIFOs where files are read, and "localhost" in basetest.txt.
#include <fcntl.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>

#include "business/CorvelFramework.h"
#include "business/vUtilTest.h"
#include "framework/TestFramework.h"
#include "platform/Paths.h"
#include "platform/qt/DBClient.h"
#include "platform/qt/FileAccess.h"
#include "tests/hostile/Support.h"

using namespace TestFramework;
using namespace Hostile;

namespace {

std::string XmlEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// The first file under folder holding the secret, whole or any eight
// characters of it, as it is or escaped for XML; "" when none does.
std::string WhereIsTheSecret(const std::string& secret, const std::string& folder) {
  std::vector<std::string> parts;
  for (const std::string& form : {secret, XmlEscaped(secret)})
    for (size_t i = 0; i + 8 <= form.size(); ++i) parts.push_back(form.substr(i, 8));
  for (const std::string& file : FilesUnder(folder)) {
    const std::string text = ReadFile(file);
    for (const std::string& part : parts)
      if (Contains(text, part)) return file + " holds \"" + part + "\"";
  }
  return {};
}

// 1,000 characters, every kind above among them, "};" not.
std::string LongPassword() {
  const char* const pieces[] = {"L", "q", ";", "Z", "x", "}", "{", "w", "=", "J", "v",
                                "\"", "k", "'", "\xC3\xA7", "R", "y", " ", "T", "b", "!"};
  std::string out;
  for (size_t i = 0; i < 1000; ++i) out += pieces[i % std::size(pieces)];
  return out;
}

class TSecretTests : public TTestCase {
  TESSEL_TESTCASE(TSecretTests, TTestCase)
 public:
  // Every password reaches the server as it was given, or is refused
  // before anything is sent with a reason that does not show it; no file
  // of the run (console, both reports, difference and scratch files) holds
  // any part of it.
  TESSEL_TEST(TestPasswordsOfEveryShape) {
    struct TRow {
      const char* What;
      std::string Password;
      const char* Refusal;  // null: the server gets it whole
    } rows[] = {
        {"a semicolon", "Ms;Tail-S3cret7", nullptr},
        {"a closing brace", "Br}ace-S3cret9", nullptr},
        {"an opening brace", "{Open-S3cret4", nullptr},
        {"equals signs", "Eq=ual=S3cret2", nullptr},
        {"blanks around and inside", "  Sp ace S3cret  ", nullptr},
        {"quotes", "Qu\"ote's-S3cret", nullptr},
        {"non-ASCII", "A\xC3\xA7\xC3\xA3o\xE2\x82\xAC\xF0\x9D\x84\x9E-S3cret", nullptr},
        {"\"};\", which FreeTDS cannot take", "Cl};ose-S3cret", "holds \"};\""},
        {"1,000 characters", LongPassword(), "characters long, and a SQL Server login takes at most 128"},
    };
    for (const TRow& row : rows) {
      TServer server(TServer::SqlServerLogin);
      const std::string folder = FreshFolder("secrets");
      fs::create_directories(folder + "/tmp");
      TRun run = RunProgram({HOSTILE_BUSINESS, "--filter=Banco,Negocio", "--report=junit:junit.xml",
                             "--report=nunit:nunit.xml"},
                            {"TMPDIR=" + folder + "/tmp", "TESSEL_MSSQL_PASSWORD=" + row.Password,
                             "TESSEL_MSSQL_SERVER=127.0.0.1:" + std::to_string(server.Port()) + "/vendas"},
                            folder, folder);
      const std::string where = std::string(row.What) + ": ";
      CheckEquals(1, run.Status, where + "the suites fail and the run says so\n" + run.Out + run.Err);
      CheckTrue(Contains(run.Out, "SetUp FAILED: Cannot open the database") && Contains(run.Out, "QODBC"),
                where + "the suite's set-up names the driver\n" + run.Out);
      std::vector<std::string> received = server.Passwords();
      if (!row.Refusal) {
        CheckEquals(1, static_cast<int>(received.size()), where + "one login");
        CheckTrue(!received.empty() && received[0] == row.Password, where + "the server got the password whole");
      } else {
        CheckEquals(0, static_cast<int>(received.size()), where + "nothing sent");
        CheckTrue(Contains(run.Out, row.Refusal), where + "refused with its reason\n" + run.Out);
      }
      CheckTrue(FilesUnder(folder).size() >= 5, where + "console, reports, difference and scratch files written");
      CheckEquals(std::string(), WhereIsTheSecret(row.Password, folder), where + "the password is nowhere");
    }
  }

  // A server that takes the connection and never answers: the connection
  // timeout still ends the wait, with the server named.
  TESSEL_TEST(TestSilentServers) {
    struct TRow {
      const char* Suite;
      const char* Variable;
      std::string (*Value)(int port);
      std::string Expect;
    } rows[] = {
        {"Banco", "TESSEL_MSSQL_SERVER", [](int port) { return "127.0.0.1:" + std::to_string(port) + "/vendas"; },
         "Timeout expired"},
        {"Rede", "TESSEL_FIREBIRD_REDE",
         [](int port) { return "127.0.0.1/" + std::to_string(port) + ":/dados/contabil.fdb"; },
         "takes the connection but does not answer within 5 s"},
    };
    for (const TRow& row : rows) {
      TServer server(TServer::Silent);
      const std::string folder = FreshFolder("silent");
      TRun run = RunProgram({HOSTILE_BUSINESS, std::string("--filter=") + row.Suite},
                            {std::string(row.Variable) + "=" + row.Value(server.Port()),
                             "TESSEL_MSSQL_PASSWORD=Ms;Tail-S3cret7", "TESSEL_FIREBIRD_PASSWORD=Fb;S3cret-8",
                             "TMPDIR=" + folder},
                            folder, folder, 60);
      const std::string where = std::string(row.Suite) + ": ";
      CheckTrue(run.Seconds < 20, where + "ended within the timeout: " + std::to_string(run.Seconds) + " s");
      CheckTrue(Contains(run.Out, row.Expect) && Contains(run.Out, "127.0.0.1"),
                where + "a clear error naming the server\n" + run.Out);
      CheckFalse(Contains(run.Out, "S3cret"), where + "no password shown");
    }
  }
};

// ---------------------------------------------------------------------------

// Links to victim at every name a difference file of the business subject
// can take in the next seconds, in the temporary folder tmp.
void PlantDifferenceLinks(const std::string& tmp, const std::string& victim, int seconds) {
  const QDateTime now = QDateTime::currentDateTime();
  for (int ms = 0; ms < seconds * 1000; ++ms) {
    const std::string stamp = now.addMSecs(ms).toString(QStringLiteral("yyMMddHHmmsszzz")).toStdString();
    for (const char* kind : {"vcecAtual", "vcecDiferente"})
      fs::create_symlink(victim, tmp + "/TDiferencaTests.TestClientes " + kind + " " + stamp + ".cds");
  }
}

std::vector<std::string> NamesStartingWith(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind(prefix, 0) == 0 && !e.is_symlink()) out.push_back(e.path().string());
  return out;
}

// Unblocks a reader stuck on the FIFO at path after a few seconds, so that
// a reader that waits fails the test instead of hanging it.
class TFifoRescue {
 public:
  explicit TFifoRescue(std::string path) : FPath(std::move(path)) {
    mkfifo(FPath.c_str(), 0600);
    FThread = std::thread([this] {
      for (int i = 0; i < 60 && !FDone; ++i) usleep(50000);
      if (FDone) return;
      int fd = open(FPath.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
    });
  }
  ~TFifoRescue() {
    FDone = true;
    FThread.join();
    unlink(FPath.c_str());
  }

 private:
  std::string FPath;
  std::atomic<bool> FDone{false};
  std::thread FThread;
};

class TExpectedFromFolder : public vUtilTest::TvTestCase {
  TESSEL_TESTCASE(TExpectedFromFolder, vUtilTest::TvTestCase)
 public:
  static std::string Folder;
  std::string CaminhaTestDados() override { return Folder; }
  TESSEL_TEST(TestClientes) { TestDados("select 1"); }
};
std::string TExpectedFromFolder::Folder;

class TSharedFolderTests : public TTestCase {
  TESSEL_TESTCASE(TSharedFolderTests, TTestCase)
 public:
  // Links planted in a shared temporary folder at the names of the
  // difference files and of the scratch file: the files they point at stay
  // as they were; the difference keeps a name one finds beside the link.
  TESSEL_TEST(TestPlantedLinksAreNotFollowed) {
    const std::string tmp = FreshFolder("links/tmp"), victim = FreshFolder("links/victim") + "/precious.txt";
    fs::permissions(tmp, fs::perms::all | fs::perms::sticky_bit);
    WriteFile(victim, "precious");
    fs::create_symlink(victim, tmp + "/GravarArquivoO.txt");
    PlantDifferenceLinks(tmp, victim, 10);
    TRun run = RunProgram({HOSTILE_BUSINESS, "--filter=Negocio"}, {"TMPDIR=" + tmp}, tmp, FreshFolder("links/out"));
    CheckTrue(Contains(run.Out, "vcecDiferente: 1"), "the datasets differ\n" + run.Out + run.Err);
    CheckEquals(std::string("precious"), ReadFile(victim), "the file the links point at");
    CheckFalse(fs::is_symlink(tmp + "/GravarArquivoO.txt"), "the link at the scratch file was replaced");
    CheckTrue(Contains(ReadFile(tmp + "/GravarArquivoO.txt"), "rascunho"), "the scratch file written");
    std::vector<std::string> written = NamesStartingWith(tmp, "TDiferencaTests.TestClientes vcecDiferente ");
    CheckEquals(1, static_cast<int>(written.size()), "one difference file of its own");
    CheckTrue(!written.empty() && Contains(written[0], " (2).cds"), "beside the planted name: " + Joined(written));
    DBClient::TClientDataSet ds;
    if (!written.empty()) ds.LoadFromBinaryFile(written[0]);
    CheckEquals(1, ds.RecordCount(), "it holds the differing record");
  }

  // A lock folder another user made beforehand, open to all, is not used:
  // the embedded engine gets a private one of this user's.
  TESSEL_TEST(TestForeignLockFolderIsNotUsed) {
    const std::string tmp = FreshFolder("lock/tmp"), cache = FreshFolder("lock/cache");
    fs::permissions(tmp, fs::perms::all | fs::perms::sticky_bit);
    const std::string planted = tmp + "/tessel-firebird-" + std::to_string(getuid());
    fs::create_directory(planted);
    if (getuid() == 0 && chown(planted.c_str(), 65534, 65534) != 0) Fail("cannot give the folder to nobody");
    fs::permissions(planted, fs::perms::all);
    const std::string fdb = FreshFolder("lock/db") + "/lock.fdb";
    TRun made = RunProgram({"/usr/bin/isql-fb", "-q", "-i", WriteScript(fdb)},
                           {"FIREBIRD_LOCK=" + FreshFolder("lock/isql")}, tmp, FreshFolder("lock/out"));
    CheckEquals(0, made.Status, "isql-fb made the database: " + made.Err);
    const char* had = std::getenv("FIREBIRD_LOCK");
    CheckTrue(had == nullptr, "nothing in this program opened Firebird's engine before");
    setenv("TMPDIR", tmp.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    DBClient::TConnection db;
    DBClient::TConnectionParams p;
    p.Driver = "QIBASE";
    p.Database = fdb;
    p.UserName = "SYSDBA";
    db.Open(p);
    CheckEquals(1, db.Query("select 1 from rdb$database")->RecordCount(), "the database opens");
    db.Close();
    unsetenv("TMPDIR");
    unsetenv("XDG_CACHE_HOME");
    const char* lock = std::getenv("FIREBIRD_LOCK");
    CheckEquals(cache + "/tessel-firebird-" + std::to_string(getuid()), std::string(lock ? lock : ""),
                "a private folder instead");
    struct stat st {};
    CheckTrue(lock && stat(lock, &st) == 0 && st.st_uid == getuid() && (st.st_mode & 0777) == 0700, "mode 0700");
    CheckTrue(fs::is_empty(planted), "nothing put in the planted folder");
  }

  // What a private folder is made of, by what stands at its name.
  TESSEL_TEST(TestPrivateFolderChoice) {
    const std::string base = FreshFolder("private"), cache = base + "/cache";
    struct TRow {
      const char* What;
      void (*Prepare)(const std::string& path);
      bool Kept;  // the path itself is used
    } rows[] = {
        {"nothing there", [](const std::string&) {}, true},
        {"this user's, mode 0755", [](const std::string& p) { mkdir(p.c_str(), 0755); }, true},
        {"this user's, mode 0777", [](const std::string& p) { mkdir(p.c_str(), 0777), chmod(p.c_str(), 0777); }, false},
        {"a link to a private folder",
         [](const std::string& p) { mkdir((p + "-real").c_str(), 0700), symlink((p + "-real").c_str(), p.c_str()); },
         false},
        {"a file", [](const std::string& p) { WriteFile(p, "x"); }, false},
    };
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    int i = 0;
    for (const TRow& row : rows) {
      const std::string path = base + "/f" + std::to_string(++i);
      fs::remove_all(cache);
      row.Prepare(path);
      const std::string got = FileAccess::PrivateFolder(path);
      CheckEquals(row.Kept ? path : cache + "/f" + std::to_string(i), got, row.What);
      struct stat st {};
      CheckTrue(lstat(got.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700,
                std::string(row.What) + ": a folder with mode 0700");
    }
    unsetenv("XDG_CACHE_HOME");
  }

  // A FIFO where a file is read: refused at once, naming its path.
  TESSEL_TEST(TestFifosAreRefused) {
    const std::string dir = Platform::ProgramDir(), folder = FreshFolder("fifo") + "/";
    TExpectedFromFolder::Folder = folder;
    struct TRow {
      std::string Path;
      std::string (*Read)();
    } rows[] = {
        {dir + "basetest.txt", [] { return vUtilTest::CaminhoBases(); }},
        {dir + "cenariotest.txt", [] { return vUtilTest::CaminhoCenarios(); }},
        {folder + ".Clientes.cds",
         [] {
           auto result = TExpectedFromFolder::Suite()->Run();
           if (result->ErrorCount() != 1) return std::string("no error");
           throw std::runtime_error(result->GetError(0).ThrownExceptionMessage());
         }},
        {folder + "cenario.txt", [] { return corvelbaseutil5::CriarCenarios(TExpectedFromFolder::Folder + "cenario.txt")->Nome; }},
    };
    for (const TRow& row : rows) {
      std::string error = "(no error)";
      const auto start = std::chrono::steady_clock::now();
      {
        TFifoRescue fifo(row.Path);
        try {
          row.Read();
        } catch (const std::exception& e) {
          error = e.what();
        }
      }
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      CheckTrue(seconds < 2, row.Path + ": refused at once, not after " + std::to_string(seconds) + " s");
      CheckTrue(Contains(error, "\"" + row.Path + "\" is a FIFO, not a regular file"), row.Path + ": " + error);
    }
  }

  // Only a leading "localhost:" is the local prefix of basetest.txt.
  TESSEL_TEST(TestLocalhostOnlyAsPrefix) {
    const std::string file = Platform::ProgramDir() + "basetest.txt";
    struct TRow {
      const char* Text;
      std::string Expect;  // "error" for a refusal naming the file
    } rows[] = {
        {"localhost:/srv/bases/", "/srv/bases/"},
        {"localhost:c:\\dados\\vendas\\", vUtilTest::DataRoot() + "vendas/"},
        {"/srv/localhost/bases/", "error"},
        {"dbhost:/srv/localhost/", "dbhost:/srv/localhost/"},
        {"xlocalhost:/srv/", "xlocalhost:/srv/"},
    };
    for (const TRow& row : rows) {
      WriteFile(file, row.Text);
      std::string got;
      try {
        got = vUtilTest::CaminhoBases();
      } catch (const std::exception& e) {
        got = Contains(e.what(), file) ? "error" : e.what();
      }
      CheckEquals(row.Expect, got, row.Text);
    }
    fs::remove(file);
  }

 private:
  static std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += x + "\n";
    return s;
  }
  static std::string WriteScript(const std::string& fdb) {
    const std::string script = fdb + ".sql";
    WriteFile(script, "create database '" + fdb + "' user 'SYSDBA';\ncommit;\n");
    return script;
  }
};

}  // namespace

TESSEL_REGISTER("Hostile.Secrets", TSecretTests);
TESSEL_REGISTER("Hostile.SharedFolders", TSharedFolderTests);
