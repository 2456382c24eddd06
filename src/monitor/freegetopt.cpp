#include "monitor/freegetopt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* free_optarg = nullptr;
int free_optind = 1;
int free_opterr = 1;
int free_optopt = '?';

namespace {

// State of the scan in progress.
struct ScanState {
  bool active = false;
  int limit = 0;                  // words from here on were moved to the end
  const char* nextChar = nullptr; // rest of a grouped word still to scan
};
ScanState scan;

bool isOptionWord(const char* word) { return word[0] == '-' && word[1] != '\0'; }

// Moves argv[index] to the end of the vector, keeping the order of the others.
void moveToEnd(int argc, const char** argv, int index) {
  const char* word = argv[index];
  memmove(&argv[index], &argv[index + 1], sizeof(argv[0]) * (size_t)(argc - index - 1));
  argv[argc - 1] = word;
}

int endScan(int positionalIndex) {
  scan.active = false;
  scan.nextChar = nullptr;
  free_optind = positionalIndex;
  free_optarg = nullptr;
  return -1;
}

}  // namespace

int free_getopt(int argc, const char** argv, const char* optstring, int startIndex) {
  bool stopAtPositional = optstring[0] == '+' || getenv("POSIXLY_CORRECT") != nullptr;
  if (optstring[0] == '+') optstring++;

  if (startIndex >= 1 || !scan.active || free_optind == 0) {
    scan.active = true;
    scan.limit = argc;
    scan.nextChar = nullptr;
    free_optind = startIndex >= 1 ? startIndex : 1;
  }
  free_optarg = nullptr;

  if (scan.nextChar == nullptr || *scan.nextChar == '\0') {
    scan.nextChar = nullptr;
    for (;;) {
      if (free_optind >= scan.limit) return endScan(scan.limit);
      const char* word = argv[free_optind];
      if (strcmp(word, "--") == 0) return endScan(free_optind + 1);
      if (isOptionWord(word)) break;
      if (stopAtPositional) return endScan(free_optind);
      moveToEnd(argc, argv, free_optind);
      scan.limit--;
    }
    scan.nextChar = argv[free_optind] + 1;
    free_optind++;
  }

  int letter = (unsigned char)*scan.nextChar++;
  const char* entry = letter == ':' ? nullptr : strchr(optstring, letter);
  if (entry == nullptr) {
    if (free_opterr) fprintf(stderr, "%s: invalid option -%c\n", argv[0], letter);
    free_optopt = letter;
    return '?';
  }
  if (entry[1] != ':') return letter;

  if (*scan.nextChar != '\0') {
    free_optarg = scan.nextChar;
  } else if (free_optind < scan.limit && strcmp(argv[free_optind], "-") != 0) {
    free_optarg = argv[free_optind++];
  } else {
    if (free_opterr) fprintf(stderr, "%s: option -%c requires an argument \n", argv[0], letter);
    free_optopt = letter;
    scan.nextChar = nullptr;
    return '?';
  }
  scan.nextChar = nullptr;
  return letter;
}
