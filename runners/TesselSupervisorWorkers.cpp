// The supervisor's dealings with its worker processes: reading their
// records, waiting for them, the time limits, their ends, the copies of
// what they print, and the keeper that ends their process groups when the
// supervisor is killed.
#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <sched.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Format.h"
#include "runners/ReportText.h"
#include "runners/TesselCrashGuard.h"
#include "runners/TesselSupervisorDetail.h"

namespace TesselSupervisor::Detail {

using namespace TestFramework;
using namespace TesselEvents;
using Platform::Format;
using TesselCrashGuard::SignalText;

namespace {

void WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;  // the console is gone: the output with it
    p += w;
    n -= static_cast<size_t>(w);
  }
}

// Copies [done, to) of from to dst, then lets the memory file give back
// what is copied.
void CopyRange(int from, uint64_t& done, uint64_t& freed, uint64_t to, int dst) {
  if (to <= done) return;
  if (__fpending(stdout)) std::fflush(stdout);
  if (__fpending(stderr)) std::fflush(stderr);
  off_t off = static_cast<off_t>(done);
  bool plain = false;
  while (static_cast<uint64_t>(off) < to && !plain) {
    ssize_t n = ::sendfile(dst, from, &off, static_cast<size_t>(to - static_cast<uint64_t>(off)));
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EINVAL || errno == ENOSYS)) plain = true;  // an appending file, for one
    else break;
  }
  char buf[65536];
  while (plain && static_cast<uint64_t>(off) < to) {
    ssize_t n = ::pread(from, buf, std::min<uint64_t>(sizeof buf, to - static_cast<uint64_t>(off)), off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    WriteAll(dst, buf, static_cast<size_t>(n));
    off += n;
  }
  done = to;
  constexpr uint64_t kFreeStep = uint64_t(1) << 20;
  if (done - freed >= kFreeStep) {
    uint64_t upTo = done / kFreeStep * kFreeStep;
    ::fallocate(from, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(freed),
                static_cast<off_t>(upTo - freed));
    freed = upTo;
  }
}

// Where the worker's writes have got to: the files are sparse and long, so
// their size says nothing; the offset is the one the worker writes at.
uint64_t WrittenUpTo(int fd) {
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  return at < 0 ? 0 : static_cast<uint64_t>(at);
}

}  // namespace

void CopyOutput(TOutput& o, uint64_t outPos, uint64_t errPos) {
  // A listener's lines still in this process's stdio buffers came first.
  if (outPos > o.OutCopied || (o.ErrFd >= 0 && errPos > o.ErrCopied)) {
    std::fflush(stdout);
    std::fflush(stderr);
  }
  CopyRange(o.OutFd, o.OutCopied, o.OutFreed, outPos, STDOUT_FILENO);
  if (o.ErrFd >= 0) CopyRange(o.ErrFd, o.ErrCopied, o.ErrFreed, errPos, STDERR_FILENO);
}

// Everything a worker that ended has written.
void CopyAllOutput(TOutput& o) { CopyOutput(o, WrittenUpTo(o.OutFd), o.ErrFd >= 0 ? WrittenUpTo(o.ErrFd) : 0); }

std::string EndText(int status) {
  if (WIFSIGNALED(status)) return "The test's process ended with " + SignalText(WTERMSIG(status));
  if (WIFEXITED(status))
    return Format("The test ended its process (exit status %d) before the test was over", WEXITSTATUS(status));
  return "The test's process ended before the test was over";
}

std::string StatusText(int status) {
  if (WIFSIGNALED(status)) return SignalText(WTERMSIG(status));
  return Format("exit status %d", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

pid_t ForkOnThisCpu() {
  cpu_set_t mask;
  bool pinned = false;
  const int cpu = ::sched_getcpu();
  if (cpu >= 0 && ::sched_getaffinity(0, sizeof mask, &mask) == 0 && CPU_COUNT(&mask) > 1 && CPU_ISSET(cpu, &mask)) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    pinned = ::sched_setaffinity(0, sizeof one, &one) == 0;
  }
  int started[2] = {-1, -1};
  if (pinned && ::pipe2(started, O_CLOEXEC) != 0) started[0] = started[1] = -1;
  const pid_t pid = ::fork();
  const int err = errno;
  if (pinned) ::sched_setaffinity(0, sizeof mask, &mask);
  if (pid == 0) {
    if (started[1] >= 0) {
      ::close(started[0]);
      ::close(started[1]);  // the parent's poll ends at this
    }
    return 0;
  }
  if (started[1] >= 0) {
    ::close(started[1]);
    pollfd p{started[0], POLLIN, 0};
    if (pid > 0) ::poll(&p, 1, 100);
    ::close(started[0]);
  }
  errno = err;
  return pid;
}

// ---------------------------------------------------------------------------
// The keeper
//
// A fork of the supervisor costs what its memory costs: the page tables
// copied, and every page either process writes afterwards copied once
// more. For the keeper, which needs none of that memory, this was about
// 2 ms of every run. So where it can, the keeper shares the supervisor's
// memory instead (CLONE_VM, with a stack of its own), and, since it then
// also shares the supervisor's C library state (errno, locks, the heap),
// calls the kernel directly and nothing else. Elsewhere (another
// architecture, valgrind, a sanitizer's runtime) it is a fork.

namespace {

#if (defined(__x86_64__) || defined(__aarch64__)) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define TESSEL_SHARED_KEEPER 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#undef TESSEL_SHARED_KEEPER
#endif
#endif

// A system call that touches no memory of the C library's; -errno on failure.
long KernelCall(long n, long a = 0, long b = 0, long c = 0) noexcept {
#if defined(TESSEL_SHARED_KEEPER) && defined(__x86_64__)
  long r;
  asm volatile("syscall" : "=a"(r) : "a"(n), "D"(a), "S"(b), "d"(c) : "rcx", "r11", "memory");
  return r;
#elif defined(TESSEL_SHARED_KEEPER) && defined(__aarch64__)
  register long x8 asm("x8") = n;
  register long x0 asm("x0") = a;
  register long x1 asm("x1") = b;
  register long x2 asm("x2") = c;
  asm volatile("svc 0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2) : "memory");
  return x0;
#else
  const long r = ::syscall(n, a, b, c);  // only ever in a forked keeper
  return r < 0 ? -errno : r;
#endif
}

[[noreturn]] void KeeperMain(int socketFd) {
  KernelCall(SYS_setpgid, 0, 0);  // out of reach of a signal to the supervisor's group
  if (socketFd != 3) {
    KernelCall(SYS_dup3, socketFd, 3, 0);
    KernelCall(SYS_close, socketFd);
  }
  KernelCall(SYS_close_range, 4, static_cast<long>(~0u), 0);
  for (long fd = 0; fd < 3; ++fd) KernelCall(SYS_close, fd);
  pid_t groups[4096];
  size_t count = 0;
  for (;;) {
    int32_t v = 0;
    size_t got = 0;
    while (got < sizeof v) {
      const long n = KernelCall(SYS_read, 3, reinterpret_cast<long>(reinterpret_cast<char*>(&v) + got),
                                static_cast<long>(sizeof v - got));
      if (n == -EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (got != sizeof v) break;
    if (v > 0 && count < std::size(groups)) groups[count++] = v;
    for (size_t i = 0; v < 0 && i < count; ++i)
      if (groups[i] == -v) groups[i] = groups[--count];
  }
  for (size_t i = 0; i < count; ++i) KernelCall(SYS_kill, -groups[i], SIGKILL);
  for (;;) KernelCall(SYS_exit, 0);
}

constexpr size_t kKeeperStackBytes = 64 << 10;  // of a keeper that shares this process's memory

#ifdef TESSEL_SHARED_KEEPER
int SharedKeeperEntry(void* socketFd) { KeeperMain(static_cast<int>(reinterpret_cast<intptr_t>(socketFd))); }

// Valgrind runs a program's processes on its own and has no such process
// (it would end the run); it names itself in the preloaded libraries.
bool UnderValgrind() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload && std::strstr(preload, "vgpreload");
}
#endif

}  // namespace

void StartKeeper(TKeeper& k) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return;
  // It starts with every signal blocked, and they stay so: a handler of the
  // supervisor's has no business in it.
  sigset_t all, old;
  sigfillset(&all);
  ::sigprocmask(SIG_BLOCK, &all, &old);
  pid_t pid = -1;
#ifdef TESSEL_SHARED_KEEPER
  if (!UnderValgrind()) {
    void* stack =
        ::mmap(nullptr, kKeeperStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack != MAP_FAILED) {
      pid = ::clone(&SharedKeeperEntry, static_cast<char*>(stack) + kKeeperStackBytes, CLONE_VM | SIGCHLD,
                    reinterpret_cast<void*>(static_cast<intptr_t>(sv[1])));
      if (pid > 0) {
        k.Stack = stack;
      } else {
        ::munmap(stack, kKeeperStackBytes);
      }
    }
  }
#endif
  if (pid <= 0) {
    pid = ::fork();
    if (pid == 0) KeeperMain(sv[1]);
  }
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  ::close(sv[1]);
  if (pid < 0) {
    ::close(sv[0]);
    return;
  }
  k.Socket = sv[0];
  k.Pid = pid;
}

void TellKeeper(const TKeeper& k, int32_t group) {
  if (k.Socket >= 0) ::send(k.Socket, &group, sizeof group, MSG_NOSIGNAL);
}

void EndKeeper(TKeeper& k) {
  if (k.Socket < 0) return;
  ::close(k.Socket);
  k.Socket = -1;
  int status;
  pid_t ended;
  while ((ended = ::waitpid(k.Pid, &status, 0)) < 0 && errno == EINTR) {
  }
  k.Pid = -1;
  // Its stack is free once it has ended, and not before.
  if (k.Stack && ended > 0) ::munmap(k.Stack, kKeeperStackBytes);
  k.Stack = nullptr;
}

// ---------------------------------------------------------------------------
// Reading the workers' records

bool TSupervisedResult::Drain(TWorker& w) {
  if (w.Gone) return false;
  TControl& c = w.Channel->Control();
  uint64_t tail = c.Tail.load(std::memory_order_relaxed);
  // Head is read again only once the records known are replayed: each read
  // takes the line the writer writes at every record away from its CPU.
  if (w.KnownHead <= tail) w.KnownHead = c.Head.load(std::memory_order_acquire);
  const uint64_t head = w.KnownHead;
  const size_t ring = w.Channel->RingSize();
  bool consumed = false;
  w.Parked = false;
  while (tail < head && !w.Parked) {
    TRecord rec;
    const char* at = w.Channel->At(tail);
    const TRecordHead* h = nullptr;
    bool valid = TReplayResult::Parse(std::string_view(at, static_cast<size_t>(head - tail)), rec);
    if (valid) {
      h = rec.Head;
      const bool unitRecord = h->Kind == TKind::UnitBegin || h->Kind == TKind::UnitEnd;
      valid = !unitRecord || (h->Node >= 0 && static_cast<size_t>(h->Node) < FUnits.size());
    }
    if (!valid) {
      // Records no reader can follow: this worker's stream ends here.
      StopWorker(w);
      tail = w.KnownHead = c.Head.load(std::memory_order_acquire);
      c.Tail.store(tail, std::memory_order_release);
      break;
    }
    if (h->Kind == TKind::UnitBegin) {
      const int32_t k = h->Node;
      if (k != FReplaying && FState[static_cast<size_t>(k)].State != TUnitState::Skipped) {
        w.Parked = true;  // a unit the replay has not reached: its records wait in the ring
        break;
      }
      Step(w, TStep::UnitBegin, k);
    }
    // The record stays where it is until it has been replayed; then the
    // writer may use its room again, also when a listener raised.
    const uint64_t next = tail + h->Size;
    struct TCommit {
      TControl& C;
      uint64_t Next, Head, HalfRing;
      ~TCommit() {
        C.Tail.store(Next, std::memory_order_seq_cst);
        // A writer waiting for room waits for half the ring (see TEventWriter::Put).
        if (Head - Next <= HalfRing && C.WriterWaiting.load(std::memory_order_seq_cst) && C.WriterWaiting.exchange(0))
          ::syscall(SYS_futex, &C.WriterWaiting, FUTEX_WAKE, 1, nullptr, nullptr, 0);
      }
    } commit{c, next, head, ring / 2};
    tail = next;
    if (!consumed) FLastRecords = NowNanos();
    consumed = true;
    if (h->Kind == TKind::Fragment) {
      w.Pieces.append(rec.Payload.substr(0, std::min<size_t>(h->RunCount, rec.Payload.size())));
      if (h->Flags & fMore) continue;
      // The whole record: what it says is read from the pieces.
      std::string whole = std::move(w.Pieces);
      w.Pieces.clear();
      TRecord assembled;
      if (TReplayResult::Parse(whole, assembled) && assembled.Head->Kind != TKind::UnitBegin) Process(w, assembled);
    } else if (h->Kind != TKind::UnitBegin) {
      Process(w, rec);
    }
    if (StopSignalPending()) break;
  }
  if (!w.Alive && !w.Parked && tail == head && !w.Gone && c.Head.load(std::memory_order_acquire) == head)
    Step(w, TStep::Drained);
  return consumed;
}

// One record of a unit the replay is in (or passed by), or of the worker itself.
void TSupervisedResult::Process(TWorker& w, const TRecord& rec) {
  const TRecordHead& h = *rec.Head;
  const bool live = w.Unit >= 0 && w.Unit == FReplaying;
  if (!live && (h.Flags & fOutput)) {
    // What a unit nobody replays printed goes with it.
    w.Output->OutCopied = std::max(w.Output->OutCopied, rec.OutPos);
    w.Output->ErrCopied = std::max(w.Output->ErrCopied, rec.ErrPos);
  }
  switch (h.Kind) {
    case TKind::UnitEnd:
      if (live && (h.Flags & fOutput)) CopyOutput(*w.Output, rec.OutPos, rec.ErrPos);
      Step(w, TStep::UnitEnd);
      break;
    case TKind::Done:
      Step(w, TStep::Done);
      break;
    default:
      if (live) {
        if (h.Flags & fAsked) ReplayQuestion(rec);
        if (h.Flags & fOutput) CopyOutput(*w.Output, rec.OutPos, rec.ErrPos);
        Replay(rec);
      }
      break;
  }
}

void TSupervisedResult::StopWorker(TWorker& w) {
  if (w.Alive && w.Pid > 0) ::kill(-w.Pid, SIGKILL);
}

TSupervisedResult::TWorker* TSupervisedResult::OwnerOf(size_t k) {
  const uint32_t id = FShared.Owners[k].load(std::memory_order_acquire);
  if (id == 0) return nullptr;
  for (const auto& w : FWorkers)
    if (w->Id == id) return w.get();
  return nullptr;
}

size_t TSupervisedResult::LiveWorkers() const {
  return static_cast<size_t>(std::count_if(FWorkers.begin(), FWorkers.end(), [](const auto& w) {
    return w->Alive && w->Stream != TWorker::Finished;
  }));
}

double TSupervisedResult::LimitOf(int32_t node) {
  if (!FOptions.TimeLimit) return 0;
  if (node < 0 || static_cast<size_t>(node) >= FLimits.size()) return FOptions.TimeLimit(nullptr);
  double& limit = FLimits[static_cast<size_t>(node)];
  if (limit < 0) limit = FOptions.TimeLimit(FNodes.Node(node));
  return limit;
}

// A worker that runs a step longer than its limit is ended with its group.
void TSupervisedResult::CheckDeadlines(int64_t now, int64_t& next) {
  for (const auto& w : FWorkers) {
    if (!w->Alive || w->TimedOutAfter > 0) continue;
    const TControl& c = w->Channel->Control();
    const uint64_t active = c.Active.load(std::memory_order_relaxed);
    const int32_t node = static_cast<int32_t>(static_cast<uint32_t>(active));
    if (node == -1) continue;
    const double limit = LimitOf(node);
    if (limit <= 0) continue;
    const int64_t since = c.Epoch + static_cast<int64_t>(active >> 32) * 1000000;
    const int64_t deadline = since + static_cast<int64_t>(limit * 1e9);
    if (now < deadline) {
      next = std::min(next, deadline);
      continue;
    }
    w->TimedOutAfter = limit;
    StopWorker(*w);
  }
}

void TSupervisedResult::Wait(int64_t until) {
  auto hasData = [this] {
    for (const auto& w : FWorkers) {
      if (w->Gone || w->Parked) continue;
      const TControl& c = w->Channel->Control();
      if (c.Head.load(std::memory_order_acquire) != c.Tail.load(std::memory_order_relaxed)) return true;
    }
    return false;
  };
  // A worker running quick tests publishes again within microseconds: a
  // short spin saves the sleep and the wake-up.
  for (int i = 0; i < 200; ++i) {
    if (hasData() || StopSignalPending()) return;
    __builtin_ia32_pause();
  }
  int64_t now = NowNanos();
  // While records keep coming, this process sleeps a few milliseconds at a
  // time and takes what came meanwhile in one go; asked to wake at every
  // record, it would wake (two context switches) for each one. Only once the
  // workers have gone quiet does it ask to be woken by the next record.
  // A nap ends early when a quarter of a ring waits: a worker that fills
  // its ring faster than the nap lasts would otherwise wait for room.
  constexpr int64_t kBusyWindow = 50 * 1000 * 1000, kBusyNap = 5;
  const bool busy = now - FLastRecords < kBusyWindow;
  // The console lines so far go out before this process sleeps (a write
  // that failed fails the listener's next one); during a busy run, whose
  // naps are short, at most every kFlushEvery: this process catches up with
  // a worker of quick tests hundreds of times a second, and a write each
  // time would cost more than the tests it shows.
  constexpr int64_t kFlushEvery = 20 * 1000 * 1000;
  if (__fpending(stdout) && (!busy || now - FLastFlush >= kFlushEvery)) {
    std::fflush(stdout);
    FLastFlush = now;
  }
  for (const auto& w : FWorkers)
    if (w->Alive && !w->Parked)
      w->Channel->Control().ReaderWaiting.store(busy ? kWakeWhenFilling : kWakeAtNext, std::memory_order_seq_cst);
  auto awake = [this] {
    for (const auto& w : FWorkers)
      if (w->Alive) w->Channel->Control().ReaderWaiting.store(0, std::memory_order_relaxed);
  };
  if ((!busy && hasData()) || StopSignalPending()) return awake();

  int64_t next = until > 0 ? until : INT64_MAX;
  CheckDeadlines(now, next);
  const int flushIn = ReportText::FlushOpenReports();  // what the reports hold reaches their files
  std::vector<pollfd> fds{{FWakeFd, POLLIN, 0}};
  std::vector<TWorker*> polled, blind;  // blind: no pidfd, its end is looked for now and then
  for (const auto& w : FWorkers) {
    if (!w->Alive) continue;
    if (w->PidFd >= 0) {
      fds.push_back({w->PidFd, POLLIN, 0});
      polled.push_back(w.get());
    } else {
      blind.push_back(w.get());
    }
  }
  int64_t timeoutMs = next == INT64_MAX ? -1 : std::max<int64_t>(0, (next - now + 999999) / 1000000);
  auto atMost = [&timeoutMs](int64_t ms) {
    if (timeoutMs < 0 || ms < timeoutMs) timeoutMs = ms;
  };
  if (flushIn >= 0) atMost(flushIn);
  if (!blind.empty()) atMost(10);
  if (busy) atMost(kBusyNap);
  int r = ::poll(fds.data(), fds.size(), static_cast<int>(std::min<int64_t>(timeoutMs, INT32_MAX)));
  awake();
  if (r > 0 && (fds[0].revents & POLLIN)) {
    uint64_t v;
    [[maybe_unused]] ssize_t n = ::read(FWakeFd, &v, sizeof v);
  }
  auto reap = [this](TWorker& w) {
    int status = 0;
    if (w.Alive && ::waitpid(w.Pid, &status, WNOHANG) == w.Pid) Reap(w, status);
  };
  for (size_t i = 0; r > 0 && i < polled.size(); ++i)
    if (fds[i + 1].revents) reap(*polled[i]);
  for (TWorker* w : blind) reap(*w);
  CheckDeadlines(NowNanos(), next);
}

// The end of a worker's process: its helpers go with it, the units it had
// taken but not begun go back to the queue, and a new worker carries on.
void TSupervisedResult::Reap(TWorker& w, int status) {
  w.Status = status;
  Step(w, TStep::Died);
  if (w.PidFd >= 0) ::close(w.PidFd);
  w.PidFd = -1;
  ::kill(-w.Pid, SIGKILL);
  Tell(-w.Pid);
  ReleaseClaims(w);
}

void TSupervisedResult::ReleaseClaims(TWorker& w) {
  // The units its unread records begin are its, whatever else happened.
  std::vector<uint8_t> begun(FUnits.size(), 0);
  const TControl& c = w.Channel->Control();
  const uint64_t head = c.Head.load(std::memory_order_acquire);
  for (uint64_t at = c.Tail.load(); at < head;) {
    TRecord rec;
    if (!TReplayResult::Parse(std::string_view(w.Channel->At(at), head - at), rec)) break;
    if (rec.Head->Kind == TKind::UnitBegin && rec.Head->Node >= 0 && static_cast<size_t>(rec.Head->Node) < FUnits.size())
      begun[static_cast<size_t>(rec.Head->Node)] = 1;
    at += rec.Head->Size;
  }
  size_t firstFree = SIZE_MAX;
  for (size_t k = 0; k < FUnits.size(); ++k) {
    uint32_t id = FShared.Owners[k].load();
    if (id == w.Id && !FState[k].Begun && !begun[k]) {
      FShared.Owners[k].store(0);  // taken at the moment it died: not run
      id = 0;
    }
    if (id == 0 && firstFree == SIZE_MAX && FUnits[k].Predicted && FState[k].State != TUnitState::Skipped)
      firstFree = k;
  }
  // A new worker carries on from there, once the caller is done with the list of workers.
  if (firstFree != SIZE_MAX) FReplaceFrom = std::min(FReplaceFrom, firstFree);
}

void TSupervisedResult::Replace() {
  const size_t from = std::exchange(FReplaceFrom, SIZE_MAX);
  if (from == SIZE_MAX || FInterrupted || FFinished || FStop) return;
  if (LiveWorkers() >= static_cast<size_t>(FOptions.Jobs)) return;
  if (!Fork(static_cast<uint32_t>(from))) FUnclaimedFrom = std::min(FUnclaimedFrom, from);
}

}  // namespace TesselSupervisor::Detail
