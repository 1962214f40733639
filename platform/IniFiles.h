// The configuration stores: the abstract store every node's configuration
// operations talk to. Concrete stores (key-by-key INI, whole-file memory INI,
// per-user registry store) derive from TCustomIniFile.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

class TCustomIniFile {
 public:
  explicit TCustomIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
  virtual ~TCustomIniFile() = default;
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  const std::string& FileName() const noexcept { return FFileName; }

  virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) = 0;
  virtual void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) = 0;
  // Decimal, or hexadecimal with 0x or $; anything else gives Default.
  virtual int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default);
  virtual void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
  // Read as an integer: any value but 0 is true.
  virtual bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
  virtual void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
  virtual void DeleteKey(const std::string& Section, const std::string& Ident) = 0;
  virtual void EraseSection(const std::string& Section) = 0;
  virtual std::vector<std::string> ReadSection(const std::string& Section) = 0;  // key names
  virtual std::vector<std::string> ReadSections() = 0;
  virtual bool SectionExists(const std::string& Section);
  virtual bool ValueExists(const std::string& Section, const std::string& Ident);
  // Writes pending changes; stores that write through do nothing.
  virtual void UpdateFile() = 0;

 private:
  std::string FFileName;
};

// Parses decimal, 0x or $ hexadecimal, with an optional sign; false for
// anything else (including out-of-range values).
bool TryStrToInt(const std::string& text, int32_t& value) noexcept;

}  // namespace Platform

namespace Platform {
// Opens the store chosen by the two flags for fileName: the per-user
// registry store (useRegistry wins), the whole-file memory INI with trimmed
// reads (useMemIni), or the key-by-key INI file.
std::unique_ptr<TCustomIniFile> OpenConfigStore(const std::string& fileName, bool useRegistry, bool useMemIni);
}  // namespace Platform
