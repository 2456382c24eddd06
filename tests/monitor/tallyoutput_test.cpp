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

#include "archive/writerfixture.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "support/runprocess.h"

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
    mgr->connectWriter(&writer.w);
    UtlExitInit();
    UtlExitSetTestHook(recordExit);
    TallySetHeaderWriterForTest(numberedHeader);
    exitStatus = -1;
    headersWritten = 0;
    snprintf(mgr->sampleFileName, sizeof mgr->sampleFileName, "%s", base.c_str());
  }
  void TearDown() override {
    if (mgr->outFile && mgr->isCompressed) gzclose((gzFile)mgr->outFile);
    if (mgr->outFile && !mgr->isCompressed) fclose((FILE*)mgr->outFile);
    TallySetHeaderWriterForTest(nullptr);
    UtlExitSetTestHook(nullptr);
  }

  TempDir dir;
  std::string base = dir.file("h");
  std::unique_ptr<TallyMgr> mgr = std::make_unique<TallyMgr>();
  TestWriter writer;
};

// (File names, their limit, a file that cannot be opened and a full device are
// shown end to end.) A fresh file, mode 0644 and close-on-exec, gets the header
// before any record.
TEST_F(OutputFileTest, AVanishedFileIsRecreatedWithHeaderFirstAndEveryPendingRecordOnce) {
  mode_t mask = umask(022);
  ASSERT_TRUE(mgr->openOutFile());
  umask(mask);
  const std::string path = base + ".out";
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_TRUE(fcntl(fileno((FILE*)mgr->outFile), F_GETFD) & FD_CLOEXEC);
  append(&writer.w, "rec 1\n");
  handOver(mgr.get());
  ASSERT_EQ(readFileText(path), "HEADER 1\nrec 1\n");

  // Pending records filling most of the buffer: the new header must still go
  // first, not after them and not through a second hand-over of them.
  std::string pending;
  for (int i = 2; pending.size() < writer.w.bufferSize - 1024; i++) pending += "rec " + std::to_string(i) + "\n";
  append(&writer.w, pending);
  ASSERT_EQ(unlink(path.c_str()), 0);
  EXPECT_EQ(stderrOf([&] { handOver(mgr.get()); }), "[Tally] The output file is missing. Creating new output file.\n");
  EXPECT_EQ(readFileText(path), "HEADER 2\n" + pending);
  EXPECT_EQ(exitStatus, -1);
  append(&writer.w, "rec last\n");  // later text goes on into the new file
  handOver(mgr.get());
  append(&writer.w, "rec end\n");  // closing hands over what is buffered
  mgr->closeOutFile();
  EXPECT_EQ(readFileText(path), "HEADER 2\n" + pending + "rec last\nrec end\n");
}

TEST_F(OutputFileTest, GzipIsReadableAfterEachFlushAndUnderRestartsAReplacementTakesTheNextNumber) {
  mgr->restartCount = 1;
  mgr->isCompressed = TRUE;
  ASSERT_TRUE(mgr->openOutFile());
  const std::string first = base + "-1.out.gz";
  std::string more = "rec 1\n";
  mgr->writeBufferToFile(&more[0], more.size());
  mgr->flushOutFile();  // nothing buffered: the stream is still pushed
  EXPECT_EQ(gunzipFile(first), "HEADER 1\nrec 1\n");  // still open: a partial flush decodes

  ASSERT_EQ(unlink(first.c_str()), 0);
  append(&writer.w, "rec 3\n");
  const std::string err = stderrOf([&] { handOver(mgr.get()); });
  EXPECT_EQ(mgr->restartCount, 2);
  EXPECT_NE(err.find("  Output file is:     " + base + "-2.out.gz\n"), std::string::npos) << err;
  EXPECT_EQ(gunzipFile(base + "-2.out.gz"), "HEADER 2\nrec 3\n");
}

}  // namespace
