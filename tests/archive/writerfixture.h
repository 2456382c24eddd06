// A writer with its own text area, for tests that look at the encoded text;
// a flush goes to sink (none: a flush is a fault).
#pragma once

#include <string>

#include "archive/archivesink.h"
#include "archive/hoststatwriter.h"
#include "host/utlexit.h"

class TestWriter {
 public:
  explicit TestWriter(ArchiveSink* sink = nullptr) {
    w.init(nullptr);
    w.sink = sink;
  }
  ~TestWriter() { UtlFree(w.rawBuffer); }
  TestWriter(const TestWriter&) = delete;
  TestWriter& operator=(const TestWriter&) = delete;

  // The buffered text (without the NUL that follows it).
  std::string text() const { return std::string(w.buffer, (size_t)w.spaceUsed()); }
  // Empties the buffer without handing anything on.
  void clear() {
    w.bufPtr = w.buffer;
    *w.bufPtr = '\0';
  }

  HostStatWriter w;
};
