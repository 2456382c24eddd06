#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/writerfixture.h"

namespace {

// Every write leaves a NUL right after the text and room before the limit.
void expectInvariant(const HostStatWriter& w) {
  EXPECT_EQ(*w.bufPtr, '\0');
  EXPECT_LT(w.bufPtr, w.bufLimit);
}

const char* const kNames[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"};

TEST(Encoder, TokensByteForByte) {
  struct Case { void (*write)(HostStatWriter&); const char* text; };
  const Case cases[] = {
      {[](HostStatWriter& w) { w.writeInt64(-10); }, "-10 "},
      {[](HostStatWriter& w) { w.writeInt64(INT64_MIN); }, "-9223372036854775808 "},
      {[](HostStatWriter& w) { w.writeInt64(INT64_MAX); }, "9223372036854775807 "},
      {[](HostStatWriter& w) { w.writeUInt(4294967295u); }, "4294967295 "},
      {[](HostStatWriter& w) { w.writeVectorU32(std::vector<uint32_t>{7, 0xFFFFFFFFu, 12}.data(), 3); },
       "7 4294967295 12 "},
      {[](HostStatWriter& w) { for (int v = 0; v <= 9; v++) w.writeSmallUInt(v); }, "0 1 2 3 4 5 6 7 8 9 "},
      {[](HostStatWriter& w) { for (int v = -9; v <= -1; v++) w.writeSmallNegativeInt(v); },
       "-9 -8 -7 -6 -5 -4 -3 -2 -1 "},
      // separators and underscores
      {[](HostStatWriter& w) { w.writeString("  "); }, "   "},  // two spaces and the separator
      {[](HostStatWriter& w) { w.writeString("line\n"); w.writeString("next"); }, "line\nnext "},
      {[](HostStatWriter& w) { w.writeNewLine(); w.writeCharacter('x'); }, "\n x "},
      {[](HostStatWriter& w) { w.writeStringNoSpaces("my  envoy\tA b"); w.writeStringNoSpaces("ab cd", 4); },
       "my__envoy_A_b ab_c "},
      // no byte of a name can end or forge a line: every control byte and DEL is '_'
      {[](HostStatWriter& w) { w.writeStringNoSpaces("a\nb\rc\x01\x1f\x7f~\x80\xff"); },
       "a_b_c___~\x80\xff "},
      // five names a line when more follow
      {[](HostStatWriter& w) { w.writeArrayOfStrings(kNames, 6); }, "a b c d e \n f "},
      {[](HostStatWriter& w) { w.writeArrayOfStrings(kNames, 11); }, "a b c d e \n f g h i j \n k "},
      // the end of a record turns the last space into a newline, or adds a newline token
      {[](HostStatWriter& w) { w.writeUInt(12); w.writeInt64(-3); w.writeEndOfRecord(); }, "12 -3\n"},
      {[](HostStatWriter& w) { w.sampleTimeStamp = 1700000000u; w.writeTimeStamp(); w.writeString("x\n");
                               w.writeEndOfRecord(); }, "1700000000 x\n\n "},
  };
  for (const Case& c : cases) {
    TestWriter t;
    c.write(t.w);
    EXPECT_EQ(t.text(), c.text);
    expectInvariant(t.w);
  }
}

// Digit counts change at every power of ten; check both sides of each, and a
// spread of random values, against the C library's own conversion.
TEST(EncoderNumbers, AgreesWithPrintfAcrossDigitCounts) {
  std::vector<uint64_t> u;
  for (uint64_t p = 1;; p *= 10) {
    u.insert(u.end(), {p - 1, p, p + 1});
    if (p == 10000000000000000000ULL) break;
  }
  for (uint64_t v = 0; v < 1000; v++) u.push_back(v);  // where the short paths are
  std::mt19937_64 rng(42);
  for (int i = 0; i < 2000; i++) u.push_back(rng() >> (rng() % 64));

  TestWriter t;
  std::string expected, signedExpected;
  std::vector<int64_t> s;
  for (uint64_t v : u) {
    t.w.writeUInt64(v);
    s.insert(s.end(), {(int64_t)v, -(int64_t)(v >> 1)});
    expected += std::to_string(v) + " ";
    signedExpected += std::to_string(s.end()[-2]) + " " + std::to_string(s.back()) + " ";
  }
  t.w.writeVectorI64(s.data(), (int)s.size());
  EXPECT_EQ(t.text(), expected + signedExpected);
}

// Puts filler bytes at the end of the text so that `left` bytes remain.
void fillUntilLeft(HostStatWriter& w, int left) {
  while (w.spaceLeft() > left) *w.bufPtr++ = (char)('a' + w.spaceLeft() % 26);
  *w.bufPtr = '\0';
}

TEST(EncoderBuffer, SingleDigitsUseTheLastBytesAndLongerWritesGrowItKeepingTheText) {
  TestWriter t;  // no manager: a flush here would be a fault
  fillUntilLeft(t.w, 5);
  t.w.writeSmallUInt(1);  // room for digit, space and NUL
  EXPECT_EQ(t.w.spaceLeft(), 3);
  t.w.writeUInt(2);
  EXPECT_EQ(t.w.spaceLeft(), 1);

  fillUntilLeft(t.w, 10);
  std::string before = t.text();
  t.w.writeUInt64(UINT64_MAX);  // needs 22 bytes reserved
  EXPECT_EQ(t.text(), before + "18446744073709551615 ");

  fillUntilLeft(t.w, 2);  // a two-byte literal needs more than zero bytes for data
  before = t.text();
  t.w.writeSmallNegativeInt(-4);
  EXPECT_EQ(t.text(), before + "-4 ");
  expectInvariant(t.w);
}

}  // namespace
