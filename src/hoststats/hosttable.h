// A table of at most Max rows that takes memory only for the rows in use. A
// host has a few CPUs and disks where the tables allow a thousand, and the host
// statistics state is created at every start: rows spring into being, zeroed,
// when first indexed, so an untouched row costs nothing.
#pragma once

#include <vector>

#include "host/utlexit.h"

template <typename T, int Max>
class HostTable {
 public:
  T& operator[](int i) {
    UTL_GUARANTEE(i >= 0 && i < Max);
    if ((size_t)i >= rows.size()) rows.resize((size_t)i + 1);
    return rows[(size_t)i];
  }
  const T& operator[](int i) const {
    UTL_GUARANTEE(i >= 0 && i < Max);
    static const T zero{};
    return (size_t)i < rows.size() ? rows[(size_t)i] : zero;
  }
  // Rows made so far; rows from here on read as zero when indexed.
  int size() const { return (int)rows.size(); }

 private:
  std::vector<T> rows;
};
