// A growable, always-sorted list of non-negative 32-bit integers with duplicate
// removal and binary-search membership. Entries must lie in 0..2147483646: the
// sort brackets them with the sentinels 0 and 2147483647.
#pragma once

#include "host/hosttypes.h"

class SortedList {
 public:
  int* _list;                  // the allocation; _list[0] is the low sentinel (0)
  int _realAllocatedSizeInts;  // allocatedSize + 2
  int* list;                   // _list + 1: the first entry
  int numEntries;
  int allocatedSize;
  BoolType sorted;

  void init();
  void initForSize(int n);
  void clear();
  int size() const { return numEntries; }
  BoolType isEmpty() const { return numEntries == 0 ? TRUE : FALSE; }
  // Appends and keeps the list sorted; grows to twice numEntries when full.
  void add(int value);
  void sortIfNeeded();
  // Removes repeated values; the list must be sorted.
  void removeDups();
  // Binary search; the list must be sorted.
  BoolType hasEntry(int value) const;
  // Releases the storage (tests; the manager's lists live as long as the process).
  void destroy();

  void growList(int n);
  void sort();
  void checkSorted() const;
};

// In-place quicksort of the ints from first up to (not including) end; relies on
// a sentinel at first[-1] no larger than any element and a last element no
// smaller than any other.
void BmQsort(int* first, int* end);
