// Lines of a text that lies in memory or in a file, plain or gzip (zlib reads
// a plain file unchanged, and a file of several gzip members as one stream).
// Newlines are not part of the lines returned.
//
// Reading is linear in the input: every byte is scanned for its newline once,
// and a line may be at most MAX_LINE_BYTES long. A longer line ends the
// reading with an error naming its line number, so memory stays bounded by
// about MAX_LINE_BYTES + one read chunk whatever the input (a gzip bomb of one
// line, /dev/zero).
#pragma once

#include <zlib.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tallyread {

// The longest line accepted. The longest record the monitor writes (a keeper
// with its per-process figures) is under 8 KB.
const size_t MAX_LINE_BYTES = 1 << 20;
// Readable bytes after the end of every line handed out as a view.
const size_t LINE_SLACK = 64;

class LineSource {
 public:
  // Reads from the text.
  explicit LineSource(const std::string& text);
  // Reads from the open gzip handle, which the source closes. Compressed data
  // is decompressed ahead on a second thread when the handle reads a regular
  // file (never a pipe or terminal, whose read could block its end).
  explicit LineSource(gzFile file, bool regularFile = false);
  ~LineSource();
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // Opens a file, or standard input for "-"; null with the reason in *why when
  // it cannot be opened.
  static LineSource* openFile(const std::string& path, std::string* why);

  // The next line. FALSE at the end or on a read error (then error() is set).
  // endedByNewline tells whether the line had its newline (only the last
  // line of a file cut short lacks it).
  bool next(std::string* line, bool* endedByNewline);
  // The same without a copy: the line as it lies in the read buffer, valid
  // until the next call. At least LINE_SLACK bytes after its end may be read
  // (the newline, then bytes of no meaning), so that a scanner may load a
  // word at a time up to the line's last byte.
  bool next(std::string_view* line, bool* endedByNewline);
  size_t lineNumber() const { return _lineNumber; }  // of the line last returned
  const std::string& error() const { return _error; }
  // Every line has been returned, or an error ended the reading.
  bool finished() const { return !_error.empty() || (_eof && _pos >= _end); }
  // The error is a gzip stream that ends before its end marker (a file still
  // being written, or cut short), not damaged data.
  bool endedEarly() const { return _endedEarly; }

 private:
  bool fill();
  gzFile _file = nullptr;
  // Decompresses a gzip file ahead on a thread of its own, so that
  // decompressing and parsing overlap; null for other input.
  class ReadAhead;
  std::unique_ptr<ReadAhead> _ahead;
  std::vector<char> _buffer;  // LINE_SLACK bytes longer than what was read
  size_t _pos = 0;   // first byte not yet handed out
  size_t _scan = 0;  // bytes from _pos on up to here hold no newline
  size_t _end = 0;   // end of the bytes read
  bool _eof = false;
  size_t _lineNumber = 0;
  std::string _error;
  bool _endedEarly = false;
};

}  // namespace tallyread
