// Reading archives back in end-to-end tests: the text of a plain or gzip
// archive, its samples, and the check that an archive was left complete.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Plain or gzip text alike, also a gzip file cut after a partial flush, and
// several gzip members one after the other (read as one text).
std::string archiveText(const std::string& path);

// An archive's samples: time stamp and record types, in order. Only complete
// lines count: a file read while the monitor writes may end in a partial one.
struct Sample {
  uint32_t time;
  std::multiset<unsigned> types;
};
struct Archive {
  bool hasHeader = false;
  std::vector<Sample> samples;
};
Archive parseArchive(const std::string& text);
size_t samplesIn(const std::string& path);

// The archives of a stream that holds several, one after the other, each from
// its header line on.
std::vector<std::string> splitAtHeaders(const std::string& text);

// Accepted by the project's reader, ends in a whole line, and every sample has
// the same records (a cut-off sample has fewer).
void expectCompleteArchive(const std::string& path);
