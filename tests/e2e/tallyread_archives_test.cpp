// tallyread over archives the monitor wrote: a listed process that writes a
// known number of bytes, and archives whose stamps count samples.
#ifdef TALLYREAD_BIN

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

RunResult tallyread(std::vector<std::string> args) {
  args.insert(args.begin(), TALLYREAD_BIN);
  return runProgram(args);
}

// A child that writes BYTES bytes to /dev/null when told (a byte on `go`),
// says so (a byte on `done`) and then sleeps; killed and reaped by the handle.
struct Writer {
  static constexpr size_t BYTES = 3000000;
  pid_t pid = -1;
  int go[2], done[2];
  Writer() {
    if (pipe(go) != 0 || pipe(done) != 0) return;
    pid = fork();
    if (pid == 0) {
      prctl(PR_SET_NAME, "trwriter");
      char c;
      if (read(go[0], &c, 1) != 1) _exit(1);
      std::string block(BYTES, 'x');
      FILE* sink = fopen("/dev/null", "w");
      setvbuf(sink, nullptr, _IONBF, 0);
      if (!sink || fwrite(block.data(), 1, BYTES, sink) != BYTES) _exit(1);
      if (write(done[1], "d", 1) != 1) _exit(1);
      for (;;) pause();
    }
  }
  ~Writer() {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    for (int fd : {go[0], go[1], done[0], done[1]}) close(fd);
  }
  bool writeNow() {
    char c;
    return write(go[1], "g", 1) == 1 && read(done[0], &c, 1) == 1;
  }
};

// The bytes a process wrote are what its CharacterIO rates add up to over
// the real time between its records, and top finds it.
TEST(TallyReadArchives, AListedProcessThatWritesKnownBytes) {
  TempDir dir;
  Writer writer;
  ASSERT_GT(writer.pid, 0);
  const std::string archive = dir.file("p.out");
  BackgroundProgram monitor({TALLYSCOPE_BIN, "-X", "-q", "-i", "1", "-u", "0", "-Q",
                             std::to_string(writer.pid) + "," + std::to_string(getpid()), "-f", dir.file("p")});
  auto records = [&] { return readArchive(archive).select("Solaris_Process", "trwriter").size(); };
  ASSERT_TRUE(waitUntil([&] { return records() >= 1; }));
  ASSERT_TRUE(writer.writeNow());
  size_t before = records();
  ASSERT_TRUE(waitUntil([&] { return records() >= before + 2; }));  // one sample surely after the write
  monitor.sendSignal(SIGINT);
  EXPECT_EQ(monitor.wait().status, 0);

  Archive a = readCompleteArchive(archive);
  std::vector<const ArchiveRecord*> raw = a.select("Solaris_Process", "trwriter");
  ASSERT_GE(raw.size(), 3u);
  // The block, and the byte read from `go` and written to `done` around it.
  const size_t moved = Writer::BYTES + 2;
  EXPECT_EQ(*a.fieldUInt(*raw.back(), "CharacterIO") - *a.fieldUInt(*raw.front(), "CharacterIO"), moved);

  // Rate times interval, summed over the run, gives the bytes back.
  RunResult rates = tallyread({"csv", archive, "--type", "Solaris_Process", "--instance", "trwriter", "--fields",
                               "CharacterIO", "--rate"});
  ASSERT_EQ(rates.status, 0) << rates.err;
  std::vector<std::string> lines = splitLines(rates.out);
  double bytes = 0;
  for (size_t i = 2; i < lines.size(); i++) {
    double seconds = std::stod(lines[i]) - std::stod(lines[i - 1]);
    bytes += std::stod(lines[i].substr(lines[i].rfind(',') + 1)) * seconds;
  }
  EXPECT_NEAR(bytes, (double)moved, 1.0);
  EXPECT_EQ(lines[1].substr(lines[1].rfind(',')), ",");  // the first record has no rate

  RunResult top = tallyread({"top", archive, "--type", "Solaris_Process", "--field", "CharacterIO", "--by", "max"});
  ASSERT_EQ(top.status, 0) << top.err;
  std::vector<std::string> ranked = splitLines(top.out);
  ASSERT_EQ(ranked.size(), 3u) << top.out;  // the column titles, the writer, this test
  EXPECT_NE(ranked[1].find("trwriter[" + std::to_string(writer.pid) + "]"), std::string::npos) << top.out;
  EXPECT_NE(ranked[1].find("bytes/s"), std::string::npos) << top.out;
}

// A host archive taken every 100 ms counts samples in its stamps: tallyread
// says so for the file, a copy written now and standard input alike, and not
// once the interval is given nor for an archive taken every second.
TEST(TallyReadArchives, SubSecondStampsAreNamedAsSampleCountsWhereverTheArchiveComes) {
  TempDir dir;
  RunResult sub = runProgram({TALLYSCOPE_BIN, "-X", "-q", "-I", "100", "-t", "12", "-u", "0", "-f", dir.file("sub")});
  ASSERT_EQ(sub.status, 0) << sub.err;
  RunResult second = runProgram({TALLYSCOPE_BIN, "-X", "-q", "-i", "1", "-t", "4", "-u", "0", "-f", dir.file("one")});
  ASSERT_EQ(second.status, 0) << second.err;
  writeFileText(dir.file("copy.out"), readFileText(dir.file("sub.out")));

  const std::string said = "the time stamps count samples";
  for (const std::string& path : {dir.file("sub.out"), dir.file("copy.out")}) {
    RunResult csv = tallyread({"csv", path, "--type", "Tally"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_NE(csv.err.find(path + ": " + said), std::string::npos) << csv.err;
    EXPECT_NE(csv.err.find("give --interval-ms"), std::string::npos) << csv.err;
    EXPECT_EQ(tallyread({"summary", path, "--interval-ms", "100"}).err, "");
  }
  RunResult piped = runProgram({"/bin/sh", "-c", "cat '" + dir.file("copy.out") + "' | " TALLYREAD_BIN " json -"});
  EXPECT_NE(piped.err.find("-: " + said), std::string::npos) << piped.err;
  EXPECT_EQ(tallyread({"summary", dir.file("one.out")}).err, "");
}

}  // namespace

#endif
