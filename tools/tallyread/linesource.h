// Lines of a text that lies in memory or in a file, plain or gzip (zlib reads
// a plain file unchanged). Newlines are not part of the lines returned.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>

namespace tallyread {

class LineSource {
 public:
  // Reads from the text.
  explicit LineSource(const std::string& text);
  // Reads from the open gzip handle, which the source closes.
  explicit LineSource(gzFile file);
  ~LineSource();
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // Opens a file; null with the reason in *why when it cannot be opened.
  static LineSource* openFile(const std::string& path, std::string* why);

  // The next line. FALSE at the end or on a read error (then error() is set).
  // endedByNewline tells whether the line had its newline (only the last
  // line of a file cut short lacks it).
  bool next(std::string* line, bool* endedByNewline);
  size_t lineNumber() const { return _lineNumber; }  // of the line last returned
  const std::string& error() const { return _error; }

 private:
  bool fill();
  gzFile _file = nullptr;
  std::string _buffer;
  size_t _pos = 0;
  bool _eof = false;
  size_t _lineNumber = 0;
  std::string _error;
};

}  // namespace tallyread
