// Start-up and shut-down steps of the units, announced to a program that
// watches them. A program that defines TesselUnitStep (with C linkage,
// exported from the executable) is told every step as it happens, in order;
// in every other program the weak reference stays empty and costs one test.
//
// Header-only on purpose: CorvelRichEditControl5 announces its steps too and
// links nothing of the framework.
#pragma once

extern "C" [[gnu::weak]] void TesselUnitStep(const char* unit, const char* step);

namespace Platform {

inline constexpr char kUnitStart[] = "start";
inline constexpr char kUnitStop[] = "stop";

inline void NoteUnitStep(const char* unit, const char* step) {
  if (TesselUnitStep) TesselUnitStep(unit, step);
}

}  // namespace Platform
