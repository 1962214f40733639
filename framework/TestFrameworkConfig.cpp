// Tessel core: the configuration store the nodes' file-level operations open.
#include "framework/TestFramework.h"
#include "platform/IniFiles.h"

namespace TestFramework {

std::unique_ptr<TCustomIniFile> OpenConfigStore(const std::string& fileName, bool useRegistry, bool useMemIni) {
  return Platform::OpenConfigStore(fileName, useRegistry, useMemIni, GetTesselRegistryKey());
}

}  // namespace TestFramework
