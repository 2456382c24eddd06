// Host-only runs as a user makes them: the archive file and its name, the
// per-file limits and -r, gzip and standard output, the flush policy, a file
// deleted under a running monitor, a second run on the same name, and the
// archive left behind by an interrupt or a termination request.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/runprocess.h"

namespace {

const char* const HEADER_END = "\nENDHEADER\n\n";

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < line.size()) {
    size_t space = line.find(' ', at);
    if (space == std::string::npos) space = line.size();
    out.push_back(line.substr(at, space - at));
    at = space + 1;
  }
  return out;
}

// Whole gzip members and partly written ones (after a partial flush) alike.
std::string gunzipText(const std::string& data) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 32) != Z_OK) return "";
  std::string out;
  z.next_in = (Bytef*)data.data();
  z.avail_in = (uInt)data.size();
  char chunk[65536];
  int rc;
  do {
    z.next_out = (Bytef*)chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - z.avail_out);
  } while (rc == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
  inflateEnd(&z);
  return out;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string archiveText(const std::string& path) {
  if (!exists(path)) return "";
  std::string data = readFileText(path);
  return path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0 ? gunzipText(data) : data;
}

// The archive's records, split into samples by time stamp. Only complete
// lines count: a file read while the monitor writes may end in a partial one.
struct Records {
  bool hasHeader = false;
  std::vector<std::vector<std::string>> lines;
  std::vector<uint32_t> sampleTimes;
  std::vector<size_t> sampleSizes;  // records per sample
};

Records parseRecords(const std::string& text) {
  Records r;
  size_t end = text.find(HEADER_END);
  if (end == std::string::npos) return r;
  r.hasHeader = text.rfind("TALLY ", 0) == 0;
  size_t at = end + strlen(HEADER_END);
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) break;
    std::vector<std::string> w = words(text.substr(at, nl - at));
    at = nl + 1;
    if (w.size() < 3) continue;
    uint32_t time = (uint32_t)std::stoul(w[1]);
    if (r.sampleTimes.empty() || r.sampleTimes.back() != time) {
      r.sampleTimes.push_back(time);
      r.sampleSizes.push_back(0);
    }
    r.sampleSizes.back()++;
    r.lines.push_back(w);
  }
  return r;
}

size_t samplesIn(const std::string& path) { return parseRecords(archiveText(path)).sampleTimes.size(); }

bool waitFor(const std::function<bool()>& done, double seconds = 30) {
  for (int waited = 0; waited < seconds * 1000; waited += 50) {
    if (done()) return true;
    sleepMs(50);
  }
  return done();
}

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
    opts.timeoutSec = 90;
    return opts;
  }
  RunResult run(std::vector<std::string> args) { return runProgram(command(args), options()); }

  // Accepted by the project's reader: header and every record well formed.
  void expectArchiveChecks(const std::string& path) {
#ifdef TALLYREAD_BIN
    RunResult check = runProgram({TALLYREAD_BIN, "check", path});
    EXPECT_EQ(check.status, 0) << path << "\n" << check.err;
#endif
    std::string text = archiveText(path);
    ASSERT_FALSE(text.empty()) << path;
    EXPECT_EQ(text.back(), '\n') << path << ": the last line is cut";
    EXPECT_TRUE(parseRecords(text).hasHeader) << path;
  }

  // Every sample of a run has the same records; a cut-off last sample has fewer.
  void expectWholeSamples(const std::string& path) {
    Records r = parseRecords(archiveText(path));
    ASSERT_FALSE(r.sampleSizes.empty()) << path;
    for (size_t i = 1; i < r.sampleSizes.size(); i++)
      EXPECT_EQ(r.sampleSizes[i], r.sampleSizes[0]) << path << " sample " << i + 1;
  }

  std::set<std::string> filesInDir() {
    std::set<std::string> names;
    RunResult ls = runProgram({"/bin/ls", "-A", dir.path()});
    for (const std::string& n : splitLines(ls.out))
      if (!n.empty()) names.insert(n);
    return names;
  }

  TempDir dir;
};

TEST_F(HostOnlyRun, FiveSamplesMakeOneCheckedArchiveNamedAfterTheBase) {
  RunResult r = run({"-X", "-A", "-i", "1", "-t", "5", "-f", dir.file("h")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("  Output file is:     " + dir.file("h.out") + "\n"), std::string::npos) << r.err;
  EXPECT_EQ(filesInDir(), (std::set<std::string>{"h.out"}));
  expectArchiveChecks(dir.file("h.out"));
  expectWholeSamples(dir.file("h.out"));
  Records rec = parseRecords(archiveText(dir.file("h.out")));
  ASSERT_EQ(rec.sampleTimes.size(), 5u);
  for (size_t i = 1; i < rec.sampleTimes.size(); i++) EXPECT_GT(rec.sampleTimes[i], rec.sampleTimes[i - 1]);
  EXPECT_EQ(r.err.find("Tally is detaching"), std::string::npos);  // nothing attached in host-only mode
}

TEST_F(HostOnlyRun, DefaultNameIsTallyAndTheProcessId) {
  BackgroundProgram p(command({"-X", "-q", "-I", "100", "-t", "2"}), options());
  RunResult r = p.wait(60);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // quiet: nothing on a good run
  std::string name = "tally" + std::to_string(p.pid()) + ".out";
  EXPECT_EQ(filesInDir(), (std::set<std::string>{name}));
  EXPECT_EQ(samplesIn(dir.file(name)), 2u);
}

TEST_F(HostOnlyRun, SampleAndHourLimitsEndTheRunWhicheverComesFirst) {
  RunResult r = run({"-X", "-I", "100", "-h", "1", "-t", "3", "-f", dir.file("h")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("  Number of samples:  3\n  Number of hours:  1\n"), std::string::npos) << r.err;
  EXPECT_EQ(samplesIn(dir.file("h.out")), 3u);
}

TEST_F(HostOnlyRun, SubSecondStampsAreConsecutiveFromTheStartingSecond) {
  time_t before = time(nullptr);
  RunResult r = run({"-X", "-I", "100", "-t", "6", "-f", dir.file("h")});
  time_t after = time(nullptr);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("     WARNING: Sample Interval < 1 second\n"), std::string::npos) << r.err;
  Records rec = parseRecords(archiveText(dir.file("h.out")));
  ASSERT_EQ(rec.sampleTimes.size(), 6u);
  EXPECT_GE(rec.sampleTimes[0], (uint32_t)before + 1);
  EXPECT_LE(rec.sampleTimes[0], (uint32_t)after + 1);
  for (size_t i = 1; i < rec.sampleTimes.size(); i++) EXPECT_EQ(rec.sampleTimes[i], rec.sampleTimes[0] + i);
}

TEST_F(HostOnlyRun, RestartsWriteNumberedFilesEachWithItsOwnHeader) {
  BackgroundProgram p(command({"-X", "-I", "100", "-t", "3", "-r", "-f", dir.file("h")}), options());
  ASSERT_TRUE(waitFor([&] { return samplesIn(dir.file("h-3.out")) >= 1; }));
  p.sendSignal(SIGINT);
  RunResult r = p.wait(30);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"h-1.out", "h-2.out"}) {
    expectArchiveChecks(dir.file(name));
    EXPECT_EQ(samplesIn(dir.file(name)), 3u) << name;
  }
  expectArchiveChecks(dir.file("h-3.out"));
  EXPECT_NE(r.err.find("  Output file is:     " + dir.file("h-1.out") + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("  Output file is:     " + dir.file("h-2.out") + "\n"), std::string::npos) << r.err;
  // Stamps run on across files: the next file's first sample follows at once.
  Records one = parseRecords(archiveText(dir.file("h-1.out")));
  Records two = parseRecords(archiveText(dir.file("h-2.out")));
  ASSERT_FALSE(one.sampleTimes.empty());
  ASSERT_FALSE(two.sampleTimes.empty());
  EXPECT_EQ(two.sampleTimes.front(), one.sampleTimes.back() + 1);
}

TEST_F(HostOnlyRun, CompressedOutputIsValidGzip) {
  RunResult r = run({"-X", "-A", "-I", "200", "-t", "4", "-z", "-f", dir.file("h")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(filesInDir(), (std::set<std::string>{"h.out.gz"}));
  std::string data = readFileText(dir.file("h.out.gz"));
  ASSERT_GE(data.size(), 2u);
  EXPECT_EQ((unsigned char)data[0], 0x1f);
  EXPECT_EQ((unsigned char)data[1], 0x8b);
  expectArchiveChecks(dir.file("h.out.gz"));
  EXPECT_EQ(samplesIn(dir.file("h.out.gz")), 4u);
}

TEST_F(HostOnlyRun, StdoutInAnyCaseTakesTheArchivePlainOrCompressed) {
  RunResult plain = run({"-X", "-I", "100", "-t", "3", "-f", "StdOut"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.err.find("  Output file is:     stdout\n"), std::string::npos) << plain.err;
  writeFileText(dir.file("plain.txt"), plain.out);
  expectArchiveChecks(dir.file("plain.txt"));
  EXPECT_EQ(samplesIn(dir.file("plain.txt")), 3u);

  RunResult packed = run({"-X", "-I", "100", "-t", "3", "-z", "-f", "STDOUT"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  writeFileText(dir.file("packed.gz"), packed.out);
  expectArchiveChecks(dir.file("packed.gz"));
  EXPECT_EQ(samplesIn(dir.file("packed.gz")), 3u);
  // No file named after "stdout" was made, and the missing-file check never ran.
  EXPECT_EQ(filesInDir(), (std::set<std::string>{"plain.txt", "packed.gz"}));
  EXPECT_EQ(packed.err.find("missing"), std::string::npos);
}

TEST_F(HostOnlyRun, FlushPolicyDecidesWhenSamplesReachTheFile) {
  // -u 0: every sample is in the file while the monitor runs.
  {
    BackgroundProgram p(command({"-X", "-i", "1", "-u", "0", "-f", dir.file("every")}), options());
    EXPECT_TRUE(waitFor([&] { return samplesIn(dir.file("every.out")) >= 3; }));
    p.sendSignal(SIGINT);
    EXPECT_EQ(p.wait(30).status, 0);
  }
  // Default: the first sample at once, then nothing until 60 s of stamps have passed.
  {
    BackgroundProgram p(command({"-X", "-i", "1", "-f", dir.file("default")}), options());
    ASSERT_TRUE(waitFor([&] { return samplesIn(dir.file("default.out")) >= 1; }));
    sleepMs(2500);
    EXPECT_EQ(samplesIn(dir.file("default.out")), 1u);
    p.sendSignal(SIGINT);
    EXPECT_EQ(p.wait(30).status, 0);
    EXPECT_GE(samplesIn(dir.file("default.out")), 2u);  // the rest came with the close
    expectArchiveChecks(dir.file("default.out"));
  }
  // -u -1: only the header until the file is closed.
  {
    BackgroundProgram p(command({"-X", "-i", "1", "-u", "-1", "-f", dir.file("never")}), options());
    ASSERT_TRUE(waitFor([&] { return parseRecords(archiveText(dir.file("never.out"))).hasHeader; }));
    sleepMs(2500);
    EXPECT_EQ(samplesIn(dir.file("never.out")), 0u);
    p.sendSignal(SIGINT);
    EXPECT_EQ(p.wait(30).status, 0);
    EXPECT_GE(samplesIn(dir.file("never.out")), 1u);
    expectArchiveChecks(dir.file("never.out"));
  }
}

TEST_F(HostOnlyRun, ASecondRunOnTheSameNameIsRefusedAndLeavesTheFirstFileAlone) {
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
}

TEST_F(HostOnlyRun, ADeletedFileIsRecreatedWithAHeaderAndTheRunGoesOn) {
  BackgroundProgram p(command({"-X", "-I", "200", "-u", "0", "-f", dir.file("h")}), options());
  ASSERT_TRUE(waitFor([&] { return samplesIn(dir.file("h.out")) >= 1; }));
  ASSERT_EQ(unlink(dir.file("h.out").c_str()), 0);
  ASSERT_TRUE(waitFor([&] { return samplesIn(dir.file("h.out")) >= 2; }));
  p.sendSignal(SIGINT);
  RunResult r = p.wait(30);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("[Tally] The output file is missing. Creating new output file.\n"), std::string::npos)
      << r.err;
  expectArchiveChecks(dir.file("h.out"));

  // Under -r the replacement takes the next number.
  BackgroundProgram q(command({"-X", "-I", "200", "-u", "0", "-r", "-t", "1000", "-f", dir.file("r")}), options());
  ASSERT_TRUE(waitFor([&] { return samplesIn(dir.file("r-1.out")) >= 1; }));
  ASSERT_EQ(unlink(dir.file("r-1.out").c_str()), 0);
  ASSERT_TRUE(waitFor([&] { return samplesIn(dir.file("r-2.out")) >= 1; }));
  q.sendSignal(SIGINT);
  EXPECT_EQ(q.wait(30).status, 0);
  EXPECT_FALSE(exists(dir.file("r-1.out")));
  expectArchiveChecks(dir.file("r-2.out"));
}

TEST_F(HostOnlyRun, InterruptAndTerminationLeaveACompleteArchive) {
  struct Case {
    int sig;
    int status;
  } cases[] = {{SIGINT, 0}, {SIGTERM, 5}};
  int n = 0;
  for (const Case& c : cases) {
    std::string base = dir.file("s" + std::to_string(n++));
    BackgroundProgram p(command({"-X", "-A", "-q", "-i", "1", "-f", base}), options());
    // The first sample is flushed at once; the later ones wait in the buffer.
    ASSERT_TRUE(waitFor([&] { return samplesIn(base + ".out") >= 1; }));
    sleepMs(1500);
    p.sendSignal(c.sig);
    RunResult r = p.wait(30);
    EXPECT_EQ(r.status, c.status) << strsignal(c.sig) << " " << r.err;
    if (c.sig == SIGTERM) {
      EXPECT_NE(r.err.find("SIGTERM, Software Termination Signal"), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.err.find("Tally is detaching"), std::string::npos);
    expectArchiveChecks(base + ".out");
    expectWholeSamples(base + ".out");
    EXPECT_GE(samplesIn(base + ".out"), 2u) << "buffered samples were lost";
  }
}

TEST_F(HostOnlyRun, SignalsLandingWhileSamplingNeverCutASample) {
  // Sampling and flushing most of the time: the signals often arrive inside a
  // sample, whose records must then all be in the file or none of them.
  for (int i = 0; i < 8; i++) {
    int sig = i % 2 ? SIGTERM : SIGINT;
    std::string base = dir.file("f" + std::to_string(i));
    BackgroundProgram p(command({"-X", "-A", "-q", "-I", "10", "-u", "0", "-f", base}), options());
    ASSERT_TRUE(waitFor([&] { return samplesIn(base + ".out") >= 1; }));
    sleepMs(60 + 23 * i);
    p.sendSignal(sig);
    RunResult r = p.wait(30);
    EXPECT_EQ(r.status, sig == SIGTERM ? 5 : 0) << r.err;
    expectArchiveChecks(base + ".out");
    expectWholeSamples(base + ".out");
  }
}

TEST_F(HostOnlyRun, AnInterruptIgnoredAtStartChangesNothing) {
  RunOptions opts = options();
  opts.ignoreSigint = true;
  BackgroundProgram p(command({"-X", "-q", "-I", "100", "-t", "20", "-u", "0", "-f", dir.file("h")}), opts);
  ASSERT_TRUE(waitFor([&] { return samplesIn(dir.file("h.out")) >= 1; }));
  p.sendSignal(SIGINT);
  RunResult r = p.wait(60);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(samplesIn(dir.file("h.out")), 20u);
}

}  // namespace
