#include "linesource.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallyread {

namespace {
const size_t CHUNK = 1 << 16;
}

LineSource::LineSource(const std::string& text) : _buffer(text.begin(), text.end()), _end(text.size()), _eof(true) {}

LineSource::LineSource(gzFile file) : _file(file) {}

LineSource::~LineSource() {
  if (_file) gzclose(_file);
}

LineSource* LineSource::openFile(const std::string& path, std::string* why) {
  errno = 0;
  gzFile file = nullptr;
  if (path == "-") {
    // A duplicate, so that closing the source leaves standard input open.
    int fd = dup(STDIN_FILENO);
    if (fd >= 0) file = gzdopen(fd, "rb");
    if (!file && fd >= 0) close(fd);
  } else {
    file = gzopen(path.c_str(), "rb");
  }
  if (!file) {
    *why = "cannot open " + (path == "-" ? std::string("standard input") : path) + ": " +
           (errno ? strerror(errno) : "out of memory");
    return nullptr;
  }
  gzbuffer(file, CHUNK);
  return new LineSource(file);
}

// Reads the next chunk after the bytes not yet handed out; FALSE when nothing
// more can be read.
bool LineSource::fill() {
  if (_eof) return false;
  // Move the unfinished line to the front only once it is past the middle of
  // the buffer: each byte is moved a bounded number of times.
  if (_pos > 0 && _pos >= _buffer.size() / 2) {
    memmove(_buffer.data(), _buffer.data() + _pos, _end - _pos);
    _end -= _pos;
    _scan -= _pos;
    _pos = 0;
  }
  if (_buffer.size() - _end < CHUNK) _buffer.resize(_end + CHUNK);
  int n = gzread(_file, _buffer.data() + _end, (unsigned)CHUNK);
  if (n > 0) {
    _end += (size_t)n;
    return true;
  }
  _eof = true;
  int code = Z_OK;
  const char* message = gzerror(_file, &code);
  if (code == Z_BUF_ERROR) {
    _endedEarly = true;
    _error = "gzip input is cut short (a file still being written?)";
  } else if (code != Z_OK && code != Z_STREAM_END) {
    _error = std::string("gzip input is damaged: ") + (message ? message : "unknown error");
  }
  return false;
}

bool LineSource::next(std::string* line, bool* endedByNewline) {
  if (!_error.empty()) return false;
  for (;;) {
    const char* start = _buffer.data();
    const char* newline = _end > _scan ? (const char*)memchr(start + _scan, '\n', _end - _scan) : nullptr;
    if (newline) {
      size_t at = (size_t)(newline - start);
      if (at - _pos > MAX_LINE_BYTES) break;
      line->assign(start + _pos, at - _pos);
      _pos = _scan = at + 1;
      *endedByNewline = true;
      _lineNumber++;
      return true;
    }
    _scan = _end;
    if (_end - _pos > MAX_LINE_BYTES) break;
    if (!fill()) {
      if (!_error.empty() || _pos >= _end) return false;
      line->assign(_buffer.data() + _pos, _end - _pos);
      _pos = _scan = _end;
      *endedByNewline = false;
      _lineNumber++;
      return true;
    }
  }
  _error = "line " + std::to_string(_lineNumber + 1) + " is longer than " + std::to_string(MAX_LINE_BYTES) +
           " bytes: not an archive line";
  _eof = true;
  return false;
}

}  // namespace tallyread
