// The tallyread command as a user runs it over archives written by hand: exit
// statuses, the first bad line on standard error, the type list, CSV and JSON
// extraction with rates, the summary, top, and the chart page.
#ifdef TALLYREAD_BIN

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

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

class TallyReadCommand : public ::testing::Test {
 protected:
  void SetUp() override { writeFileText(dir.file("a.out"), ARCHIVE); }
  RunResult run(std::vector<std::string> args, const std::string& cwd = "") {
    args.insert(args.begin(), TALLYREAD_BIN);
    return runProgram(args, RunOptions{{}, cwd, 90});
  }
  TempDir dir;
};

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST_F(TallyReadCommand, CheckSummarisesAGoodArchiveAndNamesTheFirstBadLine) {
  RunResult ok = run({"check", dir.file("a.out")});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, dir.file("a.out") + ": ok: 6 records, 2 samples, 3 types\n");

  writeFileText(dir.file("bad.out"), ARCHIVE + "64 102 sda 0 0 13\n64 102 sdb 0 0 1 2 3\n");
  RunResult bad = run({"check", dir.file("bad.out")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "tallyread: " + dir.file("bad.out") +
                         ":20: record of type 64 (HardDisk) has 6 values, the type has 7 fields\n");
  EXPECT_EQ(run({"check", dir.file("none.out")}).status, 1);
  EXPECT_EQ(run({"check"}).status, 2);

  // Endless or huge lines end the reading at once with their line number;
  // what came before is still summarised.
  RunResult zero = run({"check", "/dev/zero"});
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.err, "tallyread: /dev/zero:1: line 1 is longer than 1048576 bytes: not an archive line\n");
  writeFileText(dir.file("long.out"), ARCHIVE + std::string(2 << 20, '6'));
  RunResult cut = run({"summary", dir.file("long.out")});
  EXPECT_EQ(cut.status, 0);
  EXPECT_NE(cut.err.find("long.out:20: line 20 is longer than"), std::string::npos) << cut.err;
  EXPECT_NE(cut.out.find("HardDisk"), std::string::npos);

  // The files of a -r series streamed to standard input follow each other with
  // a header each; gzip members of several files likewise.
  writeFileText(dir.file("b.out"), ARCHIVE);
  RunResult plain = runProgram({"/bin/sh", "-c", "cat a.out b.out | " TALLYREAD_BIN " check -"},
                               RunOptions{{}, dir.path(), 90});
  EXPECT_EQ(plain.out, "-: ok: 12 records, 4 samples, 3 types, 2 headers\n") << plain.err;
  RunResult packed = runProgram({"/bin/sh", "-c", "gzip -c a.out >ab.gz && gzip -c b.out >>ab.gz"},
                                RunOptions{{}, dir.path(), 90});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(run({"check", "ab.gz"}, dir.path()).out, "ab.gz: ok: 12 records, 4 samples, 3 types, 2 headers\n");
}

TEST_F(TallyReadCommand, TypesListsRecordCountsAndCsvSelectsByTypeInstanceAndFields) {
  RunResult r = run({"types", dir.file("a.out")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1),  // after the column titles
            "16         Tally                        6         2\n"
            "32         AppStat                     5+         1\n"
            "64         HardDisk                     7         3\n");

  RunResult all = run({"csv", dir.file("a.out"), "--type", "HardDisk", "--fields", "WriteKBytes,ReadKBytes"});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out, "time,instance,WriteKBytes,ReadKBytes\n100,sda,20,10\n100,sdb,21,11\n101,sda,22,12\n");
  RunResult one = run({"csv", dir.file("a.out"), "--type", "64", "--instance", "sdb", "--fields", "ReadKBytes"});
  EXPECT_EQ(one.out, "time,instance,ReadKBytes\n100,sdb,11\n");
  RunResult counters = run({"csv", dir.file("a.out"), "--type", "AppStat", "--fields", "#6,#7"});
  EXPECT_EQ(counters.out, "time,instance,#6,#7\n100,AppStat,5,6\n");
  // Several types get a type column; sub-second stamps become times.
  RunResult both = run({"csv", dir.file("a.out"), "--type", "Tally,HardDisk", "--fields",
                        "TimeWritingStats,ReadKBytes", "--interval-ms", "250"});
  EXPECT_EQ(both.out,
            "time,type,instance,TimeWritingStats,ReadKBytes\n"
            "100,Tally,Tally,1,\n100,HardDisk,sda,,10\n100,HardDisk,sdb,,11\n"
            "100.250,Tally,Tally,2,\n100.250,HardDisk,sda,,12\n");

  RunResult unknown = run({"csv", dir.file("a.out"), "--type", "HardDisk", "--fields", "Nope"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(firstLine(unknown.err),
            "tallyread: no field 'Nope'; the fields are (closest first): ProcessId, SessionId, ReadKBytes, WriteKBytes");
  RunResult badType = run({"csv", dir.file("a.out"), "--type", "HardDisc"});
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
  RunResult r = run({"csv", dir.file("t1.out"), dir.file("t2.out"), "--type", "HardDisk", "--rate"});
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
  RunResult fresh = run({"csv", dir.file("t1.out"), dir.file("t3.out"), "--type", "HardDisk", "--instance", "sdb",
                         "--fields", "ReadKBytes", "--rate"});
  EXPECT_EQ(fresh.out, "time,instance,ReadKBytes\n100,sdb,\n102,sdb,\n104,sdb,10\n");

  writeFileText(dir.file("t.out"), TYPES_ONLY + TOTALS);
  RunResult down = run({"json", dir.file("t.out"), "--type", "64", "--instance", "sd[b]", "--fields", "W*", "--rate"});
  ASSERT_EQ(down.status, 0) << down.err;
  EXPECT_EQ(down.out,
            "{\"time\":100,\"type\":\"HardDisk\",\"instance\":\"sdb\",\"WriteKBytes\":null}\n"
            "{\"time\":103,\"type\":\"HardDisk\",\"instance\":\"sdb\",\"WriteKBytes\":null}\n");

  RunResult iso = run({"csv", dir.file("t.out"), "--type", "HardDisk", "--fields", "ReadKBytes", "--time", "iso",
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
  RunResult series = run({"csv", dir.file("r1.out"), dir.file("r2.out")});
  EXPECT_EQ(series.err, "tallyread: " + dir.file("r2.out") +
                            ": the time stamps run 190 s ahead of the time their header was written: they count "
                            "samples (an archive taken below one second); give --interval-ms to turn them into "
                            "times\n");
  EXPECT_EQ(run({"csv", dir.file("r1.out"), dir.file("r3.out")}).err, "");
  EXPECT_EQ(run({"csv", dir.file("a.out")}).err, "");
}

// A damaged line is reported with its file and line and the reading goes on;
// a file still being written is read up to its last complete record.
TEST_F(TallyReadCommand, DamageIsReportedAndReadPastAndAnUnfinishedEndIsQuiet) {
  writeFileText(dir.file("d.out"), ARCHIVE + "64 102 sda 0 0 x 1\n64 103 sda 0 0 14 24\n64 104 sda 0 0 1");
  RunResult r = run({"csv", dir.file("d.out"), "--type", "HardDisk", "--instance", "sda", "--fields", "ReadKBytes"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "time,instance,ReadKBytes\n100,sda,10\n101,sda,12\n103,sda,14\n");
  EXPECT_EQ(r.err, "tallyread: " + dir.file("d.out") + ":20: field ReadKBytes is not a number: 'x'\n");
  EXPECT_EQ(run({"check", dir.file("d.out")}).status, 1);

  RunResult s = run({"summary", dir.file("d.out"), dir.file("none.out"), "--type", "HardDisk", "--fields", "ReadKBytes",
                     "--csv"});
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(s.out, "type,instance,field,unit,samples,min,mean,max,last\n"
                   "HardDisk,sda,ReadKBytes,KB/s,2,1,1.5,2,1\n"
                   "HardDisk,sdb,ReadKBytes,KB/s,0,,,,\n");
  EXPECT_NE(s.err.find("cannot open " + dir.file("none.out")), std::string::npos) << s.err;
}

TEST_F(TallyReadCommand, SummaryAndTopRankInstancesByRateOrValue) {
  writeFileText(dir.file("t.out"), TYPES_ONLY + TOTALS + "64 105 sdb 0 0 1030 60\n64 105 sda 0 0 100 800\n");
  RunResult table = run({"summary", dir.file("t.out"), "--fields", "ReadKBytes"});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.out,
            "type      instance  field       unit  samples    min     mean  max  last\n"
            "HardDisk  sda       ReadKBytes  KB/s        3     53   82.667  100    53\n"
            "HardDisk  sdb       ReadKBytes  KB/s        2  6.667  253.333  500   500\n");
  RunResult json = run({"summary", dir.file("t.out"), "--type", "HardDisk", "--instance", "sdb", "--fields",
                        "WriteKBytes", "--json"});
  EXPECT_EQ(json.out, "{\"type\":\"HardDisk\",\"instance\":\"sdb\",\"field\":\"WriteKBytes\",\"unit\":\"KB/s\","
                      "\"samples\":1,\"min\":10,\"mean\":10,\"max\":10,\"last\":10}\n");

  RunResult byMean = run({"top", dir.file("t.out"), "--type", "HardDisk", "--field", "ReadKBytes", "-n", "1"});
  ASSERT_EQ(byMean.status, 0) << byMean.err;
  ASSERT_EQ(splitLines(byMean.out).size(), 2u);
  EXPECT_EQ(splitLines(byMean.out)[1].substr(0, 10), "   1  sdb ");
  RunResult byLast = run({"top", dir.file("t.out"), "--type", "HardDisk", "--field", "WriteKBytes", "--by", "last"});
  EXPECT_EQ(splitLines(byLast.out)[1].substr(0, 10), "   1  sda ");
  EXPECT_EQ(run({"top", dir.file("t.out"), "--type", "HardDisk"}).status, 2);
}

// What chart refuses and reports, and that damage and a failed write lose
// nothing. What the page draws is checked in a browser
// (tools/tallyread/chart/browser_test.mjs).
TEST_F(TallyReadCommand, ChartRefusesABadCommandLineDrawsPastDamageAndLeavesNoPageOnAFailedWrite) {
  const std::string page = dir.file("p.html");
  RunResult noOutput = run({"chart", dir.file("a.out")});
  EXPECT_EQ(noOutput.status, 2);
  EXPECT_EQ(firstLine(noOutput.err), "tallyread: chart needs -o PAGE.html");
  EXPECT_EQ(run({"chart", dir.file("a.out"), "-o", page, "--rate"}).status, 2);
  RunResult unknown = run({"chart", dir.file("a.out"), "--type", "HardDisk", "--fields", "Nope", "-o", page});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no field 'Nope'"), std::string::npos) << unknown.err;
  // The dashboard needs a host or cache type; a Tally-only archive has none.
  writeFileText(dir.file("t.out"), testArchiveHeader({{"Tally", 16, "TimeWritingStats"}}) + "16 100 Tally 7 0 1\n");
  RunResult none = run({"chart", dir.file("t.out"), "-o", page});
  EXPECT_EQ(none.status, 2) << none.err;
  EXPECT_NE(none.err.find("none of the types the dashboard draws"), std::string::npos) << none.err;
  EXPECT_EQ(run({"chart", dir.file("missing.out"), "-o", page}).status, 1);
  struct stat st;
  EXPECT_NE(stat(page.c_str(), &st), 0);

  writeFileText(dir.file("d.out"), ARCHIVE + "64 102 sda 0 0\n64 103 sda 0 0 20 30\n");
  RunResult r = run({"chart", dir.file("d.out"), "-o", page});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(dir.file("d.out") + ":20:"), std::string::npos) << r.err;
  std::string drawn = readFileText(page);
  EXPECT_NE(drawn.find("{\"title\":\"Disk throughput\",\"series\":[0,1,2,3]}"), std::string::npos);
  // sda's reads, past the damage at 102; sdb's, once
  EXPECT_NE(drawn.find("\"raw\":{\"t\":[100000,1000,2000],\"v\":[10,12,20]}"), std::string::npos);
  EXPECT_NE(drawn.find("\"raw\":{\"t\":[100000],\"v\":[11]}"), std::string::npos);
  EXPECT_EQ(drawn.find("TimeWritingStats"), std::string::npos);  // not on the dashboard

  RunResult unwritable = run({"chart", dir.file("d.out"), "-o", dir.file("no/such/dir/p.html")});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("tallyread: cannot create " + dir.file("no/such/dir/p.html.part")), std::string::npos)
      << unwritable.err;
}

}  // namespace

#endif  // TALLYREAD_BIN
