// The package unit of CorvelTest5: starts the units of the library in their
// fixed order when the library is loaded and stops them backwards when it is
// unloaded. The loader entry points are declared in PackageFrame.h.
#pragma once

namespace CorvelTest5 {

// Starts the units once for this module, if the library's constructor has
// not done so already. A static link pulls in this file only when something
// calls it, so every registry entry point does.
void EnsureStarted();

// What the library says about itself, as kept in its ELF sections: the
// package description ("key=value" lines) and the runner window's stored
// form (Qt Designer XML; empty in a build without the windowed runner).
const char* PackageDescription();
const char* FormDescription();

// The package unit's own steps, the last row of the table (counted).
void InitializeUnit();
void FinalizeUnit();

}  // namespace CorvelTest5
