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
  expectCompleteArchive(dir.file("h.out"));
  Archive a = parseArchive(archiveText(dir.file("h.out")));
  ASSERT_EQ(a.samples.size(), 5u);
  for (size_t i = 0; i < a.samples.size(); i++) {
    EXPECT_TRUE(i == 0 || a.samples[i].time > a.samples[i - 1].time) << "stamps grow";
    // system, CPU, disk, network, TCP, memory pages, and the monitor's own record
    for (unsigned type : {64u, 128u, 256u, 1024u, 4096u, 8192u})
      EXPECT_GE(a.samples[i].types.count(type), 1u) << "type " << type << " in sample " << i;
    EXPECT_EQ(a.samples[i].types.count(16u), 1u) << i;
  }
}

TEST_F(HostOnlyRun, RestartsWriteNumberedFilesEachWithItsOwnHeader) {
  BackgroundProgram p(command({"-X", "-I", "100", "-t", "3", "-r", "-f", dir.file("h")}), options());
  ASSERT_TRUE(waitUntil([&] { return samplesIn(dir.file("h-3.out")) >= 1; }));
  p.sendSignal(SIGINT);
  RunResult r = p.wait(30);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"h-1.out", "h-2.out", "h-3.out"}) expectCompleteArchive(dir.file(name));
  EXPECT_EQ(samplesIn(dir.file("h-1.out")), 3u);
  EXPECT_EQ(samplesIn(dir.file("h-2.out")), 3u);
  EXPECT_NE(r.err.find("  Output file is:     " + dir.file("h-2.out") + "\n"), std::string::npos) << r.err;
  // Stamps run on across files: the next file's first sample follows at once.
  Archive one = parseArchive(archiveText(dir.file("h-1.out")));
  Archive two = parseArchive(archiveText(dir.file("h-2.out")));
  ASSERT_FALSE(one.samples.empty() || two.samples.empty());
  EXPECT_EQ(two.samples.front().time, one.samples.back().time + 1);
}

// Under -r the 1023-character limit holds for each name as it is made: a base
// name that fits with "-1" to "-9" writes those nine files whole, and the run
// ends when the tenth name would be one character too long.
TEST_F(HostOnlyRun, RestartNamesAreCheckedWithTheFileNumberActuallyUsed) {
  auto baseOfLength = [&](const std::string& top, size_t length) {
    std::string path = top;
    while (length - path.size() > 201) {  // components stay below NAME_MAX
      path += "/" + std::string(200, 'd');
      mkdir(path.c_str(), 0755);
    }
    return path + "/" + std::string(length - path.size() - 1, 'n');
  };
  const std::string base = baseOfLength(dir.path(), 1023 - strlen("-1.out"));
  RunResult r = run({"-X", "-I", "10", "-t", "1", "-r", "-q", "-f", base});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("[Tally] Fatal Error. Output file name is longer than 1023 characters\n"), std::string::npos)
      << r.err;
  for (int n = 1; n <= 9; n++) {
    const std::string path = base + "-" + std::to_string(n) + ".out";
    ASSERT_EQ(path.size(), 1023u);
    expectCompleteArchive(path);
    EXPECT_EQ(samplesIn(path), 1u) << n;
  }
  EXPECT_NE(access((base + "-10.out").c_str(), F_OK), 0);

  mkdir(dir.file("long").c_str(), 0755);
  const std::string tooLong = baseOfLength(dir.file("long"), 1024 - strlen("-1.out"));
  r = run({"-X", "-I", "10", "-t", "1", "-r", "-q", "-f", tooLong});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("Output file name is longer than 1023 characters"), std::string::npos) << r.err;
  EXPECT_NE(access((tooLong + "-1.out").c_str(), F_OK), 0);
}

TEST_F(HostOnlyRun, GzipFilesAndStandardOutputTakeTheArchive) {
  RunResult r = run({"-X", "-A", "-I", "200", "-t", "4", "-z", "-f", dir.file("h")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string data = readFileText(dir.file("h.out.gz"));
  ASSERT_GE(data.size(), 2u);
  EXPECT_EQ(data.substr(0, 2), "\x1f\x8b");
  expectCompleteArchive(dir.file("h.out.gz"));
  EXPECT_EQ(samplesIn(dir.file("h.out.gz")), 4u);

  // "stdout" in any case; sub-second stamps count on from the starting second.
  time_t before = time(nullptr);
  RunResult plain = run({"-X", "-I", "100", "-t", "6", "-f", "StdOut"});
  time_t after = time(nullptr);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.err.find("  Output file is:     stdout\n"), std::string::npos) << plain.err;
  writeFileText(dir.file("plain.txt"), plain.out);
  expectCompleteArchive(dir.file("plain.txt"));
  Archive a = parseArchive(plain.out);
  ASSERT_EQ(a.samples.size(), 6u);
  EXPECT_GE(a.samples[0].time, (uint32_t)before + 1);
  EXPECT_LE(a.samples[0].time, (uint32_t)after + 1);
  for (size_t i = 1; i < a.samples.size(); i++) EXPECT_EQ(a.samples[i].time, a.samples[0].time + i);
  // No file named after "stdout" was made, and the missing-file check never ran.
  EXPECT_EQ(filesInDir(), (std::set<std::string>{"h.out.gz", "plain.txt"}));
  EXPECT_EQ(plain.err.find("missing"), std::string::npos);
}

TEST_F(HostOnlyRun, FlushPolicyDecidesWhenSamplesReachTheFile) {
  // -u 0: every sample reaches the file while the monitor runs. Default: the first
  // sample at once, then nothing until 60 s of stamps have passed. -u -1: only the
  // header until the file is closed.
  struct Case {
    std::vector<std::string> flags;
    size_t seenWhileRunning;
    bool staysThere;
  } cases[] = {{{"-u", "0"}, 3, false}, {{}, 1, true}, {{"-u", "-1"}, 0, true}};
  int n = 0;
  for (const Case& c : cases) {
    std::string path = dir.file("f" + std::to_string(n++));
    std::vector<std::string> args{"-X", "-i", "1", "-f", path};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    BackgroundProgram p(command(args), options());
    EXPECT_TRUE(waitUntil([&] {
      return parseArchive(archiveText(path + ".out")).hasHeader && samplesIn(path + ".out") >= c.seenWhileRunning;
    })) << path;
    if (c.staysThere) {
      sleepMs(2500);
      EXPECT_EQ(samplesIn(path + ".out"), c.seenWhileRunning) << path;
    }
    p.sendSignal(SIGINT);
    EXPECT_EQ(p.wait(30).status, 0);
    EXPECT_GT(samplesIn(path + ".out"), c.staysThere ? c.seenWhileRunning : 0) << "the rest came with the close";
    expectCompleteArchive(path + ".out");
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
  expectCompleteArchive(dir.file("d.out"));
}

TEST_F(HostOnlyRun, InterruptAndTerminationLeaveACompleteArchive) {
  // With -i 1 the later samples wait in the buffer and must not be lost; with
  // -I 10 -u 0 the signal often lands inside a sample or its flush, which must
  // then be in the file whole or not at all.
  struct Case {
    int sig, status;
    std::vector<std::string> pace;
  } cases[] = {{SIGINT, 0, {"-i", "1"}},
               {SIGTERM, 5, {"-i", "1"}},
               {SIGINT, 0, {"-I", "10", "-u", "0"}},
               {SIGTERM, 5, {"-I", "10", "-u", "0"}}};
  int n = 0;
  for (const Case& c : cases) {
    std::string base = dir.file("s" + std::to_string(n++)), path = base + ".out";
    std::vector<std::string> args{"-X", "-A", "-q", "-f", base};
    args.insert(args.end(), c.pace.begin(), c.pace.end());
    BackgroundProgram p(command(args), options());
    ASSERT_TRUE(waitUntil([&] { return samplesIn(path) >= 1; }));
    sleepMs(1500);
    p.sendSignal(c.sig);
    RunResult r = p.wait(30);
    EXPECT_EQ(r.status, c.status) << strsignal(c.sig) << " " << r.err;
    EXPECT_EQ(r.err.find("SIGTERM, Software Termination Signal") != std::string::npos, c.sig == SIGTERM) << r.err;
    expectCompleteArchive(path);
    EXPECT_GE(samplesIn(path), 2u) << "buffered samples were lost";
  }
}

}  // namespace
