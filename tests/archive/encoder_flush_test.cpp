// Hand-over of the buffered text to the output file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/header.h"
#include "archive/hostsysinfo.h"
#include "archive/writerfixture.h"
#include "host/vermsg.h"
#include "monitor/tallymgr.h"

namespace {

// A manager whose output is a temporary stdio stream (as with -f stdout).
class FlushTest : public ::testing::Test {
 protected:
  FlushTest() {
    mgr.useStdout = TRUE;
    mgr.outFile = out;
    mgr.statWriter = &writer.w;
  }
  ~FlushTest() override { fclose(out); }
  std::string fileText() {
    fflush(out);
    rewind(out);
    std::string s;
    for (int c; (c = fgetc(out)) != EOF;) s += (char)c;
    return s;
  }

  TallyMgr mgr{};
  TestWriter writer{&mgr};
  FILE* out = tmpfile();
};

TEST_F(FlushTest, AWriteWithTwoBytesOrFewerLeftHandsOverTheWholeBufferFirst) {
  HostStatWriter& w = writer.w;
  w.writeString("start");
  while (w.spaceLeft() > 3) *w.bufPtr++ = 'x';
  *w.bufPtr = '\0';
  w.writeSmallUInt(5);  // exactly fits: digit, space, NUL
  EXPECT_EQ(fileText(), "");
  ASSERT_EQ(w.spaceLeft(), 1);
  const std::string before = writer.text();
  w.writeUInt(6);
  EXPECT_EQ(fileText(), before);
  EXPECT_EQ(writer.text(), "6 ");
  EXPECT_EQ(w.bufferSize, 1048576u);

  w.writeEndOfRecord();
  w.flushBuffer();  // never writes the NUL
  EXPECT_TRUE(w.isEmpty());
  EXPECT_EQ(*w.bufPtr, '\0');
  w.flushBuffer();  // nothing buffered: only the stream is flushed
  EXPECT_EQ(fileText(), before + "6\n");
}

// The header as printed for a file: handed over whole, again complete for the
// next file, with this build's version, this host and the formatted time.
TEST_F(FlushTest, PrintedHeaderIsHandedOverWholeForEveryFile) {
  setenv("QL_CFTIME", "%Y-%m-%d %H:%M:%S", 1);
  writer.w.disableSystemStats = TRUE;
  mgr.printStatDescription();
  EXPECT_TRUE(writer.w.isEmpty());
  mgr.printStatDescription();  // a restart's next file
  unsetenv("QL_CFTIME");

  const std::string file = fileText();
  ASSERT_EQ(file.size() % 2, 0u);
  const std::string first = file.substr(0, file.size() / 2);
  EXPECT_EQ(first, file.substr(file.size() / 2));
  const size_t timeAt = first.find("\nTime = \"") + 9;
  const std::string time = first.substr(timeAt, first.find('"', timeAt) - timeAt);
  EXPECT_EQ(time.size(), 19u) << time;  // "YYYY-MM-DD HH:MM:SS"

  char machine[128];
  HostGetSystemName(machine, sizeof(machine));
  TestWriter expected;
  expected.w.disableSystemStats = TRUE;
  TallyWriteStatDescription(&expected.w, VerQLVersion(), machine, time.c_str());
  EXPECT_EQ(first, expected.text());
}

}  // namespace
