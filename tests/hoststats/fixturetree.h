// A private copy of a fixture tree under tests/fixtures/, which a test may
// change between readings (in place, as the kernel updates an open /proc file)
// to play the host's figures forward.
#pragma once

#include <filesystem>
#include <string>

#include "support/runprocess.h"

class FixtureTree {
 public:
  explicit FixtureTree(const std::string& fixture = "hoststats/two-cpus") {
    _root = _dir.path() + "/root";
    std::filesystem::copy(std::string(TALLY_FIXTURES_DIR) + "/" + fixture, _root,
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
    const std::string text = "\n" + read(rel);
    const size_t at = text.find("\n" + prefix), end = text.find('\n', at + 1);
    write(rel, (text.substr(0, at + 1) + line + (end == std::string::npos ? "\n" : text.substr(end))).substr(1));
  }
  void setUptime(const std::string& seconds) { write("proc/uptime", seconds + " 0.00\n"); }

 private:
  TempDir _dir;
  std::string _root;
};

