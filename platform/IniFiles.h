// The configuration stores: the abstract store every node's configuration
// operations talk to. Concrete stores (key-by-key INI, whole-file memory INI,
// per-user registry store) derive from TCustomIniFile.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
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
  // Why the store's format cannot hold that key (WriteString would raise);
  // empty when it can.
  virtual std::string Unwritable(const std::string& Section, const std::string& Ident, const std::string& Value);

 private:
  std::string FFileName;
};

// Parses decimal, 0x or $ hexadecimal, with an optional sign; false for
// anything else (including out-of-range values).
bool TryStrToInt(const std::string& text, int32_t& value) noexcept;

// Raised when a store cannot be written, or is asked to hold a name or value
// its format cannot represent. The message names the file or key path.
class EIniFileError : public std::runtime_error {
 public:
  EIniFileError(const std::string& path, const std::string& message) : std::runtime_error(message), FPath(path) {}
  const std::string& Path() const noexcept { return FPath; }

 private:
  std::string FPath;
};

// Raised by a configuration save that kept all it could except the keys
// whose names the store cannot hold; Names lists each such name once.
class EIniNamesNotKept : public EIniFileError {
 public:
  EIniNamesNotKept(const std::string& path, const std::string& message, std::vector<std::string> names)
      : EIniFileError(path, message), FNames(std::move(names)) {}
  const std::vector<std::string>& Names() const noexcept { return FNames; }

 private:
  std::vector<std::string> FNames;
};

class TIniDocument;

// The key-by-key INI file: every read looks at the file (re-parsed only when
// it changed on disk) and every change rewrites it at once. Values are read
// without the blanks around them.
class TIniFile : public TCustomIniFile {
 public:
  explicit TIniFile(std::string fileName);
  ~TIniFile() override;

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) override;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
  void DeleteKey(const std::string& Section, const std::string& Ident) override;
  void EraseSection(const std::string& Section) override;
  std::vector<std::string> ReadSection(const std::string& Section) override;
  std::vector<std::string> ReadSections() override;
  bool SectionExists(const std::string& Section) override;
  bool ValueExists(const std::string& Section, const std::string& Ident) override;
  void UpdateFile() override {}
  std::string Unwritable(const std::string& Section, const std::string& Ident, const std::string& Value) override;

 private:
  struct TState;
  TIniDocument& Current();
  template <class Op>
  void Change(Op op);
  std::unique_ptr<TState> F;
};

// The whole file read into memory when opened; UpdateFile writes it back.
// Changes made on disk by others meanwhile are kept: UpdateFile re-reads a
// file that changed and applies this store's changes on top.
class TMemIniFile : public TCustomIniFile {
 public:
  explicit TMemIniFile(std::string fileName);
  ~TMemIniFile() override;

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) override;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
  void DeleteKey(const std::string& Section, const std::string& Ident) override;
  void EraseSection(const std::string& Section) override;
  std::vector<std::string> ReadSection(const std::string& Section) override;
  std::vector<std::string> ReadSections() override;
  bool SectionExists(const std::string& Section) override;
  bool ValueExists(const std::string& Section, const std::string& Ident) override;
  // Writes the file when this store changed anything since it was opened
  // or last updated; raises EIniFileError when it cannot.
  void UpdateFile() override;
  bool Modified() const noexcept;
  std::string Unwritable(const std::string& Section, const std::string& Ident, const std::string& Value) override;

 private:
  struct TState;
  std::unique_ptr<TState> F;
};

// Memory INI whose string reads (and so its integer and boolean reads) are
// trimmed of leading and trailing blanks and control characters.
class TMemIniFileTrimmed : public TMemIniFile {
 public:
  using TMemIniFile::TMemIniFile;
  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) override;
};

// The per-user hierarchical settings store. A key path ("a/b/c" or
// "a\b\c") names nested keys, each a directory under RootDir(); each
// section is a subkey of the opened key and each INI key a value in it. Key
// and value names compare without regard to case. Reading never creates
// anything; writing creates the keys it needs.
class TRegistryIniFile : public TCustomIniFile {
 public:
  explicit TRegistryIniFile(std::string keyPath);
  ~TRegistryIniFile() override;

  // $XDG_CONFIG_HOME/tessel-registry, with ~/.config when the variable is
  // unset or not an absolute path.
  static std::string RootDir();
  // Directory of the opened key (it may not exist yet).
  std::string KeyDir();

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) override;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
  void DeleteKey(const std::string& Section, const std::string& Ident) override;
  void EraseSection(const std::string& Section) override;
  std::vector<std::string> ReadSection(const std::string& Section) override;
  std::vector<std::string> ReadSections() override;
  bool SectionExists(const std::string& Section) override;
  bool ValueExists(const std::string& Section, const std::string& Ident) override;
  void UpdateFile() override {}

 private:
  struct TState;
  std::unique_ptr<TState> F;
};

// Opens the store chosen by the two flags for fileName: the per-user
// registry store at registryKeyPrefix + fileName (useRegistry wins), the
// whole-file memory INI with trimmed reads (useMemIni), or the key-by-key
// INI file. Opening never fails on a missing or unreadable file.
std::unique_ptr<TCustomIniFile> OpenConfigStore(const std::string& fileName, bool useRegistry, bool useMemIni,
                                                const std::string& registryKeyPrefix);

}  // namespace Platform
