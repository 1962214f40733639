// Tessel core: class information, nodes, the run loop and its result.
#include "framework/TestFramework.h"

#include <cxxabi.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <set>

#include "framework/MemberCode.h"
#include "framework/NodePool.h"
#include "framework/TesselConsts.h"
#include "platform/Clocks.h"
#include "platform/Format.h"
#include "platform/IniFiles.h"
#include "platform/Utf8.h"

namespace TestFramework {

using Platform::Format;

namespace {
// A node's setting written only when it changes: the run loop sets the same
// values in every node before every run, and a write to a page that a
// forked process shares with its parent costs that page a copy.
template <class T, class U>
inline void Keep(T& field, U value) {
  if (field != static_cast<T>(value)) field = static_cast<T>(value);
}
}  // namespace

// ---------------------------------------------------------------------------
// Text conversions

std::string WideToUtf8(std::wstring_view w) {
  std::string out;
  out.reserve(w.size());
  for (wchar_t wc : w) {
    auto c = static_cast<char32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    Platform::EncodeUtf8(c, out);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view s) {
  // Each byte that starts no valid sequence becomes U+FFFD.
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t c = 0;
    size_t len = Platform::DecodeUtf8(s, i, c);
    out += len ? static_cast<wchar_t>(c) : L'\xFFFD';
    i += len ? len : 1;
  }
  return out;
}

std::wstring AnsiToWide(std::string_view bytes) {
  // Through the C locale's charset; bytes it cannot decode count as Latin-1.
  std::wstring out;
  out.reserve(bytes.size());
  std::mbstate_t st{};
  size_t i = 0;
  while (i < bytes.size()) {
    wchar_t wc = 0;
    size_t n = std::mbrtowc(&wc, bytes.data() + i, bytes.size() - i, &st);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
      out += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
      st = std::mbstate_t{};
      ++i;
    } else if (n == 0) {
      out += L'\0';
      ++i;
    } else {
      out += wc;
      i += n;
    }
  }
  return out;
}

std::string CharArrayToText(const TCharArray& a) {
  std::wstring w;
  w.reserve(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    uint32_t c = a[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < a.size() && a[i + 1] >= 0xDC00 && a[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(a[i + 1]) - 0xDC00);
      ++i;
    }
    w += static_cast<wchar_t>(c);
  }
  return WideToUtf8(w);
}

TCharArray TextToCharArray(std::string_view s) {
  TCharArray out;
  for (wchar_t wc : Utf8ToWide(s)) {
    auto c = static_cast<uint32_t>(wc);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Class information

bool TClass::InheritsFrom(const TClass* other) const noexcept {
  for (const TClass* c = this; c; c = c->Parent)
    if (c == other) return true;
  return false;
}

namespace {
bool gKeepTablesAtExit = false;
}  // namespace

TClass::~TClass() {
  if (gKeepTablesAtExit) (void)FMethods.release();
}

void TClass::KeepTablesAtExit() noexcept { gKeepTablesAtExit = true; }

const TMethodTable& TClass::Methods() const {
  if (!FMethods) {
    auto table = std::make_unique<TMethodTable>();
    if (Collector) Collector(*table);
    table->Entries.shrink_to_fit();  // kept for the program's life
    FMethods = std::move(table);
  }
  return *FMethods;
}

const char* UnitNameFromFile(const char* file) {
  static std::set<std::string>* names = new std::set<std::string>();  // lives as long as the classes
  // The classes of one source file ask one after the other with the same
  // path: answer those from the last look-up (compared by content, as the
  // caller's buffer may hold another path by now).
  static std::string* lastFile = new std::string();
  static const char* lastName = nullptr;
  if (file && lastName && *lastFile == file) return lastName;
  std::string s = file ? file : "";
  size_t slash = s.find_last_of("/\\");
  if (slash != std::string::npos) s.erase(0, slash + 1);
  size_t dot = s.find('.');
  if (dot != std::string::npos) s.erase(dot);
  const char* name = names->insert(s).first->c_str();
  if (file) {
    *lastFile = file;
    lastName = name;
  }
  return name;
}

std::string DemangleTypeName(const char* mangled) {
  if (!mangled) return "unknown";
  int status = 0;
  char* d = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string r = (status == 0 && d) ? d : mangled;
  std::free(d);
  return r;
}

const TClass& TObject::ClassInfo() noexcept {
  static const TClass info("TObject", "System", nullptr);
  return info;
}

const TClass& Exception::ClassInfo() noexcept {
  static const TClass info("Exception", "SysUtils", &TObject::ClassInfo(), nullptr, nullptr,
                           &TesselCatchesAs<Exception>);
  return info;
}

TExceptionInfo DescribeCurrentException() {
  TExceptionInfo info;
  try {
    throw;
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must go on unwinding
  } catch (const Exception& e) {
    info.Class = &e.ClassType();
    info.ClassName = e.ClassType().Name;
    info.Message = e.Message();
    info.Location = e.Location();
  } catch (const std::exception& e) {
    info.ClassName = DemangleTypeName(typeid(e).name());
    info.Message = e.what();
  } catch (const char* s) {
    info.ClassName = "const char*";
    info.Message = s ? s : "";
  } catch (const std::string& s) {
    info.ClassName = "std::string";
    info.Message = s;
  } catch (int v) {
    info.ClassName = "int";
    info.Message = std::to_string(v);
  } catch (long v) {
    info.ClassName = "long";
    info.Message = std::to_string(v);
  } catch (unsigned v) {
    info.ClassName = "unsigned int";
    info.Message = std::to_string(v);
  } catch (...) {
    const std::type_info* t = abi::__cxa_current_exception_type();
    info.ClassName = t ? DemangleTypeName(t->name()) : "unknown exception";
  }
  return info;
}

TExceptionInfo DescribeException(const Exception& e) {
  TExceptionInfo info;
  info.Class = &e.ClassType();
  info.ClassName = e.ClassType().Name;
  info.Message = e.Message();
  info.Location = e.Location();
  return info;
}

TExceptionInfo DescribeException(const std::exception_ptr& p) {
  try {
    std::rethrow_exception(p);
  } catch (...) {
    return DescribeCurrentException();
  }
}

namespace {
bool ExceptionMatches(ExceptionClass expected, const std::exception_ptr& p, const TExceptionInfo& info) {
  if (!expected) return false;
  if (info.Class && info.Class->InheritsFrom(expected)) return true;
  return expected->Matcher && expected->Matcher(p);
}
}  // namespace

// ---------------------------------------------------------------------------
// Test methods

void TTestMethod::operator()() const {
  if (FThunk) {
    FThunk(FCallable);
  } else if (FObject && FEntry) {
    (FObject->*(FEntry->Method))();
  }
}

const void* TTestMethod::CodeAddress() const noexcept {
  if (!FObject || !FEntry) return nullptr;
  return CodeTarget(FObject, FEntry->Method);
}

TCodeLocation TTestMethod::Location() const noexcept {
  TCodeLocation loc;
  if (FEntry) {
    loc.File = FEntry->File;
    loc.Line = FEntry->Line;
    loc.Function = FEntry->Name;
  }
  loc.Address = CodeAddress();
  return loc;
}

namespace {
// True when the code at p does nothing but return: a bare ret (after an
// optional endbr64), or an unoptimised frame set-up and tear-down.
bool IsEmptyCode(const unsigned char* p) {
#if defined(__x86_64__)
  if (!p) return false;
  if (p[0] == 0xF3 && p[1] == 0x0F && p[2] == 0x1E && p[3] == 0xFA) p += 4;  // endbr64
  if (p[0] == 0xC3) return true;                                            // ret
  if (p[0] == 0xF3 && p[1] == 0xC3) return true;                            // rep ret
  if (p[0] == 0x55 && p[1] == 0x48 && p[2] == 0x89 && p[3] == 0xE5) {       // push rbp; mov rbp,rsp
    p += 4;
    if (p[0] == 0x48 && p[1] == 0x89 && p[2] == 0x7D) p += 4;  // mov [rbp+d8],rdi (this)
    while (p[0] == 0x90) ++p;                                  // nop
    if ((p[0] == 0x5D || p[0] == 0xC9) && p[1] == 0xC3) return true;  // pop rbp / leave; ret
  }
  return false;
#else
  (void)p;
  return false;
#endif
}
}  // namespace

TMethodEnumerator::TMethodEnumerator(TTestCaseClass AClass) {
  size_t entries = 0;
  for (const TClass* c = AClass; c; c = c->Parent) entries += c->Methods().Entries.size();
  FMethodNameList.reserve(entries);
  for (const TClass* c = AClass; c; c = c->Parent) {
    for (const TMethodEntry& e : c->Methods().Entries) {
      if (e.IsVirtual) {
        bool seen = false;
        for (const std::string& n : FMethodNameList)
          if (n == e.Name) {
            seen = true;
            break;
          }
        if (seen) continue;
      }
      FMethodNameList.emplace_back(e.Name);
    }
  }
}

namespace {
// What dynamic_cast says about a node, remembered per virtual table. The run
// loop and the runners ask it of every node, and a cast across the virtual
// base walks the class hierarchy each time. The answers depend only on the
// virtual table the node's ITest part points to, so that is the key.
struct TNodeFacts {
  const void* VTable = nullptr;
  int32_t ObjectOffset = 0;  // from the ITest part to the TObject part
  int32_t CaseOffset = 0;    // from the ITest part to the TTestCase part
  bool Suite = false;
  bool Decorator = false;
  bool HasObject = false;
  bool Case = false;       // a TTestCase, at CaseOffset
  bool PlainCase = false;  // a TTestCase that keeps TTestCase's own RunTest
};

// The function a virtual call of RunTest reaches for a test case.
const void* RunTestTarget(const TTestCase* test) noexcept { return CodeTarget(test, &TTestCase::RunTest); }

// TTestCase's own RunTest, as a virtual call on a plain TTestCase reaches it.
const void* OwnRunTest() noexcept {
  static const void* const own = [] {
    const TTestCase probe{std::string()};
    return RunTestTarget(&probe);
  }();
  return own;
}

// Works the facts out (four casts across the class hierarchy).
TNodeFacts ComputeFacts(const ITest* t, const void* vtable) {
  TNodeFacts f;
  auto* node = const_cast<ITest*>(t);
  const auto* object = dynamic_cast<const TObject*>(t);
  f.Suite = dynamic_cast<ITestSuite*>(node) != nullptr;
  f.Decorator = dynamic_cast<ITestDecorator*>(node) != nullptr;
  f.HasObject = object != nullptr;
  f.ObjectOffset =
      object ? static_cast<int32_t>(reinterpret_cast<const char*>(object) - reinterpret_cast<const char*>(t)) : 0;
  const auto* testCase = dynamic_cast<const TTestCase*>(t);
  const void* own = testCase ? OwnRunTest() : nullptr;
  f.Case = testCase != nullptr;
  f.PlainCase = own && RunTestTarget(testCase) == own;
  f.CaseOffset =
      testCase ? static_cast<int32_t>(reinterpret_cast<const char*>(testCase) - reinterpret_cast<const char*>(t)) : 0;
  f.VTable = vtable;
  return f;
}

uint64_t HashOf(const void* vtable) noexcept { return reinterpret_cast<uintptr_t>(vtable) * 0x9E3779B97F4A7C15ull; }

// Every virtual table met so far (up to three quarters of the slots), so that
// a program with thousands of test classes works each class's facts out once.
// Static storage, not the heap: the memory monitors must not see it grow.
struct TKnownFacts {
  static constexpr unsigned kBits = 13;
  std::mutex Lock;
  unsigned Count = 0;
  TNodeFacts Slot[1u << kBits];

  TNodeFacts Get(const ITest* t, const void* vtable) {
    std::lock_guard<std::mutex> hold(Lock);
    constexpr unsigned kMask = (1u << kBits) - 1;
    for (unsigned i = static_cast<unsigned>(HashOf(vtable) >> (64 - kBits));; i = (i + 1) & kMask) {
      TNodeFacts& s = Slot[i];
      if (s.VTable == vtable) return s;
      if (!s.VTable) {
        TNodeFacts f = ComputeFacts(t, vtable);
        if (Count < (3u << kBits) / 4) {
          s = f;
          ++Count;
        }
        return f;
      }
    }
  }
};
TKnownFacts gKnownFacts;

const TNodeFacts& FactsOf(const ITest* t) {
  // A small direct-mapped cache per thread in front of the table above.
  constexpr unsigned kBits = 7;
  thread_local TNodeFacts cache[1u << kBits];
  const void* vtable = *reinterpret_cast<const void* const*>(t);
  TNodeFacts& f = cache[HashOf(vtable) >> (64 - kBits)];
  if (f.VTable != vtable) f = gKnownFacts.Get(t, vtable);
  return f;
}

// The test case a node is, by its facts (f.Case or f.PlainCase set).
TTestCase* CaseAt(ITest* t, const TNodeFacts& f) noexcept {
  return reinterpret_cast<TTestCase*>(reinterpret_cast<char*>(t) + f.CaseOffset);
}
}  // namespace

void TMethodTable::Add(const char* name, TTestMethodPtr method, bool isVirtual, bool hasRunCount, int64_t runCount,
                       const char* file, uint32_t line) {
  if (Entries.capacity() == 0) Entries.reserve(16);  // where growing one by one would end for ten tests
  Entries.push_back({name, method, isVirtual, hasRunCount, RunCountAttribute(runCount), file, line});
}

// The control block, which every reference to the node writes, goes to the
// node pool, beside the other nodes' (see NodePool.h).
TTestCasePtr AdoptTestCase(TTestCase* test) {
  return TTestCasePtr(test, std::default_delete<TTestCase>(), NodePool::TAllocator<TTestCase>());
}
std::string TesselCopyName(const std::string& name) { return name; }
ITestSuitePtr SuiteOfClass(TTestCaseClass testClass) { return CreateSuite(testClass); }

bool IsTestMethod(const ITestPtr& test) {
  if (!test) return false;
  // The kind first: counting a suite's cases walks its whole subtree.
  const TNodeFacts& f = FactsOf(test.get());
  return !f.Suite && !f.Decorator && test->CountTestCases() == 1;
}

bool IsDecorator(const ITestPtr& test) { return test && FactsOf(test.get()).Decorator; }

void PrepareToRun(ITest& node) {
  const TNodeFacts& f = FactsOf(&node);
  if (f.Case) CaseAt(&node, f)->Method();
}

const TObject* ObjectOf(const ITest* test) noexcept {
  if (!test) return nullptr;
  const TNodeFacts& f = FactsOf(test);
  return f.HasObject ? reinterpret_cast<const TObject*>(reinterpret_cast<const char*>(test) + f.ObjectOffset)
                     : nullptr;
}

int32_t TListIterator::operator()() const { return Test ? Test->GetAllowedLeak() : 0; }

// ---------------------------------------------------------------------------
// TAbstractTest: TAbstractTestBase and TAbstractTestOf

namespace {
const TInterfaceList& EmptyTestList() {
  static const TInterfaceList empty;
  return empty;
}
}  // namespace

TAbstractTestBase::TAbstractTestBase(std::string AName)
    : FRun(new (NodePool::AllocateFresh(sizeof(TRunState))) TRunState()), FTestName(std::move(AName)) {}
TAbstractTestBase::~TAbstractTestBase() {
  FRun->~TRunState();
  NodePool::FreeFresh(FRun, sizeof(TRunState));
}

const TClass& AbstractTestClassInfo() noexcept {
  static const TClass info("TAbstractTest", "TestFramework", &TObject::ClassInfo());
  return info;
}

template <class I>
TAbstractTestOf<I>::~TAbstractTestOf() = default;

template <class I>
ITestPtr TAbstractTestOf<I>::Self() { return this->shared_from_this(); }

template <class I>
std::string TAbstractTestOf<I>::GetName() { return FTestName; }
template <class I>
int TAbstractTestOf<I>::CountTestCases() { return 1; }
template <class I>
int TAbstractTestOf<I>::CountEnabledTestCases() { return GetEnabled() ? 1 : 0; }
template <class I>
const TInterfaceList& TAbstractTestOf<I>::Tests() { return EmptyTestList(); }
template <class I>
void TAbstractTestOf<I>::SetUp() {}
template <class I>
void TAbstractTestOf<I>::TearDown() {}

template <class I>
std::unique_ptr<TTestResult> TAbstractTestOf<I>::Run() {
  auto result = std::make_unique<TTestResult>();
  result->FailsIfNoChecksExecuted = FFailsOnNoChecksExecuted;
  result->FailsIfMemoryLeaked = FFailsOnMemoryLeak;
  result->IgnoresMemoryLeakInSetUpTearDown = FIgnoreSetUpTearDownLeaks;
  result->RunSuite(Self());
  return result;
}

template <class I>
void TAbstractTestOf<I>::Run(TTestResult& testResult) {
  Keep(FFailsOnNoChecksExecuted, testResult.FailsIfNoChecksExecuted);
  Keep(FFailsOnMemoryLeak, testResult.FailsIfMemoryLeaked);
  Keep(FIgnoreSetUpTearDownLeaks, testResult.IgnoresMemoryLeakInSetUpTearDown);
  testResult.RunSuite(Self());
}

template <class I>
void TAbstractTestOf<I>::RunWithFixture(TTestResult& testResult) {
  const TRunRef ref(&testResult, *this);
  if (testResult.ShouldRunTest(ref.Get())) testResult.Run(ref.Get());
}

template <class I>
void TAbstractTestOf<I>::RunTest(TTestResult&) {}
template <class I>
bool TAbstractTestOf<I>::GetTestMethodInvoked() { return FRun->TestMethodInvoked; }
template <class I>
void TAbstractTestOf<I>::SetTestMethodInvoked(bool Value) { FRun->TestMethodInvoked = Value; }
template <class I>
bool TAbstractTestOf<I>::GetEnabled() { return FEnabled; }
template <class I>
void TAbstractTestOf<I>::SetEnabled(bool Value) { FEnabled = Value; }
template <class I>
void TAbstractTestOf<I>::SetStartTime(int64_t Value) { FRun->StartTime = Value; }
template <class I>
int64_t TAbstractTestOf<I>::GetStartTime() { return FRun->StartTime; }
template <class I>
void TAbstractTestOf<I>::SetStopTime(int64_t Value) { FRun->StopTime = Value; }
template <class I>
int64_t TAbstractTestOf<I>::GetStopTime() { return FRun->StopTime; }

template <class I>
uint32_t TAbstractTestOf<I>::ElapsedTestTime() {
  int64_t end = 0;
  if (FRun->StopTime > 0) end = FRun->StopTime;
  else if (FRun->StartTime > 0) end = Platform::QueryPerformanceCounter();
  int64_t ticks = end - FRun->StartTime;
  int64_t freq = 0;
  if (!Platform::QueryPerformanceFrequency(freq) || freq == 0) return 0;
  // ticks * 1000 / freq without overflowing for nanosecond counters
  int64_t ms = ticks / freq * 1000 + ticks % freq * 1000 / freq;
  return static_cast<uint32_t>(ms);
}

template <class I>
int32_t TAbstractTestOf<I>::GetRunCount() { return FRunCount; }
template <class I>
void TAbstractTestOf<I>::SetRunCount(int32_t Value) { FRunCount = Value; }
template <class I>
void TAbstractTestOf<I>::SetStatusListener(IStatusListenerPtr Listener) {
  FRun->StatusListener = std::move(Listener);
}

template <class I>
std::string TAbstractTestOf<I>::GetStatus() {
  std::string s;
  if (FStatusStrings)
    for (const std::string& line : *FStatusStrings) {
      s += line;
      s += "\r\n";
    }
  return s;
}

template <class I>
void TAbstractTestOf<I>::Status(const std::string& Msg) {
  if (!FStatusStrings) FStatusStrings = std::make_unique<std::vector<std::string>>();
  FStatusStrings->push_back(Msg);
  if (FRun->StatusListener) FRun->StatusListener->Status(Self(), Msg);
}

template <class I>
void TAbstractTestOf<I>::SetGUIObject(void* GUIObject) { FGUIObject = GUIObject; }
template <class I>
void* TAbstractTestOf<I>::GetGUIObject() { return FGUIObject; }
template <class I>
void TAbstractTestOf<I>::SetFailsOnNoChecksExecuted(bool Value) { Keep(FFailsOnNoChecksExecuted, Value); }
template <class I>
bool TAbstractTestOf<I>::GetFailsOnNoChecksExecuted() { return FFailsOnNoChecksExecuted; }
template <class I>
bool TAbstractTestOf<I>::GetFailsOnMemoryLeak() { return FFailsOnMemoryLeak; }
template <class I>
void TAbstractTestOf<I>::SetFailsOnMemoryLeak(bool Value) { Keep(FFailsOnMemoryLeak, Value); }

template <class I>
int32_t TAbstractTestOf<I>::GetAllowedMemoryLeakSize() {
  for (int32_t v : FAllowedLeakList)
    if (v != 0) return v;
  return 0;
}

template <class I>
void TAbstractTestOf<I>::SetAllowedMemoryLeakSize(int32_t NewSize) { Keep(FAllowedLeakList[0], NewSize); }
template <class I>
bool TAbstractTestOf<I>::GetFailsOnMemoryRecovery() { return FFailsOnMemoryRecovery; }
template <class I>
void TAbstractTestOf<I>::SetFailsOnMemoryRecovery(bool Value) { Keep(FFailsOnMemoryRecovery, Value); }

template <class I>
void TAbstractTestOf<I>::SetAllowedLeakArray(const std::vector<int32_t>& AllowedList, Loc) {
  if (AllowedList.size() >= 4) Fail(std::string(TesselConsts::sTooManyAllowedLeaks) + "3", TCodeLocation{});
  for (size_t i = 0; i < 3; ++i) FAllowedLeakList[i + 1] = i < AllowedList.size() ? AllowedList[i] : 0;
}

template <class I>
bool TAbstractTestOf<I>::GetIgnoreSetUpTearDownLeaks() { return FIgnoreSetUpTearDownLeaks; }
template <class I>
void TAbstractTestOf<I>::SetIgnoreSetUpTearDownLeaks(bool Value) { Keep(FIgnoreSetUpTearDownLeaks, Value); }

template <class I>
int32_t TAbstractTestOf<I>::GetAllowedLeak() {
  if (FAllowedLeakListIndex >= 4) return 0;
  return FAllowedLeakList[FAllowedLeakListIndex++];
}

template <class I>
TListIterator TAbstractTestOf<I>::GetAllowedLeaksIterator() {
  Keep(FAllowedLeakListIndex, uint16_t(0));
  return TListIterator{this};
}

void TAbstractTestBase::Invoke(const TTestMethod&) { FRun->TestMethodInvoked = false; }

void TAbstractTestBase::StartExpectingException(ExceptionClass e, TCodeLocation loc) {
  StopExpectingException({}, loc);
  FRun->ExpectedException = e;
}

void TAbstractTestBase::StopExpectingException(std::string_view msg, TCodeLocation loc) {
  ExceptionClass expected = FRun->ExpectedException;
  FRun->ExpectedException = nullptr;
  if (expected) Fail(Format(TesselConsts::sExpectedException, expected->Name, msg), loc);
}

void TAbstractTestBase::CheckMethodIsNotEmpty(const TTestMethod& method) {
  if (IsEmptyCode(static_cast<const unsigned char*>(method.CodeAddress())))
    Fail(TesselConsts::sEmptyTest, method.Location());
}

template <class I>
void TAbstractTestOf<I>::LoadConfiguration(TCustomIniFile& iniFile, const std::string& section) {
  const std::string name = GetName();
  SetEnabled(iniFile.ReadBool(section, name, true));
  SetRunCount(iniFile.ReadInteger(section, name + ".RunCount", 1));
}

template <class I>
void TAbstractTestOf<I>::SaveConfiguration(TCustomIniFile& iniFile, const std::string& section) {
  const std::string name = GetName();
  if (GetEnabled()) iniFile.DeleteKey(section, name);
  else iniFile.WriteBool(section, name, false);
  if (GetRunCount() == 1) iniFile.DeleteKey(section, name + ".RunCount");
  else iniFile.WriteInteger(section, name + ".RunCount", GetRunCount());
}

template <class I>
void TAbstractTestOf<I>::LoadConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) {
  std::unique_ptr<TCustomIniFile> store = OpenConfigStore(fileName, useRegistry, useMemIni);
  Self()->LoadConfiguration(*store, "Tests");
}

template <class I>
void TAbstractTestOf<I>::SaveConfiguration(const std::string& fileName, bool useRegistry, bool useMemIni) {
  SaveConfigurationFile(*Self(), fileName, useRegistry, useMemIni);
}

template class TAbstractTestOf<ITest>;
template class TAbstractTestOf<ITestSuite>;
template class TAbstractTestOf<ITestDecorator>;

// ---------------------------------------------------------------------------
// TTestCase

TTestCase::TTestCase(std::string MethodName, int64_t RunCount) : TAbstractTest(std::move(MethodName)) {
  FRunCount = static_cast<int32_t>(RunCount);
}

TTestCase::~TTestCase() = default;

const TClass& TTestCase::ClassInfo() noexcept {
  static const TClass info("TTestCase", "TestFramework", &TAbstractTest::ClassInfo(), nullptr, nullptr);
  return info;
}

const TClass& TGenericTestCase::ClassInfo() noexcept {
  static const TClass info("TGenericTestCase", "TestFramework", &TTestCase::ClassInfo(), nullptr, nullptr);
  return info;
}

ITestSuitePtr TTestCase::Suite() { return CreateSuite(&ClassInfo()); }

const TTestMethod& TTestCase::Method() {
  if (!fMethodBound) {
    fMethodBound = true;
    const char* name = FTestName.c_str();  // a name with a NUL inside matches no method
    auto named = [&](const TMethodEntry& e) {
      return std::strcmp(name, e.Name) == 0 && std::strlen(e.Name) == FTestName.size();
    };
    // A suite creates its cases in table order, so the entry after the one
    // bound last is usually the one. It is taken only from the most derived
    // class's table, whose names are unique: the first match either way.
    thread_local const TMethodEntry* next = nullptr;
    const TClass& own = ClassType();
    const std::vector<TMethodEntry>& ownEntries = own.Methods().Entries;
    if (next && next >= ownEntries.data() && next < ownEntries.data() + ownEntries.size() && named(*next)) {
      fMethod = TTestMethod(this, next);
      ++next;
      return fMethod;
    }
    for (const TClass* c = &own; c; c = c->Parent)
      for (const TMethodEntry& e : c->Methods().Entries)
        if (named(e)) {
          fMethod = TTestMethod(this, &e);
          next = c == &own ? &e + 1 : nullptr;
          return fMethod;
        }
  }
  return fMethod;
}

void TTestCase::Invoke(const TTestMethod& AMethod) {
  FRun->TestMethodInvoked = true;
  // A bound method is called from here: one frame less for a failure to
  // be thrown through.
  if (!AMethod.FThunk && AMethod.FObject && AMethod.FEntry) (AMethod.FObject->*(AMethod.FEntry->Method))();
  else AMethod();
}

void TTestCase::Run(TTestResult& testResult) { testResult.RunSuite(Self()); }

void TTestCase::RunWithFixture(TTestResult& testResult) {
  Keep(FFailsOnNoChecksExecuted, testResult.FailsIfNoChecksExecuted);
  Keep(FFailsOnMemoryLeak, testResult.FailsIfMemoryLeaked);
  Keep(FIgnoreSetUpTearDownLeaks, testResult.IgnoresMemoryLeakInSetUpTearDown);
  // One reference for every question and the run: each Self() is an atomic
  // update of the reference counts. None when the result holds one.
  const TRunRef ref(&testResult, *this);
  const ITestPtr& self = ref.Get();
  if (testResult.ShouldRunTest(self)) {
    testResult.IncRunTests();
    // Bound now, so that the first look-up (which builds the class's method
    // table) happens before the memory monitors take their baseline.
    Method();
    // What TAbstractTest::RunWithFixture does, with the reference at hand.
    if (testResult.ShouldRunTest(self)) testResult.Run(self);
  }
}

void TTestCase::RunTest(TTestResult& testResult) { RunBody(testResult, nullptr); }

bool TTestCase::RunBody(TTestResult& testResult, const ITestPtr* loopTest) {
  FRun->ExpectedException = nullptr;
  const TTestMethod& method = Method();
  // What happens to an exception that left the guarded steps: passed on (to
  // the caller, or straight into the run loop's record), swallowed as the
  // expected one, or turned into the failure "unexpected exception".
  auto settle = [&](const TExceptionInfo& info, const std::exception_ptr* raised) -> bool {
    ExceptionClass expected = FRun->ExpectedException;
    FRun->ExpectedException = nullptr;
    const bool isFailure = info.Class && info.Class->InheritsFrom(&ETestFailure::ClassInfo());
    if (!expected || isFailure) {
      if (!loopTest) throw;
      testResult.RecordBodyException(*loopTest, info);
      return false;
    }
    if (ExceptionMatches(expected, raised ? *raised : std::current_exception(), info)) return true;  // it came: pass
    TCodeLocation where = info.Location.IsKnown() ? info.Location : method.Location();
    FailNotEquals(expected->Name, info.ClassName, TesselConsts::sUnexpectedException, where);
    return false;
  };
  try {
    if (!method)
      throw ETestError(Format("No test method named \"%s\" in class %s", FTestName, ClassType().Name));
    const TCodeLocation at = method.Location();  // found once: it resolves the code address
    if (IsEmptyCode(static_cast<const unsigned char*>(at.Address))) Fail(TesselConsts::sEmptyTest, at);
    testResult.FMethodPtr = at;
    FRun->CheckCalled = false;
    for (int32_t i = 0; i < FRunCount; ++i) Invoke(method);
    if (FFailsOnNoChecksExecuted && !FRun->CheckCalled) Fail(TesselConsts::sNoChecksExecuted, at);
    if (FRun->ExpectedException) StopExpectingException({}, at);
  } catch (const Exception& e) {
    // The framework's own exceptions are read directly: describing the
    // current exception would throw it once more.
    return settle(DescribeException(e), nullptr);
  } catch (...) {
    // Nothing expected: a foreign exception passes on without being described.
    if (!FRun->ExpectedException && !loopTest) throw;
    std::exception_ptr raised = std::current_exception();
    return settle(DescribeCurrentException(), &raised);
  }
  FRun->ExpectedException = nullptr;
  return true;
}

// ---------------------------------------------------------------------------
// TTestSuite

TTestSuite::TTestSuite() : TAbstractTestOf("TObject") {}
TTestSuite::TTestSuite(std::string AName) : TAbstractTestOf(std::move(AName)) {}
TTestSuite::TTestSuite(std::string AName, const TTestArray& Tests) : TAbstractTestOf(std::move(AName)) {
  for (const ITestPtr& t : Tests) AddTest(t);
}

const TClass& TTestSuite::ClassInfo() noexcept {
  static const TClass info("TTestSuite", "TestFramework", &TAbstractTest::ClassInfo());
  return info;
}

void TTestSuite::AddTest(ITestPtr ATest) {
  if (!ATest) throw ETesselException(Format("AddTest: cannot add an empty test to suite \"%s\"", FTestName));
  FTests.push_back(std::move(ATest));
}

void TTestSuite::AddSuite(ITestSuitePtr suite) { AddTest(std::move(suite)); }

void TTestSuite::AddTests(TTestCaseClass testClass) {
  TMethodEnumerator methods(testClass);
  if (methods.MethodCount() == 0) return;
  if (!testClass->Factory)
    throw ETesselException(Format("AddTests: class %s cannot create test cases", testClass->Name));
  FTests.reserve(FTests.size() + static_cast<size_t>(methods.MethodCount()));
  // Run-count attributes are rare: look for them by name only when the
  // class or an ancestor has one at all.
  bool anyRunCount = false;
  for (const TClass* c = testClass; c && !anyRunCount; c = c->Parent)
    for (const TMethodEntry& e : c->Methods().Entries) anyRunCount = anyRunCount || e.HasRunCount;
  for (int i = 0; i < methods.MethodCount(); ++i) {
    std::string name = methods.NameOfMethod(i);
    int64_t runCount = 1;
    if (anyRunCount)
      for (const TClass* c = testClass; c; c = c->Parent)
        for (const TMethodEntry& e : c->Methods().Entries)
          if (e.HasRunCount && name == e.Name) runCount = e.RunCount.FCount;
    AddTest(testClass->Factory(name, runCount));
  }
}

void TTestSuite::RunTest(TTestResult& testResult) {
  const TRunRef ref(&testResult, *this);
  const ITestPtr& self = ref.Get();
  testResult.StartSuite(self);
  // By index: a test may add tests to its own suite while it runs.
  for (size_t i = 0; i < FTests.size(); ++i) {
    if (testResult.ShouldStop()) break;
    FTests[i]->RunWithFixture(testResult);
  }
  testResult.EndSuite(self);
}

const TInterfaceList& TTestSuite::Tests() { return FTests; }

int TTestSuite::CountTestCases() {
  int n = 0;
  for (const ITestPtr& t : FTests) n += t->CountTestCases();
  return n;
}

int TTestSuite::CountEnabledTestCases() {
  if (!GetEnabled()) return 0;
  int n = 0;
  for (const ITestPtr& t : FTests) n += t->CountEnabledTestCases();
  return n;
}

void TTestSuite::LoadConfiguration(TCustomIniFile& iniFile, const std::string& section) {
  TAbstractTestOf::LoadConfiguration(iniFile, section);
  const std::string sub = section + "." + GetName();
  for (const ITestPtr& t : FTests) t->LoadConfiguration(iniFile, sub);
}

void TTestSuite::SaveConfiguration(TCustomIniFile& iniFile, const std::string& section) {
  TAbstractTestOf::SaveConfiguration(iniFile, section);
  const std::string sub = section + "." + GetName();
  for (const ITestPtr& t : FTests) t->SaveConfiguration(iniFile, sub);
}

// ---------------------------------------------------------------------------
// TTestFailure

TTestFailure::TTestFailure(ITestPtr FailedTest, const TExceptionInfo& ThrownException, const TCodeLocation& Addrs,
                           std::string_view msg)
    : FFailedTest(std::move(FailedTest)),
      FThrownExceptionClass(ThrownException.Class),
      FThrownExceptionName(ThrownException.ClassName),
      FThrownExceptionAddress(Addrs) {
  FThrownExceptionMessage.reserve(msg.size() + ThrownException.Message.size());
  FThrownExceptionMessage.append(msg).append(ThrownException.Message);
  FStackTrace = CaptureStackTrace(ThrownException, Addrs);
}

TTestFailure::TTestFailure(ITestPtr FailedTest, const TCodeLocation& Addrs, std::string msg)
    : FFailedTest(std::move(FailedTest)),
      FThrownExceptionClass(&EPostTestFailure::ClassInfo()),
      FThrownExceptionName(EPostTestFailure::ClassInfo().Name),
      FThrownExceptionMessage(std::move(msg)),
      FThrownExceptionAddress(Addrs) {}

TTestFailure::~TTestFailure() = default;

ITestPtr TTestFailure::FailedTest() { return FFailedTest; }
const TClass* TTestFailure::ThrownExceptionClass() { return FThrownExceptionClass; }
std::string TTestFailure::ThrownExceptionName() { return FThrownExceptionName; }
std::string TTestFailure::ThrownExceptionMessage() { return FThrownExceptionMessage; }
TCodeLocation TTestFailure::ThrownExceptionAddress() { return FThrownExceptionAddress; }

std::string TTestFailure::LocationInfo() {
  if (!FThrownExceptionAddress.HasSource()) return {};
  return std::string(FThrownExceptionAddress.File) + ":" + std::to_string(FThrownExceptionAddress.Line);
}

std::string TTestFailure::AddressInfo() {
  if (!FThrownExceptionAddress.Address) return "n/a";
  return "$" + PtrToStr(FThrownExceptionAddress.Address);
}

std::string TTestFailure::StackTrace() { return FStackTrace; }
std::string TTestFailure::CaptureStackTrace(const TExceptionInfo&, const TCodeLocation&) { return {}; }

// ---------------------------------------------------------------------------
// TTestResult

TTestResult::TTestResult() : FStatusAdapter(std::make_shared<TStatusToResultAdapter>(this)) {}

TTestResult::~TTestResult() {
  FErrors.clear();
  FFailures.clear();
}

void TStatusToResultAdapter::Status(const ITestPtr& Test, const std::string& Msg) { FTestResult->Status(Test, Msg); }

void TTestResult::AddListener(ITestListenerPtr listener) {
  if (!listener) throw ETesselException("AddListener: the listener is empty");
  if (auto* x = dynamic_cast<ITestListenerX*>(listener.get())) FListenersX.push_back(x);
  FListeners.push_back(std::move(listener));
}

void TTestResult::TestingStarts() {
  for (const auto& l : FListeners) l->TestingStarts();
}

void TTestResult::StartSuite(const ITestPtr& suite) {
  for (ITestListenerX* l : FListenersX) l->StartSuite(suite);
}

void TTestResult::EndSuite(const ITestPtr& suite) {
  for (ITestListenerX* l : FListenersX) l->EndSuite(suite);
}

void TTestResult::StartTest(const ITestPtr& test) {
  test->SetStatusListener(FStatusAdapter);
  for (const auto& l : FListeners) l->StartTest(test);
}

void TTestResult::EndTest(const ITestPtr& test) {
  try {
    for (const auto& l : FListeners) l->EndTest(test);
  } catch (...) {
    test->SetStatusListener(nullptr);
    throw;
  }
  test->SetStatusListener(nullptr);
}

bool TTestResult::ShouldRunTest(const ITestPtr& test) {
  for (const auto& l : FListeners)
    if (!l->ShouldRunTest(test)) return false;
  return true;
}

void TTestResult::Status(const ITestPtr& test, const std::string& Msg) {
  for (const auto& l : FListeners) l->Status(test, Msg);
}

void TTestResult::TestingEnds() {
  for (const auto& l : FListeners) l->TestingEnds(*this);
}

void TTestResult::AddSuccess(const ITestPtr& test) {
  for (const auto& l : FListeners) l->AddSuccess(test);
}

TTestFailure& TTestResult::AddError(const ITestPtr& test, const TExceptionInfo& e, const TCodeLocation& Addrs,
                                    std::string_view msg) {
  FErrors.push_back(std::make_unique<TTestFailure>(FailureRef(test), e, Addrs, msg));
  TTestFailure& error = *FErrors.back();
  for (const auto& l : FListeners) l->AddError(error);
  return error;
}

TTestFailure& TTestResult::AddFailure(const ITestPtr& test, const TExceptionInfo& e, const TCodeLocation& Addrs) {
  FFailures.push_back(std::make_unique<TTestFailure>(FailureRef(test), e, Addrs, std::string_view{}));
  TTestFailure& failure = *FFailures.back();
  for (const auto& l : FListeners) l->AddFailure(failure);
  return failure;
}

TTestFailure& TTestResult::AddFailure(const ITestPtr& test, const TCodeLocation& Addrs, const std::string& msg) {
  FFailures.push_back(std::make_unique<TTestFailure>(FailureRef(test), Addrs, msg));
  TTestFailure& failure = *FFailures.back();
  for (const auto& l : FListeners) l->AddFailure(failure);
  return failure;
}

TTestFailure& TTestResult::AddFailureAndContinue(const ITestPtr& test, const TExceptionInfo& e,
                                                const TCodeLocation& Addrs) {
  ++FContinuedFailures;
  return AddFailure(test, e, Addrs);
}

bool TTestResult::RecordedAndContinued(const ITestPtr& test, uint64_t mark, size_t firstFailure) const {
  if (FContinuedFailures == mark) return false;
  // A node's children record their own: only those against this node count.
  for (size_t i = firstFailure; i < FFailures.size(); ++i)
    if (FFailures[i]->FailedTest().get() == test.get()) return true;
  return false;
}

TTestFailure& TTestResult::GetError(int idx) { return *FErrors.at(static_cast<size_t>(idx)); }
TTestFailure& TTestResult::GetFailure(int idx) { return *FFailures.at(static_cast<size_t>(idx)); }

void TTestResult::Stop() { FStop = true; }
const ITestPtr* TTestResult::StableRef(const ITest*) { return nullptr; }
ITestPtr TTestResult::FailureRef(const ITestPtr& test) { return test; }
bool TTestResult::ShouldStop() { return FStop; }
int TTestResult::RunCount() { return FRunTests; }
int TTestResult::ErrorCount() { return static_cast<int>(FErrors.size()); }
int TTestResult::FailureCount() { return static_cast<int>(FFailures.size()); }
bool TTestResult::WasStopped() { return FStop; }
bool TTestResult::WasSuccessful() { return FailureCount() == 0 && ErrorCount() == 0 && !WasStopped(); }

void TTestResult::RunSuite(const ITestPtr& test) {
  TestingStarts();
  try {
    FRootTest = test;
    test->RunWithFixture(*this);
  } catch (...) {
    TestingEnds();
    throw;
  }
  TestingEnds();
}

bool TTestResult::RunTestSetup(const ITestPtr& test) {
  try {
    test->SetStopTime(0);
    test->SetStartTime(Platform::QueryPerformanceCounter());
    test->SetFailsOnNoChecksExecuted(FailsIfNoChecksExecuted);
    test->SetFailsOnMemoryLeak(FailsIfMemoryLeaked);
    test->SetIgnoreSetUpTearDownLeaks(IgnoresMemoryLeakInSetUpTearDown);
    test->SetUp();
    return true;
  } catch (...) {
    TExceptionInfo info = DescribeCurrentException();
    AddError(test, info, info.Location, TesselConsts::sSetUpFailed);
    return false;
  }
}

TTestFailure* TTestResult::RecordBodyException(const ITestPtr& test, const TExceptionInfo& info) {
  // Cleared only when the record is made: an exception from a listener
  // leaves it set, so that RunTestRun passes that one on rather than
  // recording it against the test.
  FRecordingBody = true;
  // Exceptions of foreign types carry no location; point at the test method.
  TCodeLocation where = info.Location.IsKnown() || !IsTestMethod(test) ? info.Location : FMethodPtr;
  const TClass* cls = info.Class;
  if (cls && cls->InheritsFrom(&EStopTestsFailure::ClassInfo())) {
    FBodyFailure = &AddFailure(test, info, where);
    FStop = true;
  } else if (cls && (cls->InheritsFrom(&ETestFailure::ClassInfo()) ||
                     cls->InheritsFrom(&EBreakingTestFailure::ClassInfo()))) {
    FBodyFailure = &AddFailure(test, info, where);
  } else {
    FBodyFailure = &AddError(test, info, where);
  }
  FRecordingBody = false;
  return FBodyFailure;
}


namespace {
// The test case behind a node when the run loop may take RunTest's steps
// itself (TTestCase::RunBody): the node is a TTestCase and its class keeps
// TTestCase's own RunTest. A class that replaces RunTest gets every call.
TTestCase* PlainTestCase(ITest* test) {
  const TNodeFacts& f = FactsOf(test);
  return f.PlainCase ? CaseAt(test, f) : nullptr;
}
}  // namespace

bool TTestResult::RunTestRun(const ITestPtr& test) {
  bool result = false;
  test->SetTestMethodInvoked(false);
  FBodyFailure = nullptr;
  FRecordingBody = false;
  try {
    TTestCase* plain = PlainTestCase(test.get());
    // Through RunBody a failure is recorded where the test case catches it
    // (one unwinding of the stack, not two); the records are the same.
    if (plain ? plain->RunBody(*this, &test) : (test->RunTest(*this), true)) {
      if (!FRootTest) FRootTest = test;
      FTotalTime = FRootTest->ElapsedTestTime();
      result = true;
    }
  } catch (const Exception& e) {
    if (FRecordingBody) {  // a listener's, while the body's exception was recorded
      FRecordingBody = false;
      throw;
    }
    // The framework's own exceptions are read directly: describing the
    // current exception would throw it once more.
    RecordBodyException(test, DescribeException(e));
  } catch (...) {
    if (FRecordingBody) {
      FRecordingBody = false;
      throw;
    }
    RecordBodyException(test, DescribeCurrentException());
  }
  TTestFailure* failure = FBodyFailure;
  FBodyFailure = nullptr;
  if (BreakOnFailures && failure && failure->ThrownExceptionClass() &&
      failure->ThrownExceptionClass()->InheritsFrom(&ETestFailure::ClassInfo())) {
    // Gives an attached debugger a first-chance exception at the failure.
    try {
      throw EBreakingTestFailure(failure->ThrownExceptionMessage(), failure->ThrownExceptionAddress());
    } catch (const EBreakingTestFailure&) {
    }
  }
  return result;
}

void TTestResult::RunTestTearDown(const ITestPtr& test) {
  struct StopTimeGuard {
    const ITestPtr& t;
    ~StopTimeGuard() { t->SetStopTime(Platform::QueryPerformanceCounter()); }
  } guard{test};
  try {
    test->TearDown();
  } catch (...) {
    TExceptionInfo info = DescribeCurrentException();
    AddError(test, info, info.Location, TesselConsts::sTearDownFailed);
  }
}

namespace {
TMemLeakMonitorFactory gMonitorFactory = nullptr;

// The monitor for one node: a new one from the factory, kept alive by holder,
// or the supplied one, which keeps no state and so serves every node (used
// in place, not copied: that would be two atomic updates per monitor).
ITesselMemLeakMonitor& NewMonitor(ITesselMemLeakMonitorPtr& holder) {
  if (gMonitorFactory && (holder = gMonitorFactory())) return *holder;
  static const ITesselMemLeakMonitorPtr shared = std::make_shared<TTesselMemLeakMonitor>();
  return *shared;
}
}  // namespace

void SetMemLeakMonitorFactory(TMemLeakMonitorFactory factory) noexcept { gMonitorFactory = factory; }
TMemLeakMonitorFactory GetMemLeakMonitorFactory() noexcept { return gMonitorFactory; }

void TTestResult::Run(const ITestPtr& test) {
  if (ShouldStop() || !ShouldRunTest(test)) return;
  StartTest(test);
  const uint64_t continuedMark = FContinuedFailures;
  const size_t firstFailure = FFailures.size();
  try {
    test->SetAllowedMemoryLeakSize(0);
    ITesselMemLeakMonitorPtr stepHolder, caseHolder;
    ITesselMemLeakMonitor& stepMonitor = NewMonitor(stepHolder);
    ITesselMemLeakMonitor& caseMonitor = NewMonitor(caseHolder);
    int32_t setupChange = 0, procChange = 0, teardownChange = 0, caseChange = 0, leakIndex = 0;
    bool isTestMethod = false;
    bool ran = false;
    if (RunTestSetup(test)) {
      caseMonitor.MemLeakDetected(setupChange);
      stepMonitor.MarkMemInUse();
      ran = RunTestRun(test);
      isTestMethod = IsTestMethod(test);
      if (isTestMethod && test->GetFailsOnMemoryLeak()) stepMonitor.MemLeakDetected(procChange);
    }
    stepMonitor.MarkMemInUse();
    RunTestTearDown(test);
    stepMonitor.MemLeakDetected(teardownChange);
    if (ran && RecordedAndContinued(test, continuedMark, firstFailure)) ran = false;
    if (ran) {
      bool passed = true;
      if (isTestMethod && test->GetFailsOnMemoryLeak()) {
        bool leak = caseMonitor.MemLeakDetected(test->GetAllowedLeaksIterator(), test->GetFailsOnMemoryRecovery(),
                                                 leakIndex, caseChange);
        MemoryLeakIgnoredInSetupOrTearDown = IgnoresMemoryLeakInSetUpTearDown && procChange == 0 && leak;
        if (!MemoryLeakIgnoredInSetupOrTearDown && leak) {
          std::string errorMsg;
          passed = caseMonitor.GetMemoryUseMsg(test->GetFailsOnMemoryRecovery(), setupChange, procChange,
                                                teardownChange, caseChange, errorMsg);
          if (!passed) AddFailure(test, FMethodPtr, errorMsg);
        }
        if (passed) {
          AddSuccess(test);
          if (caseChange != 0) test->SetAllowedMemoryLeakSize(caseChange);
        }
      } else {
        AddSuccess(test);
      }
    }
  } catch (...) {
    EndTest(test);
    throw;
  }
  EndTest(test);
}

// ---------------------------------------------------------------------------
// Supplied memory monitors: they measure nothing.

bool TMemLeakMonitor::MemLeakDetected(int32_t& LeakSize) {
  LeakSize = 0;
  return false;
}

bool TTesselMemLeakMonitor::MemLeakDetected(int32_t AllowedLeakSize, bool, int32_t& LeakSize) {
  LeakSize = 0;
  return AllowedLeakSize != 0;
}

bool TTesselMemLeakMonitor::MemLeakDetected(const TListIterator& AllowedValuesGetter, bool, int32_t& LeakIndex,
                                            int32_t& LeakSize) {
  LeakSize = 0;
  LeakIndex = 0;
  return AllowedValuesGetter() != 0;
}

bool TTesselMemLeakMonitor::GetMemoryUseMsg(bool, int32_t, std::string& ErrorMsg) {
  ErrorMsg.clear();
  return true;
}

bool TTesselMemLeakMonitor::GetMemoryUseMsg(bool, int32_t, int32_t, int32_t, int32_t, std::string& ErrorMsg) {
  ErrorMsg.clear();
  return true;
}

void TTesselMemLeakMonitor::MarkMemInUse() {}

IMemLeakMonitorPtr MemLeakMonitor() { return std::make_shared<TMemLeakMonitor>(); }

}  // namespace TestFramework
