#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <limits>
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

TEST(EncoderNumbers, SmallAndBoundaryValuesMatchPrintf) {
  struct U { uint64_t v; const char* text; };
  const U unsignedCases[] = {
      {0, "0 "}, {9, "9 "}, {10, "10 "}, {99, "99 "}, {100, "100 "},
      {4294967295u, "4294967295 "},
      {std::numeric_limits<uint64_t>::max(), "18446744073709551615 "},
  };
  for (const U& c : unsignedCases) {
    TestWriter t;
    t.w.writeUInt64(c.v);
    EXPECT_EQ(t.text(), c.text) << c.v;
    expectInvariant(t.w);
  }
  struct S { int64_t v; const char* text; };
  const S signedCases[] = {
      {0, "0 "}, {9, "9 "}, {10, "10 "}, {-1, "-1 "}, {-9, "-9 "}, {-10, "-10 "},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808 "},
      {std::numeric_limits<int64_t>::max(), "9223372036854775807 "},
  };
  for (const S& c : signedCases) {
    TestWriter t;
    t.w.writeInt64(c.v);
    EXPECT_EQ(t.text(), c.text) << c.v;
    expectInvariant(t.w);
  }
}

TEST(EncoderNumbers, ThirtyTwoBitCountersAreUnsigned) {
  TestWriter t;
  t.w.writeUInt(0xFFFFFFFFu);
  const uint32_t vec[] = {7, 0xFFFFFFFFu, 12};
  t.w.writeVectorU32(vec, 3);
  EXPECT_EQ(t.text(), "4294967295 7 4294967295 12 ");
}

TEST(EncoderNumbers, SingleDigitPathsMatchTheGeneralForm) {
  TestWriter t;
  for (int v = 0; v <= 9; v++) t.w.writeSmallUInt(v);
  for (int v = -9; v <= -1; v++) t.w.writeSmallNegativeInt(v);
  EXPECT_EQ(t.text(), "0 1 2 3 4 5 6 7 8 9 -9 -8 -7 -6 -5 -4 -3 -2 -1 ");
}

// Digit counts change at every power of ten; check both sides of each, and a
// spread of random values, against the C library's own conversion.
TEST(EncoderNumbers, AgreesWithPrintfAcrossDigitCounts) {
  std::vector<uint64_t> u;
  for (uint64_t p = 1; p != 0 && p <= 10000000000000000000ULL; p *= 10) {
    u.push_back(p - 1);
    u.push_back(p);
    u.push_back(p + 1);
    if (p == 10000000000000000000ULL) break;
  }
  for (uint64_t v = 0; v < 1000; v++) u.push_back(v);  // where the short paths are
  std::mt19937_64 rng(42);
  for (int i = 0; i < 2000; i++) u.push_back(rng() >> (rng() % 64));

  TestWriter t;
  std::string expected;
  char tmp[32];
  std::vector<int64_t> s;
  for (uint64_t v : u) {
    t.w.writeUInt64(v);
    snprintf(tmp, sizeof(tmp), "%" PRIu64 " ", v);
    expected += tmp;
    s.push_back((int64_t)v);
    s.push_back(-(int64_t)(v >> 1));
  }
  t.w.writeVectorI64(s.data(), (int)s.size());
  for (int64_t v : s) {
    snprintf(tmp, sizeof(tmp), "%" PRId64 " ", v);
    expected += tmp;
  }
  EXPECT_EQ(t.text(), expected);
  expectInvariant(t.w);
}

TEST(EncoderStrings, SeparatorRules) {
  TestWriter t;
  t.w.writeString("  ");
  EXPECT_EQ(t.text(), "   ");  // two spaces and the separator
  t.clear();
  t.w.writeString("line\n");
  t.w.writeString("next");
  EXPECT_EQ(t.text(), "line\nnext ");  // no space after a text that ends its line
  t.clear();
  t.w.writeNewLine();
  t.w.writeCharacter('x');
  EXPECT_EQ(t.text(), "\n x ");
  t.clear();
  t.w.writeStringNoSpaces("my  envoy\tA b");
  t.w.writeStringNoSpaces("ab cd", 4);
  EXPECT_EQ(t.text(), "my__envoy\tA_b ab_c ");
  t.clear();
  t.w.writeStringNoSpaces("ends \n");
  EXPECT_EQ(t.text(), "ends_\n");
  expectInvariant(t.w);
}

TEST(EncoderStrings, ArrayBreaksAfterEveryFifthNameWhenMoreFollow) {
  const char* names[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"};
  TestWriter t;
  t.w.writeArrayOfStrings(names, 5);
  EXPECT_EQ(t.text(), "a b c d e ");
  t.clear();
  t.w.writeArrayOfStrings(names, 6);
  EXPECT_EQ(t.text(), "a b c d e \n f ");
  t.clear();
  t.w.writeArrayOfStrings(names, 10);
  EXPECT_EQ(t.text(), "a b c d e \n f g h i j ");
  t.clear();
  t.w.writeArrayOfStrings(names, 11);
  EXPECT_EQ(t.text(), "a b c d e \n f g h i j \n k ");
}

TEST(EncoderRecords, EndOfRecordTurnsTheLastSpaceIntoANewline) {
  TestWriter t;
  t.w.writeUInt(12);
  t.w.writeInt64(-3);
  t.w.writeEndOfRecord();
  EXPECT_EQ(t.text(), "12 -3\n");
  t.w.sampleTimeStamp = 1700000000u;
  t.w.writeTimeStamp();
  t.w.writeString("x\n");
  t.w.writeEndOfRecord();  // no trailing space to replace: a newline token is added
  EXPECT_EQ(t.text(), "12 -3\n1700000000 x\n\n ");
  t.clear();
  t.w.writeEndOfRecord();
  EXPECT_EQ(t.text(), "\n ");
}

TEST(EncoderRecords, ProcessFiguresAreWrittenInFieldOrder) {
  HostProcessStatsSType stats;
  for (int i = 0; i < 30; i++) stats.values[i] = (uint32_t)i * 3;
  TestWriter t;
  t.w.writeStatsForPidWithInfo(&stats);
  std::string expected;
  for (int i = 0; i < 30; i++) expected += std::to_string(i * 3) + " ";
  EXPECT_EQ(t.text(), expected);
}

// Puts n filler bytes at the end of the text so that `left` bytes remain.
void fillUntilLeft(HostStatWriter& w, int left) {
  while (w.spaceLeft() > left) {
    int room = w.spaceLeft() - left;
    *w.bufPtr++ = (char)('a' + room % 26);
  }
  *w.bufPtr = '\0';
}

TEST(EncoderBuffer, StartsPageAlignedAtOneMebibyte) {
  TestWriter t;
  EXPECT_EQ(t.w.bufferSize, 1048576u);
  EXPECT_EQ((uintptr_t)t.w.buffer % 4096, 0u);
  EXPECT_EQ(t.w.bufLimit - t.w.buffer, 1048576);
  EXPECT_TRUE(t.w.isEmpty());
  EXPECT_EQ(t.w.baseTypeCount, 64u);
}

TEST(EncoderBuffer, MultiByteWriteThatDoesNotFitDoublesAndKeepsText) {
  TestWriter t;  // no manager: a flush here would be a fault
  t.w.writeString("head");
  fillUntilLeft(t.w, 10);
  const std::string before = t.text();
  t.w.writeUInt64(std::numeric_limits<uint64_t>::max());  // needs 22 bytes reserved
  EXPECT_EQ(t.w.bufferSize, 2u * 1048576u);
  EXPECT_EQ((uintptr_t)t.w.buffer % 4096, 0u);
  EXPECT_EQ(t.text(), before + "18446744073709551615 ");

  fillUntilLeft(t.w, 2);  // a two-byte literal needs more than zero bytes for data
  const std::string before2 = t.text();
  t.w.writeSmallNegativeInt(-4);
  EXPECT_EQ(t.w.bufferSize, 4u * 1048576u);
  EXPECT_EQ(t.text(), before2 + "-4 ");
  expectInvariant(t.w);
}

TEST(EncoderBuffer, SingleDigitsFillToTheLastThreeBytesWithoutGrowing) {
  TestWriter t;
  fillUntilLeft(t.w, 5);
  t.w.writeSmallUInt(1);  // 5 left: room for digit, space and NUL
  EXPECT_EQ(t.w.spaceLeft(), 3);
  t.w.writeUInt(2);
  EXPECT_EQ(t.w.spaceLeft(), 1);
  EXPECT_EQ(t.w.bufferSize, 1048576u);
  expectInvariant(t.w);
}

}  // namespace
