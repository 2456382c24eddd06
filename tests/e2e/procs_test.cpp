// Listed processes and users, end to end: the monitor runs in host-only mode
// with -Q and -U against processes this test starts; the archive is read back.
#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <ctime>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "support/runprocess.h"

namespace {

// A child of the test, killed and reaped when the handle dies.
struct Child {
  pid_t pid;
  template <typename Fn>
  explicit Child(Fn body) : pid(fork()) {
    if (pid == 0) {
      body();
      _exit(0);
    }
  }
  ~Child() { stop(); }
  void stop() {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    pid = -1;
  }
};

void sleepForever() {
  for (;;) pause();
}

// Records of "Solaris_Process" by sample time, then by pid: the values after the
// session id, with the name as a last string.
struct Archive {
  std::vector<uint32_t> times;
  std::map<uint32_t, std::multimap<long, std::vector<uint64_t>>> procs;
  std::map<uint32_t, std::map<long, std::string>> names;
};

Archive parseArchive(const std::string& text) {
  Archive a;
  size_t end = text.find("ENDHEADER\n"), at = text.find("Solaris_Process");
  if (end == std::string::npos || at == std::string::npos) return a;
  uint32_t procType = (uint32_t)std::stoul(text.substr(text.find(')', at) + 1));
  for (const std::string& line : splitLines(text.substr(end + 10))) {
    std::istringstream in(line);
    uint32_t type, time;
    std::string name, session;
    long pid;
    if (!(in >> type >> time >> name >> pid >> session)) continue;
    if (a.times.empty() || a.times.back() != time) a.times.push_back(time);
    if (type != procType) continue;
    std::vector<uint64_t> values;
    for (uint64_t v; in >> v;) values.push_back(v);
    a.procs[time].emplace(pid, values);
    a.names[time][pid] = name;
  }
  return a;
}

// The descriptors of `monitor` open on /proc/<pid>/...
std::set<int> procFdsFor(pid_t monitor, pid_t pid) {
  std::set<int> fds;
  std::string prefix = "/proc/" + std::to_string(pid) + "/";
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(monitor) + "/fd", ec)) {
    std::string target = std::filesystem::read_symlink(e.path(), ec).string();
    if (!ec && target.rfind(prefix, 0) == 0) fds.insert(std::stoi(e.path().filename().string()));
  }
  return fds;
}

// What the kernel's files say of a process, summed over its threads.
struct KernelFigures {
  uint64_t vol = 0, invol = 0, waitNs = 0;
  uint64_t threads = 0, ticks = 0;  // stat num_threads, utime + stime
  int64_t atNs = 0;                 // boot clock at the read
};

uint64_t statusValue(const std::string& path, const std::string& key) {
  for (const std::string& l : splitLines(readFileText(path)))
    if (l.rfind(key + ":", 0) == 0) return std::stoull(l.substr(key.size() + 1));
  return 0;
}

KernelFigures kernelFigures(pid_t pid) {
  KernelFigures k;
  const std::string dir = "/proc/" + std::to_string(pid);
  std::error_code ec;
  for (const auto& t : std::filesystem::directory_iterator(dir + "/task", ec)) {
    const std::string task = t.path().string();
    k.vol += statusValue(task + "/status", "voluntary_ctxt_switches");
    k.invol += statusValue(task + "/status", "nonvoluntary_ctxt_switches");
    std::istringstream sched(readFileText(task + "/schedstat"));
    uint64_t run = 0, wait = 0;
    sched >> run >> wait;
    k.waitNs += wait;
  }
  std::string stat = readFileText(dir + "/stat");
  std::istringstream in(stat.substr(stat.rfind(')') + 2));
  std::vector<std::string> f((std::istream_iterator<std::string>(in)), std::istream_iterator<std::string>());
  k.ticks = std::stoull(f[11]) + std::stoull(f[12]);  // fields 14 and 15
  k.threads = std::stoull(f[17]);                      // field 20
  struct timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  k.atNs = (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
  return k;
}

size_t taskCount(pid_t pid) {
  size_t n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec);
       !ec && it != std::filesystem::directory_iterator(); ++it)
    n++;
  return n;
}

void* napForever(void*) {
  for (;;) usleep(2000);  // a voluntary switch every 2 ms
  return nullptr;
}

void* spinForever(void*) {
  for (volatile unsigned long n = 0;; n = n + 1) {
  }
  return nullptr;
}

// Starts `count` threads running fn in a child of the test.
void startThreads(int count, void* (*fn)(void*)) {
  for (int i = 0; i < count; i++) {
    pthread_t t;
    pthread_create(&t, nullptr, fn, nullptr);
  }
}

class ProcsE2E : public ::testing::Test {
 protected:
  TempDir dir;
  std::unique_ptr<BackgroundProgram> mon;
  Archive current() { return parseArchive(readFileText(dir.file("arch.out"))); }
  void start(std::vector<std::string> listed, int samples) {
    std::vector<std::string> args = {TALLYSCOPE_BIN, "-X", "-q", "-i", "1", "-t", std::to_string(samples),
                                     "-u", "0", "-f", dir.file("arch")};
    args.insert(args.end(), listed.begin(), listed.end());
    mon.reset(new BackgroundProgram(args));
  }
  Archive finish() {
    RunResult r = mon->wait(60);
    EXPECT_EQ(r.status, 0) << r.err;
#ifdef TALLYREAD_BIN
    RunResult check = runProgram({TALLYREAD_BIN, "check", dir.file("arch.out")});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
#endif
    return current();
  }
};

// A CPU burner and a process that ends while listed: the burner has its record in
// every sample; the other's /proc files are opened once, kept across samples and
// closed soon after it ends, and it never comes back.
TEST_F(ProcsE2E, ListedProcessesEverySampleAndAnEndedOneDroppedForGood) {
  Child burner([] {  // three threads, one of them burning CPU
    std::thread(sleepForever).detach();
    std::thread(sleepForever).detach();
    for (volatile unsigned long n = 0;; n = n + 1) {
    }
  });
  Child ending(sleepForever);
  const pid_t endingPid = ending.pid;
  start({"-Q", std::to_string(burner.pid) + "," + std::to_string(endingPid)}, 60);
  std::set<int> first;
  // stat, io, status, and schedstat where the kernel keeps it
  ASSERT_TRUE(waitUntil([&] { return (first = procFdsFor(mon->pid(), endingPid)).size() >= 3; }));
  size_t seen = current().times.size();
  ASSERT_TRUE(waitUntil([&] { return current().times.size() >= seen + 2; }));
  EXPECT_EQ(procFdsFor(mon->pid(), endingPid), first);  // the same descriptors, not reopened
  ending.stop();
  EXPECT_TRUE(waitUntil([&] { return procFdsFor(mon->pid(), endingPid).empty(); }, 10000));
  seen = current().times.size();
  ASSERT_TRUE(waitUntil([&] { return current().times.size() >= std::max<size_t>(seen + 2, 6); }));
  ASSERT_TRUE(mon->running());
  mon->sendSignal(SIGINT);
  Archive a = finish();
  uint64_t rssNow = 0;
  for (const std::string& l : splitLines(readFileText("/proc/" + std::to_string(burner.pid) + "/status")))
    if (l.rfind("VmRSS:", 0) == 0) rssNow = std::stoull(l.substr(6));

  ASSERT_GE(a.times.size(), 6u);
  EXPECT_EQ(a.procs[a.times[0]].count(endingPid), 1u);
  uint64_t firstUser = 0, bestCpu = 0;
  bool gone = false;
  for (size_t i = 0; i < a.times.size(); i++) {
    auto& recs = a.procs[a.times[i]];
    ASSERT_EQ(recs.count(burner.pid), 1u) << "sample " << i;
    const std::vector<uint64_t>& v = recs.find(burner.pid)->second;
    ASSERT_EQ(v.size(), 30u);
    EXPECT_EQ(a.names[a.times[i]][burner.pid], "e2e_tests");  // the executable's name
    EXPECT_EQ(v[14], 3u);                                      // LwpCurCount
    EXPECT_LE(v[28], 100u);                                    // PercentCpuUsed, of the machine
    if (i == 0) firstUser = v[0];
    if (i > 0) bestCpu = std::max(bestCpu, v[28]);
    if (i + 1 == a.times.size()) {
      EXPECT_GT(v[0], firstUser);  // UserTime grows
      EXPECT_NEAR((double)v[27], (double)rssNow, 256.0 + rssNow * 0.1);  // RSSKBytes
    }
    if (recs.count(endingPid) == 0) gone = true;
    EXPECT_FALSE(gone && recs.count(endingPid)) << "the ended process came back at sample " << i;
  }
  EXPECT_TRUE(gone);
  // A busy loop gets a good share of its CPU even on a loaded host.
  EXPECT_GE(bestCpu, 20u / (uint64_t)sysconf(_SC_NPROCESSORS_ONLN));
}

TEST_F(ProcsE2E, ListedUserAndPidsTogetherRecordEachProcessOncePerSample) {
  struct passwd* pw = getpwnam("nobody");
  ASSERT_NE(pw, nullptr);
  const uid_t uid = pw->pw_uid;
  const gid_t gid = pw->pw_gid;
  auto asNobody = [&] {
    if (setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0) sleepForever();
  };
  Child n1(asNobody), n2(asNobody), mine(sleepForever);
  auto ownedBy = [](pid_t p) {
    struct stat st;
    return stat(("/proc/" + std::to_string(p)).c_str(), &st) == 0 ? st.st_uid : (uid_t)-1;
  };
  ASSERT_TRUE(waitUntil([&] { return ownedBy(n1.pid) == uid && ownedBy(n2.pid) == uid; }));
  // n1 is listed twice over: by pid and through its user.
  start({"-U", "nobody", "-Q", std::to_string(n1.pid) + "," + std::to_string(mine.pid)}, 3);
  Archive a = finish();
  ASSERT_EQ(a.times.size(), 3u);
  for (uint32_t t : a.times) {
    for (pid_t p : {n1.pid, n2.pid, mine.pid}) EXPECT_EQ(a.procs[t].count(p), 1u) << p;
    for (const auto& rec : a.procs[t]) {
      EXPECT_EQ(a.procs[t].count(rec.first), 1u) << "pid " << rec.first << " twice in one sample";
      uid_t owner = ownedBy((pid_t)rec.first);
      EXPECT_TRUE(rec.first == mine.pid || owner == (uid_t)-1 || owner == uid) << rec.first << " is not nobody's";
    }
  }
}

}  // namespace

namespace {

// Figure by figure against the kernel's files, for three processes this test
// controls: one of four threads that switch often, one whose main thread
// called pthread_exit while two threads run on, and one spinning on two
// threads. Switches and CPU waits are sums over the threads; the process whose
// main thread exited is recorded in every sample with the sizes of its memory;
// the CPU share is of the whole machine.
TEST_F(ProcsE2E, MultiThreadedProcessesAreMeasuredOverAllTheirThreads) {
  Child napping([] {
    startThreads(4, napForever);
    sleepForever();
  });
  Child leaderGone([] {
    static std::vector<char> memory(32 << 20, 1);  // 32 MB resident, shared by the threads
    startThreads(2, napForever);
    // What pthread_exit does in the kernel, without unwinding through the test
    // framework of this forked copy: only the calling thread ends.
    syscall(SYS_exit, 0);
  });
  Child spinning([] {
    startThreads(2, spinForever);
    sleepForever();
  });
  ASSERT_TRUE(waitUntil([&] { return taskCount(napping.pid) == 5 && taskCount(spinning.pid) == 3; }));
  ASSERT_TRUE(waitUntil([&] { return kernelFigures(leaderGone.pid).threads == 3 && taskCount(leaderGone.pid) == 3; }));
  const pid_t pids[] = {napping.pid, leaderGone.pid, spinning.pid};
  std::map<pid_t, KernelFigures> before, after;
  for (pid_t p : pids) before[p] = kernelFigures(p);
  start({"-Q", std::to_string(napping.pid) + "," + std::to_string(leaderGone.pid) + "," + std::to_string(spinning.pid)},
        4);
  Archive a = finish();
  for (pid_t p : pids) after[p] = kernelFigures(p);

  ASSERT_EQ(a.times.size(), 4u);
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  double spinShare = 0;
  for (size_t i = 0; i < a.times.size(); i++) {
    for (pid_t p : pids) {
      auto& recs = a.procs[a.times[i]];
      ASSERT_EQ(recs.count(p), 1u) << "pid " << p << " missing at sample " << i;
      const std::vector<uint64_t>& v = recs.find(p)->second;
      ASSERT_EQ(v.size(), 30u);
      // VolCSW, IVolCSW, WaitCpuTime lie between the kernel's sums over the
      // threads before and after the run.
      EXPECT_GE(v[8], before[p].vol) << p;
      EXPECT_LE(v[8], after[p].vol) << p;
      EXPECT_GE(v[9], before[p].invol) << p;
      EXPECT_LE(v[9], after[p].invol) << p;
      EXPECT_GE(v[23], before[p].waitNs / 1000000) << p;
      EXPECT_LE(v[23], after[p].waitNs / 1000000) << p;
      EXPECT_EQ(v[14], before[p].threads) << p;  // LwpCurCount
      EXPECT_LE(v[28], 100u) << p;               // PercentCpuUsed: a share of the machine
    }
    const std::vector<uint64_t>& gone = a.procs[a.times[i]].find(leaderGone.pid)->second;
    EXPECT_GE(gone[27], 32u * 1024);  // RSSKBytes: the 32 MB the threads share
    EXPECT_GE(gone[26], gone[27]);    // ImageKBytes
    if (i > 0) spinShare += (double)a.procs[a.times[i]].find(spinning.pid)->second[28];
  }
  // Four threads that nap every 2 ms: their switches outnumber the main thread's by far.
  EXPECT_GT(a.procs[a.times.back()].find(napping.pid)->second[8],
            statusValue("/proc/" + std::to_string(napping.pid) + "/status", "voluntary_ctxt_switches") + 100);
  // The spinner's share over the intervals against the kernel's ticks over the
  // whole run, with room for the run's start and end.
  const KernelFigures& b = before[spinning.pid];
  const KernelFigures& e = after[spinning.pid];
  double kernelShare = (double)(e.ticks - b.ticks) / (double)sysconf(_SC_CLK_TCK) /
                       ((double)(e.atNs - b.atNs) / 1e9 * (double)cpus) * 100.0;
  EXPECT_NEAR(spinShare / (double)(a.times.size() - 1), kernelShare, 25.0);
}

}  // namespace
