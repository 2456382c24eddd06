// Where the encoder's text goes when its buffer is flushed. The encoder only
// hands text on and asks for it to be pushed out; naming, opening, restarting
// and closing files stay with whoever owns the sink (the monitor's output file).
#pragma once

#include <cstddef>

class ArchiveSink {
 public:
  // Appends length bytes of encoded text to the current output.
  virtual void writeToFile(char* text, size_t length) = 0;
  // Pushes what was appended out of any user-space buffer.
  virtual void flushOutFile() = 0;

 protected:
  ~ArchiveSink() = default;
};
