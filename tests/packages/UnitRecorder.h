// The recording end of the units' step hook, for the package test programs.
// Steps may arrive before main and during exit, so the record is plain
// constant-initialised storage, and a child process can send its steps down
// a pipe as they happen.
#pragma once
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace UnitRecorder {

inline char gSteps[8192];
inline size_t gLength = 0;
inline int gPipe = -1;

// The start-up order every build keeps; rows of units not in a build are
// empty in its table.
inline const char* const kUnitOrder[] = {"TesselConsts",   "TestFramework",  "GUITesting",         "GUITestRunner",
                                         "TestExtensions", "TextTestRunner", "NUnitXMLTestRunner", "vUtilTestMini",
                                         "vUtilTest",      "vUtilTeste",     "XMLTestRunner2",     "CorvelTest5"};

// Everything written to fd until its last writer closes it (a child's steps).
inline std::string ReadToEnd(int fd) {
  std::string got;
  char buf[1024];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  return got;
}

inline void Clear() { gLength = 0; }
inline std::string Steps() { return std::string(gSteps, gLength); }

// Start-up lines of the rows that are filled, in table order: what a
// correct package records when it starts.
template <class Table>
std::string StartsOf(const Table& table, const char* step = "start") {
  std::string s;
  for (int i = 0; i < table.UnitCount; ++i)
    if (table.Units[i].Initialize) s += std::string(table.Units[i].Name) + " " + step + "\n";
  return s;
}

template <class Table>
std::string StopsOf(const Table& table, const char* step = "stop") {
  std::string s;
  for (int i = table.UnitCount; i-- > 0;)
    if (table.Units[i].Finalize) s += std::string(table.Units[i].Name) + " " + step + "\n";
  return s;
}

}  // namespace UnitRecorder

extern "C" [[gnu::visibility("default")]] void TesselUnitStep(const char* unit, const char* step) {
  char line[256];
  int n = std::snprintf(line, sizeof line, "%s %s\n", unit, step);
  if (n <= 0) return;
  size_t len = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
  if (UnitRecorder::gPipe >= 0) {
    [[maybe_unused]] ssize_t w = write(UnitRecorder::gPipe, line, len);
  } else if (UnitRecorder::gLength + len <= sizeof UnitRecorder::gSteps) {
    std::memcpy(UnitRecorder::gSteps + UnitRecorder::gLength, line, len);
    UnitRecorder::gLength += len;
  }
}
