// The usage text of the monitor.
#pragma once

#include <cstdio>

// Writes the 46-line usage text to f in its six consecutive writes.
void TallyWriteUsage(FILE* f);
