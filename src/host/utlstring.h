// Bounded string operations into fixed buffers. A destination below 9 bytes or a
// text that does not fit is an internal error: the process ends with a report
// instead of truncating silently.
#pragma once

#include <cstddef>

// Copies src (NUL-terminated) into dst of dstSize bytes.
void UtlStrCpy(char* dst, const char* src, size_t dstSize);
// Appends src to the NUL-terminated text in dst of dstSize bytes.
void UtlStrCat(char* dst, const char* src, size_t dstSize);
// snprintf into dst of dstSize bytes; returns the length written.
int UtlSnprintf(char* dst, size_t dstSize, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// Copies at most dstSize-1 bytes and always terminates; for texts whose cut is
// documented (a name cut at 255 characters and the like). Never fails.
void UtlStrCpyCut(char* dst, const char* src, size_t dstSize);
