// Standard output as a data stream: the data gets a descriptor of its own and
// descriptor 1 is pointed at standard error, so that no message written to
// standard output (with stdio or with a raw write from a signal handler) can
// land in the middle of the data.
#pragma once

// Moves standard output to a new descriptor (close-on-exec, above 2) that only
// the caller writes, and points descriptor 1 at standard error, or at
// /dev/null when standard error is not open. Returns the new descriptor, or -1
// with errno set when standard output is not open (nothing is changed then).
// Whatever stdio holds for standard output is flushed to it first.
int HostTakeStdoutForData();
