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

// Length of the name of the current output file: the base name and its
// suffixes, with the file number restartCount holds now under -r.
size_t TallyDataFileNameLength(const TallyMgr* mgr);

// Refuses a run whose first output name cannot fit TALLY_MAX_DATA_FILE_NAME:
// writes the fatal message and ends the process with status 3. Runs before
// the first file is opened, so nothing is written under a cut name. Under -r a
// later number that makes the name too long is refused the same way when that
// file is to be opened (TallyDataFile), after the file before it was closed.
void TallyCheckDataFileName(TallyMgr* mgr);

// With -f stdout: takes standard output for the archive alone. The descriptor
// moves to one only the archive writes, and descriptor 1 is pointed at standard
// error, so that no message meant for standard output (a warning, the fault
// notice) can corrupt the streamed archive. Each output "file" is then a stream
// on a duplicate of that descriptor: closing one (under -r) leaves standard
// output open for the next, which starts with its own header. Called once the
// settings are complete; when standard output is not open, the opening of the
// first file reports it.
void TallyTakeStdoutForArchive();

// Test seam: replaces the writing of the archive header that starts every new
// file (null restores the real header). The replacement must leave its text
// in the manager's writer and end with a hand-over of the writer's buffer, as
// the real header does.
void TallySetHeaderWriterForTest(void (*writeHeader)(TallyMgr* mgr));
