#include "linesource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace tallyread {

namespace {
const size_t CHUNK = 1 << 16;
}

LineSource::LineSource(const std::string& text) : _end(text.size()), _eof(true) {
  _buffer.reserve(text.size() + LINE_SLACK);
  _buffer.assign(text.begin(), text.end());
  _buffer.resize(text.size() + LINE_SLACK);
}

// A bounded queue of decompressed chunks filled by a thread of its own:
// memory stays at SLOTS chunks whatever the input.
class LineSource::ReadAhead {
 public:
  explicit ReadAhead(gzFile file) : _file(file), _thread([this] { run(); }) {}
  ~ReadAhead() {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _stop = true;
    }
    _changed.notify_all();
    _thread.join();
  }

  // Up to CHUNK bytes into `into`; 0 at the end, with zlib's code and message
  // for how it ended.
  int read(char* into, int* code, std::string* message) {
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return !_full.empty() || _ended; });
    if (_full.empty()) {
      *code = _code;
      *message = _message;
      return 0;
    }
    std::vector<char> chunk = std::move(_full.front());
    _full.pop_front();
    lock.unlock();
    memcpy(into, chunk.data(), chunk.size());
    int n = (int)chunk.size();
    lock.lock();
    _spare.push_back(std::move(chunk));
    lock.unlock();
    _changed.notify_all();
    return n;
  }

 private:
  static const size_t SLOTS = 8;

  void run() {
    for (size_t i = 0; i < SLOTS; i++) _spare.emplace_back();
    for (;;) {
      std::vector<char> chunk;
      {
        std::unique_lock<std::mutex> lock(_mutex);
        _changed.wait(lock, [this] { return _stop || !_spare.empty(); });
        if (_stop) return;
        chunk = std::move(_spare.back());
        _spare.pop_back();
      }
      chunk.resize(CHUNK);
      int n = gzread(_file, chunk.data(), (unsigned)CHUNK);
      std::lock_guard<std::mutex> lock(_mutex);
      if (n <= 0) {
        const char* message = gzerror(_file, &_code);
        _message = message ? message : "";
        _ended = true;
        _changed.notify_all();
        return;
      }
      chunk.resize((size_t)n);
      _full.push_back(std::move(chunk));
      _changed.notify_all();
    }
  }

  gzFile _file;
  std::mutex _mutex;
  std::condition_variable _changed;
  std::deque<std::vector<char>> _full;
  std::vector<std::vector<char>> _spare;
  bool _stop = false, _ended = false;
  int _code = Z_OK;
  std::string _message;
  std::thread _thread;  // last: started once the rest is in place
};

LineSource::LineSource(gzFile file, bool regularFile) : _file(file) {
  if (regularFile && !gzdirect(_file)) _ahead.reset(new ReadAhead(_file));
}

LineSource::~LineSource() {
  _ahead.reset();  // the thread ends before the handle is closed
  if (_file) gzclose(_file);
}

LineSource* LineSource::openFile(const std::string& path, std::string* why) {
  errno = 0;
  gzFile file = nullptr;
  bool regularFile = false;
  if (path == "-") {
    // A duplicate, so that closing the source leaves standard input open.
    int fd = dup(STDIN_FILENO);
    if (fd >= 0) file = gzdopen(fd, "rb");
    if (!file && fd >= 0) close(fd);
  } else {
    struct stat st;
    regularFile = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    file = gzopen(path.c_str(), "rb");
  }
  if (!file) {
    *why = "cannot open " + (path == "-" ? std::string("standard input") : path) + ": " +
           (errno ? strerror(errno) : "out of memory");
    return nullptr;
  }
  gzbuffer(file, CHUNK);
  return new LineSource(file, regularFile);
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
  if (_buffer.size() - _end < CHUNK + LINE_SLACK) _buffer.resize(_end + CHUNK + LINE_SLACK);
  int code = Z_OK;
  std::string message;
  int n;
  if (_ahead) {
    n = _ahead->read(_buffer.data() + _end, &code, &message);
  } else {
    n = gzread(_file, _buffer.data() + _end, (unsigned)CHUNK);
    if (n <= 0) {
      const char* text = gzerror(_file, &code);
      message = text ? text : "";
    }
  }
  if (n > 0) {
    _end += (size_t)n;
    return true;
  }
  _eof = true;
  if (code == Z_BUF_ERROR) {
    _endedEarly = true;
    _error = "gzip input is cut short (a file still being written?)";
  } else if (code != Z_OK && code != Z_STREAM_END) {
    _error = "gzip input is damaged: " + (message.empty() ? std::string("unknown error") : message);
  }
  return false;
}

bool LineSource::next(std::string* line, bool* endedByNewline) {
  std::string_view view;
  if (!next(&view, endedByNewline)) return false;
  line->assign(view.data(), view.size());
  return true;
}

bool LineSource::next(std::string_view* line, bool* endedByNewline) {
  if (!_error.empty()) return false;
  for (;;) {
    const char* start = _buffer.data();
    const char* newline = _end > _scan ? (const char*)memchr(start + _scan, '\n', _end - _scan) : nullptr;
    if (newline) {
      size_t at = (size_t)(newline - start);
      if (at - _pos > MAX_LINE_BYTES) break;
      *line = std::string_view(start + _pos, at - _pos);
      _pos = _scan = at + 1;
      *endedByNewline = true;
      _lineNumber++;
      return true;
    }
    _scan = _end;
    if (_end - _pos > MAX_LINE_BYTES) break;
    if (!fill()) {
      if (!_error.empty() || _pos >= _end) return false;
      *line = std::string_view(_buffer.data() + _pos, _end - _pos);
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
