// What each package hands to a module loader: its table of units and the
// three entry points. Plain C layout, so a loader in any language reads it,
// and declarations only, so a package includes it without linking anything.
#pragma once

extern "C" {

// One unit of a package with its start-up and shut-down steps. A step is
// empty while the unit is not part of the build; the loop skips it.
struct TPackageUnit {
  const char* Name;
  void (*Initialize)();
  void (*Finalize)();
};

struct TPackageInfoTable {
  int UnitCount;
  const TPackageUnit* Units;  // in start-up order; shut-down runs backwards
};

// Run every unit's start-up step in order (each unit counts its starts, so a
// second call only counts), and every shut-down step in reverse order.
[[gnu::visibility("default")]] void Initialize();
[[gnu::visibility("default")]] void Finalize();
[[gnu::visibility("default")]] const TPackageInfoTable* GetPackageInfoTable();

}  // extern "C"

// Name of the ELF section that holds a package's description as text
// (package, units, requires, options, target: one "key=value" a line), so
// `readelf -p .corvel.package` shows it without loading the library.
#define TESSEL_PACKAGE_SECTION ".corvel.package"
// CorvelTest5 only: the runner window's stored form.
#define TESSEL_FORM_SECTION ".corvel.form"
