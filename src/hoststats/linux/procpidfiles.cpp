// Opening and reading the procfs files of one process.
#include "hoststats/linux/procpidfiles.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "host/utlexit.h"

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

BoolType readProcPidSample(const int fds[PROC_FILE_COUNT], int pid, ProcPidSample* out) {
  char buf[kReadBufferSize];
  size_t len;

  if (!doReadFile(fds[PROC_FILE_STATUS], buf, sizeof(buf), &len)) return FALSE;
  if (!parseProcPidStatus(buf, len, &out->status) || out->status.pid != pid) return FALSE;

  if (!doReadFile(fds[PROC_FILE_STAT], buf, sizeof(buf), &len)) return FALSE;
  if (!parseProcPidStat(buf, len, &out->stat) || out->stat.pid != pid) return FALSE;
  // An ended process that its parent has not reaped yet keeps its /proc entry
  // but has no figures left worth recording.
  if (out->stat.state == 'Z' || out->stat.state == 'X') return FALSE;

  // The optional files only add figures: a refused read (io after the process
  // changed its credentials) leaves those figures at 0 for this sample, while
  // stat and status alone tell whether the process can be read. Text that does
  // not parse is still an error.
  out->haveIo = FALSE;
  if (fds[PROC_FILE_IO] >= 0 && doReadFile(fds[PROC_FILE_IO], buf, sizeof(buf), &len)) {
    if (!parseProcPidIo(buf, len, &out->io)) return FALSE;
    out->haveIo = TRUE;
  }
  out->haveSchedstat = FALSE;
  if (fds[PROC_FILE_SCHEDSTAT] >= 0 && doReadFile(fds[PROC_FILE_SCHEDSTAT], buf, sizeof(buf), &len)) {
    if (!parseProcPidSchedstat(buf, len, &out->sched)) return FALSE;
    out->haveSchedstat = TRUE;
  }
  return TRUE;
}

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
