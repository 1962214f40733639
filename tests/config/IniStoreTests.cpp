// The two INI stores: names, value forms, deletion, rewrites that keep what
// others wrote, bad input, and places that cannot be written.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <memory>

#include "ConfigTestSupport.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"

using namespace TestFramework;
using namespace ConfigTests;
using Platform::EIniFileError;

namespace {

using TStore = std::unique_ptr<Platform::TCustomIniFile>;
struct TKind {
  const char* Name;
  TStore (*Open)(const std::string& file);
};
const TKind kDirect{"direct", [](const std::string& f) -> TStore { return std::make_unique<Platform::TIniFile>(f); }};
const TKind kMemory{"memory",
                    [](const std::string& f) -> TStore { return std::make_unique<Platform::TMemIniFile>(f); }};
const TKind kTrimmed{"trimmed",
                     [](const std::string& f) -> TStore { return std::make_unique<Platform::TMemIniFileTrimmed>(f); }};
const TKind kAllKinds[] = {kDirect, kMemory, kTrimmed};

ino_t InodeOf(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class TIniStoreTests : public TTestCase {
  TESSEL_TESTCASE(TIniStoreTests, TTestCase)
 public:
  TESSEL_TEST(TestNamesCompareWithoutCase) {
    for (const TKind& k : kAllKinds) {
      TScratchDir dir;
      const std::string file = dir / "a.ini";
      {
        TStore ini = k.Open(file);
        ini->WriteString("Main Section", "SomeKey", "v1");
        ini->WriteString("Ärger", "Größe", "v2");
        ini->WriteString("MAIN section", "somekey", "v3");  // the same key again
        ini->UpdateFile();
      }
      TStore ini = k.Open(file);
      CheckEquals("v3", ini->ReadString("main SECTION", "SOMEKEY", "d"), k.Name);
      CheckEquals("v2", ini->ReadString("ärger", "GRÖßE", "d"), k.Name);
      CheckEquals(size_t{1}, ini->ReadSection("Main Section").size(), k.Name);
      CheckEquals("SomeKey", ini->ReadSection("main section").at(0), k.Name);
      CheckEquals("[Main Section]\nSomeKey=v3\n\n[Ärger]\nGröße=v2\n", ReadFile(file), k.Name);
    }
  }

  TESSEL_TEST(TestAbsentKeysAndFilesGiveDefaults) {
    TScratchDir dir;
    const std::string missing = dir / "none.ini";
    for (const TKind& k : kAllKinds) {
      TStore ini = k.Open(missing);
      CheckEquals("dflt", ini->ReadString("S", "K", "dflt"), k.Name);
      CheckEquals(-5, ini->ReadInteger("S", "K", -5), k.Name);
      CheckTrue(ini->ReadBool("S", "K", true), k.Name);
      CheckFalse(ini->ReadBool("S", "K", false), k.Name);
      CheckFalse(ini->SectionExists("S"), k.Name);
      CheckEquals(size_t{0}, ini->ReadSections().size(), k.Name);
      ini->DeleteKey("S", "K");
      ini->UpdateFile();
    }
    CheckFalse(FileExists(missing), "reading and deleting nothing must not create the file");
  }

  TESSEL_TEST(TestIntegerForms) {
    struct {
      const char* Text;
      int32_t Expected;
    } const rows[] = {{"42", 42},          {"-7", -7},           {"+5", 5},          {"0x1F", 31},
                      {"0X1f", 31},        {"$ff", 255},         {"$FFFFFFFF", -1},  {"0x80000000", INT_MIN},
                      {"2147483647", INT_MAX}, {"2147483648", -99}, {"-2147483648", INT_MIN}, {"abc", -99},
                      {"", -99},           {"12abc", -99},       {"0x", -99},        {"$", -99},
                      {"1.5", -99},        {"- 1", -99},         {"0x1G", -99}};
    TScratchDir dir;
    for (const auto& row : rows) {
      WriteFile(dir / "i.ini", std::string("[S]\nK=") + row.Text + "\n");
      for (const TKind& k : kAllKinds)
        CheckEquals(row.Expected, k.Open(dir / "i.ini")->ReadInteger("S", "K", -99),
                    std::string(k.Name) + " reading " + row.Text);
    }
    // Blanks around a number: the direct file drops them as it reads, the
    // plain memory INI keeps them (no number), the trimmed one drops them
    // and control characters too.
    WriteFile(dir / "b.ini", "[S]\nK= 12 \nC=\t7\x01\n");
    CheckEquals(12, kDirect.Open(dir / "b.ini")->ReadInteger("S", "K", -1));
    CheckEquals(-1, kMemory.Open(dir / "b.ini")->ReadInteger("S", "K", -1));
    CheckEquals(12, kTrimmed.Open(dir / "b.ini")->ReadInteger("S", "K", -1));
    CheckEquals(7, kTrimmed.Open(dir / "b.ini")->ReadInteger("S", "C", -1));
    CheckEquals("7", kTrimmed.Open(dir / "b.ini")->ReadString("S", "C", ""));
  }

  TESSEL_TEST(TestBooleansAreWrittenAsZeroAndOne) {
    for (const TKind& k : kAllKinds) {
      TScratchDir dir;
      {
        TStore ini = k.Open(dir / "b.ini");
        ini->WriteBool("S", "Yes", true);
        ini->WriteBool("S", "No", false);
        ini->WriteInteger("S", "Int", -12);
        ini->UpdateFile();
      }
      CheckEquals("[S]\nYes=1\nNo=0\nInt=-12\n", ReadFile(dir / "b.ini"), k.Name);
    }
    struct {
      const char* Text;
      bool WhenDefaultTrue, WhenDefaultFalse;
    } const rows[] = {{"1", true, true},    {"0", false, false},  {"2", true, true}, {"-1", true, true},
                      {"$0", false, false}, {"yes", true, false}, {"", true, false}, {"true", true, false}};
    TScratchDir dir;
    for (const auto& row : rows) {
      WriteFile(dir / "r.ini", std::string("[S]\nB=") + row.Text + "\n");
      for (const TKind& k : kAllKinds) {
        CheckEquals(row.WhenDefaultTrue, k.Open(dir / "r.ini")->ReadBool("S", "B", true),
                    std::string(k.Name) + " " + row.Text);
        CheckEquals(row.WhenDefaultFalse, k.Open(dir / "r.ini")->ReadBool("S", "B", false),
                    std::string(k.Name) + " " + row.Text);
      }
    }
  }

  TESSEL_TEST(TestDeleteKeyAndEraseSection) {
    for (const TKind& k : kAllKinds) {
      TScratchDir dir;
      const std::string file = dir / "d.ini";
      WriteFile(file, "[A]\nx=1\ny=2\n[B]\nz=3\n[a]\nX=4\n");
      const ino_t before = InodeOf(file);
      TStore ini = k.Open(file);
      CheckEquals("1", ini->ReadString("a", "X", ""), k.Name);  // the first of two same-named sections
      ini->DeleteKey("A", "missing");
      ini->UpdateFile();
      CheckEquals(uint64_t{before}, uint64_t{InodeOf(file)},
                  std::string(k.Name) + ": nothing deleted, nothing written");
      ini->DeleteKey("a", "X");  // gone from both sections, so no older value shows through
      CheckFalse(ini->ValueExists("A", "x"), k.Name);
      CheckTrue(ini->ValueExists("A", "Y"), k.Name);
      ini->EraseSection("b");
      CheckFalse(ini->SectionExists("B"), k.Name);
      ini->UpdateFile();
      CheckEquals("[A]\ny=2\n", ReadFile(file), k.Name);
    }
  }

  TESSEL_TEST(TestRewriteKeepsOthersLinesInOrder) {
    const std::string input =
        "; written by hand\n"
        "[GUITestRunner Config]\n"
        "AutoSave=1\n"
        "Left = 10\n"
        "\n"
        "[Tests]\n"
        "Old=0\n"
        "# comment in tests\n"
        "[Other]\n"
        "garbage line\n"
        "k=v\n";
    const std::string expected =
        "; written by hand\n"
        "[GUITestRunner Config]\n"
        "AutoSave=1\n"
        "Left=20\n"
        "\n"
        "[Tests]\n"
        "New=0\n"
        "# comment in tests\n"
        "[Other]\n"
        "garbage line\n"
        "k=v\n"
        "\n"
        "[Fresh]\n"
        "a=1\n";
    auto crlf = [](std::string s) {
      std::string out;
      for (char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
      return out;
    };
    struct {
      const char* Name;
      std::string In, Out;
    } const forms[] = {{"LF", input, expected},
                       {"CRLF", crlf(input), crlf(expected)},
                       {"BOM", "\xEF\xBB\xBF" + input, "\xEF\xBB\xBF" + expected}};
    for (const auto& form : forms)
      for (const TKind& k : {kDirect, kTrimmed}) {
        TScratchDir dir;
        WriteFile(dir / "r.ini", form.In);
        TStore ini = k.Open(dir / "r.ini");
        ini->WriteString("Tests", "New", "0");
        ini->DeleteKey("Tests", "Old");
        ini->WriteString("Fresh", "a", "1");
        ini->WriteString("gUITestRunner config", "left", "20");
        ini->UpdateFile();
        CheckEquals(form.Out, ReadFile(dir / "r.ini"), std::string(k.Name) + " " + form.Name);
      }
  }

  TESSEL_TEST(TestSectionEmptiedOfKeysGoesUnlessItHoldsMore) {
    TScratchDir dir;
    WriteFile(dir / "e.ini", "[A]\nx=1\n\n[B]\n; keep me\ny=2\n");
    TStore ini = kDirect.Open(dir / "e.ini");
    ini->DeleteKey("A", "x");
    ini->DeleteKey("B", "y");
    CheckEquals("[B]\n; keep me\n", ReadFile(dir / "e.ini"));
  }

  TESSEL_TEST(TestMemoryIniKeepsChangesOthersMadeMeanwhile) {
    TScratchDir dir;
    const std::string file = dir / "c.ini";
    WriteFile(file, "[S]\na=1\n");
    Platform::TMemIniFile mem(file);
    mem.WriteString("S", "a", "9");
    mem.DeleteKey("S", "gone");
    {
      Platform::TIniFile other(file);
      other.WriteString("S", "b", "2");
      other.WriteString("T", "c", "3");
    }
    CheckTrue(mem.Modified());
    mem.UpdateFile();
    CheckFalse(mem.Modified());
    CheckEquals("[S]\na=9\nb=2\n\n[T]\nc=3\n", ReadFile(file));
  }

  TESSEL_TEST(TestDirectIniSeesChangesOnDisk) {
    TScratchDir dir;
    const std::string file = dir / "s.ini";
    Platform::TIniFile ini(file);
    CheckEquals("none", ini.ReadString("S", "k", "none"));
    WriteFile(file, "[S]\nk=first\n");
    CheckEquals("first", ini.ReadString("S", "k", "none"));
    WriteFile(file, "[S]\nk=second, longer\n");
    CheckEquals("second, longer", ini.ReadString("S", "k", "none"));
  }

  // Whatever the file holds, reading gives the defaults and throws nothing.
  TESSEL_TEST(TestBadInputGivesDefaults) {
    std::string binary;
    for (int i = 0; i < 2048; ++i) binary += static_cast<char>((i * 37) & 0xFF);
    binary += std::string("\xFF\xFE[\0Tests]\0AllTests=0\n", 22);
    const std::string contents[] = {
        "garbage\n\x01\x02 junk ]]\n=novalue\n[Tests]\nnot a key\n",
        "[Tests\nAllTests=0\nAllTests.RunCount=5\n",
        "[Tests]\nAllTests\nAllTests.RunCount\n",
        "[Tests]\nAllTests=maybe\nAllTests.RunCount=lots\n",
        "[Tests]\nAllTests=\nAllTests.RunCount=\n",
        "AllTests=0\n[Tests]\n",
        binary,
    };
    TScratchDir dir;
    for (size_t i = 0; i < std::size(contents); ++i) {
      const std::string file = dir / ("bad" + std::to_string(i) + ".ini");
      WriteFile(file, contents[i]);
      CheckBadFileGivesDefaults(file, "content " + std::to_string(i));
    }
    std::filesystem::create_directory(dir / "adir.ini");
    CheckBadFileGivesDefaults(dir / "adir.ini", "a directory");
    CheckBadFileGivesDefaults(Platform::ModulePathOf(reinterpret_cast<const void*>(&RegisteredTests)),
                              "the framework's library binary");
  }

  TESSEL_TEST(TestUnclosedSectionKeepsItsKeysToItself) {
    TScratchDir dir;
    const std::string file = dir / "u.ini";
    WriteFile(file, "[A]\nx=1\n[B\nx=2\n");
    TStore ini = kTrimmed.Open(file);
    CheckEquals("1", ini->ReadString("A", "x", ""));
    CheckEquals("d", ini->ReadString("B", "x", "d"));
    CheckEquals(size_t{1}, ini->ReadSections().size());
    ini->WriteString("A", "y", "3");
    ini->UpdateFile();
    CheckEquals("[A]\nx=1\ny=3\n[B\nx=2\n", ReadFile(file));
  }

  TESSEL_TEST(TestRewriteReplacesTheFileAtOnce) {
    TScratchDir dir;
    const std::string file = dir / "a.ini";
    WriteFile(file, "[S]\nk=1\n");
    chmod(file.c_str(), 0640);
    const ino_t before = InodeOf(file);
    Platform::TIniFile(file).WriteString("S", "k", "2");
    CheckNotEquals(uint64_t{before}, uint64_t{InodeOf(file)}, "a new file renamed into place");
    struct stat st{};
    stat(file.c_str(), &st);
    CheckEquals(uint32_t{0640}, uint32_t{st.st_mode & 07777}, "the file keeps its permissions");
    CheckEquals(size_t{1}, ListDir(dir.Path()).size(), "no temporary file is left behind");

    // A link is followed: the target gets the change and the link stays.
    WriteFile(dir / "target.ini", "[S]\nk=1\n");
    symlink((dir / "target.ini").c_str(), (dir / "link.ini").c_str());
    Platform::TMemIniFile viaLink(dir / "link.ini");
    viaLink.WriteString("S", "k", "linked");
    viaLink.UpdateFile();
    struct stat lst{};
    lstat((dir / "link.ini").c_str(), &lst);
    CheckTrue(S_ISLNK(lst.st_mode), "still a link");
    CheckEquals("[S]\nk=linked\n", ReadFile(dir / "target.ini"));
  }

  TESSEL_TEST(TestUnwritablePlaceRaisesErrorNamingThePath) {
    TScratchDir dir;
    const std::string inMissingDir = dir / "missing/sub/a.ini";
    const std::string isDir = dir / "adir.ini";
    std::filesystem::create_directory(isDir);
    for (const std::string& path : {inMissingDir, isDir}) {
      for (const TKind& k : {kDirect, kTrimmed}) {
        try {
          TStore ini = k.Open(path);
          ini->WriteString("S", "k", "v");
          ini->UpdateFile();
          Fail(std::string(k.Name) + ": no error writing " + path);
        } catch (const EIniFileError& e) {
          CheckEquals(path, e.Path(), k.Name);
          CheckTrue(std::string(e.what()).find("\"" + path + "\"") != std::string::npos, e.what());
        }
      }
    }
    CheckTrue(std::filesystem::is_directory(isDir), "the directory is left alone");

    // A file this user cannot read is not replaced by one holding only our keys.
    if (geteuid() != 0) {
      const std::string locked = dir / "locked.ini";
      WriteFile(locked, "[Theirs]\nkey=value\n");
      chmod(locked.c_str(), 0);
      Platform::TMemIniFileTrimmed ini(locked);
      CheckEquals("d", ini.ReadString("Theirs", "key", "d"));
      ini.WriteString("Mine", "k", "v");
      try {
        ini.UpdateFile();
        Fail("no error rewriting an unreadable file");
      } catch (const EIniFileError& e) {
        CheckTrue(std::string(e.what()).find(locked) != std::string::npos, e.what());
      }
      chmod(locked.c_str(), 0600);
      CheckEquals("[Theirs]\nkey=value\n", ReadFile(locked));
    }
  }

  TESSEL_TEST(TestNamesAndValuesThatCannotBeStoredAreRefused) {
    TScratchDir dir;
    const std::string file = dir / "n.ini";
    WriteFile(file, "[S]\nk=1\n");
    struct {
      const char *Section, *Key, *Value;
    } const rows[] = {{"S", "a=b", "1"}, {"S", "", "1"},           {"S", "[x]", "1"},
                      {"S", ";x", "1"},  {"S", "k", "two\nlines"}, {"Two\nlines", "k", "1"}};
    for (const auto& row : rows)
      for (const TKind& k : {kDirect, kTrimmed}) {
        try {
          k.Open(file)->WriteString(row.Section, row.Key, row.Value);
          Fail(std::string(k.Name) + ": stored key " + row.Key);
        } catch (const EIniFileError& e) {
          CheckEquals(file, e.Path());
        }
      }
    CheckEquals("[S]\nk=1\n", ReadFile(file), "the file is untouched");
  }

 private:
  void CheckBadFileGivesDefaults(const std::string& file, const std::string& what) {
    for (const TKind& k : kAllKinds) {
      TStore ini = k.Open(file);
      CheckTrue(ini->ReadBool("Tests", "AllTests", true), std::string(k.Name) + ", " + what);
      CheckEquals(1, ini->ReadInteger("Tests", "AllTests.RunCount", 1), std::string(k.Name) + ", " + what);
    }
    auto root = std::make_shared<TTestSuite>("AllTests");
    for (bool memIni : {false, true}) {
      root->SetEnabled(false);
      root->SetRunCount(5);
      root->LoadConfiguration(file, false, memIni);
      CheckTrue(root->GetEnabled(), what);
      CheckEquals(1, root->GetRunCount(), what);
    }
  }
};

TESSEL_REGISTER("Config", TIniStoreTests);

}  // namespace
