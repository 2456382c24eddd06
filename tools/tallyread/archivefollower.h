// Follows an archive that the monitor is still writing, as tail -F would:
// each poll reads what was appended since the last one (whole lines only,
// plain or gzip), goes on into the next file of a -r series ("name-2.out"
// after "name-1.out") once it appears, starts afresh when the file is replaced
// or cut short, and waits while it is missing. It only reads: the monitor is
// never blocked or slowed.
#pragma once

#include <sys/types.h>
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>

#include "series.h"

namespace tallyread {

// The name of the file a -r run writes after this one, or empty when the
// name has no number ("name-N.out" or "name-N.out.gz").
std::string nextSeriesFile(const std::string& path);

class ArchiveFollower {
 public:
  using Visit = std::function<void(const SeriesRecord& record)>;
  ArchiveFollower(std::string path, Series::Report report);
  ~ArchiveFollower();
  ArchiveFollower(const ArchiveFollower&) = delete;
  ArchiveFollower& operator=(const ArchiveFollower&) = delete;

  // Reads what is new and hands every complete record to visit.
  void poll(const Visit& visit);
  // The file followed now (the first name, or a later file of the series).
  const std::string& path() const { return _path; }
  bool fileOpen() const { return _file != nullptr; }

 private:
  bool open();
  void close();
  bool readAvailable(const Visit& visit);  // FALSE when the file's data is damaged
  void takeLine(std::string line, const Visit& visit);
  void flushRecords(const Visit& visit);
  Series::Report _report;
  std::string _path;
  gzFile _file = nullptr;
  dev_t _device = 0;
  ino_t _inode = 0;
  bool _damaged = false;       // reading stopped at damaged data until the file is replaced
  bool _missingReported = false;
  std::string _partial;        // bytes after the last newline read
  std::string _header;         // the text of the header in force
  std::string _newHeader;      // a header being read
  std::string _records;        // complete record lines not yet handed out
  size_t _headerSerial = 0;
  size_t _line = 0;            // lines of the file read so far
};

}  // namespace tallyread
