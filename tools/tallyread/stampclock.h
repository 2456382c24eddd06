// Tells time stamps that count samples (an archive taken below one second)
// from stamps that are times. The archive does not state its interval; two
// things give it away:
// - The host's system record: its SchedulerRunCount grows only by whole
//   seconds (the run queue, at least 1, times the whole seconds elapsed). When
//   it stands still between most pairs of samples one stamp apart, less than
//   a second passed between them (interval 500 ms or less).
// - Real clocks: a stamp that is a time cannot lie after a real time that
//   came later than the sample: the clock now, the time the file was last
//   written, or the time a later header of the series was written (its Time
//   line). Sample counts run ahead of the clock by the samples taken times
//   (1 - interval), so the longer a run, the surer the finding.
// An archive without system records taken at 500 to 999 ms, copied and read
// long after, cannot be told apart.
#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "series.h"

namespace tallyread {

// The time a header's Time line names, as the monitor formats it (the C
// locale's date, or an ISO date, then the time and the zone); nullopt for a
// format or zone it cannot be sure of.
std::optional<double> headerTime(const std::string& text);

class StampClock {
 public:
  // Call for every record of the series, in order.
  void add(const SeriesRecord& record);
  // The same from the parts of a record: its file, header and serial, time
  // stamp and numbers, and the place of SchedulerRunCount in its type (-1
  // when the type has none).
  void add(const std::string* path, const ArchiveHeader& header, size_t headerSerial, uint32_t stamp,
           const ArchiveNumber* numbers, size_t count, int runCountField);
  // A message for each file whose stamps count samples, checked against the
  // clock `now`.
  std::vector<std::string> findings(time_t now) const;

 private:
  struct File {
    uint32_t lastStamp = 0;
    double ahead = 0;  // of a header's time, when its segment's stamps start after it
    // System records one stamp apart, and those whose SchedulerRunCount did not move.
    size_t steps = 0, stillSteps = 0;
    uint32_t systemStamp = 0;
    uint64_t runCount = 0;
    bool haveSystem = false;
  };
  void addSystem(File* file, uint32_t stamp, uint64_t runCount);
  std::map<const std::string*, File> _files;
  const std::string* _lastPath = nullptr;  // the file of the record before, and its figures
  File* _lastFile = nullptr;
  std::vector<const std::string*> _order;
  size_t _serial = 0;
  std::map<const ArchiveType*, int> _runCountFields;  // the place of SchedulerRunCount in each type, or -1
  size_t _fieldsSerial = 0;  // of the header they were found under
  bool _first = true;
  bool _trusted = false;  // the first header's time agrees with its stamps: its format was read right
};

}  // namespace tallyread
