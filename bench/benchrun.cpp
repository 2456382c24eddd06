// The measuring helper of bench/run.sh.
//
//   benchrun run [--result FILE] [--stamps TYPE --interval-ms MS --out FILE] -- PROGRAM ARGS...
//     Runs the program, waits for it and prints one line of figures:
//       status=S cpu_ms=C user_ms=U sys_ms=Y wall_ms=W maxrss_kb=K
//     cpu is the child's run time as the scheduler counts it (the first figure of
//     /proc/<pid>/schedstat, read once it has ended; user + system from wait4
//     where that file is missing), user and sys the tick-sampled split of wait4,
//     maxrss its peak resident size (what /proc/<pid>/status calls VmHWM). With --stamps the child's
//     standard output is read through a pipe (and copied to --out); the arrival
//     time of every line that starts with record type TYPE is taken, and the line
//     gains
//       stamps=N span_ms=D worst_drift_ms=X end_drift_ms=E
//     where span is last arrival - first; the offset of arrival i is its distance
//     from first + i * interval; worst_drift is the largest distance (either
//     sign) of an offset from the median offset, end_drift how far the offsets of
//     the last ten arrivals moved from those of the first ten (a drift that grows
//     with the run).
//     With --result the line goes to FILE instead of standard output.
//     With --fds UID the child's open descriptors and the processes of user UID
//     are counted every 100 ms while it runs, and the line gains
//       fds_mean=M fds_max=X uid_procs_mean=P
//
//   benchrun churn USER RATE LIFE_MS
//     Starts RATE children a second that take the user's ids and end after 1/4
//     to 7/4 of LIFE_MS (LIFE_MS on average), reaping them as they end, until
//     SIGTERM, SIGINT or SIGHUP; prints "ready" once the first has started.
//
//   benchrun sleepers USER N [WAKE_MS [THREADS]]
//     Starts N children that take the user's ids and sleep (with WAKE_MS, wake
//     every WAKE_MS milliseconds and sleep again; with THREADS, each child runs
//     that many threads, all doing the same); prints "ready" when all run. SIGTERM, SIGINT or SIGHUP kill them by pid and reap them. The children
//     die with this process even when it is killed outright.
//
//   benchrun writer FILE BYTES COUNT INTERVAL_MS
//     Appends BYTES bytes of text to a new FILE COUNT times, INTERVAL_MS apart,
//     in writes of at most 1 MB as the monitor does: what the file system costs
//     for an archive's bytes with nothing else done. FILE is removed at the end.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double nowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

double tvMs(const struct timeval& tv) { return (double)tv.tv_sec * 1e3 + (double)tv.tv_usec / 1e3; }

int usage() {
  fputs("usage: benchrun run [--result FILE] [--stamps TYPE --interval-ms MS --out FILE] [--fds UID] -- PROGRAM ARGS...\n"
        "       benchrun sleepers USER N [WAKE_MS [THREADS]]\n"
        "       benchrun churn USER RATE LIFE_MS\n"
        "       benchrun writer FILE BYTES COUNT INTERVAL_MS\n",
        stderr);
  return 2;
}

// Arrival times of the lines that start with "<type> ".
struct StampReader {
  std::string prefix;
  std::vector<double> arrivals;
  std::string partial;  // the start of a line not yet complete
  bool atLineStart = true;

  void feed(const char* data, size_t n, double when) {
    for (size_t i = 0; i < n; i++) {
      if (atLineStart) partial.clear();
      atLineStart = false;
      if (partial.size() < prefix.size()) {
        partial += data[i];
        if (partial == prefix) arrivals.push_back(when);
      }
      if (data[i] == '\n') atLineStart = true;
    }
  }
};

// Entries of a directory that are not "." or "..".
long countEntries(const char* path) {
  DIR* d = opendir(path);
  if (!d) return -1;
  long n = 0;
  while (struct dirent* e = readdir(d))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) n++;
  closedir(d);
  return n;
}

// Processes whose /proc directory belongs to uid.
long countProcessesOf(uid_t uid) {
  DIR* d = opendir("/proc");
  if (!d) return -1;
  long n = 0;
  while (struct dirent* e = readdir(d)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    struct stat st;
    if (fstatat(dirfd(d), e->d_name, &st, 0) == 0 && st.st_uid == uid) n++;
  }
  closedir(d);
  return n;
}

struct FdCounts {
  double sum = 0, procSum = 0;
  long max = 0, samples = 0;
  void take(pid_t pid, uid_t uid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/fd", (int)pid);
    long fds = countEntries(path);
    if (fds < 0) return;
    sum += (double)fds;
    procSum += (double)countProcessesOf(uid);
    max = std::max(max, fds);
    samples++;
  }
};

int runCommand(int argc, char** argv) {
  const char* resultFile = nullptr;
  const char* outFile = nullptr;
  const char* stampType = nullptr;
  double intervalMs = 0;
  long fdsUid = -1;
  int i = 0;
  for (; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--") {
      i++;
      break;
    }
    if (i + 1 >= argc) return usage();
    if (a == "--result") {
      resultFile = argv[++i];
    } else if (a == "--out") {
      outFile = argv[++i];
    } else if (a == "--stamps") {
      stampType = argv[++i];
    } else if (a == "--interval-ms") {
      intervalMs = atof(argv[++i]);
    } else if (a == "--fds") {
      fdsUid = atol(argv[++i]);
    } else {
      return usage();
    }
  }
  if (i >= argc || (stampType && (!outFile || intervalMs <= 0)) || (stampType && fdsUid >= 0)) return usage();

  int pipeFds[2] = {-1, -1};
  if (stampType && pipe(pipeFds) != 0) {
    perror("benchrun: pipe");
    return 1;
  }
  double start = nowMs();
  pid_t pid = fork();
  if (pid < 0) {
    perror("benchrun: fork");
    return 1;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (stampType) {
      dup2(pipeFds[1], 1);
      close(pipeFds[0]);
      close(pipeFds[1]);
    }
    execvp(argv[i], argv + i);
    fprintf(stderr, "benchrun: cannot run %s: %s\n", argv[i], strerror(errno));
    _exit(127);
  }

  StampReader stamps;
  if (stampType) {
    close(pipeFds[1]);
    FILE* out = fopen(outFile, "w");
    if (!out) {
      perror(outFile);
      kill(pid, SIGKILL);
    }
    stamps.prefix = std::string(stampType) + " ";
    char buf[65536];
    for (;;) {
      ssize_t n = read(pipeFds[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      stamps.feed(buf, (size_t)n, nowMs());
      if (out) fwrite(buf, 1, (size_t)n, out);
    }
    close(pipeFds[0]);
    if (out) fclose(out);
  }

  // The scheduler's run time of the ended child, read before it is reaped: the
  // user and system times of rusage are sampled at the clock tick, too coarse
  // for runs of a few hundred milliseconds.
  double runMs = -1;
  siginfo_t info;
  FdCounts fdCounts;
  if (fdsUid >= 0) {
    // Count while it runs: poll for its end every 100 ms.
    for (;;) {
      memset(&info, 0, sizeof info);
      if (waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT | WNOHANG) == 0 && info.si_pid == pid) break;
      if (errno == ECHILD) break;
      fdCounts.take(pid, (uid_t)fdsUid);
      struct timespec pause = {0, 100000000L};
      nanosleep(&pause, nullptr);
    }
  }
  while (waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/schedstat", (int)pid);
  if (FILE* f = fopen(path, "r")) {
    unsigned long long ns;
    if (fscanf(f, "%llu", &ns) == 1) runMs = (double)ns / 1e6;
    fclose(f);
  }

  int status = 0;
  struct rusage ru;
  while (wait4(pid, &status, 0, &ru) < 0) {
    if (errno != EINTR) {
      perror("benchrun: wait4");
      return 1;
    }
  }
  double wall = nowMs() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  double user = tvMs(ru.ru_utime), sys = tvMs(ru.ru_stime);

  char line[512];
  int len = snprintf(line, sizeof line, "status=%d cpu_ms=%.2f user_ms=%.1f sys_ms=%.1f wall_ms=%.1f maxrss_kb=%ld",
                     code, runMs >= 0 ? runMs : user + sys, user, sys, wall, ru.ru_maxrss);
  if (fdsUid >= 0 && fdCounts.samples > 0) {
    snprintf(line + len, sizeof line - (size_t)len, " fds_mean=%.1f fds_max=%ld uid_procs_mean=%.1f",
             fdCounts.sum / (double)fdCounts.samples, fdCounts.max, fdCounts.procSum / (double)fdCounts.samples);
  }
  if (stampType) {
    // Offsets of the arrivals from the grid of the interval. The first sample
    // also pays for the monitor's start (opening files, the header), so the grid
    // is placed at the median offset of the others.
    const std::vector<double>& t = stamps.arrivals;
    std::vector<double> offsets;
    for (size_t k = 1; k < t.size(); k++) offsets.push_back(t[k] - (t[0] + (double)k * intervalMs));
    double worst = 0, end = 0;
    if (!offsets.empty()) {
      std::vector<double> sorted = offsets;
      std::sort(sorted.begin(), sorted.end());
      double median = sorted[sorted.size() / 2];
      for (double o : offsets)
        if (std::fabs(o - median) > std::fabs(worst)) worst = o - median;
      // Growth over the run: the last ten samples against the first ten.
      size_t n = std::min<size_t>(10, offsets.size());
      double first = 0, last = 0;
      for (size_t k = 0; k < n; k++) {
        first += offsets[k];
        last += offsets[offsets.size() - n + k];
      }
      end = (last - first) / (double)n;
    }
    double span = t.empty() ? 0 : t.back() - t.front();
    snprintf(line + len, sizeof line - (size_t)len, " stamps=%zu span_ms=%.1f worst_drift_ms=%.2f end_drift_ms=%.2f",
             t.size(), span, worst, end);
  }
  FILE* result = resultFile ? fopen(resultFile, "w") : stdout;
  if (!result) {
    perror(resultFile);
    return 1;
  }
  fprintf(result, "%s\n", line);
  if (resultFile) fclose(result);
  return 0;
}

volatile sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }

int sleepers(int argc, char** argv) {
  if (argc < 2 || argc > 4) return usage();
  const struct passwd* pw = getpwnam(argv[0]);
  int n = atoi(argv[1]);
  int wakeMs = argc >= 3 ? atoi(argv[2]) : 0;
  int threads = argc == 4 ? atoi(argv[3]) : 1;
  if (pw == nullptr || pw->pw_uid == 0 || n <= 0 || wakeMs < 0 || threads < 1) return usage();
  uid_t uid = pw->pw_uid;
  gid_t gid = pw->pw_gid;

  sigset_t blocked, previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGHUP);
  sigprocmask(SIG_BLOCK, &blocked, &previous);  // until every child is known
  struct sigaction sa = {};
  sa.sa_handler = requestStop;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);

  pid_t parent = getpid();
  std::vector<pid_t> children;
  for (int k = 0; k < n; k++) {
    pid_t pid = fork();
    if (pid < 0) {
      perror("benchrun: fork");
      break;
    }
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(0);
      if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(1);
      prctl(PR_SET_NAME, "benchsleeper");
      int devNull = open("/dev/null", O_RDWR);
      for (int fd = 0; fd < 3; fd++) dup2(devNull, fd);
      if (devNull > 2) close(devNull);
      sigprocmask(SIG_SETMASK, &previous, nullptr);
      static int sleepMs;
      sleepMs = wakeMs;
      auto sleepLoop = [](void*) -> void* {
        struct timespec wake = {sleepMs / 1000, (long)(sleepMs % 1000) * 1000000L};
        for (;;) {
          if (sleepMs > 0) nanosleep(&wake, nullptr); else pause();
        }
        return nullptr;
      };
      for (int t = 1; t < threads; t++) {
        pthread_t thread;
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, 64 * 1024);
        if (pthread_create(&thread, &attr, sleepLoop, nullptr) != 0) _exit(1);
      }
      sleepLoop(nullptr);
    }
    children.push_back(pid);
  }
  if ((int)children.size() == n) {
    printf("ready\n");
    fflush(stdout);
  }
  sigset_t none;
  sigemptyset(&none);
  while (!stopRequested && (int)children.size() == n) sigsuspend(&none);
  for (pid_t p : children) kill(p, SIGKILL);
  for (pid_t p : children) waitpid(p, nullptr, 0);
  return (int)children.size() == n ? 0 : 1;
}

int churn(int argc, char** argv) {
  if (argc != 3) return usage();
  const struct passwd* pw = getpwnam(argv[0]);
  int rate = atoi(argv[1]);
  int lifeMs = atoi(argv[2]);
  if (pw == nullptr || pw->pw_uid == 0 || rate <= 0 || lifeMs <= 0) return usage();
  uid_t uid = pw->pw_uid;
  gid_t gid = pw->pw_gid;
  struct sigaction sa = {};
  sa.sa_handler = requestStop;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
  pid_t parent = getpid();
  const long gapNs = 1000000000L / rate;
  for (long k = 0; !stopRequested; k++) {
    pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(0);
      if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(1);
      prctl(PR_SET_NAME, "benchchurn");
      long lifeNs = (long)lifeMs * 1000000L * (k % 7 + 1) / 4;  // 1/4 to 7/4 of LIFE_MS
      struct timespec life = {lifeNs / 1000000000L, lifeNs % 1000000000L};
      nanosleep(&life, nullptr);
      _exit(0);
    }
    if (k == 0) {
      printf("ready\n");
      fflush(stdout);
    }
    struct timespec gap = {gapNs / 1000000000L, gapNs % 1000000000L};
    nanosleep(&gap, nullptr);
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }
  while (wait(nullptr) > 0) {
  }
  return 0;
}

}  // namespace

int writer(int argc, char** argv) {
  if (argc != 4) return usage();
  const char* path = argv[0];
  long long bytes = atoll(argv[1]);
  int count = atoi(argv[2]);
  int intervalMs = atoi(argv[3]);
  if (bytes <= 0 || count <= 0 || intervalMs < 0) return usage();
  std::string text((size_t)bytes, ' ');
  for (size_t i = 0; i < text.size(); i++) text[i] = (i % 64 == 63) ? '\n' : (char)('0' + i % 10);
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    perror("benchrun: writer");
    return 1;
  }
  const size_t chunk = (size_t)1 << 20;
  struct timespec pause = {intervalMs / 1000, (long)(intervalMs % 1000) * 1000000L};
  int rc = 0;
  for (int k = 0; k < count && rc == 0; k++) {
    for (size_t done = 0; done < text.size();) {
      ssize_t n = write(fd, text.data() + done, std::min(chunk, text.size() - done));
      if (n <= 0) {
        perror("benchrun: writer");
        rc = 1;
        break;
      }
      done += (size_t)n;
    }
    nanosleep(&pause, nullptr);
  }
  close(fd);
  unlink(path);
  return rc;
}

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string cmd = argv[1];
  if (cmd == "run") return runCommand(argc - 2, argv + 2);
  if (cmd == "sleepers") return sleepers(argc - 2, argv + 2);
  if (cmd == "churn") return churn(argc - 2, argv + 2);
  if (cmd == "writer") return writer(argc - 2, argv + 2);
  return usage();
}
