// Archives in end-to-end tests: read back through tallyread's reader (a file
// or the bytes a run wrote to its standard output, plain or gzip), their
// samples, the check that a run left its archive complete, and the header of
// an archive written by hand.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "archivereader.h"

using tallyread::Archive;
using tallyread::ArchiveRecord;

// What is complete so far: a file still being written (its last line cut, its
// gzip member not yet closed) gives the records before its unfinished end. No
// headers when not even one header is whole (or there is no file).
Archive readArchive(const std::string& path);
// The same for bytes in memory (a run's standard output).
Archive archiveOfBytes(const std::string& bytes);
size_t samplesIn(const std::string& path);

// The header of a hand-written archive: each type's name, number and the
// fields after the five every type begins with.
struct TestType {
  std::string name;
  int id;
  std::string fields;
};
std::string testArchiveHeader(const std::vector<TestType>& types, const std::string& machine = "vm x86_64 (Linux 6.1.0)",
                              const std::string& time = "12/05/26 17:50:00 UTC");

// A sample: the records that share a time stamp, in file order.
struct Sample {
  uint32_t time = 0;
  std::vector<const ArchiveRecord*> records;
  std::multiset<std::string> types;  // the type name of each record
};
std::vector<Sample> samplesOf(const Archive& archive);
std::vector<Sample> samplesOf(const Archive&& archive) = delete;  // the samples point into the archive

// The archive, which must read as `tallyread check` reads it (every header
// and line whole and valid) and, unless told otherwise, whose samples must all
// hold the same types (a sample cut off has fewer).
Archive readCompleteArchive(const std::string& path, bool sameTypesEverySample = true);
Archive completeArchiveOfBytes(const std::string& bytes);
