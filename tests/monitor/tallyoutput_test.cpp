#include "monitor/tallyoutput.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
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
  append(m->statWriter, "HEADER " + std::to_string(++headersWritten) + "\n");
  handOver(m);
}

std::string gunzipFile(const std::string& path) {
  gzFile in = gzopen(path.c_str(), "rb");
  if (!in) return "<cannot open>";
  std::string text;
  char chunk[4096];
  for (int n; (n = gzread(in, chunk, sizeof chunk)) > 0;) text.append(chunk, (size_t)n);
  gzclose(in);
  return text;
}

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.assign(64 * 1024, '\0');
    writer->rawBuffer = writer->buffer = writer->bufPtr = storage.data();
    writer->bufferSize = storage.size();
    writer->bufLimit = writer->buffer + storage.size();
    mgr->connectWriter(writer.get());
    UtlExitInit();
    UtlExitSetTestHook(recordExit);
    TallySetHeaderWriterForTest(numberedHeader);
    exitStatus = -1;
    headersWritten = 0;
    setBaseName(base);
  }
  void TearDown() override {
    if (mgr->outFile && mgr->isCompressed) gzclose((gzFile)mgr->outFile);
    if (mgr->outFile && !mgr->isCompressed) fclose((FILE*)mgr->outFile);
    TallySetHeaderWriterForTest(nullptr);
    UtlExitSetTestHook(nullptr);
  }
  void setBaseName(const std::string& name) {
    snprintf(mgr->sampleFileName, sizeof mgr->sampleFileName, "%s", name.c_str());
  }

  TempDir dir;
  std::string base = dir.file("h");
  std::unique_ptr<TallyMgr> mgr = std::make_unique<TallyMgr>();
  std::unique_ptr<HostStatWriter> writer = std::make_unique<HostStatWriter>();
  std::vector<char> storage;
};

TEST_F(OutputFileTest, NamesCarryNumberOutAndGzSuffixesAndMustFit1023Characters) {
  struct Case { const char* base; int restartCount; BoolType compressed, toStdout; const char* expected; };
  const Case cases[] = {
      {"tally4242", 0, FALSE, FALSE, "tally4242.out"},
      {"tally4242", 1, FALSE, FALSE, "tally4242-1.out"},
      {"/var/tmp/run", 12, TRUE, FALSE, "/var/tmp/run-12.out.gz"},
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
  mgr->useStdout = mgr->isCompressed = FALSE;
  mgr->restartCount = 0;
  const std::string fits(1023 - strlen(".out"), 'n');
  setBaseName(fits);
  TallyCheckDataFileName(mgr.get());
  EXPECT_EQ(exitStatus, -1);
  EXPECT_EQ(strlen(mgr->TallyDataFile()), 1023u);

  // With -r the names are checked as they are: a name that fits with "-1" runs,
  // and is refused only when a file number with more digits is to be used.
  const std::string fitsNumbered(1023 - strlen("-1.out"), 'n');
  setBaseName(fitsNumbered);
  mgr->restartCount = 1;
  TallyCheckDataFileName(mgr.get());
  EXPECT_EQ(exitStatus, -1);
  mgr->restartCount = 9;
  EXPECT_EQ(strlen(mgr->TallyDataFile()), 1023u);
  EXPECT_EQ(exitStatus, -1);
  mgr->restartCount = 10;
  CaptureStderr();
  mgr->TallyDataFile();
  EXPECT_EQ(GetCapturedStderr(), "[Tally] Fatal Error. Output file name is longer than 1023 characters\n");
  EXPECT_EQ(exitStatus, 3);

  exitStatus = -1;
  setBaseName(fitsNumbered + "n");
  mgr->restartCount = 1;
  CaptureStderr();
  TallyCheckDataFileName(mgr.get());
  EXPECT_EQ(GetCapturedStderr(), "[Tally] Fatal Error. Output file name is longer than 1023 characters\n");
  EXPECT_EQ(exitStatus, 3);
}

TEST_F(OutputFileTest, OpeningCreatesOnlyAFreshFileWithMode0644CloseOnExecAndHeaderFirst) {
  mode_t mask = umask(022);
  ASSERT_TRUE(mgr->openOutFile());
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat((base + ".out").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_TRUE(fcntl(fileno((FILE*)mgr->outFile), F_GETFD) & FD_CLOEXEC);
  EXPECT_EQ(readFileText(base + ".out"), "HEADER 1\n");  // in the file before any sample
  mgr->closeOutFile();

  // An existing file or a missing directory ends the run with its error number.
  for (const std::pair<std::string, const char*>& c : {std::make_pair(base, "errno=17,"),
                                                        std::make_pair(dir.file("no/dir/h"), "errno=2,")}) {
    exitStatus = -1;
    setBaseName(c.first);
    CaptureStderr();
    mgr->openOutFile();
    const std::string err = GetCapturedStderr();
    EXPECT_EQ(exitStatus, 3);
    EXPECT_EQ(mgr->outFile, nullptr);
    EXPECT_EQ(err.rfind(std::string("[Error] ") + c.second, 0), 0u) << err;
    EXPECT_NE(err.find("\n[Tally] Fatal Error. Error opening output file\n"), std::string::npos) << err;
  }
  EXPECT_EQ(readFileText(base + ".out"), "HEADER 1\n");
}

TEST_F(OutputFileTest, AVanishedFileIsRecreatedWithHeaderFirstAndEveryPendingRecordOnce) {
  ASSERT_TRUE(mgr->openOutFile());
  const std::string path = base + ".out";
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
  EXPECT_EQ(exitStatus, -1);
  append(writer.get(), "rec last\n");  // later text goes on into the new file
  handOver(mgr.get());
  EXPECT_EQ(readFileText(path), "HEADER 2\n" + pending + "rec last\n");

  // Closing hands over what is buffered once; a second close does nothing.
  append(writer.get(), "rec end\n");
  mgr->closeOutFile();
  EXPECT_EQ(mgr->outFile, nullptr);
  append(writer.get(), "rec after\n");
  mgr->closeOutFile();
  EXPECT_EQ(readFileText(path), "HEADER 2\n" + pending + "rec last\nrec end\n");
}

TEST_F(OutputFileTest, GzipIsReadableAfterEachFlushAndUnderRestartsAReplacementTakesTheNextNumber) {
  mgr->restartCount = 1;
  mgr->isCompressed = TRUE;
  ASSERT_TRUE(mgr->openOutFile());
  const std::string first = base + "-1.out.gz";
  append(writer.get(), "rec 1\n");
  handOver(mgr.get());
  EXPECT_EQ(gunzipFile(first), "HEADER 1\nrec 1\n");  // still open: a partial flush decodes
  std::string more = "rec 2\n";
  mgr->writeBufferToFile(&more[0], more.size());
  mgr->flushOutFile();  // nothing buffered: the stream is still pushed
  EXPECT_EQ(gunzipFile(first), "HEADER 1\nrec 1\nrec 2\n");

  ASSERT_EQ(unlink(first.c_str()), 0);
  append(writer.get(), "rec 3\n");
  CaptureStderr();
  handOver(mgr.get());
  const std::string err = GetCapturedStderr();
  EXPECT_EQ(mgr->restartCount, 2);
  EXPECT_NE(err.find("  Output file is:     " + base + "-2.out.gz\n"), std::string::npos) << err;
  EXPECT_EQ(gunzipFile(base + "-2.out.gz"), "HEADER 2\nrec 3\n");
}

TEST_F(OutputFileTest, WriteFailuresEndTheRunWithTheirOwnCauseFlushFailuresOnlyOnStandardOutput) {
  FILE* full = fopen("/dev/full", "w");  // plain: the device refuses the write itself
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
  // The exit path then closes the archive without a second attempt or report.
  CaptureStderr();
  mgr->closeOutFile();
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(mgr->outFile, nullptr);

  exitStatus = -1;  // gzip: zlib buffers the write; the flush meets the full device
  mgr->outputFailed = FALSE;
  mgr->isCompressed = TRUE;
  mgr->outFile = gzdopen(open("/dev/full", O_WRONLY), "wb");
  ASSERT_NE(mgr->outFile, nullptr);
  mgr->writeBufferToFile(&text[0], text.size());
  CaptureStderr();
  mgr->flushOutFile();
  err = GetCapturedStderr();
  EXPECT_EQ(exitStatus, -1);
  EXPECT_NE(err.find("[Tally] Error flushing output file\n"), std::string::npos) << err;

  // zlib now fails every call with the error it kept, without writing: the
  // report names that error, not what errno holds from an unrelated call.
  errno = ENOENT;
  CaptureStderr();
  mgr->writeBufferToFile(&text[0], text.size());
  err = GetCapturedStderr();
  EXPECT_EQ(exitStatus, 3);
  EXPECT_EQ(err.rfind("[Error] <fd:", 0), 0u) << err;
  EXPECT_NE(err.find("No space left on device\n[Tally] Fatal Error. Unable to write to output file\n"),
            std::string::npos) << err;
  EXPECT_EQ(err.find("ENOENT"), std::string::npos) << err;

  // On standard output a failed flush is a failed write.
  exitStatus = -1;
  mgr->outputFailed = FALSE;
  mgr->useStdout = TRUE;
  CaptureStderr();
  mgr->flushOutFile();
  err = GetCapturedStderr();
  EXPECT_EQ(exitStatus, 3);
  EXPECT_NE(err.find("No space left on device\n[Tally] Fatal Error. Unable to write to output file\n"),
            std::string::npos) << err;
  mgr->useStdout = FALSE;
}

}  // namespace
