#include "hoststats/sortedlist.h"

#include <climits>
#include <cstring>
#include <utility>

#include "host/utlexit.h"

namespace {
const int HIGH_SENTINEL = INT_MAX;  // written after the last entry before a sort
const int SMALL_PART = 9;           // parts this small are left to the insertion pass
const int PENDING_DEPTH = 32;       // enough: the larger part is deferred, the smaller done first
const int MIN_GROWTH = 8;           // a list created without room grows to this first
}  // namespace

void SortedList::init() {
  _list = nullptr;
  _realAllocatedSizeInts = 0;
  list = nullptr;
  numEntries = 0;
  allocatedSize = 0;
  sorted = TRUE;
  clear();
}

void SortedList::initForSize(int n) {
  init();
  growList(n);
}

void SortedList::clear() {
  numEntries = 0;
  sorted = TRUE;
}

void SortedList::destroy() {
  UtlFree(_list);
  init();
}

void SortedList::growList(int n) {
  UTL_GUARANTEE(n >= numEntries && n >= 0 && n < INT_MAX - 2);
  int* grown = (int*)UtlMallocHalt(sizeof(int) * (size_t)(n + 2), "SortedList");
  if (_list && numEntries > 0) memcpy(grown + 1, list, sizeof(int) * (size_t)numEntries);
  UtlFree(_list);
  _list = grown;
  _realAllocatedSizeInts = n + 2;
  allocatedSize = n;
  _list[0] = 0;
  list = _list + 1;
}

void SortedList::add(int value) {
  // The sort's sentinels bracket the entries: 0 below, INT_MAX above.
  UTL_GUARANTEE(value >= 0 && value < HIGH_SENTINEL);
  if (numEntries >= allocatedSize) {
    int room = numEntries > 0 ? 2 * numEntries : MIN_GROWTH;
    growList(room > allocatedSize ? room : allocatedSize + MIN_GROWTH);
  }
  UTL_GUARANTEE(numEntries < allocatedSize);
  list[numEntries++] = value;
  sorted = FALSE;
  if (numEntries >= 2)
    sort();
  else
    sorted = TRUE;
}

void SortedList::sort() {
  UTL_GUARANTEE(_list != nullptr);
  if (numEntries < 2) {
    sorted = TRUE;
    return;
  }
  UTL_GUARANTEE(_list[0] == 0);
  UTL_GUARANTEE(numEntries + 2 <= _realAllocatedSizeInts);
  list[numEntries] = HIGH_SENTINEL;
  BmQsort(list, list + numEntries + 1);
  checkSorted();
  sorted = TRUE;
}

void SortedList::sortIfNeeded() {
  if (!sorted)
    sort();
  else
    checkSorted();
}

void SortedList::checkSorted() const {
  for (int i = 1; i < numEntries; i++) UTL_GUARANTEE(list[i - 1] <= list[i]);
}

void SortedList::removeDups() {
  UTL_GUARANTEE(sorted);
  int i = 0;
  while (numEntries >= 2) {
    while (i + 1 < numEntries && list[i] != list[i + 1]) i++;
    if (i + 1 >= numEntries) break;
    memmove(list + i, list + i + 1, sizeof(int) * (size_t)(numEntries - i - 1));
    numEntries--;
  }
}

BoolType SortedList::hasEntry(int value) const {
  UTL_GUARANTEE(sorted);
  if (numEntries <= 2) {
    for (int i = 0; i < numEntries; i++)
      if (list[i] == value) return TRUE;
    return FALSE;
  }
  int low = 0;
  int high = numEntries - 1;
  while (low <= high) {
    int middle = low + (high - low) / 2;
    if (list[middle] == value) return TRUE;
    if (list[middle] < value)
      low = middle + 1;
    else
      high = middle - 1;
  }
  return FALSE;
}

void BmQsort(int* first, int* end) {
  if (end - first < 2) return;
  struct Range {
    int* low;
    int* high;
  };
  Range pending[PENDING_DEPTH];
  int pendingCount = 0;
  int* low = first;
  int* high = end - 1;  // inclusive

  for (;;) {
    if (high - low > SMALL_PART) {
      std::swap(*low, low[(high - low) / 2]);
      int pivot = *low;
      int* left = low;
      int* right = high + 1;
      // No bounds checks: the left scan stops at the last element of the whole
      // range (no smaller than anything) or at the pivot that closed this part
      // off; the right scan stops at the pivot at the front.
      for (;;) {
        do left++;
        while (*left < pivot);
        do right--;
        while (*right > pivot);
        if (left >= right) break;
        std::swap(*left, *right);
      }
      std::swap(*low, *right);

      Range leftPart = {low, right - 1};
      Range rightPart = {right + 1, high};
      bool leftSmaller = leftPart.high - leftPart.low < rightPart.high - rightPart.low;
      Range smaller = leftSmaller ? leftPart : rightPart;
      Range larger = leftSmaller ? rightPart : leftPart;
      if (larger.high - larger.low > SMALL_PART) {
        UTL_GUARANTEE(pendingCount < PENDING_DEPTH);
        pending[pendingCount++] = larger;
      }
      if (smaller.high - smaller.low > SMALL_PART) {
        low = smaller.low;
        high = smaller.high;
        continue;
      }
    }
    if (pendingCount == 0) break;
    pendingCount--;
    low = pending[pendingCount].low;
    high = pending[pendingCount].high;
  }

  // One insertion pass over everything; first[-1] is the low sentinel, so the
  // inner loop needs no bound.
  for (int* p = first + 1; p < end; p++) {
    int value = *p;
    int* q = p;
    while (q[-1] > value) {
      *q = q[-1];
      q--;
    }
    *q = value;
  }
}
