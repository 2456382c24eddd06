// cachesim: a stand-in for the processes that own a shared page cache, for tests
// and demonstrations of the monitor. See --help and docs/cachesim.md.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <ctime>
#include <string>
#include <vector>

#include "netinfo/netinfo.h"
#include "simchildren.h"
#include "simoptions.h"
#include "simplan.h"
#include "simregistry.h"
#include "simsegment.h"

namespace {

// Registration kinds written to the lock files: 3 is a shared page cache; the
// keeper registers as a repository server.
const int kKindKeeper = NI_KEEPER;
const int kKindCache = NI_CACHE;

volatile sig_atomic_t g_stopSignal = 0;

void onStop(int sig) { g_stopSignal = sig; }

void installStopHandlers() {
  struct sigaction sa = {};
  sa.sa_handler = onStop;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int64_t nowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

void sleepMs(int64_t ms) {
  if (ms <= 0) return;
  struct timespec ts = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);  // a signal cuts it short, which is what we want
}

// Everything the simulator has created, so that every way out removes it.
struct SimState {
  SimRegistry reg;
  SimSegment seg;
  std::vector<pid_t> children;

  void cleanUp() {
    SimDestroySegment(&seg);
    SimRemoveLockFiles(&reg);
    SimKillChildren(children.data(), (int)children.size());
    children.clear();
  }
};

std::string commandLine(int argc, char** argv) {
  std::string s;
  for (int i = 0; i < argc; i++) {
    if (i) s += ' ';
    s += argv[i];
  }
  return s;
}

int fail(SimState* st, const std::string& msg) {
  fprintf(stderr, "cachesim: %s\n", msg.c_str());
  st->cleanUp();
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions opts;
  int rc = SimParseOptions(argc, argv, &opts);
  if (rc != 0) return rc < 0 ? 0 : rc;
  installStopHandlers();
  SimInstallReaper();
  if (opts.exitWithParent) {
    // A test that dies without stopping us still gets its segment removed.
    pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) g_stopSignal = SIGTERM;
  }

  SimState st;
  std::string err;
  if (!SimPrepareRegistry(opts.globalDir, opts.keeperName, &st.reg, &err)) return fail(&st, err);

  std::vector<SimSlot> slots = SimPlanSlots(opts);
  for (SimSlot& s : slots) {
    if (!s.needsChild) {
      s.pid = s.fixedPid;
      continue;
    }
    s.pid = SimSpawnChild();
    if (s.pid < 0) return fail(&st, std::string("fork: ") + strerror(errno));
    st.children.push_back(s.pid);
  }
  pid_t monitorPid = slots[0].pid;
  pid_t keeperPid = slots[1].pid;

  std::string cmd = commandLine(argc, argv);
  if (!SimWriteLockFile(st.reg.keeperLockFile, kKindKeeper, keeperPid, 0, cmd, &err)) return fail(&st, err);
  st.reg.keeperFileCreated = true;
  if (!SimWriteLockFile(st.reg.cacheLockFile, kKindCache, monitorPid, 0, cmd, &err)) return fail(&st, err);
  st.reg.cacheFileCreated = true;
  if (!SimCreateSegment(opts, st.reg.cacheLockFile, slots, &st.seg, &err)) return fail(&st, err);
  if (!SimSetLockFileKey(st.reg.cacheLockFile, (uint32_t)st.seg.key, &err)) return fail(&st, err);

  uint64_t tick = 0;
  SimUpdateCounters(&st.seg, slots, tick, opts.deterministic);
  bool initPending = !opts.neverInit;
  if (initPending && opts.initDelayMs == 0) {
    SimSetInitDone(&st.seg);
    initPending = false;
  }

  for (size_t i = 0; i < slots.size(); i++)
    if (slots[i].kind != 0)
      printf("slot %zu inUse=%d kind=%u pid=%d session=%d name=%s\n", i, slots[i].inUse ? 1 : 0, slots[i].kind,
             slots[i].pid, slots[i].sessionId, slots[i].name.c_str());
  if (!initPending && !opts.neverInit) printf("cachesim initDone\n");
  std::string pids;
  for (pid_t p : st.children) pids += (pids.empty() ? "" : ",") + std::to_string(p);
  printf("cachesim ready cache=%s key=0x%08x shmid=%d pids=%s\n", st.reg.cacheName.c_str(), (unsigned)st.seg.key,
         st.seg.shmid, pids.c_str());
  fflush(stdout);

  int64_t start = nowMs();
  int64_t nextTick = opts.intervalMs > 0 ? start + opts.intervalMs : -1;
  int64_t initAt = initPending ? start + opts.initDelayMs : -1;
  int64_t killAt = opts.killMonitorAfterMs >= 0 ? start + opts.killMonitorAfterMs : -1;
  while (!g_stopSignal) {
    int64_t now = nowMs();
    if (initAt >= 0 && now >= initAt) {
      SimSetInitDone(&st.seg);
      initAt = -1;
      printf("cachesim initDone\n");
      fflush(stdout);
    }
    if (killAt >= 0 && now >= killAt) {
      kill(monitorPid, SIGKILL);  // the reaper collects it at once
      killAt = -1;
      printf("cachesim killed monitor pid=%d\n", (int)monitorPid);
      fflush(stdout);
    }
    if (nextTick >= 0 && now >= nextTick) {
      SimUpdateCounters(&st.seg, slots, ++tick, opts.deterministic);
      nextTick += opts.intervalMs;
      if (nextTick <= now) nextTick = now + opts.intervalMs;  // no catch-up bursts
      if (opts.verbose) {
        printf("cachesim tick %llu\n", (unsigned long long)tick);
        fflush(stdout);
      }
    }
    int64_t wait = 100;
    for (int64_t at : {nextTick, initAt, killAt})
      if (at >= 0 && at - now < wait) wait = at - now;
    sleepMs(wait < 1 ? 1 : wait);
  }
  st.cleanUp();
  printf("cachesim stopped by signal %d\n", (int)g_stopSignal);
  fflush(stdout);
  return 0;
}
