#include "archivefollower.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "linesource.h"

namespace tallyread {

namespace {

const char HEADER_START[] = "TALLY \"";
// A header with every type the monitor knows is some tens of KB.
const size_t MAX_HEADER_BYTES = 4 * MAX_LINE_BYTES;
// Records handed out at once; a longer backlog is read in pieces.
const size_t RECORD_BATCH_BYTES = MAX_LINE_BYTES;

bool startsWith(const std::string& text, const char* head) { return text.compare(0, strlen(head), head) == 0; }

}  // namespace

std::string nextSeriesFile(const std::string& path) {
  size_t end = path.size();
  std::string tail;
  for (const char* suffix : {".out.gz", ".out"}) {
    size_t n = strlen(suffix);
    if (path.size() > n && path.compare(path.size() - n, n, suffix) == 0) {
      end = path.size() - n;
      tail = suffix;
      break;
    }
  }
  if (tail.empty()) return "";
  size_t digits = end;
  while (digits > 0 && isdigit((unsigned char)path[digits - 1])) digits--;
  if (digits == end || digits == 0 || path[digits - 1] != '-' || end - digits > 9) return "";
  unsigned long number = strtoul(path.substr(digits, end - digits).c_str(), nullptr, 10);
  return path.substr(0, digits) + std::to_string(number + 1) + tail;
}

ArchiveFollower::ArchiveFollower(std::string path, Series::Report report)
    : _report(std::move(report)), _path(std::move(path)) {}

ArchiveFollower::~ArchiveFollower() { close(); }

bool ArchiveFollower::open() {
  int fd = ::open(_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) ::close(fd);
    if (!_missingReported) _report(_path + ": " + strerror(errno) + "; waiting for it");
    _missingReported = true;
    return false;
  }
  _file = gzdopen(fd, "rb");
  if (!_file) {
    ::close(fd);
    return false;
  }
  _missingReported = false;
  _device = st.st_dev;
  _inode = st.st_ino;
  _damaged = false;
  _partial.clear();
  _header.clear();
  _newHeader.clear();
  _records.clear();
  _line = 0;
  return true;
}

void ArchiveFollower::close() {
  if (_file) gzclose(_file);
  _file = nullptr;
}

void ArchiveFollower::poll(const Visit& visit) {
  // Each turn moves on to another file; a few are enough for one poll.
  for (int turn = 0; turn < 8; turn++) {
    if (!_file && !open()) return;
    if (!_damaged) readAvailable(visit);
    struct stat st;
    if (stat(_path.c_str(), &st) == 0) {
      bool replaced = st.st_dev != _device || st.st_ino != _inode;
      bool cutShort = st.st_size < (off_t)gzoffset(_file);
      if (replaced || cutShort) {
        _report(_path + (replaced ? ": replaced" : ": cut short") + "; reading it from its start");
        close();
        continue;
      }
    }
    std::string next = nextSeriesFile(_path);
    if (next.empty() || access(next.c_str(), F_OK) != 0) return;
    // The monitor closed this file before it made the next: what is left of
    // it is there now.
    if (!_damaged) readAvailable(visit);
    close();
    _path = next;
  }
}

bool ArchiveFollower::readAvailable(const Visit& visit) {
  static thread_local char buffer[1 << 16];
  for (;;) {
    int n = gzread(_file, buffer, sizeof buffer);
    if (n > 0) {
      size_t start = 0;
      for (size_t i = 0; i < (size_t)n; i++) {
        if (buffer[i] != '\n') continue;
        _partial.append(buffer + start, i - start);
        takeLine(std::move(_partial), visit);
        _partial.clear();
        start = i + 1;
      }
      _partial.append(buffer + start, (size_t)n - start);
      if (_partial.size() > MAX_LINE_BYTES) {
        _report(_path + ":" + std::to_string(_line + 1) + ": line longer than " + std::to_string(MAX_LINE_BYTES) +
                " bytes: not an archive line; waiting for the file to be replaced");
        _damaged = true;
        _partial.clear();
        break;
      }
      continue;
    }
    int error = Z_OK;
    const char* why = gzerror(_file, &error);
    // The end of what was written so far (a gzip stream not closed yet ends
    // with Z_BUF_ERROR): clear the end so that the next poll reads on.
    if (n == 0 || error == Z_BUF_ERROR || error == Z_OK) {
      gzclearerr(_file);
      break;
    }
    _report(_path + ": " + why + "; waiting for the file to be replaced");
    _damaged = true;
    break;
  }
  flushRecords(visit);
  return !_damaged;
}

void ArchiveFollower::takeLine(std::string line, const Visit& visit) {
  _line++;
  if (startsWith(line, HEADER_START)) {
    flushRecords(visit);  // they belong to the header before
    _newHeader.clear();
  }
  if (!_newHeader.empty() || startsWith(line, HEADER_START)) {
    bool ending = _newHeader.size() >= 10 && _newHeader.compare(_newHeader.size() - 10, 10, "ENDHEADER\n") == 0;
    _newHeader += line;
    _newHeader += '\n';
    if (_newHeader.size() > MAX_HEADER_BYTES) {
      _report(_path + ":" + std::to_string(_line) + ": header longer than " + std::to_string(MAX_HEADER_BYTES) +
              " bytes");
      _newHeader.clear();
      _header.clear();
      return;
    }
    if (!ending) return;
    // The line after ENDHEADER ends the header.
    ArchiveReader reader;
    reader.openText(_newHeader);
    ArchiveError err;
    if (reader.readHeader(&err)) {
      _header = std::move(_newHeader);
      _headerSerial++;
    } else {
      _report(_path + ": header ending at line " + std::to_string(_line) + ": " + err.reason);
      _header.clear();
    }
    _newHeader.clear();
    return;
  }
  if (_header.empty()) return;  // no header in force: nothing tells what the record means
  _records += line;
  _records += '\n';
  if (_records.size() >= RECORD_BATCH_BYTES) flushRecords(visit);
}

void ArchiveFollower::flushRecords(const Visit& visit) {
  if (_records.empty()) return;
  size_t recordLines = 0;
  for (char c : _records) recordLines += c == '\n';
  size_t firstLine = _line + 1 - recordLines;
  ArchiveReader reader;
  reader.openText(_header + _records);
  _records.clear();
  ArchiveError err;
  if (!reader.readHeader(&err)) return;  // checked when it was taken
  size_t headerLines = reader.header().lineCount;
  SeriesRecord record;
  record.path = &_path;
  record.headerSerial = _headerSerial;
  for (;;) {
    if (reader.nextRecord(&record.record, &err)) {
      record.header = &reader.header();
      record.type = reader.header().typeById(record.record.typeId);
      visit(record);
      continue;
    }
    if (!err.empty())
      _report(_path + ":" + std::to_string(firstLine + err.line - headerLines - 1) + ": " + err.reason);
    err = ArchiveError();
    if (reader.finished()) break;
  }
}

}  // namespace tallyread
