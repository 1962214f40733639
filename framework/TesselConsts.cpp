#include "framework/TesselConsts.h"

#include "platform/UnitSteps.h"

namespace TesselConsts {

namespace {
int gInitCount = 0;
}

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("TesselConsts", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount > 0 && --gInitCount == 0) Platform::NoteUnitStep("TesselConsts", Platform::kUnitStop);
}

}  // namespace TesselConsts
