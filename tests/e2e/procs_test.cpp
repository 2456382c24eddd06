// Listed processes and users, end to end: the monitor runs in host-only mode
// with -Q and -U against processes this test starts; the archive is read back.
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

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
    EXPECT_LE(v[28], 105u);                                    // PercentCpuUsed, of one CPU
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
  EXPECT_GE(bestCpu, 20u);  // a busy loop gets a good share even on a loaded host
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
