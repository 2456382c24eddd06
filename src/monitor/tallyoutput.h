// Output file of the archive: naming, exclusive creation, writing, flushing,
// re-creation of a vanished file, closing. The member functions live in
// TallyMgr (tallymgr.h, "output file"); this header adds what the run's
// start-up and the tests need besides.
#pragma once

#include <cstddef>

#include "host/hosttypes.h"

class TallyMgr;

// Longest file name the output may have: HostFnameStrType less its NUL.
const size_t TALLY_MAX_DATA_FILE_NAME = sizeof(HostFnameStrType) - 1;

// Length of the longest name this run can give its output files: the base
// name and its suffixes, with room for any file number when -r is set
// (the number grows with every file and every re-created file).
size_t TallyDataFileLongestName(const TallyMgr* mgr);

// Refuses a run whose output names cannot fit TALLY_MAX_DATA_FILE_NAME:
// writes the fatal message and ends the process with status 3. Runs before
// the first file is opened, so nothing is written under a cut name.
void TallyCheckDataFileName(TallyMgr* mgr);

// Test seam: replaces the writing of the archive header that starts every new
// file (null restores the real header). The replacement must leave its text
// in the manager's writer and end with a hand-over of the writer's buffer, as
// the real header does.
void TallySetHeaderWriterForTest(void (*writeHeader)(TallyMgr* mgr));
