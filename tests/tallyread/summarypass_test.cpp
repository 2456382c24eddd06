// summary's one pass against the record-by-record path (Extractor with
// rates, SummaryStats::add) on the seams of the pass: lines it reads itself
// next to lines it leaves to the reader, headers within a stream, a record
// cut short, records whose instance order changes.
#include "summarypass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "extract.h"
#include "support/archivecheck.h"
#include "support/runprocess.h"

using namespace tallyread;

namespace {

std::string header(const std::string& tallyField) {
  return testArchiveHeader({{"Tally", 16, tallyField}, {"AppStat", 32, ""},
                            {"SystemPages", 64, "PhysicalMemory FreeMemory UnswappableMemory LockedPages TotalPages"}});
}
const std::string HEADER = header("TimeWritingStats");

struct Outcome {
  std::vector<std::string> figures;  // one line per type, instance and field, in order
  std::vector<std::string> reports;
};

std::string shown(const StatsKey& key, const FieldStats& s) {
  char numbers[160];
  snprintf(numbers, sizeof numbers, "%zu %.17g %.17g %.17g %.17g %d", s.count, s.min, s.max, s.sum, s.last,
           (int)s.isRate);
  return key.type + "|" + key.instance + "|" + key.field + "|" + numbers;
}

Outcome summarise(const std::vector<std::string>& paths, const SelectionOptions& options, bool onePass) {
  Outcome outcome;
  Series series(paths, [&](const std::string& message) { outcome.reports.push_back(message); });
  Selection selection(options);
  SummaryStats stats;
  if (onePass) {
    SummaryPass(series, selection, std::nullopt, &stats).run();
  } else {
    Extractor extractor(series, selection, ExtractOptions{true, std::nullopt, false});
    ShownRecord record;
    while (extractor.next(&record)) stats.add(record);
  }
  for (const auto* entry : stats.inOrder()) outcome.figures.push_back(shown(entry->first, entry->second));
  return outcome;
}

TEST(SummaryPass, GivesTheFiguresAndReportsOfTheRecordByRecordPath) {
  struct Case {
    const char* what;
    std::string text;
    size_t reports;      // how many problems are reported
    std::string second = "";  // the text of a second file after the first, if any
  };
  const std::string first = "16 100 Tally 4242 0 10\n64 100 SystemPages 0 0 2048 1024 3 4 524288\n";
  const Case cases[] = {
      {"usual lines only", first + "16 101 Tally 4242 0 30\n64 101 SystemPages 0 0 2048 1000 3 4 524288\n", 0},
      {"a damaged line between usual ones, reported once",
       first + "16 101 Tally 4242 0 x\n16 102 Tally 4242 0 50\n64 102 SystemPages 0 0 2048 1000 3 4 524288\n", 1},
      {"values of another shape read by the reader between usual ones",
       first + "32 100 AppStat 0 0 -7 18446744073709551615 5\n16 101 Tally 4242 0 12345678901234567890\n"
               "32 101 AppStat 0 0 7 18446744073709551615 5 6\n16 102 Tally 4242 0 99\n",
       0},
      {"damage of every kind", first + "16 101 Tally 4242 0 01\n\n99 101 Tally 1 0 1\n16 101  Tally 1 0 1\n"
                                       "16 101 Tally 4242 0 1 \n16 101 Tally 4242 0\n64 4294967296 SystemPages 0 0 "
                                       "1 1 1 1 1\n16 103 Tally 4242 0 70\n",
       7},
      {"a header within the stream that puts another total in the place of one",
       first + "16 101 Tally 4242 0 20\n" + header("UserTime TimeWritingStats") +
           "16 102 Tally 4242 0 40 25\n16 103 Tally 4242 0 45 26\n",
       0},
      {"a header within the stream that is bad", first + "TALLY \"3\"\nbroken\n16 101 Tally 4242 0 20\n", 2},
      {"processes that share a name, in changing order",
       first + "16 101 Tally 77 0 5\n16 101 Tally 4242 0 20\n16 102 Tally 4242 0 40\n16 102 Tally 77 0 9\n"
               "16 103 Tally 77 0 11\n16 103 Tally 4242 0 41\n",
       0},
      {"a last record cut short, not reported", first + "16 101 Tally 4242 0 30\n16 102 Tally 4242 0 4", 0},
      {"damage in a file after one the pass read itself, with its own file and line",
       first, 1, "16 102 Tally 4242 0 30\n16 103 Tally 4242 0 -\n16 104 Tally 4242 0 50\n"},
  };
  SelectionOptions everything, someFields;
  someFields.types = {"Tally", "AppStat"};
  someFields.fields = {"#6", "#4", "#7"};
  for (const Case& c : cases) {
    TempDir dir;
    writeFileText(dir.file("a.out"), HEADER + c.text);
    writeFileText(dir.file("b.out"), HEADER + c.second);
    std::vector<std::string> files = {dir.file("a.out")};
    if (!c.second.empty()) files.push_back(dir.file("b.out"));
    for (const SelectionOptions* options : {&everything, &someFields}) {
      Outcome pass = summarise(files, *options, true);
      Outcome byRecord = summarise(files, *options, false);
      EXPECT_EQ(pass.figures, byRecord.figures) << c.what;
      EXPECT_EQ(pass.reports, byRecord.reports) << c.what;
      EXPECT_EQ(pass.reports.size(), c.reports) << c.what;
      if (!c.second.empty()) { EXPECT_EQ(pass.reports.at(0).rfind(dir.file("b.out") + ":15: field", 0), 0u); }
    }
  }
}

}  // namespace
