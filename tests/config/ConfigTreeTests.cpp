// Storing and restoring a test tree's enabled flags and run counts: the
// section and key layout, defaults, deletion and the choice of store.
#include "ConfigTestSupport.h"
#include "platform/IniFiles.h"

using namespace TestFramework;
using namespace ConfigTests;

namespace {

class TPlainTests : public TTestCase {
  TESSEL_TESTCASE(TPlainTests, TTestCase)
 public:
  TESSEL_TEST(TestA) { Check(true); }
  TESSEL_TEST(TestB) { Check(true); }
  TESSEL_TEST(TestC) { Check(true); }
};

class TRepeatedTests : public TTestCase {
  TESSEL_TESTCASE(TRepeatedTests, TTestCase)
 public:
  TESSEL_TEST_RUNCOUNT(TestRetry, 3) { Check(true); }
  TESSEL_TEST(TestOnce) { Check(true); }
};

// AllTests { TPlainTests { TestA, TestB, TestC } }
std::shared_ptr<TTestSuite> PlainTree(const std::string& rootName = "AllTests") {
  auto root = std::make_shared<TTestSuite>(rootName);
  root->AddTest(TPlainTests::Suite());
  return root;
}

ITestPtr Child(const ITestPtr& node, size_t i) { return node->Tests().at(i); }

// Every key of every section, as "section/key=value" lines.
std::vector<std::string> AllKeys(Platform::TCustomIniFile& ini) {
  std::vector<std::string> keys;
  for (const std::string& s : ini.ReadSections())
    for (const std::string& k : ini.ReadSection(s)) keys.push_back(s + "/" + k + "=" + ini.ReadString(s, k, ""));
  return keys;
}

class TConfigTreeTests : public TTestCase {
  TESSEL_TESTCASE(TConfigTreeTests, TTestCase)
 public:
  TESSEL_TEST(TestSectionsFollowTheTree) {
    TScratchDir dir;
    auto root = std::make_shared<TTestSuite>("AllTests");
    auto db = std::make_shared<TTestSuite>("Db");
    auto load = std::make_shared<TPlainTests>("Load");
    db->AddTest(load);
    root->AddTest(db);
    root->SetEnabled(false);
    root->SetRunCount(2);
    db->SetEnabled(false);
    load->SetEnabled(false);
    load->SetRunCount(4);
    root->SaveConfiguration(dir / "tessel.ini", false, false);
    CheckEquals(
        "[Tests]\nAllTests=0\nAllTests.RunCount=2\n\n"
        "[Tests.AllTests]\nDb=0\n\n"
        "[Tests.AllTests.Db]\nLoad=0\nLoad.RunCount=4\n",
        ReadFile(dir / "tessel.ini"));

    auto again = std::make_shared<TTestSuite>("AllTests");
    auto db2 = std::make_shared<TTestSuite>("Db");
    auto load2 = std::make_shared<TPlainTests>("Load");
    db2->AddTest(load2);
    again->AddTest(db2);
    again->LoadConfiguration(dir / "tessel.ini", false, true);
    CheckFalse(again->GetEnabled());
    CheckEquals(2, again->GetRunCount());
    CheckFalse(db2->GetEnabled());
    CheckEquals(1, db2->GetRunCount());
    CheckFalse(load2->GetEnabled());
    CheckEquals(4, load2->GetRunCount());
  }

  TESSEL_TEST(TestSavingDefaultsLeavesNoKeysOfTheTree) {
    struct {
      const char* Name;
      bool UseRegistry, UseMemIni;
    } const stores[] = {{"registry", true, false}, {"memory", false, true}, {"direct", false, false}};
    for (const auto& store : stores) {
      TScratchDir dir;
      TRegistryHome home(dir.Path());
      const std::string file = dir / "tessel.ini";
      auto root = PlainTree();
      root->SetEnabled(false);
      Child(Child(root, 0), 1)->SetEnabled(false);
      Child(Child(root, 0), 2)->SetRunCount(7);
      root->SaveConfiguration(file, store.UseRegistry, store.UseMemIni);
      {
        // Someone else's section in the same store.
        auto ini = OpenConfigStore(file, store.UseRegistry, store.UseMemIni);
        ini->WriteString("GUITestRunner Config", "AutoSave", "1");
        ini->UpdateFile();
        CheckEquals(size_t{4}, AllKeys(*ini).size(), store.Name);
      }
      auto fresh = PlainTree();  // all enabled, every run count 1
      fresh->SaveConfiguration(file, store.UseRegistry, store.UseMemIni);
      auto ini = OpenConfigStore(file, store.UseRegistry, store.UseMemIni);
      std::vector<std::string> keys = AllKeys(*ini);
      CheckEquals(size_t{1}, keys.size(), store.Name);
      CheckEquals("GUITestRunner Config/AutoSave=1", keys.at(0), store.Name);
      if (!store.UseRegistry) CheckEquals("[GUITestRunner Config]\nAutoSave=1\n", ReadFile(file), store.Name);
    }
  }

  TESSEL_TEST(TestOneDisabledTestGivesExactlyOneKey) {
    TScratchDir dir;
    auto root = PlainTree();
    Child(Child(root, 0), 1)->SetEnabled(false);
    root->SaveConfiguration(dir / "tessel.ini", false, true);
    Platform::TIniFile ini(dir / "tessel.ini");
    std::vector<std::string> keys = AllKeys(ini);
    CheckEquals(size_t{1}, keys.size());
    CheckEquals("Tests.AllTests.TPlainTests/TestB=0", keys.at(0));
  }

  TESSEL_TEST(TestBlankPaddedZeroReadsAsDisabled) {
    TScratchDir dir;
    WriteFile(dir / "tessel.ini", "[Tests.AllTests.TPlainTests]\nTestB= 0 \nTestC=\t0\r\n");
    for (bool memIni : {true, false}) {
      auto root = PlainTree();
      root->LoadConfiguration(dir / "tessel.ini", false, memIni);
      CheckTrue(Child(Child(root, 0), 0)->GetEnabled());
      CheckFalse(Child(Child(root, 0), 1)->GetEnabled(), memIni ? "memory INI" : "direct INI");
      CheckFalse(Child(Child(root, 0), 2)->GetEnabled(), memIni ? "memory INI" : "direct INI");
    }
  }

  TESSEL_TEST(TestLoadResetsRunCountsAndFlags) {
    TScratchDir dir;
    auto root = std::make_shared<TTestSuite>("AllTests");
    root->AddTest(TRepeatedTests::Suite());
    ITestPtr retry = Child(Child(root, 0), 0);
    CheckEquals(3, retry->GetRunCount(), "from the attribute");
    Child(root, 0)->SetEnabled(false);
    root->LoadConfiguration(dir / "absent.ini", false, true);
    CheckEquals(1, retry->GetRunCount(), "no key: back to 1");
    CheckTrue(Child(root, 0)->GetEnabled(), "no key: enabled again");
    CheckFalse(FileExists(dir / "absent.ini"), "loading writes nothing");

    WriteFile(dir / "tessel.ini", "[Tests.AllTests.TRepeatedTests]\nTestRetry.RunCount=$10\nTestOnce.RunCount=x\n");
    root->LoadConfiguration(dir / "tessel.ini", false, false);
    CheckEquals(16, retry->GetRunCount());
    CheckEquals(1, Child(Child(root, 0), 1)->GetRunCount(), "no number: the default");
  }

  TESSEL_TEST(TestSameNamedSiblingsShareOneKey) {
    TScratchDir dir;
    const std::string file = dir / "tessel.ini";
    auto suite = std::make_shared<TTestSuite>("S");
    auto first = std::make_shared<TPlainTests>("TestA");
    auto second = std::make_shared<TPlainTests>("TestA");
    suite->AddTest(first);
    suite->AddTest(second);

    WriteFile(file, "[Tests.S]\nTestA=0\nTestA.RunCount=2\n");
    suite->LoadConfiguration(file, false, true);
    CheckFalse(first->GetEnabled());
    CheckFalse(second->GetEnabled());
    CheckEquals(2, second->GetRunCount());

    first->SetEnabled(true);  // the later sibling is still disabled: its value wins
    suite->SaveConfiguration(file, false, true);
    CheckEquals("[Tests.S]\nTestA.RunCount=2\nTestA=0\n", ReadFile(file));
    first->SetEnabled(false);
    second->SetEnabled(true);
    second->SetRunCount(1);
    suite->SaveConfiguration(file, false, true);
    CheckEquals("", ReadFile(file));
  }

  TESSEL_TEST(TestRootNameWithDotsIsKeptWhole) {
    TScratchDir dir;
    auto root = PlainTree("config_tests.exe");
    Child(Child(root, 0), 0)->SetEnabled(false);
    root->SaveConfiguration(dir / "tessel.ini", false, true);
    CheckEquals("[Tests.config_tests.exe.TPlainTests]\nTestA=0\n", ReadFile(dir / "tessel.ini"));
    auto again = PlainTree("config_tests.exe");
    again->LoadConfiguration(dir / "tessel.ini", false, true);
    CheckFalse(Child(Child(again, 0), 0)->GetEnabled());
  }

  TESSEL_TEST(TestRegistryWinsOverMemoryIni) {
    TScratchDir dir;
    TRegistryHome home(dir.Path());
    SetTesselRegistryKey("Vendor\\Tessel\\");
    const std::string file = dir / "prog/tessel.ini";
    auto root = PlainTree();
    Child(Child(root, 0), 2)->SetEnabled(false);
    root->SaveConfiguration(file, true, true);
    CheckFalse(FileExists(file), "nothing goes to the INI file");
    Platform::TRegistryIniFile reg("Vendor\\Tessel\\" + file);
    CheckEquals("0", reg.ReadString("Tests.AllTests.TPlainTests", "TestC", ""));

    auto again = PlainTree();
    again->LoadConfiguration(file, true, false);
    CheckFalse(Child(Child(again, 0), 2)->GetEnabled());
    CheckTrue(Child(Child(again, 0), 1)->GetEnabled());
  }
};

TESSEL_REGISTER("Config", TConfigTreeTests);

}  // namespace
