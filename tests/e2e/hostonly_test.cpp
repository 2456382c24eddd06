// Host-only runs as a user makes them: the archive and its name, what every
// sample holds, -r, gzip and standard output, the flush policy, a file deleted
// under a running monitor, a second run on the same name, and the archive left
// behind by an interrupt or a termination request.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

// Under -r the 1023-character limit holds for each name as it is made: a base
// name that fits with "-1" to "-9" writes those nine files whole, and the run
// ends when the tenth name would be one character too long.
TEST_F(HostOnlyRun, RestartNamesAreCheckedWithTheFileNumberActuallyUsed) {
  std::string base = dir.path();
  const size_t length = 1023 - strlen("-1.out");
  while (length - base.size() > 201) {  // components stay below NAME_MAX
    base += "/" + std::string(200, 'd');
    mkdir(base.c_str(), 0755);
  }
  base += "/" + std::string(length - base.size() - 1, 'n');
  RunResult r = run({"-X", "-I", "10", "-t", "1", "-r", "-q", "-f", base});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("[Tally] Fatal Error. Output file name is longer than 1023 characters\n"), std::string::npos)
      << r.err;
  for (int n = 1; n <= 9; n++) {
    const std::string path = base + "-" + std::to_string(n) + ".out";
    ASSERT_EQ(path.size(), 1023u);
    EXPECT_EQ(readCompleteArchive(path).sampleCount(), 1u) << n;
  }
  EXPECT_NE(access((base + "-10.out").c_str(), F_OK), 0);
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

TEST_F(HostOnlyRun, ASecondRunOnTheSameNameIsRefusedAndADeletedFileIsRecreated) {
  RunResult first = run({"-X", "-I", "100", "-t", "2", "-f", dir.file("h")});
  ASSERT_EQ(first.status, 0) << first.err;
  std::string kept = readFileText(dir.file("h.out"));
  RunResult second = run({"-X", "-I", "100", "-t", "2", "-f", dir.file("h")});
  EXPECT_EQ(second.status, 3);
  EXPECT_NE(second.err.find("[Error] errno=17,EEXIST, The file already exists\n"
                            "[Tally] Fatal Error. Error opening output file\n"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(readFileText(dir.file("h.out")), kept);

  BackgroundProgram p(command({"-X", "-I", "200", "-u", "0", "-f", dir.file("d")}), options());
  ASSERT_TRUE(waitUntil([&] { return samplesIn(dir.file("d.out")) >= 1; }));
  ASSERT_EQ(unlink(dir.file("d.out").c_str()), 0);
  ASSERT_TRUE(waitUntil([&] { return samplesIn(dir.file("d.out")) >= 2; }));
  p.sendSignal(SIGINT);
  RunResult r = p.wait(30);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("[Tally] The output file is missing. Creating new output file.\n"), std::string::npos)
      << r.err;
  readCompleteArchive(dir.file("d.out"));
}

TEST_F(HostOnlyRun, InterruptAndTerminationLeaveACompleteArchive) {
  // With -i 1 the later samples wait in the buffer and must not be lost; with
  // -I 10 -u 0 the signal often lands inside a sample or its flush, which must
  // then be in the file whole or not at all.
  struct Case {
    int sig, status;
    bool buffered;
  } cases[] = {{SIGINT, 0, true}, {SIGTERM, 5, true}, {SIGINT, 0, false}, {SIGTERM, 5, false}};
  int n = 0;
  for (const Case& c : cases) {
    std::string base = dir.file("s" + std::to_string(n++)), path = base + ".out";
    std::vector<std::string> args{"-X", "-A", "-q", "-f", base, "-i", "1"};
    if (!c.buffered) args = {"-X", "-A", "-q", "-f", base, "-I", "10", "-u", "0"};
    const time_t started = time(nullptr);
    BackgroundProgram p(command(args), options());
    // Two samples taken: in the file, or by the clock while the file holds the first.
    ASSERT_TRUE(waitUntil([&] {
      size_t seen = samplesIn(path);
      return seen >= 2 || (c.buffered && seen == 1 && time(nullptr) >= started + 2);
    }));
    p.sendSignal(c.sig);
    RunResult r = p.wait(30);
    EXPECT_EQ(r.status, c.status) << strsignal(c.sig) << " " << r.err;
    EXPECT_EQ(r.err.find("SIGTERM, Software Termination Signal") != std::string::npos, c.sig == SIGTERM) << r.err;
    EXPECT_GE(readCompleteArchive(path).sampleCount(), 2u) << "buffered samples were lost";
  }
}

}  // namespace
