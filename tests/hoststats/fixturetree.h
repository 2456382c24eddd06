// A private copy of a fixture tree under tests/fixtures/hoststats/, which a
// test may change between readings to play the host's figures forward.
#pragma once

#include <filesystem>
#include <string>

#include "support/runprocess.h"

class FixtureTree {
 public:
  explicit FixtureTree(const std::string& name = "two-cpus") {
    _root = _dir.path() + "/root";
    std::filesystem::copy(std::string(TALLY_FIXTURES_DIR) + "/hoststats/" + name, _root,
                          std::filesystem::copy_options::recursive);
  }
  const std::string& root() const { return _root; }
  std::string path(const std::string& rel) const { return _root + "/" + rel; }
  void write(const std::string& rel, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path(rel)).parent_path());
    writeFileText(path(rel), text);
  }
  std::string read(const std::string& rel) const { return readFileText(path(rel)); }
  void remove(const std::string& rel) { std::filesystem::remove_all(path(rel)); }
  // Replaces the first line that starts with `prefix`.
  void replaceLine(const std::string& rel, const std::string& prefix, const std::string& line) {
    std::string text = read(rel), out;
    bool done = false;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t nl = text.find('\n', pos);
      std::string cur = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
      if (!done && cur.compare(0, prefix.size(), prefix) == 0) {
        cur = line;
        done = true;
      }
      out += cur + "\n";
      pos = nl == std::string::npos ? text.size() : nl + 1;
    }
    write(rel, out);
  }
  void setUptime(const std::string& seconds) { write("proc/uptime", seconds + " 0.00\n"); }

 private:
  TempDir _dir;
  std::string _root;
};
