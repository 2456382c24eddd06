// Hand-over of the buffered text to the output file. Runs once the output file
// writer is part of the build; until then each test reports itself skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "archive/writerfixture.h"
#include "monitor/tallymgr.h"

#if __has_include("../../src/monitor/tallyoutput.cpp")
#define OUTPUT_WRITER_BUILT 1
#else
#define OUTPUT_WRITER_BUILT 0
#endif

namespace {

// A manager whose output is a temporary stdio stream (as with -f stdout, so no
// file name is checked).
class FlushTest : public ::testing::Test {
 protected:
  FlushTest() {
    memset(static_cast<void*>(&mgr), 0, sizeof(mgr));
    mgr.useStdout = TRUE;
    out = tmpfile();
    mgr.outFile = out;
    writer = new TestWriter(&mgr);
    mgr.statWriter = &writer->w;
  }
  ~FlushTest() override {
    delete writer;
    if (out != nullptr) fclose(out);
  }
  void SetUp() override {
    if (!OUTPUT_WRITER_BUILT) GTEST_SKIP() << "the output file writer is not built yet";
    ASSERT_NE(out, nullptr);
  }
  std::string fileText() {
    fflush(out);
    std::string s;
    rewind(out);
    for (int c; (c = fgetc(out)) != EOF;) s += (char)c;
    return s;
  }

  TallyMgr mgr;
  FILE* out = nullptr;
  TestWriter* writer = nullptr;
};

TEST_F(FlushTest, SingleDigitWithTwoBytesLeftHandsOverTheWholeBufferFirst) {
  HostStatWriter& w = writer->w;
  w.writeString("start");
  while (w.spaceLeft() > 3) *w.bufPtr++ = 'x';
  *w.bufPtr = '\0';
  w.writeSmallUInt(5);  // exactly fits: digit, space, NUL
  EXPECT_EQ(fileText(), "");
  ASSERT_EQ(w.spaceLeft(), 1);
  const std::string before = writer->text();
  w.writeUInt(6);  // 1 byte left: flush, then write
  EXPECT_EQ(fileText(), before);
  EXPECT_EQ(writer->text(), "6 ");
  EXPECT_EQ(w.bufferSize, 1048576u);
}

TEST_F(FlushTest, FlushBufferEmptiesAndNeverWritesTheNul) {
  HostStatWriter& w = writer->w;
  w.writeUInt(42);
  w.writeEndOfRecord();
  w.flushBuffer();
  EXPECT_TRUE(w.isEmpty());
  EXPECT_EQ(*w.bufPtr, '\0');
  w.flushBuffer();  // nothing buffered: only the stream is flushed
  EXPECT_EQ(fileText(), "42\n");
}

}  // namespace
