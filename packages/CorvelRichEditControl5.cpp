#include "packages/CorvelRichEditControl5.h"

#include "packages/PackageFrame.h"
#include "platform/UnitSteps.h"

namespace {

// Its description names the two packages the original companion asked for,
// but neither is a load-time dependency: a package that nothing delivers
// would make this one fail to load, and it calls neither.
[[gnu::used, gnu::section(TESSEL_PACKAGE_SECTION)]] const char kDescription[] =
    "package=CorvelRichEditControl5\n"
    "units=CorvelRichEditControl5\n"
    "requires=CorvelDevExpress5 corvelreport5\n"
    "options=none\n"
    "target=x86_64-linux-gnu\n";

int gInitCount = 0;

const TPackageUnit kUnits[] = {
    {"CorvelRichEditControl5", &CorvelRichEditControl5::InitializeUnit, &CorvelRichEditControl5::FinalizeUnit},
};
const TPackageInfoTable kTable = {1, kUnits};

// File-local for the same reason as in CorvelTest5: a call by the exported
// name could reach the other package's entry point.
void StartUnits() { kUnits[0].Initialize(); }
void StopUnits() { kUnits[0].Finalize(); }

[[gnu::constructor]] void StartModule() { StartUnits(); }
[[gnu::destructor]] void StopModule() { StopUnits(); }

}  // namespace

namespace CorvelRichEditControl5 {

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("CorvelRichEditControl5", "register");
}

void FinalizeUnit() {
  if (gInitCount > 0 && --gInitCount == 0) Platform::NoteUnitStep("CorvelRichEditControl5", "unregister");
}

bool Registered() { return gInitCount > 0; }

}  // namespace CorvelRichEditControl5

extern "C" {

void Initialize() { StartUnits(); }
void Finalize() { StopUnits(); }
const TPackageInfoTable* GetPackageInfoTable() { return &kTable; }

}  // extern "C"
