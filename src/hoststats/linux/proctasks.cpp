// Summing the per-thread figures of a multi-threaded process.
#include "hoststats/linux/proctasks.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hoststats/linux/procpid.h"
#include "hoststats/linux/procpidfiles.h"

namespace {

// Reads <tid>/<file> relative to the open task directory into buf.
BoolType readTaskFile(int dirFd, int tid, const char* file, char* buf, size_t size, size_t* len) {
  char rel[64];
  snprintf(rel, sizeof rel, "%d/%s", tid, file);
  int fd;
  do {
    fd = openat(dirFd, rel, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FALSE;
  BoolType ok = doReadFile(fd, buf, size, len);
  close(fd);
  return ok;
}

const ProcTaskFigures* findPrevious(const std::vector<ProcTaskFigures>* previous, int tid) {
  if (previous == nullptr) return nullptr;
  auto it = std::lower_bound(previous->begin(), previous->end(), tid,
                             [](const ProcTaskFigures& t, int id) { return t.tid < id; });
  return it != previous->end() && it->tid == tid ? &*it : nullptr;
}

// One thread other than the main one; FALSE when it ended during the walk.
BoolType readThread(int dirFd, int tid, const ProcTaskFigures* before, ProcTaskFigures* out) {
  char buf[8192];
  size_t len;
  memset(out, 0, sizeof *out);
  out->tid = tid;
  ProcPidSchedstat sched;
  if (readTaskFile(dirFd, tid, "schedstat", buf, sizeof buf, &len) && parseProcPidSchedstat(buf, len, &sched)) {
    out->haveSchedstat = TRUE;
    out->runNs = sched.runNs;
    out->waitNs = sched.waitNs;
    out->slices = sched.slices;
    // A thread is counted a switch only when it leaves a CPU, after it ran:
    // unchanged scheduler figures mean no new switch.
    if (before && before->haveSchedstat && before->runNs == out->runNs && before->waitNs == out->waitNs &&
        before->slices == out->slices) {
      out->volCsw = before->volCsw;
      out->nonvolCsw = before->nonvolCsw;
      return TRUE;
    }
  }
  ProcPidStatus status;
  if (!readTaskFile(dirFd, tid, "status", buf, sizeof buf, &len) || !parseProcPidStatus(buf, len, &status) ||
      status.pid != tid)
    return FALSE;
  out->volCsw = status.volCsw;
  out->nonvolCsw = status.nonvolCsw;
  return TRUE;
}

// The sizes of the process's memory as a live thread sees them.
BoolType readSizesFrom(int dirFd, int tid, ProcPidSample* sample) {
  char buf[8192];
  size_t len;
  ProcPidStat st;
  ProcPidStatus ss;
  if (!readTaskFile(dirFd, tid, "stat", buf, sizeof buf, &len) || !parseProcPidStat(buf, len, &st) ||
      st.pid != tid || st.state == 'Z' || st.state == 'X')
    return FALSE;
  if (!readTaskFile(dirFd, tid, "status", buf, sizeof buf, &len) || !parseProcPidStatus(buf, len, &ss) ||
      ss.pid != tid)
    return FALSE;
  sample->stat.vsize = st.vsize;
  sample->stat.rssPages = st.rssPages;
  sample->status.vmDataKb = ss.vmDataKb;
  sample->status.vmStkKb = ss.vmStkKb;
  return TRUE;
}

}  // namespace

BoolType readProcTasks(const char* root, int pid, ProcPidSample* sample, const std::vector<ProcTaskFigures>* previous,
                       std::vector<ProcTaskFigures>* tasks, ProcTaskSums* sums) {
  char path[1024];
  snprintf(path, sizeof path, "%s/%d/task", root, pid);
  DIR* dir = opendir(path);
  if (dir == nullptr) return FALSE;
  int dirFd = dirfd(dir);
  const BoolType leaderExited = sample->stat.state == 'Z' ? TRUE : FALSE;
  BoolType haveSizes = leaderExited ? FALSE : TRUE;
  memset(sums, 0, sizeof *sums);
  tasks->clear();
  while (struct dirent* d = readdir(dir)) {
    char* end;
    errno = 0;
    long tid = strtol(d->d_name, &end, 10);
    if (d->d_name[0] == '.' || errno != 0 || *end != '\0' || tid <= 0 || tid > 0x7fffffffL) continue;
    ProcTaskFigures t;
    if (tid == pid) {
      memset(&t, 0, sizeof t);
      t.tid = pid;
      t.haveSchedstat = sample->haveSchedstat;
      t.runNs = sample->sched.runNs;
      t.waitNs = sample->sched.waitNs;
      t.slices = sample->sched.slices;
      t.volCsw = sample->status.volCsw;
      t.nonvolCsw = sample->status.nonvolCsw;
    } else {
      if (!readThread(dirFd, (int)tid, findPrevious(previous, (int)tid), &t)) continue;
      if (!haveSizes) haveSizes = readSizesFrom(dirFd, (int)tid, sample);
    }
    tasks->push_back(t);
    sums->volCsw += t.volCsw;
    sums->nonvolCsw += t.nonvolCsw;
    if (t.haveSchedstat) sums->waitNs += t.waitNs;
    sums->threads++;
  }
  closedir(dir);
  // Sorted by tid for the next walk's look-ups (procfs lists threads in that
  // order already; other trees may not).
  std::sort(tasks->begin(), tasks->end(),
            [](const ProcTaskFigures& a, const ProcTaskFigures& b) { return a.tid < b.tid; });
  return haveSizes;
}
