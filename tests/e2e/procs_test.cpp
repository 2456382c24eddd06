// Listed processes and users, end to end: the monitor runs in host-only mode
// with -Q and -U against processes this test starts; the archive is read back.
#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

// An archive's "Solaris_Process" records, sample by sample, by pid.
struct ProcArchive {
  Archive archive;
  std::vector<std::multimap<pid_t, const ArchiveRecord*>> samples;

  explicit ProcArchive(Archive read) : archive(std::move(read)) {
    for (const Sample& s : samplesOf(archive)) {
      samples.emplace_back();
      for (const ArchiveRecord* r : s.records)
        if (archive.typeOf(*r)->name == "Solaris_Process") samples.back().emplace((pid_t)r->numbers[3].magnitude, r);
    }
  }
  ProcArchive(const ProcArchive&) = delete;
  // A figure of the process's record in sample i (which must be there).
  uint64_t value(size_t i, pid_t pid, const char* field) const {
    auto r = samples.at(i).find(pid);
    EXPECT_NE(r, samples[i].end()) << pid << " missing from sample " << i;
    return r == samples[i].end() ? 0 : archive.fieldUInt(*r->second, field).value_or(0);
  }
};

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
  size_t samplesSoFar() { return samplesIn(dir.file("arch.out")); }
  void start(std::vector<std::string> listed, int samples) {
    std::vector<std::string> args = {TALLYSCOPE_BIN, "-X", "-q", "-i", "1", "-t", std::to_string(samples),
                                     "-u", "0", "-f", dir.file("arch")};
    args.insert(args.end(), listed.begin(), listed.end());
    mon.reset(new BackgroundProgram(args));
  }
  // Listed processes come and go: a sample may hold fewer records than the first.
  ProcArchive finish() {
    RunResult r = mon->wait(60);
    EXPECT_EQ(r.status, 0) << r.err;
    return ProcArchive(readCompleteArchive(dir.file("arch.out"), false));
  }
};

// A CPU burner and a process that ends while listed: the burner has its record,
// named after its executable, in every sample; the other's /proc files are
// opened once, kept across samples and closed soon after it ends, and it never
// comes back.
TEST_F(ProcsE2E, ListedProcessesEverySampleAndAnEndedOneDroppedForGood) {
  ChildProcess burner([] { spinForever(nullptr); });
  ChildProcess ending(sleepForever);
  const pid_t burnerPid = burner.pid(), endingPid = ending.pid();
  start({"-Q", std::to_string(burnerPid) + "," + std::to_string(endingPid)}, 60);
  std::set<int> first;
  // stat, io, status, and schedstat where the kernel keeps it
  ASSERT_TRUE(waitUntil([&] { return (first = procFdsFor(mon->pid(), endingPid)).size() >= 3; }));
  size_t seen = samplesSoFar();
  ASSERT_TRUE(waitUntil([&] { return samplesSoFar() >= seen + 2; }));
  EXPECT_EQ(procFdsFor(mon->pid(), endingPid), first);  // the same descriptors, not reopened
  ending.stop();
  EXPECT_TRUE(waitUntil([&] { return procFdsFor(mon->pid(), endingPid).empty(); }, 10000));
  seen = samplesSoFar();
  ASSERT_TRUE(waitUntil([&] { return samplesSoFar() >= std::max<size_t>(seen + 2, 6); }));
  ASSERT_TRUE(mon->running());
  mon->sendSignal(SIGINT);
  ProcArchive a = finish();
  const uint64_t rssNow = statusValue("/proc/" + std::to_string(burnerPid) + "/status", "VmRSS");

  const size_t n = a.samples.size();
  ASSERT_GE(n, 6u);
  EXPECT_EQ(a.samples[0].count(endingPid), 1u);
  bool gone = false;
  for (size_t i = 0; i < n; i++) {
    ASSERT_EQ(a.samples[i].count(burnerPid), 1u) << "sample " << i;
    EXPECT_EQ(a.samples[i].find(burnerPid)->second->instance(), "e2e_tests");
    gone = gone || a.samples[i].count(endingPid) == 0;
    EXPECT_FALSE(gone && a.samples[i].count(endingPid)) << "the ended process came back at sample " << i;
  }
  EXPECT_TRUE(gone);
  EXPECT_GT(a.value(n - 1, burnerPid, "UserTime"), a.value(0, burnerPid, "UserTime"));
  EXPECT_NEAR((double)a.value(n - 1, burnerPid, "RSSKBytes"), (double)rssNow, 256.0 + rssNow * 0.1);
}

TEST_F(ProcsE2E, ListedUserAndPidsTogetherRecordEachProcessOncePerSample) {
  struct passwd* pw = getpwnam("nobody");
  ASSERT_NE(pw, nullptr);
  const uid_t uid = pw->pw_uid;
  const gid_t gid = pw->pw_gid;
  auto asNobody = [&] {
    if (setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0) sleepForever();
  };
  ChildProcess n1(asNobody), n2(asNobody), mine(sleepForever);
  auto ownedBy = [](pid_t p) {
    struct stat st;
    return stat(("/proc/" + std::to_string(p)).c_str(), &st) == 0 ? st.st_uid : (uid_t)-1;
  };
  ASSERT_TRUE(waitUntil([&] { return ownedBy(n1.pid()) == uid && ownedBy(n2.pid()) == uid; }));
  // n1 is listed twice over: by pid and through its user.
  start({"-U", "nobody", "-Q", std::to_string(n1.pid()) + "," + std::to_string(mine.pid())}, 3);
  ProcArchive a = finish();
  ASSERT_EQ(a.samples.size(), 3u);
  for (const auto& sample : a.samples) {
    for (pid_t p : {n1.pid(), n2.pid(), mine.pid()}) EXPECT_EQ(sample.count(p), 1u) << p;
    for (const auto& [pid, record] : sample) {
      EXPECT_EQ(sample.count(pid), 1u) << "pid " << pid << " twice in one sample";
      uid_t owner = ownedBy(pid);
      EXPECT_TRUE(pid == mine.pid() || owner == (uid_t)-1 || owner == uid) << pid << " is not nobody's";
    }
  }
}

// Figure by figure against the kernel's files, for three processes this test
// controls: one of four threads that switch often, one whose main thread
// called pthread_exit while two threads run on, and one spinning on two
// threads. Switches and CPU waits are sums over the threads; the process whose
// main thread exited is recorded in every sample with the sizes of its memory;
// the CPU share is of the whole machine.
TEST_F(ProcsE2E, MultiThreadedProcessesAreMeasuredOverAllTheirThreads) {
  ChildProcess napping([] {
    startThreads(4, napForever);
    sleepForever();
  });
  ChildProcess leaderGone([] {
    static std::vector<char> memory(32 << 20, 1);  // 32 MB resident, shared by the threads
    startThreads(2, napForever);
    // What pthread_exit does in the kernel, without unwinding through the test
    // framework of this forked copy: only the calling thread ends.
    syscall(SYS_exit, 0);
  });
  ChildProcess spinning([] {
    startThreads(2, spinForever);
    sleepForever();
  });
  const pid_t napper = napping.pid(), leaderless = leaderGone.pid(), spinner = spinning.pid();
  ASSERT_TRUE(waitUntil([&] { return taskCount(napper) == 5 && taskCount(spinner) == 3; }));
  ASSERT_TRUE(waitUntil([&] { return kernelFigures(leaderless).threads == 3 && taskCount(leaderless) == 3; }));
  std::map<pid_t, KernelFigures> before, after;
  for (pid_t p : {napper, leaderless, spinner}) before[p] = kernelFigures(p);
  start({"-Q", std::to_string(napper) + "," + std::to_string(leaderless) + "," + std::to_string(spinner)}, 4);
  ProcArchive a = finish();
  for (pid_t p : {napper, leaderless, spinner}) after[p] = kernelFigures(p);

  ASSERT_EQ(a.samples.size(), 4u);
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  double spinShare = 0;
  for (size_t i = 0; i < a.samples.size(); i++) {
    for (pid_t p : {napper, leaderless, spinner}) {
      ASSERT_EQ(a.samples[i].count(p), 1u) << "pid " << p << " missing at sample " << i;
      // Switches and CPU waits lie between the kernel's sums over the threads
      // before and after the run.
      EXPECT_GE(a.value(i, p, "VolCSW"), before[p].vol) << p;
      EXPECT_LE(a.value(i, p, "VolCSW"), after[p].vol) << p;
      EXPECT_GE(a.value(i, p, "IVolCSW"), before[p].invol) << p;
      EXPECT_LE(a.value(i, p, "IVolCSW"), after[p].invol) << p;
      EXPECT_GE(a.value(i, p, "WaitCpuTime"), before[p].waitNs / 1000000) << p;
      EXPECT_LE(a.value(i, p, "WaitCpuTime"), after[p].waitNs / 1000000) << p;
      EXPECT_EQ(a.value(i, p, "LwpCurCount"), before[p].threads) << p;
      EXPECT_LE(a.value(i, p, "PercentCpuUsed"), 100u) << p;  // a share of the machine
    }
    EXPECT_GE(a.value(i, leaderless, "RSSKBytes"), 32u * 1024);  // the 32 MB the threads share
    EXPECT_GE(a.value(i, leaderless, "ImageKBytes"), a.value(i, leaderless, "RSSKBytes"));
    if (i > 0) spinShare += (double)a.value(i, spinner, "PercentCpuUsed");
  }
  // The spinner's share over the intervals against the kernel's ticks over the
  // whole run, with room for the run's start and end.
  const KernelFigures& b = before[spinner];
  const KernelFigures& e = after[spinner];
  double kernelShare = (double)(e.ticks - b.ticks) / (double)sysconf(_SC_CLK_TCK) /
                       ((double)(e.atNs - b.atNs) / 1e9 * (double)cpus) * 100.0;
  EXPECT_NEAR(spinShare / (double)(a.samples.size() - 1), kernelShare, 25.0);
}

}  // namespace
