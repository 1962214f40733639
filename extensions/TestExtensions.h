// Decorators: test nodes that wrap exactly one other test (a test case, a
// suite or another decorator) and change how it is run, named, counted or
// configured. A decorator is a full node, so it registers, nests in suites and
// can itself be wrapped.
//
//   // One-time set-up around a whole suite:
//   class TDbSetup : public TTestSetup {
//     TESSEL_DECORATOR_CLASS(TDbSetup, TTestSetup)
//     void SetUp() override { OpenSharedDb(); }
//     void TearDown() override { CloseSharedDb(); }
//   };
//   RegisterTest("Db", std::make_shared<TDbSetup>(TDbTests::Suite()));
//   RegisterTest(std::make_shared<TRepeatedTest>(TFlakyTests::Suite(), 10));
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "framework/TestFramework.h"

namespace TestExtensions {

using TestFramework::ITestPtr;
using TestFramework::TClass;
using TestFramework::TInterfaceList;
using TestFramework::TTestResult;

// Gives a decorator subclass its own class information (and inherits the
// base's constructors), so reports name the user's class and unit.
// Constructors are inherited through an alias: "using Base::Base" breaks when
// Base is written with its namespace (TestExtensions::TTestSetup).
#define TESSEL_DECORATOR_CLASS(Cls, Base)                                                                \
 public:                                                                                                 \
  using TesselBase_ = Base;                                                                              \
  using TesselBase_::TesselBase_;                                                                        \
  static const ::TestFramework::TClass& ClassInfo() noexcept {                                           \
    static const ::TestFramework::TClass info(#Cls, ::TestFramework::UnitNameFromFile(__FILE__),         \
                                              &Base::ClassInfo());                                       \
    return info;                                                                                         \
  }                                                                                                      \
  const ::TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }

class TTestDecorator : public TestFramework::TAbstractTestOf<TestFramework::ITestDecorator> {
 public:
  // The stored name is AName, or the wrapped test's name when AName is empty.
  // An empty ATest is refused with ETesselException.
  explicit TTestDecorator(ITestPtr ATest, std::string AName = "");
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }

  ITestPtr GetTest() override;
  // The one-element list holding the wrapped test.
  const TInterfaceList& Tests() override;
  // Hands the wrapped test to the run loop as a node of its own.
  void RunTest(TTestResult& testResult) override;
  // "(d) " and the wrapped test's current name.
  std::string GetName() override;
  int CountTestCases() override;
  int CountEnabledTestCases() override;
  void LoadConfiguration(TestFramework::TCustomIniFile& iniFile, const std::string& section) override;
  void SaveConfiguration(TestFramework::TCustomIniFile& iniFile, const std::string& section) override;
  using TAbstractTestOf::LoadConfiguration;
  using TAbstractTestOf::SaveConfiguration;

 protected:
  ITestPtr FTest;
  TInterfaceList FTests;
};

// Its SetUp and TearDown (empty here) run once around the whole wrapped test;
// a subclass overrides them.
class TTestSetup : public TTestDecorator {
 public:
  using TTestDecorator::TTestDecorator;
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }
  std::string GetName() override;
};

// Runs the wrapped test a fixed number of times.
class TRepeatedTest : public TTestDecorator {
 public:
  TRepeatedTest(ITestPtr ATest, int32_t Iterations, std::string AName = "");
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }

  void RunTest(TTestResult& testResult) override;
  std::string GetName() override;
  int CountTestCases() override;
  int CountEnabledTestCases() override;

  // Stop repeating after the first repetition that records an error or failure.
  bool GetHaltOnError() const noexcept { return FHaltOnError; }
  void SetHaltOnError(bool Value) noexcept { FHaltOnError = Value; }
  int32_t TimesRepeat() const noexcept { return FTimesRepeat; }

 protected:
  int32_t FTimesRepeat;
  bool FHaltOnError = false;
};

class TActiveTest : public TTestDecorator {
 public:
  using TTestDecorator::TTestDecorator;
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }
};

class TExceptionTestCase : public TTestDecorator {
 public:
  using TTestDecorator::TTestDecorator;
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }
};

// Runs the wrapped test quietly against a private result and fails when the
// heap in use changed across that run. A wrapped test that fails is run again
// against the real result so that its failures are recorded there.
class TMemoryTest : public TTestDecorator {
 public:
  using TTestDecorator::TTestDecorator;
  static const TClass& ClassInfo() noexcept;
  const TClass& ClassType() const noexcept override { return ClassInfo(); }

  std::string GetName() override;
  void RunTest(TTestResult& testResult) override;
  // Heap bytes in use while a measuring memory monitor is switched on
  // (TestFramework::SetMemLeakMonitorFactory), else 0, so that without a
  // meter the comparison always holds.
  virtual int64_t MemoryAllocated();
};

using TestFramework::ETestFailure;
class EMemoryError : public ETestFailure {
  TESSEL_EXCEPTION_CLASS(EMemoryError, ETestFailure)
};

enum TMemoryTestTypes : uint8_t { mttMemoryTestBeforeNormalTest, mttExecuteNormalTest, mttMemoryTestAfterNormalTest };

// A set of TMemoryTestTypes, one bit per member.
class TMemoryTestTypesSet {
 public:
  constexpr TMemoryTestTypesSet() noexcept = default;
  constexpr TMemoryTestTypesSet(std::initializer_list<TMemoryTestTypes> members) noexcept {
    for (TMemoryTestTypes m : members) FBits |= Bit(m);
  }
  constexpr bool Contains(TMemoryTestTypes m) const noexcept { return (FBits & Bit(m)) != 0; }
  constexpr TMemoryTestTypesSet& Include(TMemoryTestTypes m) noexcept {
    FBits |= Bit(m);
    return *this;
  }
  constexpr TMemoryTestTypesSet& Exclude(TMemoryTestTypes m) noexcept {
    FBits &= static_cast<uint8_t>(~Bit(m));
    return *this;
  }
  constexpr bool Empty() const noexcept { return FBits == 0; }
  constexpr int Count() const noexcept {
    int n = 0;
    for (uint8_t b = FBits; b; b &= static_cast<uint8_t>(b - 1)) ++n;
    return n;
  }
  friend constexpr TMemoryTestTypesSet operator+(TMemoryTestTypesSet a, TMemoryTestTypesSet b) noexcept {
    return FromBits(a.FBits | b.FBits);
  }
  friend constexpr TMemoryTestTypesSet operator-(TMemoryTestTypesSet a, TMemoryTestTypesSet b) noexcept {
    return FromBits(a.FBits & ~b.FBits);
  }
  friend constexpr TMemoryTestTypesSet operator*(TMemoryTestTypesSet a, TMemoryTestTypesSet b) noexcept {
    return FromBits(a.FBits & b.FBits);
  }
  friend constexpr bool operator==(TMemoryTestTypesSet, TMemoryTestTypesSet) noexcept = default;

 private:
  static constexpr uint8_t Bit(TMemoryTestTypes m) noexcept { return static_cast<uint8_t>(1u << m); }
  static constexpr TMemoryTestTypesSet FromBits(unsigned bits) noexcept {
    TMemoryTestTypesSet s;
    s.FBits = static_cast<uint8_t>(bits & 0x7u);
    return s;
  }
  uint8_t FBits = 0;
};

// Unit start-up and shut-down (counted); the unit holds no state of its own.
void InitializeUnit();
void FinalizeUnit();

}  // namespace TestExtensions
