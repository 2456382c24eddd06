// The archive on standard output, and the ways a run's output can fail or be
// cut: a reader that goes away, a full device, a message written while the
// archive streams, -r on one stream, and a second exit signal arriving while
// the first one's shutdown is still writing.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

const char kWriteFailed[] = "[Tally] Fatal Error. Unable to write to output file\n";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> command(std::vector<std::string> args) {
  args.insert(args.begin(), TALLYSCOPE_BIN);
  return args;
}

RunOptions options(int stdoutFd = -1) {
  RunOptions opts;
  opts.env = {"QL_CORE_TIME_OUT=1"};
  opts.stdoutFd = stdoutFd;
  return opts;
}

// A pipe whose ends the test closes when it chooses (both close-on-exec: the
// child gets the write end only as its standard output).
struct Pipe {
  int fds[2] = {-1, -1};
  explicit Pipe(int capacity = 0) {
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    if (capacity > 0) fcntl(fds[1], F_SETPIPE_SZ, capacity);
  }
  ~Pipe() {
    closeEnd(0);
    closeEnd(1);
  }
  int writeEnd() const { return fds[1]; }
  void closeEnd(int i) {
    if (fds[i] >= 0) close(fds[i]);
    fds[i] = -1;
  }
  // Reads until done(text) (without it: to the end of the stream); the bound
  // only keeps a broken monitor from hanging the test.
  bool readUntil(std::string& text, std::function<bool(const std::string&)> done = nullptr, int limitMs = 60000) {
    char chunk[65536];
    while (!done || !done(text)) {
      struct pollfd p = {fds[0], POLLIN, 0};
      if (poll(&p, 1, limitMs) <= 0) return false;
      ssize_t n = read(fds[0], chunk, sizeof chunk);
      if (n <= 0) return !done || done(text);
      text.append(chunk, (size_t)n);
    }
    return true;
  }
};

bool hasHeader(const std::string& bytes) { return !archiveOfBytes(bytes).headers.empty(); }

// The gzip members that end in data, one after the other (none in plain text).
int gzipMembers(const std::string& data) {
  int members = 0;
  z_stream z = {};
  inflateInit2(&z, 15 + 16);
  z.next_in = (Bytef*)data.data();
  z.avail_in = (uInt)data.size();
  char sink[65536];
  for (int rc = Z_OK; rc == Z_OK;) {
    z.next_out = (Bytef*)sink;
    z.avail_out = sizeof sink;
    if ((rc = inflate(&z, Z_NO_FLUSH)) == Z_STREAM_END && ++members && z.avail_in > 0) rc = inflateReset(&z);
  }
  inflateEnd(&z);
  return members;
}

// Every "[Error]" line names the cause given.
void expectErrorsName(const std::string& err, const std::vector<std::string>& causes) {
  int errors = 0;
  for (const std::string& line : splitLines(err)) {
    if (line.rfind("[Error]", 0) != 0) continue;
    errors++;
    bool named = false;
    for (const std::string& cause : causes) named = named || contains(line, cause);
    EXPECT_TRUE(named) << "an unrelated cause: " << line;
  }
  EXPECT_GE(errors, 1) << err;
}

// A tiny file system of its own, unmounted again however the test ends.
struct TinyTmpfs {
  std::string path;
  bool mounted = false;
  explicit TinyTmpfs(const std::string& where) : path(where) {
    mkdir(path.c_str(), 0755);
    mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~TinyTmpfs() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
  }
};

// A reader that goes away and a full device end the run with status 3; the
// report names the failed write's own cause, once: the exit path closes the
// stream without writing again. With gzip, zlib keeps a failure and fails every
// later call with it without writing again; the report must then not name
// whatever errno happens to hold by then.
TEST(StreamedArchive, AFailedWriteEndsTheRunReportedOnceWithItsOwnCause) {
  const std::vector<std::string> noSpace = {"errno=28,ENOSPC", "No space left on device"};
  for (bool full : {false, true}) {
    for (bool gzip : {false, true}) {
      SCOPED_TRACE(std::string(full ? "full device, " : "reader gone, ") + (gzip ? "gzip" : "plain"));
      Pipe pipe;
      const int sink = full ? open("/dev/full", O_WRONLY | O_CLOEXEC) : pipe.writeEnd();
      ASSERT_GE(sink, 0);
      std::vector<std::string> args{"-X", "-I", "50", "-u", "0", "-t", "40", "-q", "-f", "stdout"};
      if (gzip) args.push_back("-z");
      BackgroundProgram p(command(args), options(sink));
      if (full) {
        close(sink);
      } else {
        pipe.closeEnd(1);
        std::string got;
        ASSERT_TRUE(pipe.readUntil(got, hasHeader));
        pipe.closeEnd(0);  // the reader goes; the next sample's write meets the broken pipe
      }
      RunResult r = p.wait(60);
      EXPECT_EQ(r.status, 3) << r.err;
      const size_t first = r.err.find(kWriteFailed);
      EXPECT_NE(first, std::string::npos) << r.err;
      EXPECT_EQ(r.err.find(kWriteFailed, first + 1), std::string::npos) << r.err;
      expectErrorsName(r.err, full ? noSpace : std::vector<std::string>{"errno=32,EPIPE, Broken pipe"});
    }
  }

  TempDir dir;
  TinyTmpfs fs(dir.file("fs"));
  if (!fs.mounted) GTEST_SKIP() << "no tmpfs can be mounted here";
  for (bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip file" : "plain file");
    std::vector<std::string> args{"-X", "-A", "-I", "10", "-u", "0", "-q", "-f", fs.path + (gzip ? "/z" : "/p")};
    if (gzip) args.push_back("-z");
    RunResult r = runProgram(command(args), options());
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(contains(r.err, kWriteFailed)) << r.err;
    expectErrorsName(r.err, noSpace);
    unlink((fs.path + (gzip ? "/z.out.gz" : "/p.out")).c_str());
  }
}

// The fault notice goes to standard output by default; while the archive is
// streamed there, it goes to standard error and the stream stays whole.
TEST(StreamedArchive, MessagesForStandardOutputGoToStandardErrorWhileTheArchiveStreams) {
  for (bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    std::vector<std::string> args{"-X", "-I", "100", "-u", "0", "-q", "-f", "stdout"};
    if (gzip) args.push_back("-z");
    BackgroundProgram p(command(args), options());
    ASSERT_TRUE(waitUntil([&] { return archiveOfBytes(p.currentOut()).sampleCount() >= 1; }));
    p.sendSignal(SIGSEGV);
    RunResult r = p.wait(60);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(contains(r.err, "| Possible Internal Error: HostCoreDump invoked at ")) << r.err;
    EXPECT_EQ(gzipMembers(r.out), gzip ? 1 : 0);
    EXPECT_GE(completeArchiveOfBytes(r.out).sampleCount(), 1u);  // and nothing else in the stream
  }
}

// -r on standard output: the stream stays open, and each next "file" starts
// with its own header (with gzip: its own gzip member) on the same stream.
TEST(StreamedArchive, RestartsWriteEachFileWithItsOwnHeaderOnTheSameStream) {
  for (bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    std::vector<std::string> args{"-X", "-I", "50", "-t", "2", "-r", "-q", "-f", "stdout"};
    if (gzip) args.push_back("-z");
    BackgroundProgram p(command(args), options());
    ASSERT_TRUE(waitUntil([&] { return archiveOfBytes(p.currentOut()).headers.size() >= 4; }));
    p.sendSignal(SIGINT);
    RunResult r = p.wait(60);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.err, "[Error]")) << r.err;
    Archive a = completeArchiveOfBytes(r.out);  // nothing comes before the first header
    ASSERT_GE(a.headers.size(), 4u);
    EXPECT_EQ((size_t)gzipMembers(r.out), gzip ? a.headers.size() : 0) << "one gzip member per file";
    std::vector<Sample> samples = samplesOf(a);
    std::vector<size_t> samplesPerFile(a.headers.size());
    for (const Sample& sample : samples) samplesPerFile[sample.records.front()->header]++;
    EXPECT_GE(samplesPerFile.back(), 1u);
    samplesPerFile.pop_back();  // the last file is cut short by the interrupt
    EXPECT_EQ(samplesPerFile, std::vector<size_t>(a.headers.size() - 1, 2));
  }
}

// Processes that only sleep, listed with -Q so that one sample is larger than
// the pipe holds.
struct Sleepers {
  std::vector<std::unique_ptr<ChildProcess>> children;
  explicit Sleepers(int n) {
    for (int i = 0; i < n; i++) children.emplace_back(new ChildProcess(sleepForever));
  }
  std::string list() const {
    std::string text;
    for (const auto& child : children) text += (text.empty() ? "" : ",") + std::to_string(child->pid());
    return text;
  }
};

std::string procField(pid_t pid, const std::string& file, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field, 0) == 0) return line.substr(field.size());
  return "";
}

bool signalPending(pid_t pid, int sig) {
  for (const char* field : {"SigPnd:", "ShdPnd:"}) {
    std::string mask = procField(pid, "status", field);
    if (!mask.empty() && (std::stoull(mask, nullptr, 16) >> (sig - 1)) & 1) return true;
  }
  return false;
}

// The process is blocked in write(2) having taken the signal: that is, its
// handler is writing the archive.
bool handlerIsWriting(pid_t pid, int sig) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
  std::string number;
  return (in >> number) && number == "1" && !signalPending(pid, sig);
}

// The first exit signal's shutdown is held inside its write of a large buffer
// (the test does not read the pipe), the second signal arrives then, and only
// after that does the test read. Whatever the pair, the stream must end whole
// and the status follow the termination signal if there was one.
TEST(ExitSignals, ASecondExitSignalDuringTheShutdownWriteNeverCutsTheArchive) {
  Sleepers sleepers(48);
  struct Case {
    int first, second, status;
  } cases[] = {{SIGINT, SIGTERM, 5}, {SIGTERM, SIGINT, 5}, {SIGTERM, SIGTERM, 5}, {SIGINT, SIGINT, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.first)) + " then " + strsignal(c.second));
    Pipe pipe(4096);
    BackgroundProgram p(command({"-X", "-I", "200", "-u", "-1", "-q", "-f", "stdout", "-Q", sleepers.list()}),
                        options(pipe.writeEnd()));
    pipe.closeEnd(1);
    std::string got;
    ASSERT_TRUE(pipe.readUntil(got, hasHeader));  // samples stay buffered from here on
    p.sendSignal(c.first);
    ASSERT_TRUE(waitUntil([&] { return !p.running() || handlerIsWriting(p.pid(), c.first); }));
    p.sendSignal(c.second);
    waitUntil([&] { return !p.running() || signalPending(p.pid(), c.second); });
    pipe.readUntil(got);
    RunResult r = p.wait(60);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(contains(r.err, "SIGTERM, Software Termination Signal"), c.status == 5) << r.err;
    EXPECT_GT(got.size(), 4096u + got.find("\nENDHEADER\n\n")) << "the shutdown write did not outgrow the pipe";
    EXPECT_GE(completeArchiveOfBytes(got).sampleCount(), 1u) << "the last sample is whole";
  }
}

}  // namespace
