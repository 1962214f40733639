// The per-user registry store: where keys and values land, names compared
// without case, names the file system cannot hold, and errors.
#include <fcntl.h>
#include <unistd.h>

#include "ConfigTestSupport.h"
#include "platform/IniFiles.h"

using namespace TestFramework;
using namespace ConfigTests;
using Platform::TRegistryIniFile;

namespace {

class TRegistryStoreTests : public TTestCase {
  TESSEL_TESTCASE(TRegistryStoreTests, TTestCase)
 public:
  TESSEL_TEST(TestTreeRoundTripThroughTheStore) {
    TScratchDir dir;
    TRegistryHome home(dir.Path());
    SetTesselRegistryKey("Corvel\\Tessel\\");
    auto root = std::make_shared<TTestSuite>("AllTests");
    auto suite = std::make_shared<TTestSuite>("Db");
    auto load = std::make_shared<TTestSuite>("Load");
    suite->AddTest(load);
    root->AddTest(suite);
    load->SetEnabled(false);
    load->SetRunCount(3);
    root->SaveConfiguration("/opt/app/tessel.ini", true, false);

    const std::string keyDir = dir / "tessel-registry/Corvel/Tessel/opt/app/tessel.ini";
    CheckEquals(keyDir, TRegistryIniFile("Corvel\\Tessel\\/opt/app/tessel.ini").KeyDir());
    CheckEquals("Load=0\nLoad.RunCount=3\n", ReadFile(keyDir + "/Tests.AllTests.Db/.values"));

    load->SetEnabled(true);
    load->SetRunCount(1);
    root->LoadConfiguration("/opt/app/tessel.ini", true, false);
    CheckFalse(load->GetEnabled());
    CheckEquals(3, load->GetRunCount());

    load->SetEnabled(true);
    load->SetRunCount(1);
    root->SaveConfiguration("/opt/app/tessel.ini", true, false);
    CheckEquals(size_t{0}, ListDir(keyDir).size(), "an emptied subkey goes");
  }

  TESSEL_TEST(TestNamesCompareWithoutCaseAndAnyTextSurvives) {
    TScratchDir dir;
    TRegistryHome home(dir.Path());
    {
      TRegistryIniFile reg("App/Settings");
      reg.WriteString("Sec/tion.Ä", "Key=1", "line1\nline2 %41 = ");
      reg.WriteString("sec/TION.ä", "KEY=1", "again\n");  // the same value
      reg.WriteInteger("Numbers", "Hex", 0);
      reg.WriteString("Numbers", "Hex", "$1F");
      reg.WriteString("", "AtKey", "top");
    }
    TRegistryIniFile reg("app\\SETTINGS");
    CheckEquals("again\n", reg.ReadString("SEC/tion.ä", "key=1", ""));
    CheckEquals(31, reg.ReadInteger("numbers", "HEX", 0));
    CheckEquals("top", reg.ReadString("", "atkey", ""));
    CheckEquals(size_t{1}, reg.ReadSection("Sec/tion.Ä").size());
    std::vector<std::string> sections = reg.ReadSections();
    CheckEquals(size_t{2}, sections.size());
    CheckEquals("Numbers", sections.at(0));
    CheckEquals("Sec/tion.Ä", sections.at(1));
    std::vector<std::string> entries = ListDir(dir / "tessel-registry/App/Settings");
    CheckEquals(size_t{3}, entries.size());
    CheckEquals(".values", entries.at(0));
    CheckEquals("Sec%2Ftion.Ä", entries.at(2), "a slash in a name stays inside one key");
  }

  TESSEL_TEST(TestLongAndAwkwardNamesFitTheFileSystem) {
    TScratchDir dir;
    TRegistryHome home(dir.Path());
    const std::string longName = "Tests." + std::string(300, 'N') + ".Suite";
    const std::string dotted = "..";
    {
      TRegistryIniFile reg("Key");
      reg.WriteBool(longName, "T", false);
      reg.WriteBool(dotted, "T", false);
      reg.WriteBool(".values", "T", false);
    }
    TRegistryIniFile reg("KEY");
    CheckFalse(reg.ReadBool(longName, "t", true));
    CheckFalse(reg.ReadBool(dotted, "t", true));
    CheckFalse(reg.ReadBool(".VALUES", "t", true));
    CheckFalse(reg.ValueExists("", "T"), "nothing escaped into the key itself");
    CheckEquals(size_t{3}, reg.ReadSections().size());
    for (const std::string& entry : ListDir(dir / "tessel-registry/Key"))
      CheckTrue(entry.size() <= 255 && entry != "." && entry != "..", entry);
    reg.DeleteKey(longName, "T");
    CheckFalse(reg.SectionExists(longName));
  }

  TESSEL_TEST(TestReadingCreatesNothing) {
    TScratchDir dir;
    TRegistryHome home(dir.Path());
    TRegistryIniFile reg("Nobody/Here");
    CheckEquals("d", reg.ReadString("S", "K", "d"));
    CheckEquals(size_t{0}, reg.ReadSections().size());
    CheckFalse(reg.SectionExists("S"));
    reg.DeleteKey("S", "K");
    reg.EraseSection("S");
    CheckFalse(FileExists(dir / "tessel-registry"));
  }

  TESSEL_TEST(TestEraseSectionAndDamagedValues) {
    TScratchDir dir;
    TRegistryHome home(dir.Path());
    TRegistryIniFile reg("K");
    reg.WriteString("A", "x", "1");
    reg.WriteString("B", "y", "2");
    reg.EraseSection("a");
    CheckFalse(reg.SectionExists("A"));
    CheckEquals("2", reg.ReadString("B", "y", ""));
    // Lines of no meaning in a values file are passed over.
    WriteFile(dir / "tessel-registry/K/B/.values", std::string("garbage\n=x\n\0\xff\n", 14) + "y=3\n");
    CheckEquals("3", reg.ReadString("B", "Y", ""));
  }

  TESSEL_TEST(TestUnwritableStoreRaisesErrorNamingTheKey) {
    TScratchDir dir;
    WriteFile(dir / "not-a-dir", "x");
    TRegistryHome home(dir / "not-a-dir");
    TRegistryIniFile reg("Some/Key");
    CheckEquals("d", reg.ReadString("S", "K", "d"));
    try {
      reg.WriteString("S", "K", "v");
      Fail("no error");
    } catch (const Platform::EIniFileError& e) {
      CheckEquals("Some/Key", e.Path());
      CheckTrue(std::string(e.what()).find("\"Some/Key\"") != std::string::npos, e.what());
    }
  }
};

TESSEL_REGISTER("Config", TRegistryStoreTests);

}  // namespace
