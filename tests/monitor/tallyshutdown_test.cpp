#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <string>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "monitor/tallyoutput.h"
#include "support/runprocess.h"

namespace {

int exitStatus = -1;
void recordExit(int status) { exitStatus = status; }

void shortHeader(TallyMgr* m) {
  m->statWriter->writeString("HEADER\n");
  m->statWriter->flushBuffer();
}

// The exit paths work on the process-wide singletons, as the signal handlers do.
class ShutdownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mgr = TallyGetStatMgr();
    writer = TallyGetStatWriter();
    writer->init(mgr);
    mgr->init(writer);
    writer->disableSystemStats = TRUE;  // no host statistics to close here
    snprintf(mgr->sampleFileName, sizeof mgr->sampleFileName, "%s", dir.file("s").c_str());
    UtlExitInit();
    UtlExitSetTestHook(recordExit);
    TallySetHeaderWriterForTest(shortHeader);
    exitStatus = -1;
  }
  void TearDown() override {
    TallySetHeaderWriterForTest(nullptr);
    UtlExitSetTestHook(nullptr);
    UtlExitInit();
    mgr->closeOutFile();
    UtlFree(writer->rawBuffer);
    writer->_basicInit();
  }
  // Opens the file and leaves a record in the writer's buffer, not yet flushed.
  void openWithPendingRecord(const std::string& record) {
    mgr->openOutFile();
    writer->writeString(record.c_str());
  }

  TempDir dir;
  TallyMgr* mgr = nullptr;
  HostStatWriter* writer = nullptr;
};

TEST_F(ShutdownTest, KeyboardInterruptFlushesClosesAndExitsWithZero) {
  openWithPendingRecord("16 5 Tally 1 0 0\n");
  TallyKeyBoardInt(SIGINT);
  EXPECT_EQ(exitStatus, 0);
  EXPECT_EQ(mgr->outFile, nullptr);
  EXPECT_EQ(readFileText(dir.file("s.out")), "HEADER\n16 5 Tally 1 0 0\n");
  TallyShutdown();  // again: nothing is open, nothing happens
  EXPECT_EQ(readFileText(dir.file("s.out")), "HEADER\n16 5 Tally 1 0 0\n");
}

// The exit handler's one-time flag lives as long as the process: this is the
// only test that runs it.
TEST_F(ShutdownTest, ExitHandlerClosesTheArchiveOnlyTheFirstTime) {
  openWithPendingRecord("16 5 Tally 1 0 0\n");
  tallyExitHandler();  // not attached: closes without a detach
  EXPECT_EQ(mgr->outFile, nullptr);
  EXPECT_EQ(readFileText(dir.file("s.out")), "HEADER\n16 5 Tally 1 0 0\n");

  mgr->restartCount = 1;  // a second file, left open by a second call
  openWithPendingRecord("16 6 Tally 1 0 0\n");
  tallyExitHandler();
  EXPECT_NE(mgr->outFile, nullptr);
  EXPECT_EQ(readFileText(dir.file("s-1.out")), "HEADER\n");
}

}  // namespace
