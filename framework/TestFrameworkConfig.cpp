// Tessel core: file-level configuration of any node; the section-level
// operations belong to the nodes themselves.
#include "framework/TestFramework.h"
#include "platform/IniFiles.h"

namespace TestFramework {

std::unique_ptr<TCustomIniFile> OpenConfigStore(const std::string& fileName, bool useRegistry, bool useMemIni) {
  return Platform::OpenConfigStore(fileName, useRegistry, useMemIni, GetTesselRegistryKey());
}

void TAbstractTest::LoadConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) {
  std::unique_ptr<TCustomIniFile> store = OpenConfigStore(fileName, useRegistry, useMemIni);
  Self()->LoadConfiguration(*store, "Tests");
}

void TAbstractTest::SaveConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) {
  std::unique_ptr<TCustomIniFile> store = OpenConfigStore(fileName, useRegistry, useMemIni);
  Self()->SaveConfiguration(*store, "Tests");
  store->UpdateFile();
}

}  // namespace TestFramework
