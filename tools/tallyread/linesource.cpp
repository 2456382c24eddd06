#include "linesource.h"

#include <cerrno>
#include <cstring>

namespace tallyread {

namespace {
const unsigned CHUNK = 1 << 16;
}

LineSource::LineSource(const std::string& text) : _buffer(text), _eof(true) {}

LineSource::LineSource(gzFile file) : _file(file) {}

LineSource::~LineSource() {
  if (_file) gzclose(_file);
}

LineSource* LineSource::openFile(const std::string& path, std::string* why) {
  errno = 0;
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) {
    *why = "cannot open " + path + ": " + (errno ? strerror(errno) : "out of memory");
    return nullptr;
  }
  gzbuffer(file, CHUNK);
  return new LineSource(file);
}

// Appends the next chunk of the file; FALSE when nothing more can be read.
bool LineSource::fill() {
  if (_eof) return false;
  if (_pos > 0) {  // drop the lines already handed out
    _buffer.erase(0, _pos);
    _pos = 0;
  }
  size_t old = _buffer.size();
  _buffer.resize(old + CHUNK);
  int n = gzread(_file, &_buffer[old], CHUNK);
  if (n < 0) n = 0;
  _buffer.resize(old + (size_t)n);
  if (n == 0) {
    _eof = true;
    int code = Z_OK;
    const char* message = gzerror(_file, &code);
    if (code != Z_OK && code != Z_STREAM_END)
      _error = std::string("gzip input is damaged or cut short: ") + (message ? message : "unknown error");
    return false;
  }
  return true;
}

bool LineSource::next(std::string* line, bool* endedByNewline) {
  for (;;) {
    size_t newline = _buffer.find('\n', _pos);
    if (newline != std::string::npos) {
      line->assign(_buffer, _pos, newline - _pos);
      _pos = newline + 1;
      *endedByNewline = true;
      _lineNumber++;
      return true;
    }
    if (!fill()) break;
  }
  if (!_error.empty() || _pos >= _buffer.size()) return false;
  line->assign(_buffer, _pos, std::string::npos);
  _pos = _buffer.size();
  *endedByNewline = false;
  _lineNumber++;
  return true;
}

}  // namespace tallyread
