// A getopt-style scanner of command-line words.
//
// Words that begin with "-" (other than a lone "-") hold one or more option
// letters; "--" is consumed and ends the scan. Every other word is a positional
// word: it is moved to the end of the word vector and scanning goes on, so
// options may stand before or after it. When POSIXLY_CORRECT is set in the
// environment, or the option string begins with "+", the scan stops at the
// first positional word instead.
//
// A letter followed by ":" in the option string takes an argument: the rest of
// its word, else the next word unless that is a lone "-". A missing argument
// writes "<argv[0]>: option -<c> requires an argument \n" to standard error,
// an unknown letter "<argv[0]>: invalid option -<c>\n" (both only while
// free_opterr is nonzero); either returns '?' with the letter in free_optopt.
//
// At the end free_getopt returns -1 and free_optind is the index of the first
// positional word; the positional words are argv[free_optind .. argc-1].
#pragma once

extern const char* free_optarg;  // argument of the option just returned, or null
extern int free_optind;          // next word to scan; 0 forces a fresh scan
extern int free_opterr;          // nonzero: write the two messages (initially 1)
extern int free_optopt;          // the offending letter after a '?' (initially '?')

// Returns the next option letter, '?' for a bad one, or -1 at the end.
// startIndex >= 1 starts a new scan at that word; -1 continues the scan in
// progress, or starts one at word 1 when none is (first call, after the end of
// a scan, or when free_optind was set to 0). The pointers of argv are
// reordered; the texts are not touched.
int free_getopt(int argc, const char** argv, const char* optstring, int startIndex);
