// The commands of tallyread, one file each, over the reader library.
#pragma once

#include <string>

#include "commandline.h"
#include "series.h"
#include "summarystats.h"

namespace tallyread {

int checkCommand(const CommandLine& line);
int typesCommand(const CommandLine& line);
int fieldsCommand(const CommandLine& line);
int csvCommand(const CommandLine& line);
int jsonCommand(const CommandLine& line);
int summaryCommand(const CommandLine& line);
int topCommand(const CommandLine& line);
int openMetricsCommand(const CommandLine& line);
int serveCommand(const CommandLine& line);
int chartCommand(const CommandLine& line);

// A JSON string literal of the text.
std::string jsonString(const std::string& text);

// Prints a problem on standard error, prefixed "tallyread: ".
void reportProblem(const std::string& message);

// Reads the first header of the series and checks the selection's names
// against it. FALSE (with the problem printed) when no file can be read or a
// name is unknown; *status is then the exit status.
bool checkSelection(Series& series, const Selection& selection, int* status);

// Reads the series of the command line with the selection and summarises
// every value (running totals as rates). FALSE as checkSelection.
bool collectStats(const CommandLine& line, const SelectionOptions& options, SummaryStats* stats, int* status);

}  // namespace tallyread
