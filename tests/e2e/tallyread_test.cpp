// The tallyread command as a user runs it: over archives written by hand, exit
// statuses, the first bad line on standard error, the type list, CSV and JSON
// extraction with rates, the summary, top and the chart page; over archives the
// monitor wrote, a listed process that writes a known number of bytes, and
// stamps that count samples.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/archivecheck.h"
#include "support/runprocess.h"

namespace {

// Thirteen header lines; the records are lines 14 to 19.
const std::string TYPES_ONLY = testArchiveHeader(
    {{"Tally", 16, "TimeWritingStats"}, {"AppStat", 32, ""}, {"HardDisk", 64, "ReadKBytes WriteKBytes"}});
const std::string ARCHIVE = TYPES_ONLY +
                            "16 100 Tally 7 0 1\n"
                            "32 100 AppStat 0 0 5 6\n"
                            "64 100 sda 0 0 10 20\n"
                            "64 100 sdb 0 0 11 21\n"
                            "16 101 Tally 7 0 2\n"
                            "64 101 sda 0 0 12 22\n";

RunResult tallyread(std::vector<std::string> args) {
  args.insert(args.begin(), TALLYREAD_BIN);
  return runProgram(args);
}

class TallyReadCommand : public ::testing::Test {
 protected:
  void SetUp() override { writeFileText(dir.file("a.out"), ARCHIVE); }
  TempDir dir;
};

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST_F(TallyReadCommand, CheckSummarisesAGoodArchiveAndNamesTheFirstBadLine) {
  RunResult ok = tallyread({"check", dir.file("a.out")});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, dir.file("a.out") + ": ok: 6 records, 2 samples, 3 types\n");

  writeFileText(dir.file("bad.out"), ARCHIVE + "64 102 sda 0 0 13\n64 102 sdb 0 0 1 2 3\n");
  RunResult bad = tallyread({"check", dir.file("bad.out")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "tallyread: " + dir.file("bad.out") +
                         ":20: record of type 64 (HardDisk) has 6 values, the type has 7 fields\n");
  EXPECT_EQ(tallyread({"check", dir.file("none.out")}).status, 1);
  EXPECT_EQ(tallyread({"check"}).status, 2);

  // An endless line ends the reading at once with its line number.
  RunResult zero = tallyread({"check", "/dev/zero"});
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.err, "tallyread: /dev/zero:1: line 1 is longer than 1048576 bytes: not an archive line\n");

  // The files of a -r series streamed to standard input follow each other with
  // a header each.
  RunResult piped = runProgram({"/bin/sh", "-c", "cat a.out a.out | " TALLYREAD_BIN " check -"},
                               RunOptions{{}, dir.path(), 90});
  EXPECT_EQ(piped.out, "-: ok: 12 records, 4 samples, 3 types, 2 headers\n") << piped.err;
}

TEST_F(TallyReadCommand, TypesListsRecordCountsAndCsvSelectsByTypeInstanceAndFields) {
  RunResult r = tallyread({"types", dir.file("a.out")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1),  // after the column titles
            "16         Tally                        6         2\n"
            "32         AppStat                     5+         1\n"
            "64         HardDisk                     7         3\n");

  RunResult all = tallyread({"csv", dir.file("a.out"), "--type", "HardDisk", "--fields", "WriteKBytes,ReadKBytes"});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out, "time,instance,WriteKBytes,ReadKBytes\n100,sda,20,10\n100,sdb,21,11\n101,sda,22,12\n");
  RunResult one = tallyread({"csv", dir.file("a.out"), "--type", "64", "--instance", "sdb", "--fields", "ReadKBytes"});
  EXPECT_EQ(one.out, "time,instance,ReadKBytes\n100,sdb,11\n");
  RunResult counters = tallyread({"csv", dir.file("a.out"), "--type", "AppStat", "--fields", "#6,#7"});
  EXPECT_EQ(counters.out, "time,instance,#6,#7\n100,AppStat,5,6\n");
  // Several types get a type column; sub-second stamps become times.
  RunResult both = tallyread({"csv", dir.file("a.out"), "--type", "Tally,HardDisk", "--fields",
                        "TimeWritingStats,ReadKBytes", "--interval-ms", "250"});
  EXPECT_EQ(both.out,
            "time,type,instance,TimeWritingStats,ReadKBytes\n"
            "100,Tally,Tally,1,\n100,HardDisk,sda,,10\n100,HardDisk,sdb,,11\n"
            "100.250,Tally,Tally,2,\n100.250,HardDisk,sda,,12\n");

  RunResult unknown = tallyread({"csv", dir.file("a.out"), "--type", "HardDisk", "--fields", "Nope"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(firstLine(unknown.err),
            "tallyread: no field 'Nope'; the fields are (closest first): ProcessId, SessionId, ReadKBytes, WriteKBytes");
  RunResult badType = tallyread({"csv", dir.file("a.out"), "--type", "HardDisc"});
  EXPECT_EQ(badType.status, 2);
  EXPECT_EQ(firstLine(badType.err),
            "tallyread: no type 'HardDisc'; the types are (closest first): HardDisk, Tally, AppStat");
}

// Disk totals over irregular intervals: sdb's writes go down between 100 and
// 103 (no rate for that interval); sda's reads wrap at 2^32 after 103.
const std::string TOTALS =
    "64 100 sda 0 0 4294967000 100\n"
    "64 100 sdb 0 0 10 50\n"
    "64 101 sda 0 0 4294967100 300\n"
    "64 103 sdb 0 0 30 40\n"
    "64 103 sda 0 0 4294967290 700\n";

TEST_F(TallyReadCommand, RatesArePerSecondOfRealTimeWithThe32BitWrap) {
  // The second file of the series goes on where the first ended.
  writeFileText(dir.file("t1.out"), TYPES_ONLY + TOTALS.substr(0, TOTALS.find("64 103")));
  writeFileText(dir.file("t2.out"), TYPES_ONLY + "64 105 sda 0 0 200 900\n64 105 sdb 0 0 34 60\n");
  RunResult r = tallyread({"csv", dir.file("t1.out"), dir.file("t2.out"), "--type", "HardDisk", "--rate"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "time,instance,ProcessId,SessionId,ReadKBytes,WriteKBytes\n"
            "100,sda,0,0,,\n"
            "100,sdb,0,0,,\n"
            "101,sda,0,0,100,200\n"
            "105,sda,0,0,99,150\n"     // reads: (2^32 - 4294967100 + 200) / 4 s
            "105,sdb,0,0,4.8,2\n");    // over the 5 s since 100

  // A header that describes the type with other fields starts it afresh.
  std::string swapped = TYPES_ONLY;
  swapped.replace(swapped.find("ReadKBytes WriteKBytes"), 22, "WriteKBytes ReadKBytes");
  writeFileText(dir.file("t3.out"), swapped + "64 102 sdb 0 0 70 80\n64 104 sdb 0 0 80 100\n");
  RunResult fresh = tallyread({"csv", dir.file("t1.out"), dir.file("t3.out"), "--type", "HardDisk", "--instance", "sdb",
                         "--fields", "ReadKBytes", "--rate"});
  EXPECT_EQ(fresh.out, "time,instance,ReadKBytes\n100,sdb,\n102,sdb,\n104,sdb,10\n");

  writeFileText(dir.file("t.out"), TYPES_ONLY + TOTALS);
  RunResult down = tallyread({"json", dir.file("t.out"), "--type", "64", "--instance", "sd[b]", "--fields", "W*", "--rate"});
  ASSERT_EQ(down.status, 0) << down.err;
  EXPECT_EQ(down.out,
            "{\"time\":100,\"type\":\"HardDisk\",\"instance\":\"sdb\",\"WriteKBytes\":null}\n"
            "{\"time\":103,\"type\":\"HardDisk\",\"instance\":\"sdb\",\"WriteKBytes\":null}\n");

  RunResult iso = tallyread({"csv", dir.file("t.out"), "--type", "HardDisk", "--fields", "ReadKBytes", "--time", "iso",
                       "--from", "101", "--to", "1970-01-01T00:01:43Z", "--instance", "sda"});
  EXPECT_EQ(iso.out,
            "time,instance,ReadKBytes\n1970-01-01T00:01:41Z,sda,4294967100\n1970-01-01T00:01:43Z,sda,4294967290\n");
}

// A series whose second file was begun at 17:50:10 by its header, but whose
// stamps go on from a count that ran ahead, is named; stamps that are times
// are not, nor stamps of 1970.
TEST_F(TallyReadCommand, StampsAheadOfTheirHeadersTimeAreNamedAsSampleCounts) {
  const std::string later = testArchiveHeader({{"Tally", 16, "TimeWritingStats"}}, "vm x86_64 (Linux 6.1.0)",
                                              "12/05/26 17:50:10 UTC");
  writeFileText(dir.file("r1.out"), TYPES_ONLY + "16 1796493001 Tally 7 0 1\n16 1796493002 Tally 7 0 2\n");
  writeFileText(dir.file("r2.out"), later + "16 1796493200 Tally 7 0 3\n");
  writeFileText(dir.file("r3.out"), later + "16 1796493011 Tally 7 0 3\n");
  RunResult series = tallyread({"csv", dir.file("r1.out"), dir.file("r2.out")});
  EXPECT_EQ(series.err, "tallyread: " + dir.file("r2.out") +
                            ": the time stamps run 190 s ahead of the time their header was written: they count "
                            "samples (an archive taken below one second); give --interval-ms to turn them into "
                            "times\n");
  EXPECT_EQ(tallyread({"csv", dir.file("r1.out"), dir.file("r3.out")}).err, "");
  EXPECT_EQ(tallyread({"csv", dir.file("a.out")}).err, "");
}

// A damaged line is reported with its file and line and the reading goes on;
// a file still being written is read up to its last complete record.
TEST_F(TallyReadCommand, DamageIsReportedAndReadPastAndAnUnfinishedEndIsQuiet) {
  writeFileText(dir.file("d.out"), ARCHIVE + "64 102 sda 0 0 x 1\n64 103 sda 0 0 14 24\n64 104 sda 0 0 1");
  RunResult r = tallyread({"csv", dir.file("d.out"), "--type", "HardDisk", "--instance", "sda", "--fields", "ReadKBytes"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "time,instance,ReadKBytes\n100,sda,10\n101,sda,12\n103,sda,14\n");
  EXPECT_EQ(r.err, "tallyread: " + dir.file("d.out") + ":20: field ReadKBytes is not a number: 'x'\n");

  RunResult s = tallyread({"summary", dir.file("d.out"), dir.file("none.out"), "--type", "HardDisk", "--fields", "ReadKBytes",
                     "--csv"});
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(s.out, "type,instance,field,unit,samples,min,mean,max,last\n"
                   "HardDisk,sda,ReadKBytes,KB/s,2,1,1.5,2,1\n"
                   "HardDisk,sdb,ReadKBytes,KB/s,0,,,,\n");
  EXPECT_NE(s.err.find("cannot open " + dir.file("none.out")), std::string::npos) << s.err;
}

TEST_F(TallyReadCommand, SummaryAndTopRankInstancesByRateOrValue) {
  writeFileText(dir.file("t.out"), TYPES_ONLY + TOTALS + "64 105 sdb 0 0 1030 60\n64 105 sda 0 0 100 800\n");
  RunResult table = tallyread({"summary", dir.file("t.out"), "--fields", "ReadKBytes"});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.out,
            "type      instance  field       unit  samples    min     mean  max  last\n"
            "HardDisk  sda       ReadKBytes  KB/s        3     53   82.667  100    53\n"
            "HardDisk  sdb       ReadKBytes  KB/s        2  6.667  253.333  500   500\n");
  RunResult json = tallyread({"summary", dir.file("t.out"), "--type", "HardDisk", "--instance", "sdb", "--fields",
                        "WriteKBytes", "--json"});
  EXPECT_EQ(json.out, "{\"type\":\"HardDisk\",\"instance\":\"sdb\",\"field\":\"WriteKBytes\",\"unit\":\"KB/s\","
                      "\"samples\":1,\"min\":10,\"mean\":10,\"max\":10,\"last\":10}\n");

  RunResult byMean = tallyread({"top", dir.file("t.out"), "--type", "HardDisk", "--field", "ReadKBytes", "-n", "1"});
  ASSERT_EQ(byMean.status, 0) << byMean.err;
  ASSERT_EQ(splitLines(byMean.out).size(), 2u);
  EXPECT_EQ(splitLines(byMean.out)[1].substr(0, 10), "   1  sdb ");
  EXPECT_EQ(tallyread({"top", dir.file("t.out"), "--type", "HardDisk"}).status, 2);
}

// What chart refuses and reports, and that damage and a failed write lose
// nothing. What the page draws is checked in a browser
// (tools/tallyread/chart/browser_test.mjs).
TEST_F(TallyReadCommand, ChartRefusesABadCommandLineDrawsPastDamageAndLeavesNoPageOnAFailedWrite) {
  const std::string page = dir.file("p.html");
  RunResult noOutput = tallyread({"chart", dir.file("a.out")});
  EXPECT_EQ(noOutput.status, 2);
  EXPECT_EQ(firstLine(noOutput.err), "tallyread: chart needs -o PAGE.html");
  EXPECT_EQ(tallyread({"chart", dir.file("a.out"), "-o", page, "--rate"}).status, 2);
  EXPECT_EQ(tallyread({"chart", dir.file("a.out"), "--type", "HardDisk", "--fields", "Nope", "-o", page}).status, 2);
  // The dashboard needs a host or cache type; a Tally-only archive has none.
  writeFileText(dir.file("t.out"), testArchiveHeader({{"Tally", 16, "TimeWritingStats"}}) + "16 100 Tally 7 0 1\n");
  RunResult none = tallyread({"chart", dir.file("t.out"), "-o", page});
  EXPECT_EQ(none.status, 2) << none.err;
  EXPECT_NE(none.err.find("none of the types the dashboard draws"), std::string::npos) << none.err;
  EXPECT_EQ(tallyread({"chart", dir.file("missing.out"), "-o", page}).status, 1);
  struct stat st;
  EXPECT_NE(stat(page.c_str(), &st), 0);

  writeFileText(dir.file("d.out"), ARCHIVE + "64 102 sda 0 0\n64 103 sda 0 0 20 30\n");
  RunResult r = tallyread({"chart", dir.file("d.out"), "-o", page});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(dir.file("d.out") + ":20:"), std::string::npos) << r.err;
  std::string drawn = readFileText(page);
  EXPECT_NE(drawn.find("{\"title\":\"Disk throughput\",\"series\":[0,1,2,3]}"), std::string::npos);
  // sda's reads, past the damage at 102; sdb's, once
  EXPECT_NE(drawn.find("\"raw\":{\"t\":[100000,1000,2000],\"v\":[10,12,20]}"), std::string::npos);
  EXPECT_NE(drawn.find("\"raw\":{\"t\":[100000],\"v\":[11]}"), std::string::npos);
  EXPECT_EQ(drawn.find("TimeWritingStats"), std::string::npos);  // not on the dashboard

  RunResult unwritable = tallyread({"chart", dir.file("d.out"), "-o", dir.file("no/such/dir/p.html")});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("tallyread: cannot create " + dir.file("no/such/dir/p.html.part")), std::string::npos)
      << unwritable.err;
}

// --- over archives the monitor wrote ---

// A child that writes BYTES bytes to /dev/null when told (a byte on `go`),
// says so (a byte on `done`) and then sleeps; killed and reaped by the handle.
struct Writer {
  static constexpr size_t BYTES = 3000000;
  pid_t pid = -1;
  int go[2], done[2];
  Writer() {
    if (pipe(go) != 0 || pipe(done) != 0) return;
    pid = fork();
    if (pid == 0) {
      prctl(PR_SET_NAME, "trwriter");
      char c;
      if (read(go[0], &c, 1) != 1) _exit(1);
      std::string block(BYTES, 'x');
      FILE* sink = fopen("/dev/null", "w");
      setvbuf(sink, nullptr, _IONBF, 0);
      if (!sink || fwrite(block.data(), 1, BYTES, sink) != BYTES) _exit(1);
      if (write(done[1], "d", 1) != 1) _exit(1);
      for (;;) pause();
    }
  }
  ~Writer() {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    for (int fd : {go[0], go[1], done[0], done[1]}) close(fd);
  }
  bool writeNow() {
    char c;
    return write(go[1], "g", 1) == 1 && read(done[0], &c, 1) == 1;
  }
};

// The bytes a process wrote are what its CharacterIO rates add up to over
// the real time between its records, and top finds it.
TEST(TallyReadArchives, AListedProcessThatWritesKnownBytes) {
  TempDir dir;
  Writer writer;
  ASSERT_GT(writer.pid, 0);
  const std::string archive = dir.file("p.out");
  BackgroundProgram monitor({TALLYSCOPE_BIN, "-X", "-q", "-i", "1", "-u", "0", "-Q",
                             std::to_string(writer.pid) + "," + std::to_string(getpid()), "-f", dir.file("p")});
  auto records = [&] { return readArchive(archive).select("Solaris_Process", "trwriter").size(); };
  ASSERT_TRUE(waitUntil([&] { return records() >= 1; }));
  ASSERT_TRUE(writer.writeNow());
  size_t before = records();
  ASSERT_TRUE(waitUntil([&] { return records() >= before + 2; }));  // one sample surely after the write
  monitor.sendSignal(SIGINT);
  EXPECT_EQ(monitor.wait().status, 0);

  Archive a = readCompleteArchive(archive);
  std::vector<const ArchiveRecord*> raw = a.select("Solaris_Process", "trwriter");
  ASSERT_GE(raw.size(), 3u);
  // The block, and the byte read from `go` and written to `done` around it.
  const size_t moved = Writer::BYTES + 2;
  EXPECT_EQ(*a.fieldUInt(*raw.back(), "CharacterIO") - *a.fieldUInt(*raw.front(), "CharacterIO"), moved);

  // Rate times interval, summed over the run, gives the bytes back.
  RunResult rates = tallyread({"csv", archive, "--type", "Solaris_Process", "--instance", "trwriter", "--fields",
                               "CharacterIO", "--rate"});
  ASSERT_EQ(rates.status, 0) << rates.err;
  std::vector<std::string> lines = splitLines(rates.out);
  double bytes = 0;
  for (size_t i = 2; i < lines.size(); i++) {
    double seconds = std::stod(lines[i]) - std::stod(lines[i - 1]);
    bytes += std::stod(lines[i].substr(lines[i].rfind(',') + 1)) * seconds;
  }
  EXPECT_NEAR(bytes, (double)moved, 1.0);
  EXPECT_EQ(lines[1].substr(lines[1].rfind(',')), ",");  // the first record has no rate

  RunResult top = tallyread({"top", archive, "--type", "Solaris_Process", "--field", "CharacterIO", "--by", "max"});
  ASSERT_EQ(top.status, 0) << top.err;
  std::vector<std::string> ranked = splitLines(top.out);
  ASSERT_EQ(ranked.size(), 3u) << top.out;  // the column titles, the writer, this test
  EXPECT_NE(ranked[1].find("trwriter[" + std::to_string(writer.pid) + "]"), std::string::npos) << top.out;
  EXPECT_NE(ranked[1].find("bytes/s"), std::string::npos) << top.out;
}

// A host archive taken every 100 ms counts samples in its stamps: tallyread
// says so for the file, a copy written now and standard input alike, and not
// once the interval is given nor for an archive taken every second; openmetrics
// refuses it without the interval.
TEST(TallyReadArchives, SubSecondStampsAreNamedAsSampleCountsWhereverTheArchiveComes) {
  TempDir dir;
  RunResult sub = runProgram({TALLYSCOPE_BIN, "-X", "-q", "-I", "100", "-t", "12", "-u", "0", "-f", dir.file("sub")});
  ASSERT_EQ(sub.status, 0) << sub.err;
  RunResult second = runProgram({TALLYSCOPE_BIN, "-X", "-q", "-i", "1", "-t", "4", "-u", "0", "-f", dir.file("one")});
  ASSERT_EQ(second.status, 0) << second.err;
  writeFileText(dir.file("copy.out"), readFileText(dir.file("sub.out")));

  const std::string said = "the time stamps count samples";
  for (const std::string& path : {dir.file("sub.out"), dir.file("copy.out")}) {
    RunResult csv = tallyread({"csv", path, "--type", "Tally"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_NE(csv.err.find(path + ": " + said), std::string::npos) << csv.err;
    EXPECT_NE(csv.err.find("give --interval-ms"), std::string::npos) << csv.err;
    EXPECT_EQ(tallyread({"summary", path, "--interval-ms", "100"}).err, "");
  }
  RunResult piped = runProgram({"/bin/sh", "-c", "cat '" + dir.file("copy.out") + "' | " TALLYREAD_BIN " json -"});
  EXPECT_NE(piped.err.find("-: " + said), std::string::npos) << piped.err;
  EXPECT_EQ(tallyread({"summary", dir.file("one.out")}).err, "");
  // openmetrics cannot write times it does not know: it refuses until told the interval.
  RunResult refused = tallyread({"openmetrics", dir.file("sub.out")});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("give --interval-ms"), std::string::npos) << refused.err;
  EXPECT_EQ(tallyread({"openmetrics", dir.file("sub.out"), "--interval-ms", "100"}).status, 0);
}

}  // namespace
