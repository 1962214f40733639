#include "runners/TesselEvents.h"

#include <dlfcn.h>
#include <linux/futex.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/Clocks.h"
#include "platform/Format.h"

namespace TesselEvents {

using namespace TestFramework;
using Platform::Format;

namespace {

constexpr size_t kAlign = 8;

size_t PageSize() {
  static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

int64_t SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

[[noreturn]] void CannotShare(const char* what) {
  throw ETesselException(Format("Cannot share memory with the tests' processes (%s): %s", what, std::strerror(errno)));
}

// A node that a worker made while it ran (a test adding tests to its suite):
// the supervisor knows it only by what the records say of it.
class TRemoteNode : public TAbstractTest {
 public:
  TRemoteNode(std::string name, const TClass* cls) : TAbstractTest(std::move(name)), FClass(cls) {}
  const TClass& ClassType() const noexcept override { return FClass ? *FClass : TAbstractTest::ClassInfo(); }

 private:
  const TClass* FClass;
};

bool TakeNum(std::string_view& p, uint64_t& v) {
  if (p.size() < sizeof v) return false;
  std::memcpy(&v, p.data(), sizeof v);
  p.remove_prefix(sizeof v);
  return true;
}

bool TakeText(std::string_view& p, std::string_view& s) {
  uint64_t n = 0;
  if (!TakeNum(p, n) || n > p.size()) return false;
  s = p.substr(0, static_cast<size_t>(n));
  p.remove_prefix(static_cast<size_t>(n));
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The channel

TChannel::TChannel(size_t ringBytes) {
  FRingSize = PageSize();
  while (FRingSize < ringBytes) FRingSize *= 2;
  void* control = ::mmap(nullptr, sizeof(TControl), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (control == MAP_FAILED) CannotShare("control block");
  FControl = new (control) TControl();
  FControl->Epoch = SteadyNanos();
  FControl->Active.store(0xFFFFFFFFu);
  int fd = ::memfd_create("tessel-events", MFD_CLOEXEC);
  if (fd < 0) CannotShare("memfd_create");
  // Pages of a memory file come as they are written, like those of MAP_NORESERVE.
  if (::ftruncate(fd, static_cast<off_t>(FRingSize)) != 0) {
    ::close(fd);
    CannotShare("ftruncate");
  }
  void* base = ::mmap(nullptr, 2 * FRingSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) {
    ::close(fd);
    CannotShare("address space");
  }
  char* b = static_cast<char*>(base);
  bool ok = ::mmap(b, FRingSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) != MAP_FAILED &&
            ::mmap(b + FRingSize, FRingSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) != MAP_FAILED;
  int err = errno;
  ::close(fd);  // the mappings keep the file
  if (!ok) {
    ::munmap(base, 2 * FRingSize);
    errno = err;
    CannotShare("ring");
  }
  FRing = b;
  MapPages();
}

void TChannel::MapPages() const noexcept { TestFramework::NodePool::MakeWritable(FRing, 2 * FRingSize); }

TChannel::~TChannel() {
  if (FRing) ::munmap(FRing, 2 * FRingSize);
  if (FControl) ::munmap(FControl, sizeof(TControl));
}

// ---------------------------------------------------------------------------
// The node table

namespace {
// Depth first, in run order, each node's reference as the tree holds it:
// the walk takes none of its own. visit says whether to walk its children.
template <class F>
void WalkTree(const ITestPtr& root, F&& visit) {
  std::vector<const ITestPtr*> pending;
  if (root) pending.push_back(&root);
  while (!pending.empty()) {
    const ITestPtr& node = *pending.back();
    pending.pop_back();
    if (!node || !visit(node)) continue;
    const TInterfaceList& children = node->Tests();
    for (size_t i = children.size(); i-- > 0;) pending.push_back(&children[i]);
  }
}
}  // namespace

TNodeTable::TNodeTable(const ITestPtr& root) {
  size_t count = 0;  // first counted, so that the tables grow once
  WalkTree(root, [&](const ITestPtr&) { return ++count, true; });
  FNodes->reserve(count);
  FIndex.reserve(count);
  TestFramework::NodePool::MakeWritable(FNodes->data(), count * sizeof(ITestPtr));
  TestFramework::NodePool::MakeWritable(FIndex.data(), count * sizeof(FIndex[0]));
  WalkTree(root, [&](const ITestPtr& node) {
    FIndex.emplace_back(node.get(), static_cast<int32_t>(FNodes->size()));
    FNodes->push_back(node);
    return true;
  });
  std::sort(FIndex.begin(), FIndex.end());
  auto same = [](const auto& a, const auto& b) { return a.first == b.first; };
  if (std::adjacent_find(FIndex.begin(), FIndex.end(), same) == FIndex.end()) return;
  // A node in the tree twice: made again, each node keeping its first number
  // and its children walked once.
  FNodes->clear();
  std::unordered_map<const ITest*, int32_t> seen;
  WalkTree(root, [&](const ITestPtr& node) {
    if (!seen.emplace(node.get(), static_cast<int32_t>(FNodes->size())).second) return false;
    FNodes->push_back(node);
    return true;
  });
  FIndex.assign(seen.begin(), seen.end());
  std::sort(FIndex.begin(), FIndex.end());
}

int32_t TNodeTable::IndexOf(const ITest* node) const {
  for (size_t i = FLast; i < FLast + 2 && i < FNodes->size(); ++i)
    if ((*FNodes)[i].get() == node) {
      FLast = i;
      return static_cast<int32_t>(i);
    }
  auto it = std::lower_bound(FIndex.begin(), FIndex.end(), std::make_pair(node, INT32_MIN));
  if (it == FIndex.end() || it->first != node) return -1;
  FLast = static_cast<size_t>(it->second);
  return it->second;
}

const ITestPtr* TNodeTable::Ref(const ITest* node) const {
  const int32_t i = IndexOf(node);
  return i >= 0 ? &(*FNodes)[static_cast<size_t>(i)] : nullptr;
}

ITestPtr TNodeTable::Alias(const ITestPtr& node) const {
  const ITestPtr* ref = node ? Ref(node.get()) : nullptr;
  return ref ? ITestPtr(FNodes, ref->get()) : node;
}

// ---------------------------------------------------------------------------
// The writer

TEventWriter::TEventWriter(TChannel& channel, const TNodeTable& nodes, int wakeFd, int outFd, int errFd)
    : FChannel(channel), FNodes(nodes), FWakeFd(wakeFd), FOutFd(outFd), FErrFd(errFd) {
  FRecord.reserve(256);
  Resync();
}

void TEventWriter::Resync() noexcept {
  FHead = FChannel.Control().Head.load(std::memory_order_acquire);
  FRoomUntil = 0;
  FNeedOutput = true;  // the other process may have printed after its last record
}

void TEventWriter::Num(uint64_t v) { FRecord.append(reinterpret_cast<const char*>(&v), sizeof v); }

void TEventWriter::Text(std::string_view s) {
  Num(s.size());
  FRecord.append(s);
}

void TEventWriter::SetOutputMaps(const char* out, const char* err, uint64_t size) noexcept {
  FOutMap = out;
  FErrMap = err;
  FMapSize = size;
}

bool TEventWriter::Grew(const char* map, uint64_t pos) const noexcept {
  return !map || pos >= FMapSize || map[pos] != 0;
}

// Whatever the test printed reaches its file before the offsets are read:
// stdio's buffers hold what printf and std::cout wrote.
bool TEventWriter::OutputCheckpoint(bool force) {
  if (!FNeedOutput && !force) return false;
  if (__fpending(stdout)) std::fflush(stdout);
  if (__fpending(stderr)) std::fflush(stderr);
  FNeedOutput = false;
  if (!force && !Grew(FOutMap, FOutPos) && (FErrFd < 0 || !Grew(FErrMap, FErrPos))) return false;
  FOutPos = static_cast<uint64_t>(::lseek(FOutFd, 0, SEEK_CUR));
  if (FErrFd >= 0) FErrPos = static_cast<uint64_t>(::lseek(FErrFd, 0, SEEK_CUR));
  return true;
}

int32_t TEventWriter::IndexOf(const ITestPtr& node) const {
  return node.get() == FUnitRoot ? FUnitRootIndex : FNodes.IndexOf(node.get());
}

void TEventWriter::Begin(TKind kind, const ITestPtr& node, bool output) {
  TSmallRecord r{};
  SmallHead(r, kind, node, node ? IndexOf(node) : -1, output);
  TRecordHead& h = r.Head;
  FRecord.assign(reinterpret_cast<const char*>(&r), sizeof h + (h.Flags & fOutput ? sizeof r.Out : 0));
  if (node && h.Node < 0) {
    // Made in this process after the fork: described, not numbered.
    h.Flags |= fRemote;
    Num(reinterpret_cast<uintptr_t>(node.get()));
    Text(node->GetName());
    const TClass* c = &node->ClassType();
    uint64_t n = 0;
    for (const TClass* k = c; k; k = k->Parent) ++n;
    Num(n);
    for (const TClass* k = c; k; k = k->Parent) {
      Num(reinterpret_cast<uintptr_t>(k));
      Text(k->Name ? k->Name : "");
      Text(k->UnitName ? k->UnitName : "");
    }
  }
  std::memcpy(FRecord.data(), &h, sizeof h);
}

void TEventWriter::Publish() {
  if (FSilent) return;
  Flush();  // a record held back goes first
  FRecord.resize((FRecord.size() + kAlign - 1) / kAlign * kAlign);
  const uint32_t size = static_cast<uint32_t>(FRecord.size());
  std::memcpy(FRecord.data(), &size, sizeof size);
  PutWhole(FRecord);
}

// A passing test case sends four records: the question whether it runs,
// its start, its success and its end. Of a node of the table each is a head
// and at most the output places, built here on the stack and copied into
// the ring whole. The question and the success are held back and go out
// inside the record after them when that is their partner (fAsked,
// fPassed): half the records to write and to replay. Any other record after
// them sends them alone first, so the order stays.
void TEventWriter::SendSmall(TSmallRecord& r) {
  if (FSilent) return;
  if (FHolding) {
    TRecordHead& held = FHeld.Head;
    const TRecordHead& h = r.Head;
    const bool same = held.Node == h.Node && held.RunCount == h.RunCount;
    if (same && held.Kind == TKind::Question && h.Kind == TKind::StartTest) {
      r.Head.Flags |= fAsked;
      FHolding = false;
    } else if (same && held.Kind == TKind::AddSuccess && h.Kind == TKind::EndTest && held.StartTime == h.StartTime &&
               held.StopTime == h.StopTime && !(h.Flags & fOutput)) {
      // The success, with the output places it took, becomes the end.
      r = FHeld;
      r.Head.Kind = TKind::EndTest;
      r.Head.Flags |= fPassed;
      FHolding = false;
    } else {
      Flush();
    }
  }
  if ((r.Head.Kind == TKind::Question && (r.Head.Flags & fYes)) || r.Head.Kind == TKind::AddSuccess) {
    FHeld = r;
    FHolding = true;
    return;
  }
  PutSmall(r);
}

void TEventWriter::PutSmall(TSmallRecord& r) {
  r.Head.Size = static_cast<uint32_t>(sizeof(TRecordHead) + (r.Head.Flags & fOutput ? sizeof r.Out : 0));
  static_assert(offsetof(TSmallRecord, Out) == sizeof(TRecordHead), "the output places follow the head");
  Put(reinterpret_cast<const char*>(&r), r.Head.Size);
}

void TEventWriter::Flush() {
  if (!FHolding) return;
  FHolding = false;
  if (!FSilent) PutSmall(FHeld);
}

void TEventWriter::SetSilent(bool silent) noexcept {
  FSilent = silent;
  if (silent) FHolding = false;  // the process that forked this one sends it
}

// A record's head and output places: of the node (null: none; index: its
// number in the table, -1 when it has none).
void TEventWriter::SmallHead(TSmallRecord& r, TKind kind, const ITestPtr& node, int32_t index, bool output) {
  r.Head = TRecordHead{};
  r.Head.Kind = kind;
  r.Head.Node = index;
  if (node) {
    r.Head.StartTime = node->GetStartTime();
    r.Head.StopTime = node->GetStopTime();
  }
  if (FResult && FRunBase >= 0) r.Head.RunCount = static_cast<uint32_t>(FResult->RunCount() - FRunBase);
  if (output && OutputCheckpoint(kind == TKind::Done)) {
    r.Head.Flags |= fOutput;
    r.Out[0] = FOutPos;
    r.Out[1] = FErrPos;
  }
}

void TEventWriter::PutWhole(const std::string& record) {
  const uint32_t size = static_cast<uint32_t>(record.size());
  const size_t most = FChannel.RingSize() / 4;
  if (size <= most) return Put(record.data(), size);
  // Too big for the ring to hold with room to spare: in pieces the reader
  // puts together again.
  std::string piece;
  for (size_t at = 0; at < size;) {
    const size_t n = std::min(most - sizeof(TRecordHead), size - at);
    TRecordHead h{};
    h.Kind = TKind::Fragment;
    h.Flags = at + n < size ? fMore : 0;
    h.Node = -1;
    h.RunCount = static_cast<uint32_t>(n);  // the piece's own length, without the padding
    h.Size = static_cast<uint32_t>((sizeof h + n + kAlign - 1) / kAlign * kAlign);
    piece.assign(reinterpret_cast<const char*>(&h), sizeof h);
    piece.append(record, at, n);
    piece.resize(h.Size);
    Put(piece.data(), h.Size);
    at += n;
  }
}

void TEventWriter::Put(const char* data, uint32_t size) {
  TControl& c = FChannel.Control();
  const uint64_t ring = FChannel.RingSize();
  if (FHead + size > FRoomUntil) {
    FRoomUntil = c.Tail.load(std::memory_order_acquire) + ring;
    if (FHead + size > FRoomUntil) {
      // Full: the supervisor is behind. This process waits until half the
      // ring is free again, and the reader wakes it only then: one wake-up
      // for half a ring of records, not one for each.
      const uint64_t want = FHead - ring / 2;
      Wake(c);  // a reader that naps would leave this process waiting for it
      for (;;) {
        c.WriterWaiting.store(1, std::memory_order_seq_cst);
        if (c.Tail.load(std::memory_order_seq_cst) >= want) break;
        timespec wait{0, 50 * 1000 * 1000};
        ::syscall(SYS_futex, &c.WriterWaiting, FUTEX_WAIT, 1, &wait, nullptr, 0);
      }
      c.WriterWaiting.store(0, std::memory_order_relaxed);
      FRoomUntil = c.Tail.load(std::memory_order_acquire) + ring;
    }
  }
  std::memcpy(FChannel.At(FHead), data, size);
  FHead += size;
  c.Head.store(FHead, std::memory_order_seq_cst);
  const uint32_t waiting = c.ReaderWaiting.load(std::memory_order_seq_cst);
  if (waiting == kWakeAtNext) {
    Wake(c);
  } else if (waiting == kWakeWhenFilling && FHead + ring - FRoomUntil >= ring / 4) {
    // The room known here may be old: the reader's place is read again.
    FRoomUntil = c.Tail.load(std::memory_order_acquire) + ring;
    if (FHead + ring - FRoomUntil >= ring / 4) Wake(c);
  }
}

void TEventWriter::Wake(TControl& c) {
  if (c.ReaderWaiting.load(std::memory_order_seq_cst) && c.ReaderWaiting.exchange(0)) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(FWakeFd, &one, sizeof one);
  }
}

void TEventWriter::Heartbeat(int32_t node) {
  TControl& c = FChannel.Control();
  // With no node started there is no time limit, and the time is not read.
  const uint64_t ms = node == -1 ? 0 : static_cast<uint64_t>(SteadyNanos() - c.Epoch) / 1000000;
  c.Active.store(ms << 32 | static_cast<uint32_t>(node), std::memory_order_relaxed);
}

void TEventWriter::UnitBegin(int32_t unit, const ITestPtr& root, int32_t rootIndex) {
  FUnitRoot = root.get();
  FUnitRootIndex = rootIndex;
  FRunBase = -1;
  FOpen.clear();
  SendOwn(TKind::UnitBegin, unit, false);
}

void TEventWriter::UnitEnd(int32_t unit) {
  Heartbeat(-1);
  SendOwn(TKind::UnitEnd, unit, true);
  FUnitRoot = nullptr;
  FRunBase = -1;
}

void TEventWriter::Question(const ITestPtr& node, bool answer) {
  NodeAt(TKind::Question, node, node ? IndexOf(node) : -1, false, answer ? fYes : 0);
}

void TEventWriter::Done() { SendOwn(TKind::Done, -1, true); }

// A record of the run's own (a unit's begin or end, the end of the stream):
// a head, numbered by the caller, and the output places. The records held
// back go first, as before any record.
void TEventWriter::SendOwn(TKind kind, int32_t number, bool output) {
  TSmallRecord r{};
  SmallHead(r, kind, nullptr, number, output);
  if (FSilent) return;
  Flush();
  PutSmall(r);
}

void TEventWriter::Node(TKind kind, const ITestPtr& node, bool output) {
  NodeAt(kind, node, node ? IndexOf(node) : -1, output);
}

void TEventWriter::NodeAt(TKind kind, const ITestPtr& node, int32_t index, bool output, uint8_t flags) {
  if (index >= 0) {
    TSmallRecord r{};
    SmallHead(r, kind, node, index, output);
    r.Head.Flags |= flags;
    return SendSmall(r);
  }
  Begin(kind, node, output);
  reinterpret_cast<TRecordHead*>(FRecord.data())->Flags |= flags;
  Publish();
}

void TEventWriter::StartTest(const ITestPtr& test) {
  if (test.get() == FQuietNode) return;
  const bool root = test.get() == FUnitRoot;
  if (root && FResult) FRunBase = FResult->RunCount();
  // The time limits look at the heartbeat: it is up to date before the
  // reader can see the record and go to sleep.
  const int32_t index = IndexOf(test);
  FOpen.push_back(index < 0 ? -2 : index);
  Heartbeat(FOpen.back());
  // Before the root starts no test code has run since the last unit ended.
  NodeAt(TKind::StartTest, test, index, !root);
  FNeedOutput = true;
}

void TEventWriter::EndTest(const ITestPtr& test) {
  if (test.get() == FQuietNode) return;
  if (!FOpen.empty()) FOpen.pop_back();
  Heartbeat(FOpen.empty() ? -1 : FOpen.back());
  // A failed test's tear-down printed after its last record.
  Node(TKind::EndTest, test, true);
}

void TEventWriter::StartSuite(const ITestPtr& suite) {
  Node(TKind::StartSuite, suite, true);
  FNeedOutput = true;
}

void TEventWriter::EndSuite(const ITestPtr& suite) {
  Node(TKind::EndSuite, suite, false);
  FNeedOutput = true;  // the suite's tear-down runs next
}

void TEventWriter::AddSuccess(const ITestPtr& test) { Node(TKind::AddSuccess, test, true); }

void TEventWriter::Status(const ITestPtr& test, const std::string& Msg) {
  Begin(TKind::Status, test, true);
  Text(Msg);
  Publish();
  FNeedOutput = true;
}

void TEventWriter::AddError(TTestFailure& error) { Failure(TKind::AddError, error); }
void TEventWriter::AddFailure(TTestFailure& failure) { Failure(TKind::AddFailure, failure); }

void TEventWriter::Failure(TKind kind, TTestFailure& f) {
  Begin(kind, f.FailedTest(), true);
  // The class and its ancestors, by address and name: the supervisor uses
  // its own copy of a class where it made that class too, else one of its
  // own with the same names.
  const TClass* cls = f.ThrownExceptionClass();
  uint64_t n = 0;
  for (const TClass* k = cls; k; k = k->Parent) ++n;
  Num(n);
  for (const TClass* k = cls; k; k = k->Parent) {
    Num(reinterpret_cast<uintptr_t>(k));
    Text(k->Name ? k->Name : "");
    Text(k->UnitName ? k->UnitName : "");
  }
  TCodeLocation loc = f.ThrownExceptionAddress();
  const std::string name = f.ThrownExceptionName(), message = f.ThrownExceptionMessage();
  std::string_view file = loc.File ? loc.File : "", function = loc.Function ? loc.Function : "";
  Text(name);
  Text(message);
  Text(file);
  Text(function);
  Num(loc.Line);
  Num(reinterpret_cast<uintptr_t>(loc.Address));
  Publish();
  FNeedOutput = true;
}

// ---------------------------------------------------------------------------
// The replay

bool TReplayResult::Parse(std::string_view bytes, TRecord& rec) {
  if (bytes.size() < sizeof(TRecordHead)) return false;
  const auto* h = reinterpret_cast<const TRecordHead*>(bytes.data());
  if (h->Size < sizeof(TRecordHead) || h->Size > bytes.size()) return false;
  rec.Head = h;
  std::string_view p = bytes.substr(sizeof(TRecordHead), h->Size - sizeof(TRecordHead));
  if (h->Flags & fOutput) {
    if (!TakeNum(p, rec.OutPos) || !TakeNum(p, rec.ErrPos)) return false;
  }
  rec.Payload = p;
  return true;
}

const TClass* TReplayResult::ReadClassChain(std::string_view& p) {
  uint64_t n = 0;
  if (!TakeNum(p, n) || n > 1000) return nullptr;
  struct TEntry {
    uint64_t Address;
    std::string_view Name, Unit;
  };
  std::vector<TEntry> chain(static_cast<size_t>(n));
  for (TEntry& e : chain)
    if (!TakeNum(p, e.Address) || !TakeText(p, e.Name) || !TakeText(p, e.Unit)) return nullptr;
  // From the root class down, so that each has its parent.
  const TClass* parent = nullptr;
  for (size_t i = chain.size(); i-- > 0;) {
    const TEntry& e = chain[i];
    auto it = FClassCache.find(e.Address);
    if (it != FClassCache.end()) {
      parent = it->second;
      continue;
    }
    // The same class in this process when it is inside a loaded object and
    // was made here too (a static class not made yet is still zero here).
    const TClass* own = nullptr;
    Dl_info info{};
    const void* address = reinterpret_cast<const void*>(static_cast<uintptr_t>(e.Address));
    if (::dladdr(address, &info) != 0) {
      const auto* c = static_cast<const TClass*>(address);
      if (c->Name && e.Name == c->Name && c->Parent == parent) own = c;
    }
    if (!own) {
      const char* cname = FTexts.emplace_back(e.Name).c_str();
      const char* cunit = FTexts.emplace_back(e.Unit).c_str();
      own = FShadowClasses.emplace_back(std::make_unique<TClass>(cname, cunit, parent)).get();
    }
    FClassCache.emplace(e.Address, own);
    parent = own;
  }
  return parent;
}

// A reference kept here, in the node table or among the worker's nodes:
// replaying takes none of its own, which would write the count.
const ITestPtr* TReplayResult::NodeOf(const TRecord& rec, std::string_view& p) {
  const TRecordHead& h = *rec.Head;
  if (h.Flags & fRemote) {
    uint64_t address = 0;
    std::string_view name;
    if (!TakeNum(p, address) || !TakeText(p, name)) return nullptr;
    const TClass* cls = ReadClassChain(p);
    auto it = FRemoteNodes.find(address);
    if (it == FRemoteNodes.end())
      it = FRemoteNodes.emplace(address, std::make_shared<TRemoteNode>(std::string(name), cls)).first;
    return &it->second;
  }
  if (h.Node < 0 || static_cast<size_t>(h.Node) >= FNodes.Size()) return nullptr;
  return &FNodes.Node(h.Node);
}

void TReplayResult::Replay(const TRecord& rec) {
  const TRecordHead& h = *rec.Head;
  std::string_view p = rec.Payload;
  const ITestPtr* found = NodeOf(rec, p);
  if (!found) return;
  const ITestPtr& node = *found;
  FRunTests = FRunBase + static_cast<int32_t>(h.RunCount);
  if (h.Kind != TKind::Question) {
    node->SetStartTime(h.StartTime);
    node->SetStopTime(h.StopTime);
    if (h.Kind != TKind::StartTest && !FOpen.empty() && FOpen.back().Node() == node) FOpen.back().Timed = true;
  }
  switch (h.Kind) {
    case TKind::StartTest:
      StartTest(node);
      break;
    case TKind::EndTest:
      if (h.Flags & fPassed) {
        if (FRootTest) FTotalTime = FRootTest->ElapsedTestTime();
        AddSuccess(node);
      }
      EndTest(node);
      break;
    case TKind::StartSuite:
      StartSuite(node);
      break;
    case TKind::EndSuite:
      EndSuite(node);
      break;
    case TKind::AddSuccess:
      // The run's time, as the run loop takes it after every passing body.
      if (FRootTest) FTotalTime = FRootTest->ElapsedTestTime();
      AddSuccess(node);
      break;
    case TKind::AddFailure:
    case TKind::AddError:
      ReplayFailure(node, p, h.Kind == TKind::AddFailure);
      break;
    case TKind::Status: {
      std::string_view msg;
      if (TakeText(p, msg)) Status(node, std::string(msg));
      break;
    }
    case TKind::Question:
      // Asked for what the listeners do when asked (a disabled test's line
      // in a report); the worker has already gone its way.
      TTestResult::ShouldRunTest(node);
      break;
    default:
      break;
  }
}

void TReplayResult::ReplayQuestion(const TRecord& rec) {
  const TRecordHead& h = *rec.Head;
  if (h.Node < 0 || static_cast<size_t>(h.Node) >= FNodes.Size()) return;
  FRunTests = FRunBase + static_cast<int32_t>(h.RunCount);
  TTestResult::ShouldRunTest(FNodes.Node(h.Node));
}

void TReplayResult::ReplayFailure(const ITestPtr& node, std::string_view p, bool isFailure) {
  const TClass* cls = ReadClassChain(p);
  std::string_view className, message, file, function;
  uint64_t line = 0, address = 0;
  if (!TakeText(p, className) || !TakeText(p, message) || !TakeText(p, file) || !TakeText(p, function) || !TakeNum(p, line) ||
      !TakeNum(p, address))
    return;
  TCodeLocation loc;
  // The texts live as long as this result, like the static texts they copy.
  if (!file.empty()) loc.File = FTexts.emplace_back(file).c_str();
  if (!function.empty()) loc.Function = FTexts.emplace_back(function).c_str();
  loc.Line = static_cast<uint32_t>(line);
  loc.Address = reinterpret_cast<const void*>(static_cast<uintptr_t>(address));
  TExceptionInfo info{cls, std::string(className), std::string(message), loc};
  if (isFailure) {
    AddFailure(node, info, loc);
    // What the run loop does for a failure that asks to stop the run.
    if (cls && cls->InheritsFrom(&EStopTestsFailure::ClassInfo())) FStop = true;
  } else {
    AddError(node, info, loc);
  }
}

const ITestPtr* TReplayResult::StableRef(const TestFramework::ITest* node) { return FNodes.Ref(node); }

ITestPtr TReplayResult::FailureRef(const ITestPtr& test) { return FNodes.Alias(test); }

// The table's reference when the node is in it: a reference of its own
// would write the node's count.
void TReplayResult::Push(const ITestPtr& node, bool suite) {
  const ITestPtr* ref = StableRef(node.get());
  FOpen.push_back({ref, ref ? nullptr : node, suite, Platform::QueryPerformanceCounter()});
}

void TReplayResult::StartTest(const ITestPtr& test) {
  Push(test, false);
  TTestResult::StartTest(test);
}

void TReplayResult::EndTest(const ITestPtr& test) {
  Pop(false);
  TTestResult::EndTest(test);
}

void TReplayResult::StartSuite(const ITestPtr& suite) {
  Push(suite, true);
  TTestResult::StartSuite(suite);
}

void TReplayResult::EndSuite(const ITestPtr& suite) {
  Pop(true);
  TTestResult::EndSuite(suite);
}

void TReplayResult::Pop(bool suite) {
  // Ends may come unpaired when a listener threw; drop through to the match.
  while (!FOpen.empty()) {
    bool match = FOpen.back().IsSuite == suite;
    FOpen.pop_back();
    if (match) break;
  }
}

void TReplayResult::EndOpenNodes(size_t depth, const TExceptionInfo& error, const ITestPtr& fallback) {
  auto guarded = [](auto&& f) {
    try {
      f();
    } catch (...) {
    }
  };
  ITestPtr culprit = FOpen.size() > depth ? FOpen.back().Node() : fallback;
  if (culprit && FOpen.size() > depth) {
    // Its time is the time it ran, as far as this process saw it start.
    if (!FOpen.back().Timed) culprit->SetStartTime(FOpen.back().Since);
    culprit->SetStopTime(Platform::QueryPerformanceCounter());
  }
  if (culprit) {
    // The place of the test method the worker was in, looked up here again.
    TCodeLocation where = FMethodPtr;
    if (auto* tc = dynamic_cast<TTestCase*>(culprit.get())) where = tc->Method().Location();
    guarded([&] { AddError(culprit, error, where); });
  }
  while (FOpen.size() > depth) {
    TOpen open = FOpen.back();
    size_t before = FOpen.size();
    guarded([&] { open.IsSuite ? EndSuite(open.Node()) : EndTest(open.Node()); });
    if (FOpen.size() == before) FOpen.pop_back();
  }
}

void TReplayResult::UnwindOpenNodes(size_t depth) {
  while (FOpen.size() > depth) {
    TOpen open = FOpen.back();
    if (open.IsSuite) {
      FOpen.pop_back();
      continue;
    }
    size_t before = FOpen.size();
    try {
      EndTest(open.Node());
    } catch (...) {
    }
    if (FOpen.size() == before) FOpen.pop_back();
  }
}

}  // namespace TesselEvents
