// Hand-over of the buffered text to the output file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "archive/writerfixture.h"
#include "monitor/tallymgr.h"
#include "support/runprocess.h"

namespace {

std::string fileText(FILE* out) {
  fflush(out);
  return readFileText("/proc/self/fd/" + std::to_string(fileno(out)));
}

// Into a temporary stdio stream, as with -f stdout.
TEST(FlushTest, AWriteWithTwoBytesOrFewerLeftHandsOverTheWholeBufferFirst) {
  TallyMgr mgr{};
  TestWriter writer{&mgr};
  FILE* out = tmpfile();
  mgr.useStdout = TRUE;
  mgr.outFile = out;
  mgr.statWriter = &writer.w;
  HostStatWriter& w = writer.w;
  w.writeString("start");
  while (w.spaceLeft() > 3) *w.bufPtr++ = 'x';
  *w.bufPtr = '\0';
  w.writeSmallUInt(5);  // exactly fits: digit, space, NUL
  EXPECT_EQ(fileText(out), "");
  ASSERT_EQ(w.spaceLeft(), 1);
  const std::string before = writer.text();
  w.writeUInt(6);
  EXPECT_EQ(fileText(out), before);
  EXPECT_EQ(writer.text(), "6 ");

  w.writeEndOfRecord();
  w.flushBuffer();  // never writes the NUL
  EXPECT_TRUE(w.isEmpty());
  EXPECT_EQ(*w.bufPtr, '\0');
  w.flushBuffer();  // nothing buffered: only the stream is flushed
  EXPECT_EQ(fileText(out), before + "6\n");
  fclose(out);
}

}  // namespace
