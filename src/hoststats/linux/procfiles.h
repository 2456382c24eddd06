// The files below a root directory ("/" on the live host, a fixture tree in
// tests) that the host readers read whole, and the error they report. Every
// reader of this folder takes its file's text through here, so the root is
// given once and a test can move every file at once. Single-threaded.
#pragma once

#include <map>
#include <string>

// What went wrong: a message naming the file (and the line or the system
// error), and the error number (EINVAL for a text that does not parse).
struct ProcError {
  std::string message;
  int errorNumber = 0;
  // Sets both; false, for `return error->set(...)`.
  bool set(const std::string& text, int number);
};

class ProcFiles {
 public:
  // root without a trailing '/'; "" or "/" for the live host.
  explicit ProcFiles(const std::string& root);
  ~ProcFiles();
  ProcFiles(const ProcFiles&) = delete;
  ProcFiles& operator=(const ProcFiles&) = delete;

  // "" for the live host, else the root without its trailing '/'.
  const std::string& root() const { return _root; }
  bool live() const { return _root.empty(); }
  std::string path(const std::string& rel) const { return _root + rel; }
  bool exists(const std::string& rel) const;

  // The whole text of the file rel ("/proc/stat"), in a buffer of this object
  // that the next read reuses; null with *error set ("<path>: <system error>")
  // when it cannot be opened or read. oneRecord: the kernel writes the file as
  // a single record (/proc/stat, meminfo, uptime, loadavg, net/snmp,
  // net/netstat), so a read shorter than the buffer is known to be the end
  // without another read to hear so.
  const std::string* read(const std::string& rel, bool oneRecord, ProcError* error);
  // For a text that did not parse: sets *error to "<path>: <what>", EINVAL; false.
  bool parseFailed(const std::string& rel, const std::string& what, ProcError* error) const;

 private:
  std::string _root;
  std::string _text;                // the last file read
  std::map<std::string, int> _held;  // procfs files kept open, by path
};

// The read of one file and the parse of its text: false with *error naming the
// file when either fails.
template <typename Out>
bool readParsed(ProcFiles& files, const char* rel, bool oneRecord,
                bool (*parse)(const std::string& text, Out* out, std::string* error), Out* out, ProcError* error) {
  const std::string* text = files.read(rel, oneRecord, error);
  if (text == nullptr) return false;
  std::string what;
  return parse(*text, out, &what) || files.parseFailed(rel, what, error);
}
