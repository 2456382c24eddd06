// The self-describing header at the start of every archive file.
#pragma once

#include <cstddef>

class HostStatWriter;

// Format version of the archive (the TALLY line) and the platform text.
const int TALLY_ARCHIVE_VERSION = 3;
extern const char* const TALLY_PLATFORM_TEXT;  // "x86-64 (Solaris i386)"

// Writes the identification lines with the given machine description and time
// text, the six cache types, the host types when host statistics are on, and the
// closing lines into the writer's buffer. Does not flush; printStatDescription
// flushes after it.
void TallyWriteStatDescription(HostStatWriter* w, const char* versionText, const char* machine,
                               const char* timeText);

// The six cache types, each followed by ",\n" except the last; the 30 process
// figure names follow the names of the types that belong to a process when the
// writer's host statistics are on.
void TallyWriteCacheTypes(HostStatWriter* w);
