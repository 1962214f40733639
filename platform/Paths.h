// Program and module paths and the one-line description of the OS.
#pragma once
#include <string>

namespace Platform {

// Full path of the running program (/proc/self/exe).
std::string ProgramPath();
// Directory of the running program, ending with '/'.
std::string ProgramDir();
// Full path of the module (shared library or executable) that holds addr.
std::string ModulePathOf(const void* addr);
// File name part of a path.
std::string ExtractFileName(const std::string& path);
// Directory part of a path, ending with '/', or empty.
std::string ExtractFilePath(const std::string& path);
// "Name Version (kernel release)", one line.
std::string OSDescription();
// Creates dir and its parents; false when that fails.
bool ForceDirectories(const std::string& dir);

}  // namespace Platform
