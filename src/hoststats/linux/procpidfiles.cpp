// Opening and reading the procfs files of one process.
#include "hoststats/linux/procpidfiles.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "host/utlexit.h"
#include "hoststats/linux/proctasks.h"

namespace {

const char* const kProcFileNames[PROC_FILE_COUNT] = {"stat", "io", "status", "schedstat"};

// status is the largest file we read (about 1.5 KB on current kernels).
const size_t kReadBufferSize = 8192;

bool outOfDescriptors(int e) { return e == EMFILE || e == ENFILE; }

}  // namespace

ProcOpenResult openProcPidFiles(const char* root, int pid, int fds[PROC_FILE_COUNT], int fdLimit) {
  for (int i = 0; i < PROC_FILE_COUNT; i++) fds[i] = -1;
  for (int i = 0; i < PROC_FILE_COUNT; i++) {
    char path[1024];
    snprintf(path, sizeof(path), "%s/%d/%s", root, pid, kProcFileNames[i]);
    int fd;
    do {
      fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      UTL_GUARANTEE(fd > 2);  // the standard streams must never be reused
      fds[i] = fd;
      if (fd >= fdLimit) {
        closeProcPidFiles(fds);
        return PROC_OPEN_NO_DESCRIPTORS;
      }
      // io checks ptrace access at read time, not at open: a file that opens
      // but refuses to be read is not worth a descriptor.
      char probe[64];
      size_t len;
      if (i == PROC_FILE_IO && !doReadFile(fd, probe, sizeof(probe), &len)) {
        close(fd);
        fds[i] = -1;
      }
      continue;
    }
    if (outOfDescriptors(errno)) {
      closeProcPidFiles(fds);
      return PROC_OPEN_NO_DESCRIPTORS;
    }
    if (procFileRequired(i)) {
      closeProcPidFiles(fds);
      return PROC_OPEN_FAILED;
    }
  }
  return PROC_OPEN_OK;
}

void closeProcPidFiles(int fds[PROC_FILE_COUNT]) {
  for (int i = 0; i < PROC_FILE_COUNT; i++) {
    if (fds[i] < 0) continue;
    close(fds[i]);
    fds[i] = -1;
  }
}

BoolType doReadFile(int fd, char* buffer, size_t capacity, size_t* length) {
  UTL_GUARANTEE(fd >= 3);
  size_t got = 0;
  while (got < capacity) {
    ssize_t n = pread(fd, buffer + got, capacity - got, (off_t)got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FALSE;
    }
    if (n == 0) break;
    got += (size_t)n;
    // procfs produces a file's whole text for one read that can hold it, so a
    // short read is the end: reading on only to be told so would double the
    // system calls of every sample.
    if (got < capacity) break;
  }
  *length = got;
  return got > 0 ? TRUE : FALSE;
}

namespace {

BoolType readStat(int fd, int pid, char* buf, size_t size, ProcPidStat* out) {
  size_t len;
  if (!doReadFile(fd, buf, size, &len)) return FALSE;
  if (!parseProcPidStat(buf, len, out) || out->pid != pid) return FALSE;
  // An ended process that its parent has not reaped yet keeps its /proc entry
  // but has no figures left worth recording: one task left, a zombie. A main
  // thread that called pthread_exit shows 'Z' too, while the threads it leaves
  // run on and are still counted in num_threads: that process lives.
  if (out->state == 'X') return FALSE;
  return out->state != 'Z' || out->numThreads > 1 ? TRUE : FALSE;
}

// The optional files only add figures: a refused read (io after the process
// changed its credentials) leaves *have FALSE and those figures at 0 for this
// sample. Text that does not parse is still an error.
template <typename Figures>
BoolType readOptional(int fd, char* buf, size_t size, BoolType (*parse)(const char*, size_t, Figures*),
                      BoolType* have, Figures* out) {
  *have = FALSE;
  size_t len;
  if (fd < 0 || !doReadFile(fd, buf, size, &len)) return TRUE;
  if (!parse(buf, len, out)) return FALSE;
  *have = TRUE;
  return TRUE;
}

// Whether the process has surely not run between the two reads: its only
// thread was never given a CPU (the scheduler's run time, wait time and count
// of time slices are all unchanged) and its times, faults and size stand still.
// What status and io count (context switches, data and stack sizes, the user
// it runs as, its input and output) changes only by the process's own running.
// Its resident size does not, and comes from stat.
bool stoodStill(const ProcPidSample& before, const ProcPidSample& now) {
  const ProcPidStat& a = before.stat;
  const ProcPidStat& b = now.stat;
  return before.haveSchedstat && now.haveSchedstat && before.sched.runNs == now.sched.runNs &&
         before.sched.waitNs == now.sched.waitNs && before.sched.slices == now.sched.slices && a.numThreads == 1 &&
         b.numThreads == 1 && a.utime == b.utime && a.stime == b.stime && a.minflt == b.minflt &&
         a.majflt == b.majflt && a.vsize == b.vsize && a.startTime == b.startTime;
}

}  // namespace

BoolType readProcPidSample(const char* root, const int fds[PROC_FILE_COUNT], int pid, const ProcPidSample* previous,
                           ProcPidSample* out) {
  char buf[kReadBufferSize];
  out->haveTasks = FALSE;
  if (!readOptional(fds[PROC_FILE_SCHEDSTAT], buf, sizeof(buf), parseProcPidSchedstat, &out->haveSchedstat,
                    &out->sched))
    return FALSE;
  if (!readStat(fds[PROC_FILE_STAT], pid, buf, sizeof(buf), &out->stat)) return FALSE;
  if (previous && stoodStill(*previous, *out)) {
    out->status = previous->status;
    out->haveIo = previous->haveIo;
    out->io = previous->io;
    return TRUE;
  }
  size_t len;
  if (!doReadFile(fds[PROC_FILE_STATUS], buf, sizeof(buf), &len)) return FALSE;
  if (!parseProcPidStatus(buf, len, &out->status) || out->status.pid != pid) return FALSE;
  if (!readOptional(fds[PROC_FILE_IO], buf, sizeof(buf), parseProcPidIo, &out->haveIo, &out->io)) return FALSE;
  if (out->stat.numThreads <= 1) {
    out->tasks.clear();
    return TRUE;
  }
  out->haveTasks = TRUE;
  return readProcTasks(root, pid, out, previous ? &previous->tasks : nullptr, &out->tasks, &out->taskSums);
}

void ProcPidSampleDeleter::operator()(ProcPidSample* sample) const { delete sample; }

int HostRaiseOpenFileLimit(int maxSize) {
  struct rlimit rl;
  if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return PID_FD_TABLE_DEFAULT_SIZE;
  if (rl.rlim_cur < rl.rlim_max) {
    struct rlimit raised = rl;
    raised.rlim_cur = rl.rlim_max;
    // An unlimited hard limit cannot be taken as is (the kernel caps it at
    // fs.nr_open); then ask for what the table can hold.
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
      raised.rlim_cur = rl.rlim_max < (rlim_t)maxSize ? rl.rlim_max : (rlim_t)maxSize;
      if (raised.rlim_cur > rl.rlim_cur && setrlimit(RLIMIT_NOFILE, &raised) == 0) rl.rlim_cur = raised.rlim_cur;
    } else {
      rl.rlim_cur = raised.rlim_cur;
    }
  }
  if (rl.rlim_cur == RLIM_INFINITY || rl.rlim_cur > (rlim_t)maxSize) return maxSize;
  return (int)rl.rlim_cur;
}
