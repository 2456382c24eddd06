#include "monitor/tallyoutput.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "support/runprocess.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

int exitStatus = -1;
int headersWritten = 0;

void recordExit(int status) { exitStatus = status; }

void append(HostStatWriter* w, const std::string& text) {
  ASSERT_LT(text.size(), (size_t)(w->bufLimit - w->bufPtr));
  memcpy(w->bufPtr, text.data(), text.size());
  w->bufPtr += text.size();
  *w->bufPtr = '\0';
}

// What the writer does at a flush point: hand the buffered text over, empty
// the buffer, then flush the stream.
void handOver(TallyMgr* m) {
  HostStatWriter* w = m->statWriter;
  if (w->bufPtr > w->buffer) m->writeToFile(w->buffer, (size_t)(w->bufPtr - w->buffer));
  w->bufPtr = w->buffer;
  *w->bufPtr = '\0';
  m->flushOutFile();
}

// Stands in for the archive header: numbered, so a test can tell which
// opening wrote it, and handed over through the writer's buffer as the real one.
void numberedHeader(TallyMgr* m) {
  headersWritten++;
  append(m->statWriter, "HEADER " + std::to_string(headersWritten) + "\n");
  handOver(m);
}

std::string gunzipFile(const std::string& path) {
  gzFile in = gzopen(path.c_str(), "rb");
  if (!in) return "<cannot open>";
  std::string text;
  char chunk[4096];
  int n;
  while ((n = gzread(in, chunk, sizeof chunk)) > 0) text.append(chunk, (size_t)n);
  gzclose(in);
  return text;
}

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mgr = std::make_unique<TallyMgr>();
    writer = std::make_unique<HostStatWriter>();
    storage.assign(64 * 1024, '\0');
    writer->rawBuffer = writer->buffer = writer->bufPtr = storage.data();
    writer->bufferSize = storage.size();
    writer->bufLimit = writer->buffer + storage.size();
    writer->mgr = mgr.get();
    mgr->statWriter = writer.get();
    UtlExitInit();
    UtlExitSetTestHook(recordExit);
    TallySetHeaderWriterForTest(numberedHeader);
    exitStatus = -1;
    headersWritten = 0;
    base = dir.file("h");
    setBaseName(base);
  }
  void TearDown() override {
    if (mgr->outFile && mgr->outFile != stdout) {
      if (mgr->isCompressed) {
        gzclose((gzFile)mgr->outFile);
      } else {
        fclose((FILE*)mgr->outFile);
      }
    }
    TallySetHeaderWriterForTest(nullptr);
    UtlExitSetTestHook(nullptr);
  }
  void setBaseName(const std::string& name) { snprintf(mgr->sampleFileName, sizeof mgr->sampleFileName, "%s", name.c_str()); }

  TempDir dir;
  std::string base;
  std::unique_ptr<TallyMgr> mgr;
  std::unique_ptr<HostStatWriter> writer;
  std::vector<char> storage;
};

TEST_F(OutputFileTest, NamesCarryNumberOutAndGzSuffixesInThatOrder) {
  struct Case {
    const char* base;
    int restartCount;
    BoolType compressed;
    BoolType toStdout;
    const char* expected;
  } cases[] = {
      {"tally4242", 0, FALSE, FALSE, "tally4242.out"},
      {"tally4242", 1, FALSE, FALSE, "tally4242-1.out"},
      {"tally4242", 12, TRUE, FALSE, "tally4242-12.out.gz"},
      {"/var/tmp/run", 0, TRUE, FALSE, "/var/tmp/run.out.gz"},
      {"run.out", 0, FALSE, FALSE, "run.out.out"},  // a -f name is never used bare
      {"stdout", 3, TRUE, TRUE, "stdout"},
  };
  for (const Case& c : cases) {
    setBaseName(c.base);
    mgr->restartCount = c.restartCount;
    mgr->isCompressed = c.compressed;
    mgr->useStdout = c.toStdout;
    EXPECT_STREQ(mgr->TallyDataFile(), c.expected) << c.base << " #" << c.restartCount;
  }
}

TEST_F(OutputFileTest, NamesBeyond1023CharactersAreRefusedBeforeAnythingIsOpened) {
  std::string fits(1023 - strlen(".out"), 'n');
  setBaseName(fits);
  TallyCheckDataFileName(mgr.get());
  EXPECT_EQ(exitStatus, -1);
  EXPECT_EQ(strlen(mgr->TallyDataFile()), 1023u);

  // With -r the check leaves room for any file number, so a name that fits the
  // first file is refused when a later one could not fit.
  mgr->restartCount = 1;
  CaptureStderr();
  TallyCheckDataFileName(mgr.get());
  EXPECT_EQ(GetCapturedStderr(), "[Tally] Fatal Error. Output file name is longer than 1023 characters\n");
  EXPECT_EQ(exitStatus, 3);

  exitStatus = -1;
  mgr->restartCount = 0;
  setBaseName(fits + "n");
  CaptureStderr();
  mgr->TallyDataFile();  // refused with the message, not by an internal error
  GetCapturedStderr();
  EXPECT_EQ(exitStatus, 3);
}

TEST_F(OutputFileTest, OpeningCreatesAFreshFileWithMode0644CloseOnExecAndHeaderFirst) {
  mode_t mask = umask(022);
  ASSERT_TRUE(mgr->openOutFile());
  umask(mask);
  std::string path = base + ".out";
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  int fd = fileno((FILE*)mgr->outFile);
  EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
  EXPECT_EQ(readFileText(path), "HEADER 1\n");  // in the file before any sample
  EXPECT_EQ(mgr->currentNumberOfSamples, 0);
}

// (An existing file is refused with EEXIST: see the end-to-end tests.)
TEST_F(OutputFileTest, AMissingDirectoryEndsTheRunWithItsErrorNumber) {
  setBaseName(dir.file("no/such/dir/h"));
  mgr->isCompressed = TRUE;
  CaptureStderr();
  mgr->openOutFile();
  std::string err = GetCapturedStderr();
  EXPECT_EQ(exitStatus, 3);
  EXPECT_EQ(mgr->outFile, nullptr);
  EXPECT_EQ(err.rfind("[Error] errno=2,", 0), 0u) << err;
  EXPECT_NE(err.find("\n[Tally] Fatal Error. Error opening output file\n"), std::string::npos) << err;
}

TEST_F(OutputFileTest, GzipOutputIsReadableByZlibAfterEachFlush) {
  mgr->isCompressed = TRUE;
  ASSERT_TRUE(mgr->openOutFile());
  std::string path = base + ".out.gz";
  append(writer.get(), "16 1700000000 Tally 1 0 0\n");
  handOver(mgr.get());
  // Still open: a partial flush makes everything so far decodable.
  EXPECT_EQ(gunzipFile(path), "HEADER 1\n16 1700000000 Tally 1 0 0\n");

  // A flush with nothing buffered still pushes what the stream holds.
  std::string more = "16 1700000001 Tally 1 0 0\n";
  mgr->writeBufferToFile(&more[0], more.size());
  mgr->flushOutFile();
  EXPECT_EQ(gunzipFile(path), "HEADER 1\n16 1700000000 Tally 1 0 0\n" + more);
}

TEST_F(OutputFileTest, AVanishedFileIsRecreatedWithHeaderFirstAndEveryPendingRecordOnce) {
  ASSERT_TRUE(mgr->openOutFile());
  std::string path = base + ".out";
  append(writer.get(), "rec 1\n");
  handOver(mgr.get());
  ASSERT_EQ(readFileText(path), "HEADER 1\nrec 1\n");

  // Pending records filling most of the buffer: the new header must still go
  // first, not after them and not through a second hand-over of them.
  std::string pending;
  for (int i = 2; pending.size() < storage.size() - 1024; i++) pending += "rec " + std::to_string(i) + "\n";
  append(writer.get(), pending);
  ASSERT_EQ(unlink(path.c_str()), 0);
  CaptureStderr();
  handOver(mgr.get());
  EXPECT_EQ(GetCapturedStderr(), "[Tally] The output file is missing. Creating new output file.\n");
  EXPECT_EQ(readFileText(path), "HEADER 2\n" + pending);
  EXPECT_EQ(writer->bufPtr, writer->buffer);
  EXPECT_EQ(exitStatus, -1);

  // Later text goes on into the new file.
  append(writer.get(), "rec last\n");
  handOver(mgr.get());
  EXPECT_EQ(readFileText(path), "HEADER 2\n" + pending + "rec last\n");
}

TEST_F(OutputFileTest, UnderRestartsTheReplacementTakesTheNextNumber) {
  mgr->restartCount = 1;
  mgr->isCompressed = TRUE;
  ASSERT_TRUE(mgr->openOutFile());
  std::string first = base + "-1.out.gz";
  ASSERT_EQ(unlink(first.c_str()), 0);
  append(writer.get(), "rec 1\n");
  CaptureStderr();
  handOver(mgr.get());
  std::string err = GetCapturedStderr();
  EXPECT_EQ(mgr->restartCount, 2);
  EXPECT_NE(err.find("  Output file is:     " + base + "-2.out.gz\n"), std::string::npos) << err;
  EXPECT_EQ(gunzipFile(base + "-2.out.gz"), "HEADER 2\nrec 1\n");
  EXPECT_NE(access(first.c_str(), F_OK), 0);
}

TEST_F(OutputFileTest, WriteFailuresEndTheRunButFlushFailuresDoNot) {
  // Plain: a full device refuses the write itself.
  FILE* full = fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  setvbuf(full, nullptr, _IONBF, 0);
  mgr->outFile = full;
  std::string text = "rec 1\n";
  CaptureStderr();
  mgr->writeBufferToFile(&text[0], text.size());  // returns under the test exit hook
  std::string err = GetCapturedStderr();
  EXPECT_EQ(exitStatus, 3);
  EXPECT_EQ(err.rfind("[Error] errno=28,", 0), 0u) << err;
  EXPECT_NE(err.find("\n[Tally] Fatal Error. Unable to write to output file\n"), std::string::npos) << err;
  fclose(full);
  mgr->outFile = nullptr;

  // Gzip: the write is buffered by zlib; the flush meets the full device,
  // which is reported and the run goes on.
  exitStatus = -1;
  int fd = open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  mgr->isCompressed = TRUE;
  mgr->outFile = gzdopen(fd, "wb");
  mgr->writeBufferToFile(&text[0], text.size());
  CaptureStderr();
  mgr->flushOutFile();
  err = GetCapturedStderr();
  EXPECT_EQ(exitStatus, -1);
  EXPECT_NE(err.find("[Tally] Error flushing output file\n"), std::string::npos) << err;
}

// These use the writer's own hand-over (HostStatWriter::flushBuffer).
TEST_F(OutputFileTest, ClosingFlushesTheBufferOnceAndASecondCloseDoesNothing) {
  ASSERT_TRUE(mgr->openOutFile());
  std::string path = base + ".out";
  append(writer.get(), "rec 1\n");
  mgr->closeOutFile();
  EXPECT_EQ(mgr->outFile, nullptr);
  EXPECT_EQ(readFileText(path), "HEADER 1\nrec 1\n");
  append(writer.get(), "rec 2\n");
  mgr->closeOutFile();
  EXPECT_EQ(readFileText(path), "HEADER 1\nrec 1\n");
}

}  // namespace
