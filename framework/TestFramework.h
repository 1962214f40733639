// Tessel core: the test tree, the run loop and its result, the checks, the
// registry, configuration of nodes and the memory-leak monitors.
//
// Nodes are reference counted through std::shared_ptr and must be created
// with std::make_shared, AdoptNode or a Create helper, so that a node can
// hand itself to listeners. Results and failure records have one owner.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "framework/NodePool.h"

namespace Platform {
class TCustomIniFile;
}

namespace TestFramework {

class ITest;
class ITestSuite;
class ITestDecorator;
class IStatusListener;
class ITestListener;
class ITestListenerX;
class TTestCase;
class TTestSuite;
class TTestResult;
class TTestFailure;
struct TMethodTable;

using ITestPtr = std::shared_ptr<ITest>;
using ITestSuitePtr = std::shared_ptr<ITestSuite>;
using ITestDecoratorPtr = std::shared_ptr<ITestDecorator>;
using IStatusListenerPtr = std::shared_ptr<IStatusListener>;
using ITestListenerPtr = std::shared_ptr<ITestListener>;
using TInterfaceList = std::vector<ITestPtr>;
using TTestArray = std::vector<ITestPtr>;
using TTestCasePtr = std::shared_ptr<TTestCase>;
using TCustomIniFile = Platform::TCustomIniFile;

// "Ask for another interface": an empty pointer when the object lacks it.
template <class I, class T>
std::shared_ptr<I> Supports(const std::shared_ptr<T>& ref) {
  return std::dynamic_pointer_cast<I>(ref);
}

// ---------------------------------------------------------------------------
// Text types. Text is UTF-8 std::string, wide text std::wstring; the other
// kinds get a type of their own so that each check overload exists.

// 8-bit text in the system code page (the C locale's charset).
struct AnsiString {
  std::string Bytes;
  AnsiString() = default;
  explicit AnsiString(std::string bytes) : Bytes(std::move(bytes)) {}
  bool operator==(const AnsiString&) const = default;
};

// Length-prefixed 8-bit text of at most 255 bytes; longer input is cut.
struct ShortString {
  std::string Bytes;
  ShortString() = default;
  explicit ShortString(std::string_view bytes) : Bytes(bytes.substr(0, 255)) {}
  bool operator==(const ShortString&) const = default;
};

// Growable array of 16-bit characters.
using TCharArray = std::vector<char16_t>;

std::string WideToUtf8(std::wstring_view w);
std::wstring Utf8ToWide(std::string_view s);
std::wstring AnsiToWide(std::string_view bytes);
std::string CharArrayToText(const TCharArray& a);
TCharArray TextToCharArray(std::string_view s);

// ---------------------------------------------------------------------------
// Class information: one TClass per framework class, test-case class and
// exception class.

using TTestCaseFactory = TTestCasePtr (*)(const std::string& methodName, int64_t runCount);
using TMethodCollector = void (*)(TMethodTable&);
using TExceptionMatcher = bool (*)(const std::exception_ptr&);

class TClass {
 public:
  TClass(const char* name, const char* unit, const TClass* parent, TTestCaseFactory factory = nullptr,
         TMethodCollector collector = nullptr, TExceptionMatcher matcher = nullptr) noexcept
      : Name(name), UnitName(unit), Parent(parent), Factory(factory), Collector(collector), Matcher(matcher) {}
  TClass(const TClass&) = delete;
  TClass& operator=(const TClass&) = delete;

  const char* const Name;
  const char* const UnitName;
  const TClass* const Parent;
  const TTestCaseFactory Factory;    // test-case classes: make a test for one method
  const TMethodCollector Collector;  // test-case classes: fill the own method table
  const TExceptionMatcher Matcher;   // exception classes: "is that class or a descendant"

  ~TClass();

  bool InheritsFrom(const TClass* other) const noexcept;
  // The class's own method table in declaration order (empty when none).
  const TMethodTable& Methods() const;

  // From now on, a class description that is destroyed leaves its method
  // table to the end of the process. The supervisor of a run calls it when
  // the run is over: the tables were made before its workers were forked,
  // and freeing them at exit would copy every page they share with them.
  static void KeepTablesAtExit() noexcept;

 private:
  mutable std::unique_ptr<TMethodTable> FMethods;
};

using TTestCaseClass = const TClass*;
using ExceptionClass = const TClass*;

// Unit name of a class declared in file: the file name without folder and extension.
const char* UnitNameFromFile(const char* file);
std::string DemangleTypeName(const char* mangled);

template <class E>
bool TesselCatchesAs(const std::exception_ptr& p) {
  try {
    std::rethrow_exception(p);
  } catch (const E&) {
    return true;
  } catch (...) {
    return false;
  }
}

// Class reference of any exception type: ours carry a ClassInfo, any other
// type gets one made from its demangled name.
template <class E>
ExceptionClass ExceptionClassOf() {
  if constexpr (requires { E::ClassInfo(); }) {
    return &E::ClassInfo();
  } else {
    static const std::string name = DemangleTypeName(typeid(E).name());
    static const TClass info(name.c_str(), "", nullptr, nullptr, nullptr, &TesselCatchesAs<E>);
    return &info;
  }
}

// Root of the framework's class tree.
class TObject {
 public:
  virtual ~TObject() = default;
  static const TClass& ClassInfo() noexcept;
  virtual const TClass& ClassType() const noexcept { return ClassInfo(); }
};

// ---------------------------------------------------------------------------
// Code locations: where a check was called, where an exception came from.

// The caller's file and line, taken as a default argument: every check and
// failure operation ends with `TSourceLine loc = TSourceLine::current()`. A
// std::source_location converts to it. Two words passed by value rather than
// std::source_location's pointer to a constant made for each call: that
// constant costs a test program two load-time relocations and a function name
// per check statement, and nothing reads the function name.
struct TSourceLine {
  const char* File = nullptr;
  uint64_t Line = 0;  // a full word: the caller has no padding to clear

  constexpr TSourceLine() noexcept = default;
  constexpr TSourceLine(const char* file, uint64_t line) noexcept : File(file), Line(line) {}
#ifdef __cpp_lib_source_location  // clang before 15 has no std::source_location with libstdc++
  TSourceLine(const std::source_location& s) noexcept  // NOLINT: implicit by design
      : File(s.file_name()), Line(s.line()) {}
#endif
  static constexpr TSourceLine current(const char* file = __builtin_FILE(),
                                       uint64_t line = __builtin_LINE()) noexcept {
    return {file, line};
  }
};

struct TCodeLocation {
  const char* File = nullptr;
  const char* Function = nullptr;  // known for test methods (their names)
  uint32_t Line = 0;
  const void* Address = nullptr;  // code address, where one is known

  constexpr TCodeLocation() noexcept = default;
  constexpr TCodeLocation(const TSourceLine& s) noexcept  // NOLINT: implicit by design
      : File(s.File), Line(static_cast<uint32_t>(s.Line)) {}
#ifdef __cpp_lib_source_location
  TCodeLocation(const std::source_location& s) noexcept  // NOLINT: implicit by design
      : File(s.file_name()), Function(s.function_name()), Line(s.line()) {}
#endif
  bool HasSource() const noexcept { return File && *File && Line; }
  bool IsKnown() const noexcept { return HasSource() || Address; }
};

// ---------------------------------------------------------------------------
// Exceptions

#define TESSEL_EXCEPTION_CLASS(Cls, Base)                                                                   \
 public:                                                                                                    \
  using Base::Base;                                                                                         \
  static const ::TestFramework::TClass& ClassInfo() noexcept {                                              \
    static const ::TestFramework::TClass info(#Cls, ::TestFramework::UnitNameFromFile(__FILE__),            \
                                              &Base::ClassInfo(), nullptr, nullptr,                         \
                                              &::TestFramework::TesselCatchesAs<Cls>);                      \
    return info;                                                                                            \
  }                                                                                                         \
  const ::TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }

class Exception : public std::exception, public TObject {
 public:
  Exception() = default;
  explicit Exception(std::string msg, TCodeLocation location = {}) : FMessage(std::move(msg)), FLocation(location) {}
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string msg) { FMessage = std::move(msg); }
  const TCodeLocation& Location() const noexcept { return FLocation; }
  void SetLocation(const TCodeLocation& loc) noexcept { FLocation = loc; }

 private:
  std::string FMessage;
  TCodeLocation FLocation;
};

class EAbort : public Exception { TESSEL_EXCEPTION_CLASS(EAbort, Exception) };
class ETestFailure : public EAbort { TESSEL_EXCEPTION_CLASS(ETestFailure, EAbort) };
class EStopTestsFailure : public ETestFailure { TESSEL_EXCEPTION_CLASS(EStopTestsFailure, ETestFailure) };
class EPostTestFailure : public ETestFailure { TESSEL_EXCEPTION_CLASS(EPostTestFailure, ETestFailure) };
class ETesselException : public Exception { TESSEL_EXCEPTION_CLASS(ETesselException, Exception) };
class ETestError : public ETesselException { TESSEL_EXCEPTION_CLASS(ETestError, ETesselException) };
class EBreakingTestFailure : public ETesselException { TESSEL_EXCEPTION_CLASS(EBreakingTestFailure, ETesselException) };
// The runtime's I/O error: a write or read of a console or file failed.
class EInOutError : public Exception { TESSEL_EXCEPTION_CLASS(EInOutError, Exception) };

// What the run loop keeps of a caught exception of any type.
struct TExceptionInfo {
  const TClass* Class = nullptr;  // empty for types without class information
  std::string ClassName;
  std::string Message;
  TCodeLocation Location;
};
// Describes the exception being handled; call only inside a catch block.
TExceptionInfo DescribeCurrentException();
TExceptionInfo DescribeException(const std::exception_ptr& p);
TExceptionInfo DescribeException(const Exception& e);

// ---------------------------------------------------------------------------
// Method tables

using TTestMethodPtr = void (TTestCase::*)();

struct RunCountAttribute {
  int64_t FCount = 1;
  explicit constexpr RunCountAttribute(int64_t count) noexcept : FCount(count) {}
};

struct TMethodEntry {
  const char* Name;
  TTestMethodPtr Method;
  bool IsVirtual;
  bool HasRunCount;  // a RunCountAttribute is attached
  RunCountAttribute RunCount;
  const char* File;
  uint32_t Line;
};

struct TMethodTable {
  std::vector<TMethodEntry> Entries;
  // Out of line: every test method of every class calls it once.
  void Add(const char* name, TTestMethodPtr method, bool isVirtual, bool hasRunCount, int64_t runCount,
           const char* file, uint32_t line);
};

// A method without arguments bound to an object, or any callable (a lambda
// handed to CheckException lives only as long as that call).
class TTestMethod {
 public:
  TTestMethod() noexcept = default;
  TTestMethod(TTestCase* object, const TMethodEntry* entry) noexcept : FObject(object), FEntry(entry) {}
  template <class F>
    requires(std::is_invocable_v<const F&> && !std::is_same_v<std::decay_t<F>, TTestMethod>)
  TTestMethod(const F& f) noexcept  // NOLINT: implicit by design
      : FCallable(&f), FThunk([](const void* p) { (*static_cast<const F*>(p))(); }) {}

  explicit operator bool() const noexcept { return (FObject && FEntry) || FThunk; }
  void operator()() const;
  const TMethodEntry* Entry() const noexcept { return FEntry; }
  // Address of the code the call runs (resolving virtual methods), or null.
  const void* CodeAddress() const noexcept;
  // Where the method is declared, with its code address.
  TCodeLocation Location() const noexcept;

 private:
  friend class TTestCase;  // Invoke calls a bound method directly
  TTestCase* FObject = nullptr;
  const TMethodEntry* FEntry = nullptr;
  const void* FCallable = nullptr;
  void (*FThunk)(const void*) = nullptr;
};

// Test-method names of a class: own methods first, then its ancestors'.
class TMethodEnumerator {
 public:
  explicit TMethodEnumerator(TTestCaseClass AClass);
  int MethodCount() const noexcept { return static_cast<int>(FMethodNameList.size()); }
  std::string GetNameOfMethod(int idx) const { return FMethodNameList.at(static_cast<size_t>(idx)); }
  std::string NameOfMethod(int idx) const { return GetNameOfMethod(idx); }

 protected:
  std::vector<std::string> FMethodNameList;
};

// ---------------------------------------------------------------------------
// Node interfaces

using TAllowedLeakArray = int32_t[4];

// A bound function yielding the allowed-leak entries of a test in turn.
struct TListIterator {
  ITest* Test = nullptr;
  int32_t operator()() const;
  explicit operator bool() const noexcept { return Test != nullptr; }
};

class ITest {
 public:
  virtual ~ITest() = default;
  virtual std::string GetName() = 0;
  virtual int CountTestCases() = 0;
  virtual int CountEnabledTestCases() = 0;
  virtual const TInterfaceList& Tests() = 0;
  virtual void SetUp() = 0;
  virtual void TearDown() = 0;
  virtual std::unique_ptr<TTestResult> Run() = 0;
  virtual void Run(TTestResult& testResult) = 0;
  virtual void RunWithFixture(TTestResult& testResult) = 0;
  virtual void RunTest(TTestResult& testResult) = 0;
  virtual bool GetTestMethodInvoked() = 0;
  virtual void SetTestMethodInvoked(bool Value) = 0;
  virtual bool GetEnabled() = 0;
  virtual void SetEnabled(bool Value) = 0;
  virtual void SetStartTime(int64_t Value) = 0;
  virtual int64_t GetStartTime() = 0;
  virtual void SetStopTime(int64_t Value) = 0;
  virtual int64_t GetStopTime() = 0;
  virtual uint32_t ElapsedTestTime() = 0;
  virtual int32_t GetRunCount() = 0;
  virtual void SetRunCount(int32_t Value) = 0;
  virtual void SetStatusListener(IStatusListenerPtr Listener) = 0;
  virtual std::string GetStatus() = 0;
  virtual void LoadConfiguration(TCustomIniFile& iniFile, const std::string& section) = 0;
  virtual void LoadConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) = 0;
  virtual void SaveConfiguration(TCustomIniFile& iniFile, const std::string& section) = 0;
  virtual void SaveConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) = 0;
  virtual void SetGUIObject(void* GUIObject) = 0;
  virtual void* GetGUIObject() = 0;
  virtual void SetFailsOnNoChecksExecuted(bool Value) = 0;
  virtual bool GetFailsOnNoChecksExecuted() = 0;
  virtual bool GetFailsOnMemoryLeak() = 0;
  virtual void SetFailsOnMemoryLeak(bool Value) = 0;
  virtual int32_t GetAllowedMemoryLeakSize() = 0;
  virtual void SetAllowedMemoryLeakSize(int32_t NewSize) = 0;
  virtual bool GetFailsOnMemoryRecovery() = 0;
  virtual void SetFailsOnMemoryRecovery(bool Value) = 0;
  virtual void SetAllowedLeakArray(const std::vector<int32_t>& AllowedList,
                                   TSourceLine loc = TSourceLine::current()) = 0;
  virtual bool GetIgnoreSetUpTearDownLeaks() = 0;
  virtual void SetIgnoreSetUpTearDownLeaks(bool Value) = 0;
  virtual int32_t GetAllowedLeak() = 0;
  virtual TListIterator GetAllowedLeaksIterator() = 0;
  // Class of the object behind the interface (unit and class names for reports).
  virtual const TClass& ClassType() const noexcept = 0;
};

class ITestSuite : public ITest {
 public:
  virtual void AddTest(ITestPtr ATest) = 0;
  virtual void AddSuite(ITestSuitePtr suite) = 0;
};

class ITestDecorator : public ITest {
 public:
  virtual ITestPtr GetTest() = 0;
};

bool IsTestMethod(const ITestPtr& test);
bool IsDecorator(const ITestPtr& test);
// Does for a node what a run does once, the first time it meets it: binds a
// test case to its method and works its class's facts out. A runner that
// forks processes to run the tree calls it for every node first, so that
// they share that work rather than each copy the pages it writes.
void PrepareToRun(ITest& node);
// The framework object behind a node (dynamic_cast<const TObject*>, but
// remembered per class), or null for a node that is no TObject.
const TObject* ObjectOf(const ITest* test) noexcept;

// ---------------------------------------------------------------------------
// Listener interfaces

class IStatusListener {
 public:
  virtual ~IStatusListener() = default;
  virtual void Status(const ITestPtr& test, const std::string& Msg) = 0;
};

class ITestListener : public virtual IStatusListener {
 public:
  virtual void TestingStarts() = 0;
  virtual void StartTest(const ITestPtr& test) = 0;
  virtual void AddSuccess(const ITestPtr& test) = 0;
  virtual void AddError(TTestFailure& error) = 0;
  virtual void AddFailure(TTestFailure& failure) = 0;
  virtual void EndTest(const ITestPtr& test) = 0;
  virtual void TestingEnds(TTestResult& testResult) = 0;
  virtual bool ShouldRunTest(const ITestPtr& test) = 0;
};

class ITestListenerX : public virtual ITestListener {
 public:
  virtual void StartSuite(const ITestPtr& suite) = 0;
  virtual void EndSuite(const ITestPtr& suite) = 0;
};

// ---------------------------------------------------------------------------
// Value texts used by the checks and the reports

std::string PtrToStr(const void* address);
std::string BoolToStr(bool ABool);
// General format, up to 15 significant digits, locale decimal separator.
std::string FloatToStr(double value);
std::string IntToHexText(uint32_t value, int digits);
std::string IntToBinText(uint32_t value, int digits);
// Offset of the first differing byte (-1 when none) and the two bytes there.
int64_t FirstByteDiff(const void* p1, const void* p2, uint32_t count, uint8_t& b1, uint8_t& b2);

// ---------------------------------------------------------------------------
// Nodes

// What every node is and does apart from the interface it implements: its
// state, the checks and the failure operations. TAbstractTestOf adds the
// implementation of the node's interface.
//
// The two parts are apart so that no interface needs to be a virtual base: a
// virtual base gives every test-case class two more copies of its virtual
// table (one for each of TAbstractTest and TTestCase while they construct it),
// and test programs have thousands of such classes.
class TAbstractTestBase : public TObject {
 public:
  using Loc = TSourceLine;

  ~TAbstractTestBase() override;

  // Nodes lie in the node pool's pages, one after another, and not among
  // the program's other objects on the heap (see framework/NodePool.h).
  static void* operator new(size_t size) { return NodePool::AllocateNode(size); }
  static void* operator new(size_t size, std::align_val_t al) { return ::operator new(size, al); }
  static void* operator new(size_t, void* where) noexcept { return where; }
  static void operator delete(void* p, size_t size) noexcept { NodePool::FreeNode(p, size); }
  static void operator delete(void* p, size_t, std::align_val_t al) noexcept { ::operator delete(p, al); }
  static void operator delete(void*, void*) noexcept {}

  virtual void Invoke(const TTestMethod& AMethod);

  // Checks. Each takes the caller's message last among the values and the
  // caller's location after it.
  virtual void Check(bool condition, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckTrue(bool condition, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckFalse(bool condition, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEquals(double expected, double actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEquals(double expected, double actual, double delta, std::string_view msg = {},
                           Loc loc = Loc::current());
  virtual void CheckEquals(int32_t expected, int32_t actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEquals(uint32_t expected, uint32_t actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEquals(int64_t expected, int64_t actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEquals(uint64_t expected, uint64_t actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEquals(const std::string& expected, const std::string& actual, std::string_view msg = {},
                           Loc loc = Loc::current());
  virtual void CheckEquals(const ShortString& expected, const ShortString& actual, std::string_view msg = {},
                           Loc loc = Loc::current());
  virtual void CheckEqualsString(const std::string& expected, const std::string& actual, std::string_view msg = {},
                                 Loc loc = Loc::current());
  virtual void CheckEquals(const AnsiString& expected, const AnsiString& actual, std::string_view msg = {},
                           Loc loc = Loc::current());
  virtual void CheckEqualsWideString(const std::wstring& expected, const std::wstring& actual,
                                     std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEqualsMem(const void* expected, const void* actual, uint32_t size, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckEquals(bool expected, bool actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEqualsBin(uint32_t expected, uint32_t actual, std::string_view msg = {}, int digits = 32,
                              Loc loc = Loc::current());
  virtual void CheckEqualsHex(uint32_t expected, uint32_t actual, std::string_view msg = {}, int digits = 8,
                              Loc loc = Loc::current());
  virtual void CheckEquals(const TCharArray& expected, const TCharArray& actual, std::string_view msg = {},
                           Loc loc = Loc::current());
  virtual void CheckNotEquals(int32_t expected, int32_t actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNotEquals(uint32_t expected, uint32_t actual, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckNotEquals(int64_t expected, int64_t actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNotEquals(double expected, double actual, double delta, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckNotEquals(const std::string& expected, const std::string& actual, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckNotEquals(const ShortString& expected, const ShortString& actual, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckNotEqualsString(const std::string& expected, const std::string& actual,
                                    std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNotEquals(const AnsiString& expected, const AnsiString& actual, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckNotEqualsWideString(const std::wstring& expected, const std::wstring& actual,
                                        std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNotEqualsMem(const void* expected, const void* actual, uint32_t size, std::string_view msg = {},
                                 Loc loc = Loc::current());
  virtual void CheckNotEquals(bool expected, bool actual, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNotEqualsBin(uint32_t expected, uint32_t actual, std::string_view msg = {}, int digits = 32,
                                 Loc loc = Loc::current());
  virtual void CheckNotEqualsHex(uint32_t expected, uint32_t actual, std::string_view msg = {}, int digits = 8,
                                 Loc loc = Loc::current());
  virtual void CheckNotEquals(const TCharArray& expected, const TCharArray& actual, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckNotNull(const std::shared_ptr<const void>& obj, std::string_view msg = {},
                            Loc loc = Loc::current());
  virtual void CheckNull(const std::shared_ptr<const void>& obj, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckSame(const std::shared_ptr<const void>& expected, const std::shared_ptr<const void>& actual,
                         std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckSame(const void* expected, const void* actual, std::string_view msg = {},
                         Loc loc = Loc::current());
  virtual void CheckNotNull(const void* obj, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNull(const void* obj, std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEquals(const TClass* expected, const TClass* actual, std::string_view msg = {},
                           Loc loc = Loc::current());
  virtual void CheckInherits(const TClass* expected, const TClass* actual, std::string_view msg = {},
                             Loc loc = Loc::current());
  virtual void CheckIs(const TObject* AObject, const TClass* AClass, std::string_view msg = {},
                       Loc loc = Loc::current());

  // Failure operations: they raise ETestFailure and never return normally.
  virtual void Fail(std::string_view msg, TCodeLocation ErrorAddrs = Loc::current());
  virtual void FailEquals(const std::string& expected, const std::string& actual, std::string_view msg = {},
                          TCodeLocation ErrorAddrs = Loc::current());
  virtual void FailNotEquals(const std::string& expected, const std::string& actual, std::string_view msg = {},
                             TCodeLocation ErrorAddrs = Loc::current());
  virtual void FailNotSame(const std::string& expected, const std::string& actual, std::string_view msg = {},
                           TCodeLocation ErrorAddrs = Loc::current());
  virtual void FailEquals(const std::wstring& expected, const std::wstring& actual, std::string_view msg = {},
                          TCodeLocation ErrorAddrs = Loc::current());
  virtual void FailNotEquals(const std::wstring& expected, const std::wstring& actual, std::string_view msg = {},
                             TCodeLocation ErrorAddrs = Loc::current());
  virtual void FailNotSame(const std::wstring& expected, const std::wstring& actual, std::string_view msg = {},
                           TCodeLocation ErrorAddrs = Loc::current());
  virtual void StopTests(std::string_view msg = {});

  // Convenience forms that keep literals and mixed integer types away from
  // surprising conversions (a pointer silently becoming a bool, say).
  void CheckEquals(const char* expected, const char* actual, std::string_view msg = {}, Loc loc = Loc::current()) {
    CheckEquals(std::string(expected ? expected : ""), std::string(actual ? actual : ""), msg, loc);
  }
  void CheckNotEquals(const char* expected, const char* actual, std::string_view msg = {}, Loc loc = Loc::current()) {
    CheckNotEquals(std::string(expected ? expected : ""), std::string(actual ? actual : ""), msg, loc);
  }
  void CheckEquals(const std::wstring& expected, const std::wstring& actual, std::string_view msg = {},
                   Loc loc = Loc::current()) {
    CheckEqualsWideString(expected, actual, msg, loc);
  }
  void CheckNotEquals(const std::wstring& expected, const std::wstring& actual, std::string_view msg = {},
                      Loc loc = Loc::current()) {
    CheckNotEqualsWideString(expected, actual, msg, loc);
  }
  void CheckEquals(const wchar_t* expected, const wchar_t* actual, std::string_view msg = {},
                   Loc loc = Loc::current()) {
    CheckEqualsWideString(expected ? expected : L"", actual ? actual : L"", msg, loc);
  }
  template <class T>
  void CheckEquals(const T* expected, const T* actual, std::string_view msg = {}, Loc loc = Loc::current()) = delete;
  template <class A, class B>
    requires(std::is_arithmetic_v<A> && std::is_arithmetic_v<B> && !std::is_same_v<A, bool> &&
             !std::is_same_v<B, bool>)
  void CheckEquals(A expected, B actual, std::string_view msg = {}, Loc loc = Loc::current()) {
    if constexpr (std::is_floating_point_v<A> || std::is_floating_point_v<B>)
      CheckEquals(static_cast<double>(expected), static_cast<double>(actual), 0.0, msg, loc);
    else
      CheckIntegers(std::is_signed_v<A>, static_cast<uint64_t>(expected), std::is_signed_v<B>,
                    static_cast<uint64_t>(actual), true, msg, loc);
  }
  template <class A, class B>
    requires(std::is_integral_v<A> && std::is_integral_v<B> && !std::is_same_v<A, bool> && !std::is_same_v<B, bool>)
  void CheckNotEquals(A expected, B actual, std::string_view msg = {}, Loc loc = Loc::current()) {
    CheckIntegers(std::is_signed_v<A>, static_cast<uint64_t>(expected), std::is_signed_v<B>,
                  static_cast<uint64_t>(actual), false, msg, loc);
  }

  // Runs AMethod (through Invoke) and expects an exception of AExceptionClass.
  void CheckException(const TTestMethod& AMethod, ExceptionClass AExceptionClass, std::string_view msg = {},
                      Loc loc = Loc::current());

  // Message builders
  std::string EqualsErrorMessage(const std::string& expected, const std::string& actual, std::string_view msg);
  std::string NotEqualsErrorMessage(const std::string& expected, const std::string& actual, std::string_view msg);
  std::string NotSameErrorMessage(const std::string& expected, const std::string& actual, std::string_view msg);
  std::wstring EqualsErrorMessage(const std::wstring& expected, const std::wstring& actual, std::string_view msg);
  std::wstring NotEqualsErrorMessage(const std::wstring& expected, const std::wstring& actual, std::string_view msg);
  std::wstring NotSameErrorMessage(const std::wstring& expected, const std::wstring& actual, std::string_view msg);
  std::string GetMemDiffStr(const void* expected, const void* actual, uint32_t size, std::string_view msg);
  static std::string BoolToStr(bool ABool) { return TestFramework::BoolToStr(ABool); }
  static bool CompareFloatRelative(double expected, double actual, double RelativeError = 1e-7);

  // Expected exceptions
  void StartExpectingException(ExceptionClass e, TCodeLocation loc = Loc::current());
  void StopExpectingException(std::string_view msg = {}, TCodeLocation loc = Loc::current());
  template <class E>
  void ExpectException(Loc loc = Loc::current()) {
    StartExpectingException(ExceptionClassOf<E>(), loc);
  }
  ExceptionClass GetExpectedException() const noexcept { return FRun->ExpectedException; }
  void SetExpectedException(ExceptionClass e, Loc loc = Loc::current()) { StartExpectingException(e, loc); }
  void CheckMethodIsNotEmpty(const TTestMethod& method);

  bool GetMemoryLeakIgnoredInSetupTearDown() const noexcept { return FMemoryLeakIgnoredInSetupTearDown; }
  void SetMemoryLeakIgnoredInSetupTearDown(bool Value) noexcept {
    if (FMemoryLeakIgnoredInSetupTearDown != Value) FMemoryLeakIgnoredInSetupTearDown = Value;
  }
  bool CheckCalled() const noexcept { return FRun->CheckCalled; }

 protected:
  explicit TAbstractTestBase(std::string AName);

  void CheckIntegers(bool expectedSigned, uint64_t expected, bool actualSigned, uint64_t actual, bool wantEqual,
                     std::string_view msg, Loc loc);

  // What every run of the node changes, in a block apart from the node
  // (see framework/NodePool.h): the pages of the tree stay as they were
  // while a forked process runs it.
  struct TRunState {
    int64_t StartTime = 0;
    int64_t StopTime = 0;
    ExceptionClass ExpectedException = nullptr;
    IStatusListenerPtr StatusListener;  // the running result's, while the node runs
    bool CheckCalled = false;
    bool TestMethodInvoked = false;
  };
  TRunState* const FRun;
  std::string FTestName;
  bool FEnabled = true;
  int32_t FRunCount = 1;
  std::unique_ptr<std::vector<std::string>> FStatusStrings;
  bool FFailsOnNoChecksExecuted = false;
  bool FFailsOnMemoryLeak = false;
  bool FFailsOnMemoryRecovery = false;
  bool FIgnoreSetUpTearDownLeaks = false;
  bool FMemoryLeakIgnoredInSetupTearDown = false;
  TAllowedLeakArray FAllowedLeakList = {0, 0, 0, 0};
  uint16_t FAllowedLeakListIndex = 0;
  void* FGUIObject = nullptr;
};

// The class behind TAbstractTest, for every node interface: TTestCase builds
// on TAbstractTestOf<ITest> (TAbstractTest), TTestSuite on
// TAbstractTestOf<ITestSuite>, TTestDecorator on TAbstractTestOf<ITestDecorator>;
// a node class of one's own that implements one of those interfaces does the
// same. The three are made once, in the framework's library.
const TClass& AbstractTestClassInfo() noexcept;

template <class I>
class TAbstractTestOf : public I, public TAbstractTestBase, public std::enable_shared_from_this<TAbstractTestOf<I>> {
 public:
  explicit TAbstractTestOf(std::string AName) : TAbstractTestBase(std::move(AName)) {}
  // Out of line, as in every node class below: an inline one would be
  // repeated in the destructor of every test-case class.
  ~TAbstractTestOf() override;
  static const TClass& ClassInfo() noexcept { return AbstractTestClassInfo(); }
  const TClass& ClassType() const noexcept override { return ClassInfo(); }

  // This node as an interface reference (the node must be held by a shared_ptr).
  ITestPtr Self();

  // ITest
  std::string GetName() override;
  int CountTestCases() override;
  int CountEnabledTestCases() override;
  const TInterfaceList& Tests() override;
  void SetUp() override;
  void TearDown() override;
  std::unique_ptr<TTestResult> Run() override;
  void Run(TTestResult& testResult) override;
  void RunWithFixture(TTestResult& testResult) override;
  void RunTest(TTestResult& testResult) override;
  bool GetTestMethodInvoked() override;
  void SetTestMethodInvoked(bool Value) override;
  bool GetEnabled() override;
  void SetEnabled(bool Value) override;
  void SetStartTime(int64_t Value) override;
  int64_t GetStartTime() override;
  void SetStopTime(int64_t Value) override;
  int64_t GetStopTime() override;
  uint32_t ElapsedTestTime() override;
  int32_t GetRunCount() override;
  void SetRunCount(int32_t Value) override;
  void SetStatusListener(IStatusListenerPtr Listener) override;
  std::string GetStatus() override;
  void LoadConfiguration(TCustomIniFile& iniFile, const std::string& section) override;
  void LoadConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) override;
  void SaveConfiguration(TCustomIniFile& iniFile, const std::string& section) override;
  void SaveConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) override;
  void SetGUIObject(void* GUIObject) override;
  void* GetGUIObject() override;
  void SetFailsOnNoChecksExecuted(bool Value) override;
  bool GetFailsOnNoChecksExecuted() override;
  bool GetFailsOnMemoryLeak() override;
  void SetFailsOnMemoryLeak(bool Value) override;
  int32_t GetAllowedMemoryLeakSize() override;
  void SetAllowedMemoryLeakSize(int32_t NewSize) override;
  bool GetFailsOnMemoryRecovery() override;
  void SetFailsOnMemoryRecovery(bool Value) override;
  void SetAllowedLeakArray(const std::vector<int32_t>& AllowedList, Loc loc = Loc::current()) override;
  bool GetIgnoreSetUpTearDownLeaks() override;
  void SetIgnoreSetUpTearDownLeaks(bool Value) override;
  int32_t GetAllowedLeak() override;
  TListIterator GetAllowedLeaksIterator() override;

  // Records a status line and hands it to the status listener.
  void Status(const std::string& Msg);
};

using TAbstractTest = TAbstractTestOf<ITest>;
extern template class TAbstractTestOf<ITest>;
extern template class TAbstractTestOf<ITestSuite>;
extern template class TAbstractTestOf<ITestDecorator>;

class TTestCase : public TAbstractTest {
 public:
  explicit TTestCase(std::string MethodName, int64_t RunCount = 1);
  ~TTestCase() override;
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }
  // A suite of all test methods of this class.
  static ITestSuitePtr Suite();

  void Invoke(const TTestMethod& AMethod) override;
  using TAbstractTest::Run;
  void Run(TTestResult& testResult) override;
  void RunWithFixture(TTestResult& testResult) override;
  void RunTest(TTestResult& testResult) override;

  // The test method bound to this object (looked up by name on first use).
  const TTestMethod& Method();

 protected:
  TTestMethod fMethod;
  bool fMethodBound = false;

 private:
  friend class TTestResult;
  // RunTest's steps. With loopTest given (the run loop calling, RunTest not
  // replaced), an exception that RunTest would pass on is recorded for
  // loopTest where it is caught, instead of being thrown once more; the
  // result is then false.
  bool RunBody(TTestResult& testResult, const ITestPtr* loopTest);
};

// Base for generic (template) test-case classes.
class TGenericTestCase : public TTestCase {
 public:
  using TTestCase::TTestCase;
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }
};

class TTestSuite : public TAbstractTestOf<ITestSuite> {
 public:
  TTestSuite();
  explicit TTestSuite(std::string AName);
  TTestSuite(std::string AName, const TTestArray& Tests);
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }

  void AddTest(ITestPtr ATest) override;
  void AddSuite(ITestSuitePtr suite) override;
  virtual void AddTests(TTestCaseClass testClass);

  void RunTest(TTestResult& testResult) override;
  const TInterfaceList& Tests() override;
  int CountTestCases() override;
  int CountEnabledTestCases() override;
  void LoadConfiguration(TCustomIniFile& iniFile, const std::string& section) override;
  void SaveConfiguration(TCustomIniFile& iniFile, const std::string& section) override;
  using TAbstractTestOf<ITestSuite>::LoadConfiguration;
  using TAbstractTestOf<ITestSuite>::SaveConfiguration;

 protected:
  TInterfaceList FTests;
};

// A suite named after a test-case class and filled from it; S may be a
// descendant of TTestSuite whose AddTests decides the children.
// Takes ownership of a new node. Its reference counts, which every
// reference to it writes, are kept in the node pool beside the other
// nodes' rather than in the node's own memory (see framework/NodePool.h).
template <class N>
std::shared_ptr<N> AdoptNode(N* node) {
  return std::shared_ptr<N>(node, std::default_delete<N>(), NodePool::TAllocator<N>());
}

template <class S = TTestSuite>
std::shared_ptr<S> CreateSuite(TTestCaseClass testClass) {
  auto suite = AdoptNode(new S(std::string(testClass ? testClass->Name : "TObject")));
  suite->AddTests(testClass);
  return suite;
}

// Takes ownership of a new test case. The factories below use it rather
// than std::make_shared, whose control block would be a class of its own,
// with code and tables, for every test class.
TTestCasePtr AdoptTestCase(TTestCase* test);
// The method name copied out of line, so that the factories do not each
// inline a string copy.
std::string TesselCopyName(const std::string& name);
// The suite of a test-case class (CreateSuite, out of line for the macros).
ITestSuitePtr SuiteOfClass(TTestCaseClass testClass);

template <class C>
TTestCasePtr TesselFactory(const std::string& methodName, int64_t runCount) {
  return AdoptTestCase(new C(TesselCopyName(methodName), runCount));
}

// ---------------------------------------------------------------------------
// Test results

class TTestFailure {
 public:
  TTestFailure(ITestPtr FailedTest, const TExceptionInfo& ThrownException, const TCodeLocation& Addrs,
               std::string_view msg);
  TTestFailure(ITestPtr FailedTest, const TCodeLocation& Addrs, std::string msg);
  virtual ~TTestFailure();

  virtual ITestPtr FailedTest();
  virtual const TClass* ThrownExceptionClass();
  virtual std::string ThrownExceptionName();
  virtual std::string ThrownExceptionMessage();
  virtual TCodeLocation ThrownExceptionAddress();
  // "file:line" of the failing statement, or empty.
  virtual std::string LocationInfo();
  // "$" and 16 hex digits of the code address, or "n/a".
  virtual std::string AddressInfo();
  virtual std::string StackTrace();
  std::string CaptureStackTrace(const TExceptionInfo& e, const TCodeLocation& Addrs);

 protected:
  ITestPtr FFailedTest;
  const TClass* FThrownExceptionClass = nullptr;
  std::string FThrownExceptionName;
  std::string FThrownExceptionMessage;
  TCodeLocation FThrownExceptionAddress;
  std::string FStackTrace;
};

class TTestResult {
 public:
  TTestResult();
  virtual ~TTestResult();
  TTestResult(const TTestResult&) = delete;
  TTestResult& operator=(const TTestResult&) = delete;

  virtual void Run(const ITestPtr& test);
  virtual bool RunTestSetup(const ITestPtr& test);
  virtual void RunTestTearDown(const ITestPtr& test);
  virtual bool RunTestRun(const ITestPtr& test);
  virtual void TestingStarts();
  virtual void StartSuite(const ITestPtr& suite);
  virtual void StartTest(const ITestPtr& test);
  virtual bool ShouldRunTest(const ITestPtr& test);
  virtual void Status(const ITestPtr& test, const std::string& Msg);
  virtual void EndSuite(const ITestPtr& suite);
  virtual void EndTest(const ITestPtr& test);
  virtual void TestingEnds();
  virtual void AddListener(ITestListenerPtr listener);
  virtual void AddSuccess(const ITestPtr& test);
  virtual TTestFailure& AddError(const ITestPtr& test, const TExceptionInfo& e, const TCodeLocation& Addrs,
                                 std::string_view msg = {});
  virtual void Stop();
  virtual bool ShouldStop();
  // A reference to node held for the whole run, when the result keeps one
  // (a table of the tree's nodes); null otherwise. The run loop passes it
  // on rather than take a reference of its own, which would write the
  // node's reference count.
  virtual const ITestPtr* StableRef(const ITest* node);
  // The reference that a failure or an error recorded against test keeps:
  // test by default. A result that holds its tree's nodes (see StableRef)
  // may give one that shares that hold instead, whose copies then write
  // its count rather than the node's.
  virtual ITestPtr FailureRef(const ITestPtr& test);
  virtual int RunCount();
  virtual int ErrorCount();
  virtual int FailureCount();
  virtual bool WasStopped();
  virtual bool WasSuccessful();

  void RunSuite(const ITestPtr& test);
  TTestFailure& AddFailure(const ITestPtr& test, const TExceptionInfo& e, const TCodeLocation& Addrs);
  TTestFailure& AddFailure(const ITestPtr& test, const TCodeLocation& Addrs, const std::string& msg);
  // Records a failure of a node that is running without ending it: the node
  // goes on, and at its end it gets no AddSuccess. For checks that report and
  // carry on (expectations that are not assertions).
  TTestFailure& AddFailureAndContinue(const ITestPtr& test, const TExceptionInfo& e, const TCodeLocation& Addrs);
  TTestFailure& GetError(int idx);
  TTestFailure& GetFailure(int idx);
  TTestFailure& Errors(int idx) { return GetError(idx); }
  TTestFailure& Failures(int idx) { return GetFailure(idx); }

  int64_t TotalTime() const noexcept { return FTotalTime; }
  int32_t OverRides() const noexcept { return FOverRides; }
  void SetOverRides(int32_t v) noexcept { FOverRides = v; }
  bool BreakOnFailures = false;
  bool FailsIfNoChecksExecuted = false;
  bool IgnoresMemoryLeakInSetUpTearDown = false;
  bool MemoryLeakIgnoredInSetupOrTearDown = false;
  bool FailsIfMemoryLeaked = false;
  // Location of the test method started last; given to run-level failures.
  TCodeLocation FMethodPtr;
  // Counts one test case started (TTestCase::RunWithFixture does this).
  void IncRunTests() noexcept { ++FRunTests; }
  const ITestPtr& RootTest() const noexcept { return FRootTest; }

 protected:
  int64_t FTotalTime = 0;
  std::vector<std::unique_ptr<TTestFailure>> FFailures;
  std::vector<std::unique_ptr<TTestFailure>> FErrors;
  int32_t FOverRides = 0;
  std::vector<ITestListenerPtr> FListeners;
  std::vector<ITestListenerX*> FListenersX;  // the listeners that also hear of suites
  ITestPtr FRootTest;
  int32_t FRunTests = 0;
  bool FStop = false;
  IStatusListenerPtr FStatusAdapter;

 private:
  friend class TTestCase;
  // Records an exception that left a test body (RunTestRun's guard).
  TTestFailure* RecordBodyException(const ITestPtr& test, const TExceptionInfo& info);
  TTestFailure* FBodyFailure = nullptr;  // what RecordBodyException recorded last
  bool FRecordingBody = false;
  // Counts AddFailureAndContinue calls, so that Run sees a node's own ones
  // without a look at the records unless the count moved.
  uint64_t FContinuedFailures = 0;
  bool RecordedAndContinued(const ITestPtr& test, uint64_t mark, size_t firstFailure) const;
};

// The reference to a running node that a run passes on: the result's when it
// holds one (StableRef), else one taken here, whose count is written in the
// node's pages. Lives as long as the code that uses it.
class TRunRef {
 public:
  template <class N>
  TRunRef(TTestResult* result, N& node) : FRef(result ? result->StableRef(&node) : nullptr) {
    if (!FRef) FRef = &(FOwn = node.Self());
  }
  TRunRef(const TRunRef&) = delete;
  TRunRef& operator=(const TRunRef&) = delete;
  const ITestPtr& Get() const noexcept { return *FRef; }

 private:
  ITestPtr FOwn;
  const ITestPtr* FRef;
};

// Forwards a test's status lines to its result's listeners.
class TStatusToResultAdapter : public IStatusListener {
 public:
  explicit TStatusToResultAdapter(TTestResult* TestResult) noexcept : FTestResult(TestResult) {}
  void Status(const ITestPtr& Test, const std::string& Msg) override;

 private:
  TTestResult* FTestResult;  // not counted: the result owns this adapter
};

// ---------------------------------------------------------------------------
// Memory-leak monitors

class IMemLeakMonitor {
 public:
  virtual ~IMemLeakMonitor() = default;
  virtual bool MemLeakDetected(int32_t& LeakSize) = 0;
};

class ITesselMemLeakMonitor : public virtual IMemLeakMonitor {
 public:
  using IMemLeakMonitor::MemLeakDetected;
  virtual bool MemLeakDetected(int32_t AllowedLeakSize, bool FailOnMemoryRecovery, int32_t& LeakSize) = 0;
  virtual bool MemLeakDetected(const TListIterator& AllowedValuesGetter, bool FailOnMemoryRecovery,
                               int32_t& LeakIndex, int32_t& LeakSize) = 0;
  virtual bool GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestProcChangedMem, std::string& ErrorMsg) = 0;
  virtual bool GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestSetupChangedMem, int32_t TestProcChangedMem,
                               int32_t TestTearDownChangedMem, int32_t TestCaseChangedMem,
                               std::string& ErrorMsg) = 0;
  virtual void MarkMemInUse() = 0;
};

using IMemLeakMonitorPtr = std::shared_ptr<IMemLeakMonitor>;
using ITesselMemLeakMonitorPtr = std::shared_ptr<ITesselMemLeakMonitor>;

// The supplied monitors: they take no measurement.
class TMemLeakMonitor : public virtual IMemLeakMonitor {
 public:
  bool MemLeakDetected(int32_t& LeakSize) override;
};

class TTesselMemLeakMonitor : public TMemLeakMonitor, public ITesselMemLeakMonitor {
 public:
  using TMemLeakMonitor::MemLeakDetected;
  bool MemLeakDetected(int32_t AllowedLeakSize, bool FailOnMemoryRecovery, int32_t& LeakSize) override;
  bool MemLeakDetected(const TListIterator& AllowedValuesGetter, bool FailOnMemoryRecovery, int32_t& LeakIndex,
                       int32_t& LeakSize) override;
  bool GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestProcChangedMem, std::string& ErrorMsg) override;
  bool GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestSetupChangedMem, int32_t TestProcChangedMem,
                       int32_t TestTearDownChangedMem, int32_t TestCaseChangedMem, std::string& ErrorMsg) override;
  void MarkMemInUse() override;
};

IMemLeakMonitorPtr MemLeakMonitor();

// Which monitor the run loop creates around each node. The default makes
// TTesselMemLeakMonitor; a measuring monitor is switched on by setting
// another factory (null restores the default).
using TMemLeakMonitorFactory = ITesselMemLeakMonitorPtr (*)();
void SetMemLeakMonitorFactory(TMemLeakMonitorFactory factory) noexcept;
TMemLeakMonitorFactory GetMemLeakMonitorFactory() noexcept;

// ---------------------------------------------------------------------------
// Registry and entry points

void RegisterTest(const std::string& SuitePath, ITestPtr test);
void RegisterTest(ITestPtr test);
void RegisterTests(const std::string& SuitePath, const TTestArray& Tests);
void RegisterTests(const TTestArray& Tests);
ITestSuitePtr RegisteredTests();
ITestSuitePtr TestSuite(const std::string& AName, const TTestArray& Tests);
std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::vector<ITestListenerPtr>& listeners);
std::unique_ptr<TTestResult> RunRegisteredTests(const std::vector<ITestListenerPtr>& listeners);
void ClearRegistry();
std::string GetTesselRegistryKey();
void SetTesselRegistryKey(const std::string& key);
std::string TestDataDir();

// Unit start-up and shut-down (counted; the last finalisation releases the
// registry and the shared empty child list).
void InitializeUnit();
void FinalizeUnit();

// ---------------------------------------------------------------------------
// Declaring test-case classes
//
//   class TCustomerTests : public TTestCase {
//     TESSEL_TESTCASE(TCustomerTests, TTestCase)
//    public:
//     TESSEL_TEST(TestSum) { CheckEquals(3, Sum(1, 2), "sum"); }
//     TESSEL_TEST_RUNCOUNT(TestRetry, 3) { Check(Retry()); }
//     TESSEL_VIRTUAL_TEST(TestBase) { CheckTrue(Base()); }
//   };
//
// Each test macro adds one entry to the class's method table, in declaration
// order; the entries are chained at compile time, so nothing depends on the
// order of static initialisation.

template <int N>
struct TRank : TRank<N - 1> {};
template <>
struct TRank<0> {};
inline constexpr int kTesselMaxMethods = 256;

#define TESSEL_TESTCASE(Cls, Base) TESSEL_TESTCASE_IN_UNIT(Cls, Base, ::TestFramework::UnitNameFromFile(__FILE__))

// Constructors are inherited through an alias: "using Base::Base" breaks when
// Base is written with its namespace (TestFramework::TTestCase).
#define TESSEL_TESTCASE_IN_UNIT(Cls, Base, UnitNameExpr)                                                       \
 public:                                                                                                       \
  using TesselBase_ = Base;                                                                                    \
  using TesselBase_::TesselBase_;                                                                              \
  [[gnu::noinline]] static const ::TestFramework::TClass& ClassInfo() noexcept {                               \
    static const ::TestFramework::TClass info(#Cls, UnitNameExpr, &Base::ClassInfo(),                          \
                                              &::TestFramework::TesselFactory<Cls>, &Cls::TesselCollectAll_);  \
    return info;                                                                                               \
  }                                                                                                            \
  const ::TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }                   \
  static ::TestFramework::ITestSuitePtr Suite() { return ::TestFramework::SuiteOfClass(&ClassInfo()); }        \
                                                                                                               \
 private:                                                                                                      \
  using TesselSelf_ = Cls;                                                                                     \
  static void TesselCollect_(::TestFramework::TMethodTable&, ::TestFramework::TRank<0>) {}                     \
  static void TesselCollectAll_(::TestFramework::TMethodTable& t) {                                            \
    TesselCollect_(t, ::TestFramework::TRank<::TestFramework::kTesselMaxMethods>{});                           \
  }                                                                                                            \
  [[maybe_unused]] static constexpr int TesselFirst_ = __COUNTER__;

#define TESSEL_METHOD_ENTRY_(name, isVirtual, hasRunCount, runCount, K)                                       \
  static_assert((K) - TesselFirst_ < ::TestFramework::kTesselMaxMethods, "too many test methods in one class"); \
  static void TesselCollect_(::TestFramework::TMethodTable& t, ::TestFramework::TRank<(K) - TesselFirst_>) {    \
    TesselCollect_(t, ::TestFramework::TRank<(K) - TesselFirst_ - 1>{});                                       \
    t.Add(#name, static_cast<::TestFramework::TTestMethodPtr>(&TesselSelf_::name), isVirtual, hasRunCount,     \
          runCount, __FILE__, __LINE__);                                                                       \
  }

// A test method: TESSEL_TEST(TestX) { ... } or TESSEL_TEST(TestX); with the body elsewhere.
#define TESSEL_TEST(name) TESSEL_METHOD_ENTRY_(name, false, false, 1, __COUNTER__) void name()
// A test method whose body runs n times in a row (a RunCountAttribute).
#define TESSEL_TEST_RUNCOUNT(name, n) TESSEL_METHOD_ENTRY_(name, false, true, n, __COUNTER__) void name()
// A virtual test method; a derived class overrides it with TESSEL_OVERRIDE_TEST.
#define TESSEL_VIRTUAL_TEST(name) TESSEL_METHOD_ENTRY_(name, true, false, 1, __COUNTER__) virtual void name()
#define TESSEL_OVERRIDE_TEST(name) TESSEL_METHOD_ENTRY_(name, true, false, 1, __COUNTER__) void name() override
#define TESSEL_VIRTUAL_TEST_RUNCOUNT(name, n) \
  TESSEL_METHOD_ENTRY_(name, true, true, n, __COUNTER__) virtual void name()

#define TESSEL_CAT2_(a, b) a##b
#define TESSEL_CAT_(a, b) TESSEL_CAT2_(a, b)
// Registers the suite of a test-case class under a suite path, before main.
#define TESSEL_REGISTER(path, Cls)                                                   \
  [[maybe_unused]] static const bool TESSEL_CAT_(tesselRegistered_, __COUNTER__) = \
      (::TestFramework::RegisterTest(path, Cls::Suite()), true)

}  // namespace TestFramework

// ===========================================================================
// Configuration stores and the measuring memory monitor

namespace Platform {
class TMemIniFileTrimmed;
}

namespace TestFramework {

// The memory INI with trimmed reads (declared in platform/IniFiles.h).
using TMemIniFileTrimmed = Platform::TMemIniFileTrimmed;

// The store that LoadConfiguration and SaveConfiguration (fileName, ...) use:
// the registry store at GetTesselRegistryKey() + fileName when useRegistry,
// else TMemIniFileTrimmed when useMemIni, else the key-by-key INI file.
std::unique_ptr<TCustomIniFile> OpenConfigStore(const std::string& fileName, bool useRegistry, bool useMemIni);
// SaveConfiguration (fileName, ...) of node. A name the store cannot hold
// (an INI key with "=" or a line break) costs only that node's settings:
// everything else is saved, then Platform::EIniNamesNotKept names those left out.
void SaveConfigurationFile(ITest& node, const std::string& fileName, bool useRegistry, bool useMemIni);

// A monitor that measures: the heap bytes in use, from the allocator's own
// statistics, against a baseline taken when it is made or marked.
//
// Rules:
// - A change is a leak when it is positive, or negative (memory freed that
//   the test did not allocate) while FailOnMemoryRecovery is on.
// - An allowed value tolerates a change equal to it, or in the same direction
//   and no larger: 100 allows any leak of 1 to 100 bytes.
// - Sizes are what the allocator keeps per block (a 1-byte allocation
//   shows as 32 bytes on 64-bit glibc).
// - Before each reading the allocator's per-thread cache is brought to a
//   fixed state, so memory that a test freed but the allocator keeps cached
//   does not count. What a test leaves allocated for the rest of the
//   process counts, including caches built on first use (a static string, a
//   lazily filled table); allow for those with AllowedMemoryLeakSize or
//   SetAllowedLeakArray, or touch them once before the run.
// - The message names the bytes and the phase that kept them: the test body
//   by its own reading; set-up and tear-down only together ("set-up or
//   tear-down") when set-up allocates what tear-down frees.
// - Under another allocator or a sanitizer, glibc's statistics do not move
//   and the monitor reports nothing.
class TMeasuringMemLeakMonitor : public ITesselMemLeakMonitor {
 public:
  TMeasuringMemLeakMonitor();
  bool MemLeakDetected(int32_t& LeakSize) override;
  bool MemLeakDetected(int32_t AllowedLeakSize, bool FailOnMemoryRecovery, int32_t& LeakSize) override;
  bool MemLeakDetected(const TListIterator& AllowedValuesGetter, bool FailOnMemoryRecovery, int32_t& LeakIndex,
                       int32_t& LeakSize) override;
  bool GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestProcChangedMem, std::string& ErrorMsg) override;
  bool GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestSetupChangedMem, int32_t TestProcChangedMem,
                       int32_t TestTearDownChangedMem, int32_t TestCaseChangedMem, std::string& ErrorMsg) override;
  void MarkMemInUse() override;

  // Heap bytes in use now, read the way every monitor reading is.
  static int64_t MeasureHeap();

 private:
  int32_t Change();
  int64_t FBaseline = 0;
};

ITesselMemLeakMonitorPtr MeasuringMemLeakMonitor();
// Makes the run loop use TMeasuringMemLeakMonitor (true) or the supplied
// monitors again (false). Results with FailsIfMemoryLeaked on then fail
// tests that leak.
void UseMeasuringMemLeakMonitor(bool on);
bool UsesMeasuringMemLeakMonitor() noexcept;

}  // namespace TestFramework
