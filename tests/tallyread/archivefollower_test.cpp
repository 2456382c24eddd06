#include "archivefollower.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/archivecheck.h"
#include "support/runprocess.h"

using namespace tallyread;

namespace {

std::string header(const char* machine) { return testArchiveHeader({{"HardDisk", 64, "ReadKBytes"}}, machine); }

void appendText(const std::string& path, const std::string& text) { writeFileText(path, readFileText(path) + text); }

class Follower : public ::testing::Test {
 protected:
  // "machine time instance value" of each record read by one poll.
  std::vector<std::string> poll() { return poll(follower); }
  std::vector<std::string> poll(ArchiveFollower& f) {
    std::vector<std::string> seen;
    f.poll([&](const SeriesRecord& r) {
      seen.push_back(r.header->machine + " " + std::string(r.record.token(1)) + " " +
                     std::string(r.record.instance()) + " " + std::string(r.record.token(5)));
    });
    return seen;
  }
  TempDir dir;
  std::vector<std::string> reports;
  ArchiveFollower follower{dir.file("r-1.out"), [this](const std::string& m) { reports.push_back(m); }};
};

using Lines = std::vector<std::string>;

// (Waiting for a missing file, and one gone for a while, are shown end to end.)
TEST_F(Follower, ReadsOnlyWholeLinesAndReadsOnAsTheFileGrows) {
  std::string head = header("db1");
  appendText(dir.file("r-1.out"), head.substr(0, 40));  // a header half flushed
  EXPECT_EQ(poll(), Lines{});
  appendText(dir.file("r-1.out"), head.substr(40) + "64 100 sda 0 0 10\n64 100 sdb 0 0 2");
  EXPECT_EQ(poll(), Lines{"db1 100 sda 10"});
  appendText(dir.file("r-1.out"), "0\n64 101 sda 0 0 11\n64 101 bad\n64 102 sda 0 0 12\n");
  EXPECT_EQ(poll(), (Lines{"db1 100 sdb 20", "db1 101 sda 11", "db1 102 sda 12"}));
  ASSERT_EQ(reports.size(), 1u);  // the damaged line, with its own line number
  EXPECT_EQ(reports[0].rfind(dir.file("r-1.out") + ":15: ", 0), 0u) << reports[0];
  EXPECT_EQ(poll(), Lines{});

  // A stream of several files: a new header takes over.
  appendText(dir.file("r-1.out"), header("db2") + "64 200 sda 0 0 1\n");
  EXPECT_EQ(poll(), Lines{"db2 200 sda 1"});
}

TEST_F(Follower, StartsAfreshOnAReplacedOrCutFileAndGoesOnToTheNextFileOfASeries) {
  writeFileText(dir.file("r-1.out"), header("db1") + "64 100 sda 0 0 1\n");
  EXPECT_EQ(poll(), Lines{"db1 100 sda 1"});

  // Replaced (a new file renamed over it): read from its start.
  writeFileText(dir.file("new"), header("db1") + "64 300 sda 0 0 3\n");
  ASSERT_EQ(rename(dir.file("new").c_str(), dir.file("r-1.out").c_str()), 0);
  EXPECT_EQ(poll(), Lines{"db1 300 sda 3"});
  // Cut short and written anew in place.
  writeFileText(dir.file("r-1.out"), header("db1") + "64 4 sda 0 0 4\n");
  EXPECT_EQ(poll(), Lines{"db1 4 sda 4"});

  // The monitor's last records to this file, then the next file of the run.
  appendText(dir.file("r-1.out"), "64 5 sda 0 0 5\n");
  writeFileText(dir.file("r-2.out"), header("db1") + "64 6 sda 0 0 6\n");
  EXPECT_EQ(poll(), (Lines{"db1 5 sda 5", "db1 6 sda 6"}));
  EXPECT_EQ(follower.path(), dir.file("r-2.out"));
}

TEST_F(Follower, ReadsAGzipStreamThatIsStillBeingWritten) {
  ArchiveFollower gz(dir.file("z-1.out.gz"), [this](const std::string& m) { reports.push_back(m); });
  gzFile out = gzopen(dir.file("z-1.out.gz").c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::string text = header("db1") + "64 100 sda 0 0 1\n64 101 sda 0";
  gzwrite(out, text.data(), (unsigned)text.size());
  gzflush(out, Z_SYNC_FLUSH);
  EXPECT_EQ(poll(gz), Lines{"db1 100 sda 1"});
  text = " 0 2\n64 102 sda 0 0 3\n";
  gzwrite(out, text.data(), (unsigned)text.size());
  gzflush(out, Z_SYNC_FLUSH);
  EXPECT_EQ(poll(gz), (Lines{"db1 101 sda 2", "db1 102 sda 3"}));
  gzclose(out);
  EXPECT_EQ(poll(gz), Lines{});
  EXPECT_TRUE(reports.empty()) << reports[0];
}

TEST(NextSeriesFile, NumberedNamesOnly) {
  EXPECT_EQ(nextSeriesFile("t-9.out.gz"), "t-10.out.gz");
  EXPECT_EQ(nextSeriesFile("tally.out") + nextSeriesFile("tally-1.txt"), "");
}

}  // namespace
