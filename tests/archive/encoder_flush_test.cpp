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

// Into a temporary stdio stream, as with -f stdout. A one-byte token needs
// three bytes (digit, separator, NUL): with three left it is written in place,
// with two or fewer the whole buffer is handed over first.
TEST(FlushTest, AWriteWithTwoBytesOrFewerLeftHandsOverTheWholeBufferFirst) {
  for (int left : {3, 2, 1}) {
    SCOPED_TRACE(left);
    TallyMgr mgr{};
    TestWriter writer{&mgr};
    FILE* out = tmpfile();
    mgr.useStdout = TRUE;
    mgr.outFile = out;
    mgr.statWriter = &writer.w;
    HostStatWriter& w = writer.w;
    w.writeString("start");
    while (w.spaceLeft() > left) *w.bufPtr++ = 'x';
    *w.bufPtr = '\0';
    const std::string before = writer.text();
    w.writeSmallUInt(5);
    EXPECT_EQ(fileText(out), left > 2 ? "" : before);
    EXPECT_EQ(writer.text(), left > 2 ? before + "5 " : "5 ");
    if (left == 3) {
      w.writeUInt(6);  // one byte left now: a longer token also hands over first
      EXPECT_EQ(fileText(out), before + "5 ");
      EXPECT_EQ(writer.text(), "6 ");
      w.writeEndOfRecord();
      w.flushBuffer();  // never writes the NUL
      EXPECT_TRUE(w.isEmpty());
      EXPECT_EQ(*w.bufPtr, '\0');
      w.flushBuffer();  // nothing buffered: only the stream is flushed
      EXPECT_EQ(fileText(out), before + "5 6\n");
    }
    fclose(out);
  }
}

}  // namespace
