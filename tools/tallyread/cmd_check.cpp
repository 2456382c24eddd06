// check: every header and record of each file; types: the types of a series
// with their record counts.
#include <cstdio>
#include <map>

#include "commands.h"

namespace tallyread {

void reportProblem(const std::string& message) { fprintf(stderr, "tallyread: %s\n", message.c_str()); }

bool checkSelection(Series& series, const Selection& selection, int* status) {
  const ArchiveHeader* header = series.firstHeader();
  if (!header) {
    *status = EXIT_BAD_ARCHIVE;
    return false;
  }
  std::string error;
  if (!selection.check(*header, &error)) {
    reportProblem(error);
    *status = EXIT_USAGE;
    return false;
  }
  return true;
}

namespace {

void printLocated(const std::string& path, const ArchiveError& err) {
  reportProblem(err.line > 0 ? path + ":" + std::to_string(err.line) + ": " + err.reason : err.reason);
}

// A strict read of one file: the first bad line ends it.
int checkFile(const std::string& path) {
  ArchiveReader reader;
  ArchiveError err;
  if (!reader.openFile(path, &err) || !reader.readHeader(&err)) {
    printLocated(path, err);
    return EXIT_BAD_ARCHIVE;
  }
  size_t records = 0, samples = 0;
  uint32_t lastTime = 0;
  ArchiveRecord record;
  while (reader.nextRecord(&record, &err)) {
    if (records == 0 || record.time != lastTime) samples++;
    records++;
    lastTime = record.time;
  }
  if (!err.empty()) {
    printLocated(path, err);
    return EXIT_BAD_ARCHIVE;
  }
  std::string headers = reader.headerCount() > 1 ? ", " + std::to_string(reader.headerCount()) + " headers" : "";
  printf("%s: ok: %zu records, %zu samples, %zu types%s\n", path.c_str(), records, samples,
         reader.header().types.size(), headers.c_str());
  return 0;
}

}  // namespace

int checkCommand(const CommandLine& line) {
  int status = 0;
  for (const std::string& path : line.files)
    if (checkFile(path) != 0) status = EXIT_BAD_ARCHIVE;
  return status;
}

int typesCommand(const CommandLine& line) {
  Series series(line.files, reportProblem);
  const ArchiveHeader* first = series.firstHeader();
  if (!first) return EXIT_BAD_ARCHIVE;
  ArchiveHeader header = *first;
  std::map<std::string, size_t> perType;
  SeriesRecord record;
  while (series.next(&record))
    if (record.type) perType[record.type->name]++;
  printf("%-10s %-22s %7s %9s\n", "ID", "TYPE", "FIELDS", "RECORDS");
  for (const ArchiveType& type : header.types) {
    std::string fields = std::to_string(type.fields.size()) + (type.openEnded ? "+" : "");
    printf("%-10llu %-22s %7s %9zu\n", (unsigned long long)type.id, type.name.c_str(), fields.c_str(),
           perType[type.name]);
  }
  return 0;
}

}  // namespace tallyread
