// Hand-over of the buffered text to the output file. Runs once the output file
// writer is part of the build; until then each test reports itself skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
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

// The header as printed for a file: handed over whole, and again complete for
// the next file. The lines that vary by host, build and moment are checked for
// their shape only.
TEST_F(FlushTest, PrintedHeaderIsHandedOverWholeForEveryFile) {
  setenv("QL_CFTIME", "%Y-%m-%d %H:%M:%S", 1);
  writer->w.disableSystemStats = TRUE;
  mgr.printStatDescription();
  EXPECT_TRUE(writer->w.isEmpty());
  mgr.printStatDescription();  // a restart's next file
  unsetenv("QL_CFTIME");

  std::ifstream in(std::string(TALLY_FIXTURES_DIR) + "/archive/header_host_off.txt", std::ios::binary);
  std::stringstream fixture;
  fixture << in.rdbuf();
  std::string expected = fixture.str();
  ASSERT_FALSE(expected.empty());

  std::string file = fileText();
  ASSERT_EQ(file.size() % 2, 0u);
  const std::string first = file.substr(0, file.size() / 2);
  EXPECT_EQ(first, file.substr(file.size() / 2));
  // Lines 3 to 5 hold the version, the machine and the time.
  auto lineStart = [](const std::string& s, int n) {
    size_t at = 0;
    for (int i = 0; i < n; i++) at = s.find('\n', at) + 1;
    return at;
  };
  EXPECT_EQ(first.substr(0, lineStart(first, 2)), expected.substr(0, lineStart(expected, 2)));
  EXPECT_EQ(first.substr(lineStart(first, 5)), expected.substr(lineStart(expected, 5)));
  const std::string varying = first.substr(lineStart(first, 2), lineStart(first, 5) - lineStart(first, 2));
  EXPECT_EQ(varying.rfind("QuillonVersion = \"", 0), 0u) << varying;
  EXPECT_NE(varying.find("\nMachine = \""), std::string::npos) << varying;
  const size_t timeAt = varying.find("\nTime = \"");
  ASSERT_NE(timeAt, std::string::npos) << varying;
  // "YYYY-MM-DD HH:MM:SS" from the format given in the environment.
  EXPECT_EQ(varying.size() - (timeAt + 9), 19u + 2u) << varying;
}

}  // namespace
