#include "platform/IniFiles.h"

namespace Platform {

std::unique_ptr<TCustomIniFile> OpenConfigStore(const std::string& fileName, bool useRegistry, bool useMemIni,
                                                const std::string& registryKeyPrefix) {
  if (useRegistry) return std::make_unique<TRegistryIniFile>(registryKeyPrefix + fileName);
  if (useMemIni) return std::make_unique<TMemIniFileTrimmed>(fileName);
  return std::make_unique<TIniFile>(fileName);
}

}  // namespace Platform
