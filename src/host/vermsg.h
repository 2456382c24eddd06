// The version texts and the start-up banner.
#pragma once

#include <cstdio>

// "<version number>, <build date in ctime form>".
const char* VerQLVersion();
// The version number alone ("3.2.8.1").
const char* VerQLVersionNumber();
// The build identifier.
const char* VerQLSerialNum();

// The leading edge with its newline, for writers that cannot use stdio (the
// fault handler).
const char* VerLeadingEdgeText();

// Box lines: 79 characters and a newline each (the leading edge 78: it has no
// right corner).
void VerLeadingEdge(FILE* f);
void VerDividerLine(FILE* f);
void VerEndEdge(FILE* f);
// "| text" padded to 75, then " |" (text below 76), "|" (exactly 76) or nothing.
// Lines end at a newline, or at a blank once they hold 74 characters or more.
void VerMessage(FILE* f, const char* text);
// Prefixed with (75 - length) / 2 blanks when shorter than 75 characters.
void VerCenteredMessage(FILE* f, const char* text);
void VerInfo(FILE* f, const char* versionText);
// The whole banner but its closing line (VerEndEdge).
void VerBannerTally(FILE* f);
// "<program> <version number> BUILD: <build id>\n".
void VerDashVPrint(FILE* f, const char* programName);

// The program name of argv[0]: without its directory and its last extension.
void VerProgramName(const char* argv0, char* out, size_t outSize);
