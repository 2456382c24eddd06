// A message built in a fixed buffer without the C library's formatting, for use
// inside signal handlers and the guarantee report: nothing here allocates, takes
// a lock or reads the time zone. Text beyond the buffer is dropped.
#pragma once

#include <cstddef>
#include <ctime>

class HostSafeText {
 public:
  static const size_t CAPACITY = 256;  // one write of the signal handler at most

  HostSafeText() { clear(); }
  void clear() {
    _len = 0;
    _buf[0] = '\0';
  }
  HostSafeText& str(const char* s);
  HostSafeText& num(long long v);
  HostSafeText& unum(unsigned long long v);
  HostSafeText& hex(unsigned long long v);  // lower case, without "0x"
  // The wall-clock second t in the ctime form, in UTC: "Mon Jan  6 08:01:02 2025 UTC".
  HostSafeText& utcTime(time_t t);

  const char* text() const { return _buf; }
  size_t length() const { return _len; }
  // Writes the text to fd (HostSafeWrite).
  void writeTo(int fd) const;

 private:
  void put(char c);
  char _buf[CAPACITY];
  size_t _len;
};
