// Host-only runs as a user makes them: the archive and its name, what every
// sample holds, -r, gzip and standard output, the flush policy, a second run on
// the same name, and the archive left by an interrupt or a termination request.
// And the host's own figures: CPU states add up and follow a CPU-burning
// process; the loopback packet counters follow traffic sent during the run.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

class HostOnlyRun : public ::testing::Test {
 protected:
  std::vector<std::string> command(std::vector<std::string> args) {
    args.insert(args.begin(), TALLYSCOPE_BIN);
    return args;
  }
  RunOptions options() {
    RunOptions opts;
    opts.env = {"QL_CORE_TIME_OUT=1"};
    opts.cwd = dir.path();
    return opts;
  }
  RunResult run(std::vector<std::string> args) { return runProgram(command(args), options()); }

  std::set<std::string> filesInDir() {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.insert(e.path().filename());
    return names;
  }

  TempDir dir;
};

TEST_F(HostOnlyRun, SummaryThenSamplesHoldingTheSystemCpuDiskNetworkTcpPagesAndTallyRecords) {
  RunResult r = run({"-X", "-A", "-i", "1", "-t", "5", "-f", dir.file("h")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind(" ____", 0), 0u) << "the banner comes first";
  const std::string summary = "  *** Monitoring host system stats only ***\n  Output file is:     " + dir.file("h.out") +
                              "\n  Sample Interval (-i) is: 1.000 seconds\n  Number of samples:  5\n";
  EXPECT_EQ(r.err.substr(r.err.find("  *** Monitoring")), summary);
  EXPECT_EQ(filesInDir(), (std::set<std::string>{"h.out"}));
  Archive archive = readCompleteArchive(dir.file("h.out"));
  std::vector<Sample> samples = samplesOf(archive);
  ASSERT_EQ(samples.size(), 5u);
  for (size_t i = 0; i < samples.size(); i++) {
    EXPECT_TRUE(i == 0 || samples[i].time > samples[i - 1].time) << "stamps grow";
    for (const char* type : {"Solaris_x86_System", "x86_CPU", "HardDisk", "Network", "TCP", "SystemPages"})
      EXPECT_GE(samples[i].types.count(type), 1u) << type << " in sample " << i;
    EXPECT_EQ(samples[i].types.count("Tally"), 1u) << i;
  }
}

TEST_F(HostOnlyRun, RestartsWriteNumberedFilesEachWithItsOwnHeader) {
  BackgroundProgram p(command({"-X", "-I", "100", "-t", "3", "-r", "-f", dir.file("h")}), options());
  ASSERT_TRUE(waitUntil([&] { return samplesIn(dir.file("h-3.out")) >= 1; }));
  p.sendSignal(SIGINT);
  RunResult r = p.wait(30);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("  Output file is:     " + dir.file("h-2.out") + "\n"), std::string::npos) << r.err;
  Archive one = readCompleteArchive(dir.file("h-1.out")), two = readCompleteArchive(dir.file("h-2.out"));
  readCompleteArchive(dir.file("h-3.out"));
  EXPECT_EQ(one.sampleCount(), 3u);
  ASSERT_EQ(two.sampleCount(), 3u);
  // Stamps run on across files: the next file's first sample follows at once.
  EXPECT_EQ(two.records.front().time, one.records.back().time + 1);
}

TEST_F(HostOnlyRun, GzipFilesAndStandardOutputTakeTheArchive) {
  RunResult r = run({"-X", "-A", "-I", "200", "-t", "4", "-z", "-f", dir.file("h")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFileText(dir.file("h.out.gz")).substr(0, 2), "\x1f\x8b");
  EXPECT_EQ(readCompleteArchive(dir.file("h.out.gz")).sampleCount(), 4u);

  // "stdout" in any case; sub-second stamps count on from the starting second.
  time_t before = time(nullptr);
  RunResult plain = run({"-X", "-I", "100", "-t", "6", "-f", "StdOut"});
  time_t after = time(nullptr);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.err.find("  Output file is:     stdout\n"), std::string::npos) << plain.err;
  Archive archive = completeArchiveOfBytes(plain.out);
  std::vector<Sample> samples = samplesOf(archive);
  ASSERT_EQ(samples.size(), 6u);
  EXPECT_GE(samples[0].time, (uint32_t)before + 1);
  EXPECT_LE(samples[0].time, (uint32_t)after + 1);
  for (size_t i = 1; i < samples.size(); i++) EXPECT_EQ(samples[i].time, samples[0].time + i);
  // No file named after "stdout" was made, and the missing-file check never ran.
  EXPECT_EQ(filesInDir(), (std::set<std::string>{"h.out.gz"}));
  EXPECT_EQ(plain.err.find("missing"), std::string::npos);
}

TEST_F(HostOnlyRun, FlushPolicyDecidesWhenSamplesReachTheFile) {
  // -u 0: every sample reaches the file while the monitor runs. Default: the first
  // sample at once, then nothing until 60 s of stamps have passed. -u -1: only the
  // header until the file is closed.
  struct Case {
    std::vector<std::string> flags;
    size_t seenWhileRunning;
  } cases[] = {{{"-u", "0"}, 3}, {{}, 1}, {{"-u", "-1"}, 0}};
  int n = 0;
  for (const Case& c : cases) {
    std::string path = dir.file("f" + std::to_string(n++));
    SCOPED_TRACE(path);
    std::vector<std::string> args{"-X", "-i", "1", "-f", path};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const time_t started = time(nullptr);
    BackgroundProgram p(command(args), options());
    path += ".out";
    ASSERT_TRUE(waitUntil([&] {
      Archive a = readArchive(path);
      return !a.headers.empty() && a.sampleCount() >= c.seenWhileRunning;
    }));
    if (c.seenWhileRunning < 3) {  // by the clock, samples have been taken since, and kept back
      ASSERT_TRUE(waitUntil([&] { return time(nullptr) >= started + 3; }));
      EXPECT_EQ(samplesIn(path), c.seenWhileRunning);
    }
    p.sendSignal(SIGINT);
    EXPECT_EQ(p.wait(30).status, 0);
    EXPECT_GE(readCompleteArchive(path).sampleCount(), 2u) << "the rest came with the close";
  }
}

// A second run on the same name is refused. (A file deleted under a running
// monitor is made again with its header first: the output unit tests.)
TEST_F(HostOnlyRun, ASecondRunOnTheSameNameIsRefused) {
  BackgroundProgram p(command({"-X", "-I", "200", "-u", "0", "-f", dir.file("d")}), options());
  ASSERT_TRUE(waitUntil([&] { return samplesIn(dir.file("d.out")) >= 1; }));
  RunResult second = run({"-X", "-I", "100", "-t", "2", "-f", dir.file("d")});
  EXPECT_EQ(second.status, 3);
  EXPECT_NE(second.err.find("[Error] errno=17,EEXIST, The file already exists\n"
                            "[Tally] Fatal Error. Error opening output file\n"),
            std::string::npos)
      << second.err;
  p.sendSignal(SIGINT);
  EXPECT_EQ(p.wait(30).status, 0);
  readCompleteArchive(dir.file("d.out"));
}

// The signal often lands inside a sample or its flush, which must then be in
// the file whole or not at all. (Samples kept back until the end are shown
// whole under both signals by the stream tests.)
TEST_F(HostOnlyRun, InterruptAndTerminationLeaveACompleteArchive) {
  for (int sig : {SIGINT, SIGTERM}) {
    const std::string base = dir.file(sig == SIGINT ? "int" : "term");
    BackgroundProgram p(command({"-X", "-A", "-q", "-I", "10", "-u", "0", "-f", base}), options());
    ASSERT_TRUE(waitUntil([&] { return samplesIn(base + ".out") >= 2; }));
    p.sendSignal(sig);
    RunResult r = p.wait(30);
    EXPECT_EQ(r.status, sig == SIGINT ? 0 : 5) << strsignal(sig) << " " << r.err;
    EXPECT_EQ(r.err.find("SIGTERM, Software Termination Signal") != std::string::npos, sig == SIGTERM) << r.err;
    EXPECT_GE(readCompleteArchive(base + ".out").sampleCount(), 2u);
  }
}

void burnCpu() {
  volatile unsigned long n = 0;
  for (;;) n = n + 1;
}

// Sends about 2000 datagrams a second from one loopback socket to another.
void sendLoopbackTraffic() {
  int rx = socket(AF_INET, SOCK_DGRAM, 0);
  int tx = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(rx, (sockaddr*)&addr, sizeof addr) != 0 || getsockname(rx, (sockaddr*)&addr, &len) != 0) _exit(1);
  char payload[64] = {0};
  char sink[64];
  for (;;) {
    for (int i = 0; i < 100; i++) {
      sendto(tx, payload, sizeof payload, 0, (sockaddr*)&addr, sizeof addr);
      recv(rx, sink, sizeof sink, MSG_DONTWAIT);
    }
    usleep(50000);
  }
}

int64_t field(const Archive& a, const ArchiveRecord* r, const char* name) {
  auto v = a.fieldInt(*r, name);
  EXPECT_TRUE(v.has_value()) << name;
  return v.value_or(-1);
}

TEST(HostValues, CpuStatesAddUpAndFollowABurnerAndLoopbackCountersFollowTraffic) {
  TempDir dir;
  ChildProcess burner(burnCpu);
  ChildProcess traffic(sendLoopbackTraffic);
  RunResult r = runProgram({TALLYSCOPE_BIN, "-X", "-A", "-i", "1", "-t", "5", "-q", "-f", dir.file("v")});
  ASSERT_EQ(r.status, 0) << r.err;

  Archive a = readCompleteArchive(dir.file("v.out"));
  ASSERT_EQ(a.sampleCount(), 5u);

  // The first sample has no interval behind it; every later one covers a second,
  // for the system and for each CPU.
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  auto system = a.select("Solaris_x86_System");
  auto perCpu = a.select("x86_CPU");
  ASSERT_EQ(system.size(), 5u);
  ASSERT_EQ(perCpu.size(), (size_t)(5 * cpus));
  std::vector<const ArchiveRecord*> covered(system.begin() + 1, system.end());
  covered.insert(covered.end(), perCpu.begin() + cpus, perCpu.end());
  int64_t busiest = 0;
  for (const ArchiveRecord* r : covered) {
    int64_t active = field(a, r, "PercentCpuActive");
    int64_t whole = active + field(a, r, "PercentCpuIdle") + field(a, r, "PercentCpuWaiting");
    EXPECT_GE(whole, 97) << r->text;
    EXPECT_LE(whole, 101) << r->text;
    if (r->typeId != system[0]->typeId) continue;
    EXPECT_EQ(active, field(a, r, "PercentCpuUser") + field(a, r, "PercentCpuSystem")) << r->text;
    busiest = std::max(busiest, active);
  }
  // One process spinning keeps at least one CPU busy.
  EXPECT_GE(busiest, 80 / cpus) << "a spinning process should show in the active share";

  // The loopback counters are running totals; at about 2000 datagrams a second
  // they must rise by thousands over the four seconds between first and last sample.
  auto lo = a.select("Network", "lo");
  if (lo.empty()) lo = a.select("ComplexNetwork", "lo");
  ASSERT_EQ(lo.size(), 5u);
  int64_t in = field(a, lo.back(), "InputPackets") - field(a, lo.front(), "InputPackets");
  int64_t out = field(a, lo.back(), "OutputPackets") - field(a, lo.front(), "OutputPackets");
  EXPECT_GE(in, 3000);
  EXPECT_GE(out, 3000);
}

}  // namespace
