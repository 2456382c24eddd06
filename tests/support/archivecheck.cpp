#include "support/archivecheck.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>

#include "support/runprocess.h"

namespace {
const char kHeaderStart[] = "TALLY ";
}

std::string archiveText(const std::string& path) {
  std::string text;
  gzFile in = gzopen(path.c_str(), "rb");
  char chunk[65536];
  for (int n; in && (n = gzread(in, chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  if (in) gzclose(in);
  return text;
}

Archive parseArchive(const std::string& text) {
  Archive a;
  size_t end = text.find("\nENDHEADER\n\n");
  if (end == std::string::npos) return a;
  a.hasHeader = text.rfind(kHeaderStart, 0) == 0;
  size_t complete = text.rfind('\n') + 1;
  std::istringstream body(text.substr(end + 12, complete - end - 12));
  unsigned type;
  uint32_t time;
  for (std::string line; std::getline(body, line);) {
    if (!(std::istringstream(line) >> type >> time)) continue;
    if (a.samples.empty() || a.samples.back().time != time) a.samples.push_back({time, {}});
    a.samples.back().types.insert(type);
  }
  return a;
}

size_t samplesIn(const std::string& path) { return parseArchive(archiveText(path)).samples.size(); }

std::vector<std::string> splitAtHeaders(const std::string& text) {
  std::vector<size_t> starts;
  for (size_t at = 0; (at = text.find(kHeaderStart, at)) != std::string::npos; at++)
    if (at == 0 || text[at - 1] == '\n') starts.push_back(at);
  std::vector<std::string> parts;
  for (size_t i = 0; i < starts.size(); i++)
    parts.push_back(text.substr(starts[i], (i + 1 < starts.size() ? starts[i + 1] : text.size()) - starts[i]));
  return parts;
}

void expectCompleteArchive(const std::string& path) {
#ifdef TALLYREAD_BIN
  RunResult check = runProgram({TALLYREAD_BIN, "check", path});
  EXPECT_EQ(check.status, 0) << path << "\n" << check.err;
#endif
  std::string text = archiveText(path);
  ASSERT_FALSE(text.empty()) << path;
  EXPECT_EQ(text.back(), '\n') << path << ": the last line is cut";
  Archive a = parseArchive(text);
  EXPECT_TRUE(a.hasHeader) << path;
  for (const Sample& s : a.samples) EXPECT_EQ(s.types, a.samples[0].types) << path << " at " << s.time;
}
