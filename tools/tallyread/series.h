// Several archives read as one series, in the order given: the files of a -r
// run, standard input ("-"), streams of several headers, concatenated gzip
// members. Each record comes with the header that describes it.
//
// Damage does not stop the reading: a line that is not a valid record, or a
// file that cannot be opened or has a bad header, is reported through the
// report function (with the file and the line number) and reading goes on
// with the next line or the next file. A file still being written (its last
// line without a newline, or a gzip stream not yet closed) is read up to its
// last complete record and its unfinished end is not reported.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archivereader.h"

namespace tallyread {

struct SeriesRecord {
  const std::string* path = nullptr;      // the file it comes from
  const ArchiveHeader* header = nullptr;  // valid until the next call
  const ArchiveType* type = nullptr;      // its type under that header
  size_t headerSerial = 0;                // grows by one at each new header of the series
  ArchiveRecord record;
};

class Series {
 public:
  using Report = std::function<void(const std::string& message)>;
  Series(std::vector<std::string> paths, Report report);
  ~Series();

  // The next record; FALSE after the last record of the last file.
  bool next(SeriesRecord* out);

  // next() in steps, for a caller that reads most records itself. nextLine
  // gives the next line that is not part of a header, unchecked (valid until
  // the next call; LINE_SLACK bytes after it may be read); FALSE after the
  // last file. The caller then either reads the line itself, when it is a
  // record of the usual shape, and takes its place with locate(), or hands
  // it to readLine, which checks it as next() does (damage reported) and is
  // FALSE when it is no record.
  struct Line {
    std::string_view text;
    bool endedByNewline = false;
    size_t number = 0;  // in its file
  };
  bool nextLine(Line* line);
  bool readLine(const Line& line, SeriesRecord* out);
  // The header under which the line last given is read, and a number that
  // grows whenever that header changes (a new file, or a header within a
  // stream; also one that turned out bad).
  const ArchiveHeader& header() const { return _reader->header(); }
  size_t headerVersion() const { return _headerVersion; }
  // The file and header serial of the record on the line last given: call
  // once for each line read as a record, in order.
  void locate(const std::string** path, size_t* headerSerial);
  // Reads up to the first header of the series (to check names against it);
  // null when no file has a readable header. Records are not consumed.
  const ArchiveHeader* firstHeader();
  size_t damageCount() const { return _damage; }
  // Passes a remark about the input (not damage) to the report function.
  void note(const std::string& message) { _report(message); }

 private:
  bool openNext();
  void damaged(size_t line, const std::string& reason);
  std::vector<std::string> _paths;
  Report _report;
  size_t _fileIndex = 0;
  std::unique_ptr<ArchiveReader> _reader;
  size_t _headersSeen = 0;  // of the current file
  size_t _lineHeaders = 0;  // of the current file, when its last line was given
  size_t _headerVersion = 0;
  size_t _headerSerial = 0;
  size_t _damage = 0;
};

}  // namespace tallyread
