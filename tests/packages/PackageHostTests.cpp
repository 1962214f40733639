// A host that loads both packages the way an application loads its modules:
// dlopen, the three entry points, dlclose. It links neither package, so every
// step the units take is one this program caused, and the record comes from
// the units themselves through the step hook.
//
// Usage: package_host <libCorvelTest5.so> <libCorvelRichEditControl5.so> <package needing an absent one>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "UnitRecorder.h"
#include "framework/TestFramework.h"
#include "packages/PackageFrame.h"

namespace {

int gFailures = 0;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  ++gFailures;
  std::printf("FAILED: %s\n", what.c_str());
}

void CheckSame(const std::string& expected, const std::string& actual, const std::string& what) {
  Check(expected == actual, what + "\n-- expected:\n" + expected + "-- actual:\n" + actual);
}

struct TPackage {
  void* Handle = nullptr;
  void (*Initialize)() = nullptr;
  void (*Finalize)() = nullptr;
  const TPackageInfoTable* (*GetPackageInfoTable)() = nullptr;
};

TPackage Load(const char* path, int scope = RTLD_LOCAL) {
  TPackage p;
  p.Handle = dlopen(path, RTLD_NOW | scope);
  if (!p.Handle) {
    std::printf("FAILED: cannot load %s: %s\n", path, dlerror());
    std::exit(1);
  }
  // From this handle, not by a global name: both packages export the same three.
  p.Initialize = reinterpret_cast<void (*)()>(dlsym(p.Handle, "Initialize"));
  p.Finalize = reinterpret_cast<void (*)()>(dlsym(p.Handle, "Finalize"));
  p.GetPackageInfoTable = reinterpret_cast<const TPackageInfoTable* (*)()>(dlsym(p.Handle, "GetPackageInfoTable"));
  if (!p.Initialize || !p.Finalize || !p.GetPackageInfoTable) {
    std::printf("FAILED: %s lacks a loader entry point\n", path);
    std::exit(1);
  }
  return p;
}

bool IsLoaded(const char* path) {
  void* h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

// Rows of units not in this build are reported, not skipped silently.
using UnitRecorder::kUnitOrder;

void TestMissingRequiredPackage(const char* needy, const char* corvelTest5) {
  UnitRecorder::Clear();
  void* h = dlopen(needy, RTLD_NOW | RTLD_LOCAL);
  const char* error = h ? "" : dlerror();
  Check(!h, "a package whose required package is absent must not load");
  Check(std::string(error).find("libTesselAbsentPackage.so: cannot open shared object file") != std::string::npos,
        std::string("the loader's message names the absent package; got: ") + error);
  CheckSame("", UnitRecorder::Steps(), "no unit starts when loading fails");
  Check(!IsLoaded(corvelTest5), "a failed load leaves CorvelTest5 unloaded");
}

// Constructor and destructor as the loader runs them, in a process of its own
// whose steps arrive through a pipe, exit included. The companion comes first
// and global, so a constructor that started its units through the exported
// name would start the companion's instead. Returns what arrived.
std::string LoadAndExitInChild(const char* corvelTest5, const char* richEdit) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    UnitRecorder::gPipe = fds[1];
    TPackage companion = Load(richEdit, RTLD_GLOBAL);
    TPackage p = Load(corvelTest5);
    const char marker[] = "-- loaded\n";
    [[maybe_unused]] ssize_t w = write(fds[1], marker, sizeof marker - 1);
    dlclose(companion.Handle);
    dlclose(p.Handle);
    std::exit(0);  // what dlclose leaves running stops here
  }
  close(fds[1]);
  std::string got = UnitRecorder::ReadToEnd(fds[0]);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  Check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the child that loads CorvelTest5 exits cleanly");
  return got;
}

void TestCompanionPackage(const char* richEdit) {
  UnitRecorder::Clear();
  TPackage p = Load(richEdit);
  CheckSame("CorvelRichEditControl5 register\n", UnitRecorder::Steps(), "the companion registers when loaded");
  const TPackageInfoTable* table = p.GetPackageInfoTable();
  Check(table->UnitCount == 1 && std::string(table->Units[0].Name) == "CorvelRichEditControl5",
        "the companion's table holds its package unit only");

  p.Initialize();
  p.Finalize();
  CheckSame("CorvelRichEditControl5 register\n", UnitRecorder::Steps(), "a second start and its stop only count");

  dlclose(p.Handle);
  CheckSame("CorvelRichEditControl5 register\nCorvelRichEditControl5 unregister\n", UnitRecorder::Steps(),
            "the companion unregisters when unloaded");
  Check(!IsLoaded(richEdit), "the companion is unmapped after its last dlclose");
}

void TestFrameworkPackage(const char* corvelTest5, const char* richEdit, const std::string& childSteps) {
  UnitRecorder::Clear();
  TPackage p = Load(corvelTest5);
  const TPackageInfoTable& table = *p.GetPackageInfoTable();

  std::string names, expectedNames, waiting;
  std::set<std::string> present;
  for (const char* name : kUnitOrder) expectedNames += std::string(name) + "\n";
  for (int i = 0; i < table.UnitCount; ++i) {
    names += std::string(table.Units[i].Name) + "\n";
    if (!table.Units[i].Initialize || !table.Units[i].Finalize)
      waiting += std::string(" ") + table.Units[i].Name;
    else
      present.insert(table.Units[i].Name);
  }
  CheckSame(expectedNames, names, "the unit table lists every unit in start-up order");
  if (!waiting.empty()) std::printf("note: units not in this build:%s\n", waiting.c_str());
  const std::string starts = UnitRecorder::StartsOf(table), stops = UnitRecorder::StopsOf(table);
  CheckSame(starts, UnitRecorder::Steps(), "loading starts the units in order");
  CheckSame("CorvelRichEditControl5 register\n" + starts + "-- loaded\nCorvelRichEditControl5 unregister\n" + stops,
            childSteps, "in a process that loads the package and ends, the units stop backwards");

  using TText = const char* (*)();
  auto description = reinterpret_cast<TText>(dlsym(p.Handle, "_ZN11CorvelTest518PackageDescriptionEv"));
  auto form = reinterpret_cast<TText>(dlsym(p.Handle, "_ZN11CorvelTest515FormDescriptionEv"));
  Check(description && form, "the package's description and form can be read back");
  if (description && form) {
    const std::string text = description(), formText = form();
    // The units line names the units this build of the library holds.
    std::set<std::string> described;
    const size_t at = text.find("\nunits=");
    std::istringstream units(at == std::string::npos ? "" : text.substr(at + 7, text.find('\n', at + 1) - at - 7));
    for (std::string unit; units >> unit;) described.insert(unit);
    Check(text.rfind("package=CorvelTest5\nunits=CorvelTest5 TestFramework TesselConsts ", 0) == 0 &&
              described == present && text.find("\nrequires=libc libstdc++") != std::string::npos &&
              text.find("\ntarget=x86_64-linux-gnu\n") != std::string::npos,
          "the description names the package, its units, what it requires and its target: " + text);
    Check(formText.empty() || formText.find("<ui") != std::string::npos, "the stored form is a form: " + formText);
  }

  using TRegisteredTests = TestFramework::ITestSuitePtr (*)();
  auto registeredTests = reinterpret_cast<TRegisteredTests>(dlsym(p.Handle, "_ZN13TestFramework15RegisteredTestsEv"));
  Check(registeredTests != nullptr, "RegisteredTests is exported");
  if (registeredTests) {
    TestFramework::ITestSuitePtr root = registeredTests();
    Check(!root || root->CountTestCases() == 0, "loading the package registers no tests");
  }

  // A second load and one unload, then a second start and one stop: units stay up.
  TPackage again = Load(corvelTest5);
  Check(again.Handle == p.Handle, "loading twice gives the same module");
  dlclose(again.Handle);
  p.Initialize();
  p.Finalize();
  CheckSame(starts, UnitRecorder::Steps(), "loading twice and unloading once leaves the units started");

  UnitRecorder::Clear();
  p.Finalize();
  CheckSame(stops, UnitRecorder::Steps(), "the last stop runs every shut-down step backwards");
  p.Finalize();
  CheckSame(stops, UnitRecorder::Steps(), "a stop too many does nothing");

  UnitRecorder::Clear();
  p.Initialize();
  CheckSame(starts, UnitRecorder::Steps(), "a stopped package starts again in the same order");

  // Both loaded, the companion global: each entry point runs its own package's units.
  TPackage companion = Load(richEdit, RTLD_GLOBAL);
  UnitRecorder::Clear();
  p.Finalize();
  companion.Finalize();
  CheckSame(stops + "CorvelRichEditControl5 unregister\n", UnitRecorder::Steps(),
            "with both packages loaded, each Finalize stops its own units");
  dlclose(companion.Handle);
  dlclose(p.Handle);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::printf("usage: %s <libCorvelTest5.so> <libCorvelRichEditControl5.so> <needy package>\n", argv[0]);
    return 2;
  }
  // Nothing of either package is loaded yet: the failing load and the child come first.
  TestMissingRequiredPackage(argv[3], argv[1]);
  const std::string childSteps = LoadAndExitInChild(argv[1], argv[2]);
  TestCompanionPackage(argv[2]);
  TestFrameworkPackage(argv[1], argv[2], childSteps);
  std::printf("%s\n", gFailures ? "package host: FAILED" : "package host: OK");
  return gFailures ? 1 : 0;
}
