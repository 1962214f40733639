// What ships: no library of the build or the install tree searches the
// current directory for what it needs, and CTest discovery carries every
// name the subject program holds, run by a real CTest.
#include "framework/TestFramework.h"
#include "tests/hostile/HostileNames.h"
#include "tests/hostile/Support.h"

using namespace TestFramework;
using namespace Hostile;

namespace {

// The search path of an ELF file as readelf shows it, or "" when it has none.
std::string SearchPathOf(const std::string& file, const std::string& outDir) {
  TRun run = RunProgram({HOSTILE_READELF, "-d", file}, {}, outDir, outDir);
  for (std::istringstream in(run.Out); in;) {
    std::string line;
    std::getline(in, line);
    if (!Contains(line, "(RUNPATH)") && !Contains(line, "(RPATH)")) continue;
    const size_t open = line.find('['), close = line.rfind(']');
    return open == std::string::npos ? line : line.substr(open + 1, close - open - 1);
  }
  return {};
}

// Every shared library below dir (but not below skip) whose search path has
// an empty entry, which means the current directory, with that path.
std::string LibrariesSearchingHere(const std::string& dir, const std::string& skip, const std::string& outDir,
                                   int& seen) {
  std::string bad;
  for (const std::string& file : FilesUnder(dir)) {
    const std::string name = fs::path(file).filename().string();
    if (!Contains(name, ".so") || Contains(file, "/CMakeFiles/") || (!skip.empty() && file.starts_with(skip))) continue;
    ++seen;
    const std::string path = SearchPathOf(file, outDir);
    if (path.empty()) continue;
    if (path.front() == ':' || path.back() == ':' || Contains(path, "::")) bad += file + ": [" + path + "]\n";
  }
  return bad;
}

// The CTest names a discovered case gets: a NUL shown as U+2400, invalid
// UTF-8 as U+FFFD, as the listing gives them.
std::string CTestName(const std::string& path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == 0) {
      out += "\xE2\x90\x80";
    } else if (c >= 0x80) {
      // The subject's only bytes above 0x7F are invalid ones.
      out += "\xEF\xBF\xBD";
    } else {
      out += path[i];
    }
  }
  return out;
}

class TDeliveryTests : public TTestCase {
  TESSEL_TESTCASE(TDeliveryTests, TTestCase)
 public:
  TESSEL_TEST(TestNoLibrarySearchesTheCurrentDirectory) {
    const std::string out = FreshFolder("runpath"), prefix = out + "/prefix";
    int seen = 0;
    // The build tree without this test's own install tree.
    CheckEquals(std::string(), LibrariesSearchingHere(HOSTILE_BUILD_DIR, HOSTILE_WORK_DIR, out, seen), "the build tree");
    CheckTrue(seen >= 6, "libraries found in the build tree: " + std::to_string(seen));
    TRun install = RunProgram({HOSTILE_CMAKE, "--install", HOSTILE_BUILD_DIR, "--prefix", prefix}, {}, out, out, 300);
    CheckEquals(0, install.Status, "installed: " + install.Err);
    seen = 0;
    CheckEquals(std::string(), LibrariesSearchingHere(prefix, "", out, seen), "the install tree");
    CheckTrue(seen >= 6, "libraries found in the install tree: " + std::to_string(seen));
  }

  // tessel_discover_tests in a project of its own, per case and per suite;
  // CTest's own list read with Python's json, then every test run.
  TESSEL_TEST(TestDiscoveryUnderCTest) {
    const std::string folder = FreshFolder("discovery");
    fs::create_directories(folder + "/src");
    WriteFile(folder + "/src/CMakeLists.txt",
              "cmake_minimum_required(VERSION 3.25)\n"
              "project(hostile_discovery NONE)\n"
              "include([[" HOSTILE_CMAKE_DIR "/TesselDiscoverTests.cmake]])\n"
              "enable_testing()\n"
              "add_executable(hostile_names IMPORTED)\n"
              "set_target_properties(hostile_names PROPERTIES IMPORTED_LOCATION [[" HOSTILE_NAMES "]])\n"
              "tessel_discover_tests(hostile_names DISCOVERY_MODE PRE_TEST\n"
              "  PROPERTIES ENVIRONMENT HOSTILE_RAN_LOG=${CMAKE_BINARY_DIR}/cases.log)\n"
              "tessel_discover_tests(hostile_names PER_SUITE TEST_PREFIX suite: DISCOVERY_MODE PRE_TEST\n"
              "  PROPERTIES ENVIRONMENT HOSTILE_RAN_LOG=${CMAKE_BINARY_DIR}/suites.log)\n");
    TRun configure = RunProgram({HOSTILE_CMAKE, "-S", folder + "/src", "-B", folder + "/build"}, {}, folder, folder);
    CheckEquals(0, configure.Status, "configured: " + configure.Out + configure.Err);
    TRun list = RunProgram({HOSTILE_CTEST, "--test-dir", folder + "/build", "--show-only=json-v1"}, {}, folder, folder);
    CheckEquals(0, list.Status, "CTest lists: " + list.Err);
    WriteFile(folder + "/tests.json", list.Out);
    TRun names = RunProgram({"/usr/bin/python3", "-c",
                             "import json,sys\n"
                             "for t in json.load(open(sys.argv[1], encoding='utf-8'))['tests']: print(t['name'].encode().hex())\n",
                             folder + "/tests.json"},
                            {}, folder, FreshFolder("discovery-python"));
    CheckEquals(0, names.Status, "Python's json reads CTest's list: " + names.Err);
    std::string expected;
    for (const std::string& p : HostileNames::CasePaths()) expected += HostileNames::Hex(CTestName(p)) + "\n";
    for (const HostileNames::TSuiteOfNames& s : HostileNames::Suites())
      expected += HostileNames::Hex("suite:" + CTestName(s.Name)) + "\n";
    CheckEquals(expected, names.Out, "one CTest test per case and per suite, each name whole");

    TRun run = RunProgram({HOSTILE_CTEST, "--test-dir", folder + "/build", "--output-on-failure"}, {}, folder,
                          folder, 300);
    CheckEquals(0, run.Status, "every discovered test passes\n" + run.Out);
    std::string once;
    for (const std::string& p : HostileNames::CasePaths()) once += HostileNames::Hex(p) + "\n";
    CheckEquals(once, ReadFile(folder + "/build/cases.log"), "each case test ran its own case, and only it");
    CheckEquals(once, ReadFile(folder + "/build/suites.log"), "each suite test ran its suite's cases");
  }
};

}  // namespace

TESSEL_REGISTER("Hostile.Delivery", TDeliveryTests);
