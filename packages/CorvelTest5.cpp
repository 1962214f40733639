#include "packages/CorvelTest5.h"

#include <iterator>

#include "CorvelTest5Description.h"  // generated per library: units, requirements, build options
#include "extensions/TestExtensions.h"
#include "framework/TesselConsts.h"
#include "framework/TestFramework.h"
#include "packages/PackageFrame.h"
#include "platform/UnitSteps.h"
#include "runners/NUnitXMLTestRunner.h"
#include "runners/TextTestRunner.h"
#include "runners/XMLTestRunner2.h"

// Units whose folders are not in every build yet. Weak, so their rows stay
// empty until the unit is linked in, and fill without any change here once
// it is: a unit fills its row by defining these two in its namespace,
// counted and announcing its steps like the units above.
namespace GUITesting {
[[gnu::weak]] void InitializeUnit();
[[gnu::weak]] void FinalizeUnit();
}  // namespace GUITesting
namespace GUITestRunner {
[[gnu::weak]] void InitializeUnit();
[[gnu::weak]] void FinalizeUnit();
}  // namespace GUITestRunner
namespace vUtilTestMini {
[[gnu::weak]] void InitializeUnit();
[[gnu::weak]] void FinalizeUnit();
}  // namespace vUtilTestMini
namespace vUtilTest {
[[gnu::weak]] void InitializeUnit();
[[gnu::weak]] void FinalizeUnit();
}  // namespace vUtilTest
namespace vUtilTeste {
[[gnu::weak]] void InitializeUnit();
[[gnu::weak]] void FinalizeUnit();
}  // namespace vUtilTeste

namespace {

#define TESSEL_UNIT_ROW(unit) {#unit, &unit::InitializeUnit, &unit::FinalizeUnit}

// Start-up order; shut-down runs backwards, so the framework core releases
// the registry last.
const TPackageUnit kUnits[] = {
    TESSEL_UNIT_ROW(TesselConsts),
    TESSEL_UNIT_ROW(TestFramework),
    TESSEL_UNIT_ROW(GUITesting),
    TESSEL_UNIT_ROW(GUITestRunner),
    TESSEL_UNIT_ROW(TestExtensions),
    TESSEL_UNIT_ROW(TextTestRunner),
    TESSEL_UNIT_ROW(NUnitXMLTestRunner),
    TESSEL_UNIT_ROW(vUtilTestMini),
    TESSEL_UNIT_ROW(vUtilTest),
    TESSEL_UNIT_ROW(vUtilTeste),
    TESSEL_UNIT_ROW(XMLTestRunner2),
    TESSEL_UNIT_ROW(CorvelTest5),
};

#undef TESSEL_UNIT_ROW

const TPackageInfoTable kTable = {static_cast<int>(std::size(kUnits)), kUnits};

[[gnu::used, gnu::section(TESSEL_PACKAGE_SECTION)]] const char kDescription[] =
    "package=CorvelTest5\n"
    "units=" TESSEL_PACKAGE_UNITS "\n"
    "requires=" TESSEL_PACKAGE_REQUIRES "\n"
    "options=" TESSEL_PACKAGE_OPTIONS "\n"
    "target=x86_64-linux-gnu\n";

[[gnu::used, gnu::section(TESSEL_FORM_SECTION)]] const char kForm[] =
#include "CorvelTest5Form.inc"
    ;

// The module's own start: by the constructor of the shared library, or by
// the first registry call of a statically linked program. Stopped never
// starts again, so registry calls made while the units stop (the registry
// is released by one of them) do not restart them.
enum class TModuleState { NotStarted, Started, Stopped };
TModuleState gModule = TModuleState::NotStarted;
int gInitCount = 0;

// File-local: the exported Initialize and Finalize of another package loaded
// before this one would win a call by name.
void StartUnits() {
  for (const TPackageUnit& unit : kUnits)
    if (unit.Initialize) unit.Initialize();
}

void StopUnits() {
  for (size_t i = std::size(kUnits); i-- > 0;)
    if (kUnits[i].Finalize) kUnits[i].Finalize();
}

[[gnu::constructor]] void StartModule() { CorvelTest5::EnsureStarted(); }

[[gnu::destructor]] void StopModule() {
  if (gModule != TModuleState::Started) return;
  gModule = TModuleState::Stopped;
  StopUnits();
}

}  // namespace

namespace CorvelTest5 {

void EnsureStarted() {
  if (gModule != TModuleState::NotStarted) return;
  gModule = TModuleState::Started;
  StartUnits();
}

const char* PackageDescription() { return kDescription; }
const char* FormDescription() { return kForm; }

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("CorvelTest5", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount > 0 && --gInitCount == 0) Platform::NoteUnitStep("CorvelTest5", Platform::kUnitStop);
}

}  // namespace CorvelTest5

extern "C" {

void Initialize() { StartUnits(); }
void Finalize() { StopUnits(); }
const TPackageInfoTable* GetPackageInfoTable() { return &kTable; }

}  // extern "C"
