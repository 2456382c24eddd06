#include "series.h"

namespace tallyread {

Series::Series(std::vector<std::string> paths, Report report) : _paths(std::move(paths)), _report(std::move(report)) {}
Series::~Series() = default;

void Series::damaged(size_t line, const std::string& reason) {
  _damage++;
  const std::string& path = _paths[_fileIndex];
  _report(line > 0 ? path + ":" + std::to_string(line) + ": " + reason : reason);
}

// Opens the file at _fileIndex and reads its header; on failure reports it and
// moves on to the next file. FALSE when no file is left.
bool Series::openNext() {
  while (_fileIndex < _paths.size()) {
    _reader.reset(new ArchiveReader());
    ArchiveError err;
    if (_reader->openFile(_paths[_fileIndex], &err) && _reader->readHeader(&err)) {
      _headersSeen = 1;
      _headerSerial++;
      _lineHeaders = 0;
      return true;
    }
    damaged(err.line, err.reason);
    _reader.reset();
    _fileIndex++;
  }
  return false;
}

const ArchiveHeader* Series::firstHeader() {
  if (!_reader && !openNext()) return nullptr;
  return &_reader->header();
}

bool Series::next(SeriesRecord* out) {
  Line line;
  while (nextLine(&line))
    if (readLine(line, out)) return true;
  return false;
}

bool Series::nextLine(Line* line) {
  for (;;) {
    if (!_reader && !openNext()) return false;
    ArchiveError err;
    if (_reader->nextLine(&line->text, &line->endedByNewline, &line->number, &err)) {
      if (_reader->headerCount() != _lineHeaders) {
        _lineHeaders = _reader->headerCount();
        _headerVersion++;
      }
      return true;
    }
    // The unfinished end of a file still being written is no damage.
    bool unfinished = _reader->finished() && _reader->endedEarly();
    if (!err.empty() && !unfinished) damaged(err.line, err.reason);
    if (_reader->finished()) {
      _reader.reset();
      _fileIndex++;
    }
  }
}

bool Series::readLine(const Line& line, SeriesRecord* out) {
  ArchiveError err;
  if (!_reader->readRecord(line.text, line.endedByNewline, line.number, &out->record, &err)) {
    // A last line without its newline is a record still being written.
    bool unfinished = _reader->finished() && (_reader->endedEarly() || err.reason == LAST_LINE_CUT);
    if (!unfinished) damaged(err.line, err.reason);
    return false;
  }
  locate(&out->path, &out->headerSerial);
  out->header = &_reader->header();
  out->type = out->header->typeById(out->record.typeId);
  return true;
}

void Series::locate(const std::string** path, size_t* headerSerial) {
  if (_reader->headerCount() != _headersSeen) {
    _headersSeen = _reader->headerCount();
    _headerSerial++;
  }
  *path = &_paths[_fileIndex];
  *headerSerial = _headerSerial;
}

}  // namespace tallyread
