#include "records/format_reading.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

using Rows = std::vector<std::vector<std::int32_t>>;

std::string field20(std::string_view typed) {
  std::string s(typed.substr(0, 20));
  s.resize(20, ' ');
  return s;
}

std::string oneLine(const char* message) { return std::string("177/12: ") + message; }
std::string threeLines(const std::string& message, const char* typed, std::size_t column) {
  return "177/12: " + message + "\n" + field20(typed) + "\n" + testkit::blanks(column - 1) + "^";
}

// Values from..from+count-1, each right-justified in `width` characters.
std::string values(int from, int count, int width) {
  std::string out;
  char buf[32];
  for (int v = from; v < from + count; ++v) {
    std::snprintf(buf, sizeof buf, "%*d", width, v);
    out += buf;
  }
  return out;
}
std::vector<std::int32_t> range(int from, int count) {
  std::vector<std::int32_t> out;
  for (int v = from; v < from + count; ++v) out.push_back(v);
  return out;
}

struct ReadCase {
  const char* format;
  std::string content;
  int ncols;
  int rows;
  Rows expected;        // the rows completed
  std::string failure;  // empty when every row is read
};

// Reads `rows` rows of `ncols` items, as the ibound array reader does.
void check(const testkit::ScratchDir& dir, const ReadCase& c) {
  SCOPED_TRACE(std::string(c.format) + " on \"" + c.content + "\"");
  testkit::connectWith(dir, 12, c.content);
  const std::string fmt = field20(c.format);
  Rows got;
  std::string failure = testkit::failureOf([&] {
    for (int k = 0; k < c.rows; ++k) {
      std::vector<std::int32_t> row(static_cast<std::size_t>(c.ncols), -99);
      vantorell::readFormatted(177, 12, fmt, row);
      got.push_back(row);
    }
  });
  EXPECT_EQ(failure, c.failure.empty() ? "no error" : c.failure);
  EXPECT_EQ(got, c.expected);
}

TEST(FormatReading, RowsAndRecords) {
  testkit::ScratchDir dir;
  const std::string cols4 = "  1  0 -1  1 99\n  0  1  1  0\n -1  0  0  1\n";
  const ReadCase cases[] = {
      {"(4I3)", cols4, 4, 3, {{1, 0, -1, 1}, {0, 1, 1, 0}, {-1, 0, 0, 1}}, ""},
      {"(4I3)", "  1  2  3  4\r\n  5  6  7  8\r\n", 4, 2, {{1, 2, 3, 4}, {5, 6, 7, 8}}, ""},
      {"(4I3)", "  1  2  3  4", 4, 2, {{1, 2, 3, 4}}, oneLine("End of file")},
      {"(4I3)", cols4, 4, 4, {{1, 0, -1, 1}, {0, 1, 1, 0}, {-1, 0, 0, 1}}, oneLine("End of file")},
      {"(4I3)", "", 4, 1, {}, oneLine("End of file")},
      // 25 items from lines of 20: reversion to the start and a new record
      {"(20I2)",
       values(1, 20, 2) + "\n" + values(21, 5, 2) + "99\n" + values(26, 20, 2) + "\n" + values(46, 5, 2) + "\n",
       25,
       2,
       {range(1, 25), range(26, 25)},
       ""},
      {"(10I4)",
       "   1   2   3\n\n      \r\n",
       10,
       3,
       {{1, 2, 3, 0, 0, 0, 0, 0, 0, 0}, std::vector<std::int32_t>(10, 0), std::vector<std::int32_t>(10, 0)},
       ""},
      {"(4I3)", " 10 200 3000\n1 2 3 4\n", 4, 2, {{10, 20, 3, 0}, {12, 3, 4, 0}}, ""},
      {"(4I3)", "1,2,3,4\n", 4, 1, {{1, 2, 3, 4}}, ""},
      {"(4I1)", "1,2,3,4\n", 4, 1, {{1, 0, 2, 0}}, ""},
      {"(DC,4I3)", "1,2,3,4\n", 4, 1, {}, oneLine("Bad value during integer read")},
      // reversion to the last group of the outer level
      {"(I2,3(1X,I3))",
       " 1   2   3   4\n   5   6   7\n   8   9  10\n11  12  13  14\n  15  16  17\n  18  19  20\n",
       10,
       2,
       {range(1, 10), range(11, 10)},
       ""},
      {"(I3)", "  1\n  2\n  3\n  4\n", 4, 1, {{1, 2, 3, 4}}, ""},
      {"(*(I3))", values(1, 30, 3) + "\n", 30, 1, {range(1, 30)}, ""},
      {"(*(I3,(1X)))", "  1   2   3\n", 3, 1, {{1, 2, 3}}, ""},
      {"(/4I3)", "skip\n  1  2  3  4\nskip\n  5  6  7  8\n", 4, 2, {{1, 2, 3, 4}, {5, 6, 7, 8}}, ""},
      {"(4I3/)", "  1  2  3  4\nskipped\n  5  6  7  8\n", 4, 2, {{1, 2, 3, 4}}, oneLine("End of file")},
      // CR alone ends the record for a field, not for a record advance
      {"(I4)", "  1\r  2\n", 2, 1, {{1, 2}}, ""},
      {"(I3)", "  1\r  2\n  3\n", 2, 1, {{1, 3}}, ""},
      // a move over a record that does not exist is no row of zeros
      {"(1X,I3)", "  12\n", 1, 2, {{12}}, oneLine("End of file")},
      {"(999999999/I3)", "a\nb\n", 1, 1, {}, oneLine("End of file")},
  };
  for (const ReadCase& c : cases) check(dir, c);
}

TEST(FormatReading, PositionsAndDollar) {
  testkit::ScratchDir dir;
  const ReadCase cases[] = {
      {"(4I3,$)",
       values(1, 8, 3) + "\n" + values(9, 4, 3) + "\n",
       4,
       4,
       {{1, 2, 3, 4}, {5, 6, 7, 8}, {0, 0, 0, 0}, {9, 10, 11, 12}},
       ""},
      {"($,4I3)", values(1, 4, 3) + "\n" + values(5, 4, 3) + "\n", 4, 2, {{1, 2, 3, 4}}, oneLine("End of record")},
      {"(I3,$,5X)", "  1\n", 1, 1, {}, oneLine("End of record")},
      // the next statement starts where this one stopped, also after moving back
      {"(I3,TL2,$)", "123456\n", 1, 2, {{123}, {234}}, ""},
      {"(T5,I3,T1,I3)", "  7 42\n", 2, 1, {{42, 7}}, ""},
      {"(I3,TL2,I3)", "123456\n", 2, 1, {{123, 234}}, ""},
      {"(I1,TL5,I2)", "12\n", 2, 1, {{1, 12}}, ""},
      {"(I2,T9,I3,T5,I2)", "12345\n", 3, 1, {{12, 0, 5}}, ""},
      // modes hold to the end of their statement
      {"(I3,BZ,I3)", " 1  1 \n 1  1 \n", 2, 2, {{1, 10}, {1, 10}}, ""},
      {"(4I3,:,'x')", values(1, 4, 3) + "\n" + values(5, 4, 3) + "\n", 4, 2, {{1, 2, 3, 4}, {5, 6, 7, 8}}, ""},
      // numbers beyond 32 bits keep their value
      {"(4294967297I3)", "  1  2  3\n", 3, 1, {{1, 2, 3}}, ""},
      {"(I2,T99999999999,I3)", "12345\n", 2, 1, {{12, 0}}, ""},
      {"(I99999999999)", "  42\n", 1, 1, {{42}}, ""},
      {"(TL99999999999,I2)", "42\n", 1, 1, {{42}}, ""},
      // huge repeat counts of groups that stop changing anything
      {"(99999999(T1,1X),I3)", "x123\n", 1, 1, {{123}}, ""},
      {"(9999999(TL1,2X),I3)", std::string(5000, 'x') + "\n", 1, 1, {{0}}, ""},
      {"(9999999999999(),I3)", "  5\n", 1, 1, {{5}}, ""},
      {"(999999999999(X),I3)", "  5\n", 1, 1, {{0}}, ""},
  };
  for (const ReadCase& c : cases) check(dir, c);
}

TEST(FormatReading, Conversions) {
  testkit::ScratchDir dir;
  const char* bad = "Bad value during integer read";
  const ReadCase cases[] = {
      {"(I11)", "2147483647\n-2147483648\n", 1, 2, {{2147483647}, {-2147483648}}, ""},
      {"(I11)", "2147483648\n", 1, 1, {}, oneLine("Value overflowed during integer read")},
      {"(I12)", "9999999999x\n", 1, 1, {}, oneLine("Value overflowed during integer read")},
      {"(I4)", " 1 2\n-   \n 1  \n12\n", 1, 4, {{12}, {0}, {1}, {12}}, ""},
      {"(BZ,I4)", " 1 2\n-   \n 1  \n12\n", 1, 4, {{102}, {0}, {100}, {12}}, ""},
      {"(I3)", "  -\n", 1, 1, {}, oneLine(bad)},
      {"(I3)", "1.0\n", 1, 1, {}, oneLine(bad)},
      {"(I3)", "1\t2\n", 1, 1, {}, oneLine(bad)},
      {"(I3)", " 1x\n", 1, 1, {}, oneLine(bad)},
      {"(I3)", "+-1\n", 1, 1, {}, oneLine(bad)},
      {"(4G5.0)", values(1, 4, 5) + "\n", 4, 1, {{1, 2, 3, 4}}, ""},
      {"(Z8)", "FFFFFFFF\n", 1, 1, {{-1}}, ""},
      {"(B4,O3,Z2,Z2,Z8)", "1011777ff-1-FFFFFFF\n", 5, 1, {{11, 511, 255, -1, -268435455}}, ""},
      {"(O11)", "37777777777\n", 1, 1, {{-1}}, ""},
      {"(Z9)", "100000000\n", 1, 1, {}, oneLine("Value overflowed during integer read")},
      {"(Z2)", "fg\n", 1, 1, {}, oneLine(bad)},
      {"(B2)", "12\n", 1, 1, {}, oneLine(bad)},
      {"(4L1)", "TFtf\n", 4, 1, {{1, 0, 1, 0}}, ""},
      {"(L7)", ".TRUE.\n  .f\nTx\n", 1, 3, {{1}, {0}, {1}}, ""},
      {"(4L1)", "    \n", 4, 1, {}, oneLine("Bad value on logical read")},
      {"(L2)", " .\n", 1, 1, {}, oneLine("Bad value on logical read")},
      {"(L0)", "T\n", 1, 1, {}, oneLine("Bad value on logical read")},
      {"(A4,A1,A,A6)", "ABCD1EFGHxxWXYZ\n", 4, 1, {{1145258561, 538976305, 1212630597, 1515804759}}, ""},
      {"(A4)", "1,\n", 1, 1, {{538979377}}, ""},
  };
  for (const ReadCase& c : cases) check(dir, c);
}

TEST(FormatReading, WalkErrors) {
  testkit::ScratchDir dir;
  const std::string line = values(1, 4, 5) + "\n";
  const ReadCase cases[] = {
      {"(FREE)", "", 4, 1, {}, threeLines("Positive width required in format", "(FREE)", 3)},
      {"*", line, 4, 1, {}, threeLines("Missing initial left parenthesis in format", "*", 1)},
      {"(4F5.0)",
       line,
       4,
       1,
       {},
       threeLines("Expected REAL for item 1 in formatted transfer, got INTEGER", "(4F5.0)", 3)},
      {"(I3,EN5.0)",
       line,
       4,
       1,
       {},
       threeLines("Expected REAL for item 2 in formatted transfer, got INTEGER", "(I3,EN5.0)", 6)},
      {"(4I3,'x')", line, 4, 1, {}, threeLines("Constant string in input format", "(4I3,'x')", 8)},
      {"(4I3,2Hab)", line, 4, 1, {}, threeLines("Constant string in input format", "(4I3,2Hab)", 9)},
      {"(I3,())", line, 4, 1, {}, threeLines("Exhausted data descriptors in format", "(I3,())", 7)},
      {"(I3,())", line, 1, 1, {}, threeLines("Exhausted data descriptors in format", "(I3,())", 7)},
      {"(1X)", line, 4, 1, {}, oneLine("Insufficient data descriptors in format after reversion")},
      {"(I3,(1X))", line + line, 2, 1, {}, oneLine("Insufficient data descriptors in format after reversion")},
      // without a data descriptor the format is walked twice before the first item
      {"(/)", "a\nb\n", 1, 1, {}, oneLine("Insufficient data descriptors in format after reversion")},
      {"(/)", "a\n", 1, 1, {}, oneLine("End of file")},
  };
  for (const ReadCase& c : cases) check(dir, c);
}

// The format is parsed once per text, and every statement still checks what
// its own text demands.
TEST(FormatReading, EachStatementUsesItsOwnText) {
  testkit::ScratchDir dir;
  testkit::connectWith(dir, 12, "  1  2\n  3  4\n  5  6\n");
  std::vector<std::int32_t> row(2);
  vantorell::readFormatted(177, 12, field20("(2I3)"), row);
  EXPECT_EQ(row, (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(testkit::failureOf([&] { vantorell::readFormatted(177, 12, field20("(2I3,q)"), row); }),
            threeLines("Unexpected element 'Q' in format", "(2I3,q)", 6));
  vantorell::readFormatted(177, 12, field20("(I6)"), row);
  EXPECT_EQ(row, (std::vector<std::int32_t>{34, 56}));  // the failed statement read nothing
}

}  // namespace
