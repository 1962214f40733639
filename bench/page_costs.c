/* What the first touch of a page costs after a fork, on small pages and on
 * transparent huge pages: the figures behind the node pool's huge pages (see
 * bench/README.md, "After the nodes moved to huge pages").
 *
 *     cc -O2 bench/page_costs.c -o /tmp/page_costs && /tmp/page_costs
 */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

enum { kBytes = 4 << 20, kHuge = 2 << 20, kPage = 4096, kPages = kBytes / kPage };

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static volatile long gSink;

static void Read(const char* p, long step, const char* what) {
  double t = Now();
  for (long i = 0; i < kPages; i += step) gSink += p[i * kPage + 64];
  printf("  %-52s %6.2f us/page\n", what, (Now() - t) / (kPages / step));
}

static void Write(char* p, long step, const char* what) {
  double t = Now();
  for (long i = 0; i < kPages; i += step) p[i * kPage]++;
  printf("  %-52s %6.2f us/page\n", what, (Now() - t) / (kPages / step));
}

static void Measure(int huge) {
  char* area = mmap(NULL, kBytes + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) exit(1);
  char* p = (char*)(((unsigned long)area + kHuge - 1) & ~(unsigned long)(kHuge - 1));
  if (huge) madvise(p, kBytes, MADV_HUGEPAGE);
  double t = Now();
  madvise(p, kBytes, MADV_POPULATE_WRITE);
  printf("%s pages (made present in %.0f us)\n", huge ? "huge" : "small", Now() - t);
  for (long i = 0; i < kPages; ++i) p[i * kPage] = 1;

  pid_t c = fork();
  if (c == 0) {
    Read(p, 1, "child: first read");
    Write(p, 1, "child: first write");
    _exit(0);
  }
  waitpid(c, NULL, 0);
  c = fork();
  if (c == 0) {
    Write(p, 8, "child: first write to every 8th page");
    Read(p, 1, "child: first read of every page after that");
    _exit(0);
  }
  waitpid(c, NULL, 0);
  c = fork();
  if (c == 0) {
    t = Now();
    madvise(p, kBytes, MADV_POPULATE_WRITE);
    printf("  %-52s %6.2f us/page\n", "child: MADV_POPULATE_WRITE", (Now() - t) / kPages);
    Write(p, 1, "child: first write after that");
    _exit(0);
  }
  waitpid(c, NULL, 0);
  Write(p, 1, "parent: first write once the child has ended");
  c = fork();
  if (c == 0) {
    sleep(2);
    _exit(0);
  }
  Write(p, 1, "parent: first write while a child lives");
  kill(c, SIGKILL);
  waitpid(c, NULL, 0);
  munmap(area, kBytes + kHuge);
}

int main(void) {
  setvbuf(stdout, NULL, _IONBF, 0);  /* the children's lines, before they _exit */
  Measure(0);
  Measure(1);
  return 0;
}
