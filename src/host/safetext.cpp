#include "host/safetext.h"

#include "host/hostsignal.h"

void HostSafeText::put(char c) {
  if (_len + 1 < CAPACITY) {
    _buf[_len++] = c;
    _buf[_len] = '\0';
  }
}

HostSafeText& HostSafeText::str(const char* s) {
  if (!s) s = "(null)";
  while (*s) put(*s++);
  return *this;
}

HostSafeText& HostSafeText::unum(unsigned long long v) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = (char)('0' + v % 10);
    v /= 10;
  } while (v);
  while (n > 0) put(digits[--n]);
  return *this;
}

HostSafeText& HostSafeText::num(long long v) {
  if (v < 0) {
    put('-');
    // Negate in unsigned arithmetic so the most negative value does not overflow.
    return unum(0ULL - (unsigned long long)v);
  }
  return unum((unsigned long long)v);
}

HostSafeText& HostSafeText::hex(unsigned long long v) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[v & 0xf];
    v >>= 4;
  } while (v);
  while (n > 0) put(digits[--n]);
  return *this;
}

namespace {
void twoDigits(HostSafeText& t, long v, char pad) {
  char s[3] = {v >= 10 ? (char)('0' + v / 10) : pad, (char)('0' + v % 10), '\0'};
  t.str(s);
}
}  // namespace

HostSafeText& HostSafeText::utcTime(time_t t) {
  static const char* const DAYS[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
  static const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  long long secs = (long long)t;
  long long days = secs / 86400;
  long long rem = secs % 86400;
  if (rem < 0) {
    rem += 86400;
    days -= 1;
  }
  // Civil date from a day count (days since 1970-01-01), proleptic Gregorian.
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long day = (long)(doy - (153 * mp + 2) / 5 + 1);
  long month = (long)(mp < 10 ? mp + 3 : mp - 9);
  long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  long weekday = (long)(((days % 7) + 7) % 7);

  str(DAYS[weekday]).str(" ").str(MONTHS[month - 1]).str(" ");
  twoDigits(*this, day, ' ');
  str(" ");
  twoDigits(*this, (long)(rem / 3600), '0');
  str(":");
  twoDigits(*this, (long)(rem / 60 % 60), '0');
  str(":");
  twoDigits(*this, (long)(rem % 60), '0');
  str(" ").num(year).str(" UTC");
  return *this;
}

void HostSafeText::writeTo(int fd) const { HostSafeWrite(fd, _buf); }
