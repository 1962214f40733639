// Tessel core: the configuration store the nodes' file-level operations open,
// and the file-level save that keeps every node a store can hold.
#include <algorithm>

#include "framework/TestFramework.h"
#include "platform/Format.h"
#include "platform/IniFiles.h"

namespace TestFramework {

std::unique_ptr<TCustomIniFile> OpenConfigStore(const std::string& fileName, bool useRegistry, bool useMemIni) {
  return Platform::OpenConfigStore(fileName, useRegistry, useMemIni, GetTesselRegistryKey());
}

namespace {

// Control characters as escapes, so that a name with a line break shows on
// the one line of its message.
std::string Printable(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c < 0x20) out += Platform::Format("\\x%2.2x", static_cast<int>(c));
    else out += static_cast<char>(c);
  }
  return out;
}

// Passes everything to the store, except writes of names its format cannot
// hold: those are left out and remembered by the node's path below the root
// (a suite whose name breaks its children's section once for all of them),
// so that one such name does not cost the settings of every other node.
class TKeepingStore : public TCustomIniFile {
 public:
  TKeepingStore(TCustomIniFile& store, const std::string& rootName)
      : TCustomIniFile(store.FileName()), FStore(store), FRootSection("Tests." + rootName) {}

  const std::vector<std::string>& LeftOut() const noexcept { return FLeftOut; }

  std::string ReadString(const std::string& S, const std::string& I, const std::string& D) override {
    return FStore.ReadString(S, I, D);
  }
  void WriteString(const std::string& S, const std::string& I, const std::string& V) override {
    if (Keeps(S, I, V)) FStore.WriteString(S, I, V);
  }
  int32_t ReadInteger(const std::string& S, const std::string& I, int32_t D) override {
    return FStore.ReadInteger(S, I, D);
  }
  void WriteInteger(const std::string& S, const std::string& I, int32_t V) override {
    if (Keeps(S, I, std::to_string(V))) FStore.WriteInteger(S, I, V);
  }
  bool ReadBool(const std::string& S, const std::string& I, bool D) override { return FStore.ReadBool(S, I, D); }
  void WriteBool(const std::string& S, const std::string& I, bool V) override {
    if (Keeps(S, I, V ? "1" : "0")) FStore.WriteBool(S, I, V);
  }
  void DeleteKey(const std::string& S, const std::string& I) override { FStore.DeleteKey(S, I); }
  void EraseSection(const std::string& S) override { FStore.EraseSection(S); }
  std::vector<std::string> ReadSection(const std::string& S) override { return FStore.ReadSection(S); }
  std::vector<std::string> ReadSections() override { return FStore.ReadSections(); }
  bool SectionExists(const std::string& S) override { return FStore.SectionExists(S); }
  bool ValueExists(const std::string& S, const std::string& I) override { return FStore.ValueExists(S, I); }
  void UpdateFile() override { FStore.UpdateFile(); }
  std::string Unwritable(const std::string& S, const std::string& I, const std::string& V) override {
    return FStore.Unwritable(S, I, V);
  }

 private:
  TCustomIniFile& FStore;
  const std::string FRootSection;  // where the root's children are
  std::vector<std::string> FLeftOut;

  bool Keeps(const std::string& section, const std::string& key, const std::string& value) {
    if (FStore.Unwritable(section, key, value).empty()) return true;
    static const std::string kRunCount = ".RunCount";
    std::string path;
    if (section.size() > FRootSection.size() && section.starts_with(FRootSection + "."))
      path = section.substr(FRootSection.size() + 1);
    if (FStore.Unwritable(section, "Enabled", "0").empty()) {
      std::string node = key;
      if (node.size() > kRunCount.size() && node.ends_with(kRunCount)) node.resize(node.size() - kRunCount.size());
      path = path.empty() ? node : path + "." + node;
    }
    if (std::find(FLeftOut.begin(), FLeftOut.end(), path) == FLeftOut.end()) FLeftOut.push_back(path);
    return false;
  }
};

}  // namespace

void SaveConfigurationFile(ITest& node, const std::string& fileName, bool useRegistry, bool useMemIni) {
  std::unique_ptr<TCustomIniFile> store = OpenConfigStore(fileName, useRegistry, useMemIni);
  TKeepingStore keeping(*store, node.GetName());
  node.SaveConfiguration(keeping, "Tests");
  store->UpdateFile();
  const std::vector<std::string>& left = keeping.LeftOut();
  if (left.empty()) return;
  std::string names;
  for (const std::string& n : left) names += (names.empty() ? "\"" : ", \"") + Printable(n) + "\"";
  throw Platform::EIniNamesNotKept(
      fileName,
      Platform::Format("Not kept: the settings of %d test%s whose name%s an INI file cannot hold: %s. Everything "
                       "else was saved in \"%s\".",
                       static_cast<int>(left.size()), left.size() == 1 ? "" : "s", left.size() == 1 ? "" : "s",
                       names, fileName),
      left);
}

}  // namespace TestFramework
