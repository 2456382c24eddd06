// A writer with its own text area and no output file, for tests that look at
// the encoded text without flushing it.
#pragma once

#include <string>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"

class TestWriter {
 public:
  explicit TestWriter(TallyMgr* mgr = nullptr) { w.init(mgr); }
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
