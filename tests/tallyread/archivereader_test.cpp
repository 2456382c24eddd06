#include "archivereader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "linesource.h"
#include "support/archivecheck.h"
#include "support/runprocess.h"

using namespace tallyread;

namespace {

const std::string HEADER = testArchiveHeader(
    {{"Tally", 16, "TimeWritingStats"}, {"AppStat", 32, ""},
     {"SystemPages", 64, "PhysicalMemory FreeMemory UnswappableMemory LockedPages TotalPages"}});
const size_t HEADER_LINES = 13;

const std::string RECORDS =
    "16 1700000000 Tally 4242 0 12\n"
    "32 1700000000 AppStat 0 0 7 8 9\n"
    "64 1700000000 SystemPages 0 0 2048 1024 3 4 524288\n"
    "16 1700000001 Tally 4242 0 4294967295\n"
    "32 1700000001 AppStat 0 0 -7 18446744073709551615 -9223372036854775808\n"
    "64 1700000001 SystemPages 0 0 2048 1000 3 4 524288\n";

ArchiveError parseError(const std::string& text) {
  Archive archive;
  ArchiveError err;
  EXPECT_FALSE(parseArchiveText(text, &archive, &err)) << text;
  return err;
}

TEST(ArchiveReader, ReadsHeaderTypesAndRecordsAsWritten) {
  Archive archive;
  ArchiveError err;
  ASSERT_TRUE(parseArchiveText(HEADER, &archive, &err)) << err.reason;  // a header alone is an archive
  ASSERT_TRUE(parseArchiveText(HEADER + RECORDS, &archive, &err)) << err.line << ": " << err.reason;
  const ArchiveHeader& h = archive.header;
  EXPECT_EQ(h.quillonVersion, "3.2.8.1, test");
  EXPECT_EQ(h.lineCount, HEADER_LINES);
  ASSERT_EQ(h.types.size(), 3u);
  EXPECT_EQ(h.types[2].fields.size(), 10u);

  ASSERT_EQ(archive.records.size(), 6u);
  EXPECT_EQ(archive.sampleCount(), 2u);
  std::vector<const ArchiveRecord*> pages = archive.select("SystemPages", "SystemPages");
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(archive.fieldUInt(*pages[1], "FreeMemory"), 1000u);
  EXPECT_FALSE(archive.field(*pages[1], "NoSuchField"));
  EXPECT_EQ(archive.fieldUInt(*archive.select("Tally")[1], "TimeWritingStats"), 4294967295u);
  // Application counters beyond the named fields are kept by position.
  const ArchiveRecord& app = *archive.select("AppStat")[1];
  ASSERT_EQ(app.tokenCount(), 8u);
  EXPECT_EQ(app.token(5), "-7");
}

// Each bad record line, placed after one good record, is reported at its line
// with its reason.
TEST(ArchiveReader, BadRecordLinesAreNamedWithLineAndReason) {
  const std::pair<std::string, std::string> cases[] = {
      {" 16 1700000002 Tally 1 0 3\n", "leading space"},
      {"16 1700000002  Tally 1 0 3\n", "two spaces in a row"},
      {"16 1700000002 Tally 1 0 3\r\n", "control character"},
      {"\n", "empty line"},
      {"128 1700000002 Tally 1 0 3\n", "unknown type number 128"},
      {"32 1700000002 AppStat 0\n", "has 4 values, the type has 5 fields (at least"},
      {"16 4294967296 Tally 1 0 3\n", "time stamp '4294967296'"},
      {"16 1700000002 Tally 1 0 007\n", "field TimeWritingStats is not a number"},  // every shape: ArchiveNumbers
      {"-16 1700000002 Tally 1 0 1\n", "type number '-16' is not a number"},
      {"32 1700000002 AppStat 0 0 1 2 x\n", "field value 8 is not a number: 'x'"},
  };
  for (const auto& c : cases) {
    ArchiveError err = parseError(HEADER + "16 1700000000 Tally 4242 0 12\n" + c.first + "16 1 Tally 1 0 1\n");
    EXPECT_EQ(err.line, HEADER_LINES + 2) << c.first;
    EXPECT_NE(err.reason.find(c.second), std::string::npos) << c.first << " gave: " << err.reason;
  }
  ArchiveError cut = parseError(HEADER + "16 1700000000 Tally 4242 0 12\n16 1700000002 Tally 1 0 3");
  EXPECT_EQ(cut.line, HEADER_LINES + 2);
  EXPECT_EQ(cut.reason, "the last line has no newline (file cut short?)");
}

TEST(ArchiveReader, BadHeadersAreRefusedWithTheLine) {
  auto replaced = [](const std::string& from, const std::string& to) {
    std::string text = HEADER;
    return text.replace(text.find(from), from.size(), to) + RECORDS;
  };
  struct Case { std::string text; size_t line; std::string reason; };
  const Case cases[] = {
      {"", 1, "the file ends inside the header"},
      {"hello\n" + RECORDS, 1, "not a statistics archive"},
      {replaced("TALLY \"3\"", "TALLY \"4\""), 1, "unsupported format version"},
      {replaced("Machine = \"vm x86_64 (Linux 6.1.0)\"\n", ""), 4, "expected the line Machine"},
      {replaced(") 16 ,", ") 16"), 7, "',' or the end of the list was expected after type Tally, found 'AppStat'"},
      {replaced(") 32 ,", ") 16 ,"), 7, "types Tally and AppStat share the number 16"},
      {replaced(" ) 64\n", "\n"), 7, "type SystemPages: the field list is not closed"},
      {replaced("ENDHEADER\n\n", "ENDHEADER\n"), HEADER_LINES, "expected the line ''"},
      {HEADER.substr(0, 200), 7, "the file ends inside the header (line without newline)"},
  };
  for (const Case& c : cases) {
    ArchiveError err = parseError(c.text);
    EXPECT_EQ(err.line, c.line) << c.reason << " gave: " << err.reason;
    EXPECT_NE(err.reason.find(c.reason), std::string::npos) << "expected: " << c.reason << "\ngave: " << err.reason;
  }
}

// Each text a gzip member of its own, one after the other in the file.
void writeGzip(const std::string& path, const std::vector<std::string>& members) {
  for (const std::string& text : members) {
    gzFile f = gzopen(path.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(gzwrite(f, text.data(), (unsigned)text.size()), (int)text.size());
    ASSERT_EQ(gzclose(f), Z_OK);
  }
}

TEST(ArchiveReaderFiles, GzipReadsWholeAndDamageIsReported) {
  TempDir dir;
  std::string text = HEADER;
  for (int sample = 0; sample < 3000; sample++)  // more than one read chunk
    text += "16 " + std::to_string(1700000000 + sample) + " Tally 4242 0 " + std::to_string(sample) + "\n";
  writeGzip(dir.file("packed.out.gz"), {text});
  Archive packed;
  ArchiveError err;
  ASSERT_TRUE(readArchiveFile(dir.file("packed.out.gz"), &packed, &err)) << err.reason;
  ASSERT_EQ(packed.records.size(), 3000u);
  EXPECT_EQ(packed.records.back().text, "16 1700002999 Tally 4242 0 2999");
  EXPECT_EQ(packed.records.back().line, HEADER_LINES + 3000);

  std::string whole = readFileText(dir.file("packed.out.gz"));
  writeFileText(dir.file("cut.out.gz"), whole.substr(0, whole.size() / 2));
  whole[whole.size() / 2] ^= 0x55;
  writeFileText(dir.file("damaged.out.gz"), whole);
  for (const char* name : {"cut", "damaged"}) {
    EXPECT_FALSE(readArchiveFile(dir.file(name + std::string(".out.gz")), &packed, &err));
    EXPECT_NE(err.reason.find(std::string("gzip input is ") + (name[0] == 'c' ? "cut short" : "damaged")),
              std::string::npos) << err.reason;
  }
}

// Lines are at most MAX_LINE_BYTES long; a longer one, however it is delivered,
// stops the reading at its line. (A plain one is shown end to end.)
TEST(ArchiveReaderFiles, AnOverlongLineIsRefusedAtItsLineNumber) {
  std::string atLimit = "16 1700000000 Tally 4242 0 " + std::string(MAX_LINE_BYTES - 27, '1') + "\n";
  ASSERT_EQ(atLimit.size(), MAX_LINE_BYTES + 1);
  ArchiveError err = parseError(HEADER + RECORDS + atLimit);  // read whole, then refused as a number
  EXPECT_EQ(err.line, HEADER_LINES + 7);
  EXPECT_NE(err.reason.find("is not a number"), std::string::npos) << err.reason.substr(0, 200);

  TempDir dir;  // a gzip bomb: 64 MB of one line in a few hundred kilobytes
  writeGzip(dir.file("bomb.gz"), {HEADER + std::string(64 << 20, 'x')});
  Archive archive;
  EXPECT_FALSE(readArchiveFile(dir.file("bomb.gz"), &archive, &err));
  EXPECT_EQ(err.line, HEADER_LINES + 1);
  EXPECT_NE(err.reason.find("is longer than"), std::string::npos) << err.reason;
}

// The files of a series written to one stream follow each other, each with its
// own header; gzip members concatenated read as one stream.
TEST(ArchiveReaderFiles, SeveralHeadersAndGzipMembersReadAsOneSeries) {
  const std::string first = HEADER + RECORDS;
  // The second file declares other types under the same numbers.
  std::string second = HEADER;
  second.replace(second.find("SystemPages ("), 11, "HardDiskXYZ");
  second += "64 1700000005 sda 0 0 1 2 3 4 5\n16 1700000005 Tally 4242 0 13\n";
  Archive archive;
  ArchiveError err;
  ASSERT_TRUE(parseArchiveText(first + second, &archive, &err)) << err.line << ": " << err.reason;
  ASSERT_EQ(archive.headers.size(), 2u);
  EXPECT_EQ(archive.headers[1].firstLine, HEADER_LINES + 7);
  ASSERT_EQ(archive.records.size(), 8u);
  EXPECT_EQ(archive.records[6].line, 2 * HEADER_LINES + 7);
  EXPECT_EQ(archive.typeOf(archive.records[6])->name, "HardDiskXYZ");
  EXPECT_EQ(archive.sampleCount(), 3u);
  // A header cut short inside the stream is reported at its line.
  err = parseError(first + second.substr(0, 40));
  EXPECT_EQ(err.line, HEADER_LINES + 8);
  EXPECT_NE(err.reason.find("the file ends inside the header"), std::string::npos) << err.reason;

  // Two files in two members, and two members split inside a header line.
  TempDir dir;
  const std::string whole = first + second;
  writeGzip(dir.file("ab.gz"), {first, second});
  writeGzip(dir.file("c.gz"), {whole.substr(0, 100), whole.substr(100)});
  for (const char* name : {"ab.gz", "c.gz"}) {
    ASSERT_TRUE(readArchiveFile(dir.file(name), &archive, &err)) << name << ":" << err.line << ": " << err.reason;
    EXPECT_EQ(archive.headers.size(), 2u);
    EXPECT_EQ(archive.records.size(), 8u);
  }
}

// The record reader reads eight digits at a time where eight bytes are left
// in the line: every length of value, at the end of a line and before other
// values, reads as parseUInt and parseInt take it.
TEST(ArchiveNumbers, TheRecordReaderAgreesWithTheParsersAtEveryLength) {
  std::vector<std::string> values = {"0", "-1", "-0", "-", "+1", "00", "7a", "a7", "1\x7f", "18446744073709551615",
                                     "18446744073709551616", "99999999999999999999", "100000000000000000000",
                                     "-9223372036854775808", "-9223372036854775809", "9223372036854775808"};
  std::string digits = "98765432109876543210";
  for (size_t n = 1; n <= 20; n++) {
    values.push_back(digits.substr(0, n));
    values.push_back("-" + digits.substr(0, n));
    values.push_back("1" + std::string(n - 1, '0'));
    values.push_back(digits.substr(0, n) + "x");
  }
  for (const std::string& value : values)
    for (const std::string& after : {std::string(), std::string(" 1 22 333 4444 55555")}) {
      Archive archive;
      ArchiveError err;
      std::string line = "32 1700000000 AppStat 0 0 " + value + after + "\n";
      uint64_t u;
      int64_t i;
      bool isUnsigned = parseUInt(value, &u), isSigned = parseInt(value, &i);
      ASSERT_EQ(parseArchiveText(HEADER + line, &archive, &err), isUnsigned || isSigned) << line << err.reason;
      if (!isUnsigned && !isSigned) {
        bool control = value.find('\x7f') != std::string::npos;
        EXPECT_NE(err.reason.find(control ? "control character" : "field value 6 is not a number"),
                  std::string::npos)
            << line << err.reason;
        continue;
      }
      const ArchiveNumber& number = archive.records[0].numbers[5];
      EXPECT_EQ(number.negative, !isUnsigned) << line;
      EXPECT_EQ(number.magnitude, isUnsigned ? u : 0 - (uint64_t)i) << line;
      EXPECT_EQ(archive.records[0].token(5), value);
      if (!after.empty()) {
        EXPECT_EQ(archive.records[0].numbers.back().magnitude, 55555u);
      }
    }
}

}  // namespace
