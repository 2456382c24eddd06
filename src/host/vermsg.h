// The version texts and the start-up banner.
#pragma once

#include <cstdio>

// "<version number>, <build date in ctime form>".
const char* VerQLVersion();
// The version number alone ("3.2.8.1").
const char* VerQLVersionNumber();
// The build identifier.
const char* VerQLSerialNum();

void VerLeadingEdge(FILE* f);
void VerDividerLine(FILE* f);
void VerEndEdge(FILE* f);
void VerMessage(FILE* f, const char* text);
void VerCenteredMessage(FILE* f, const char* text);
void VerInfo(FILE* f, const char* versionText);
void VerBannerTally(FILE* f);
void VerDashVPrint(FILE* f, const char* programName);

// The program name of argv[0]: without its directory and its last extension.
void VerProgramName(const char* argv0, char* out, size_t outSize);
