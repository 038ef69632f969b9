#include "records/text_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "records/file_units.h"
#include "records/platform.h"
#include "support/testkit.h"

using namespace vantorell;
using testkit::blanks;
using testkit::ScratchDir;

namespace {

// One free-form statement on unit 11. `layout` has one letter per item:
// i int32, d double, and 1, 2, 8 or G for a text field of 1, 2, 8 or 16
// characters. Items start as 77, 7.5 and a field of '#'. `values` shows the
// items after the statement, joined by '|' (text without trailing blanks,
// doubles in their shortest exact form, NaN as its bits). `next` is the
// record that a following whole-line read gets ("<eof>" when the input has
// ended); it is checked only when the statement succeeds.
struct Case {
  std::string layout;
  std::string input;
  std::string values;
  std::string next;
  std::string error;  // empty when the statement succeeds
};

struct Items {
  std::vector<std::int32_t> ints;
  std::vector<double> doubles;
  std::vector<std::string> texts;
  std::vector<ReadItem> list;
  std::string layout;

  explicit Items(const std::string& l) : ints(l.size(), 77), doubles(l.size(), 7.5), texts(l.size()), layout(l) {
    for (std::size_t i = 0; i < l.size(); ++i) {
      switch (l[i]) {
        case 'i': list.emplace_back(ints[i]); break;
        case 'd': list.emplace_back(doubles[i]); break;
        default: {
          std::size_t n = l[i] == '1' ? 1 : l[i] == '2' ? 2 : l[i] == '8' ? 8 : 16;
          texts[i].assign(n, '#');
          list.emplace_back(TextRef(texts[i].data(), n));
        }
      }
    }
  }

  std::string render() const {
    std::string out;
    for (std::size_t i = 0; i < layout.size(); ++i) {
      if (i > 0) out += '|';
      if (layout[i] == 'i') {
        out += std::to_string(ints[i]);
      } else if (layout[i] == 'd') {
        out += showDouble(doubles[i]);
      } else {
        std::string t = texts[i];
        while (!t.empty() && t.back() == ' ') t.pop_back();
        out += t;
      }
    }
    return out;
  }

  static std::string showDouble(double v) {
    if (std::isnan(v)) {
      char bits[32];
      std::snprintf(bits, sizeof bits, "nan:%016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
      return bits;
    }
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
  }
};

// The record after the statement, read whole into a 16-character field.
std::string nextRecord() {
  FixedText<16> field;
  std::string failure = testkit::failureOf([&] { readWholeLine(99, 11, field); });
  if (failure != "no error") return "<eof>";
  return std::string(field.trimmed());
}

std::string shown(const std::string& input) {
  std::string out;
  for (char c : input.substr(0, 70)) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return input.size() > 70 ? out + "..." : out;
}

void runCases(const std::vector<Case>& cases) {
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE("layout " + c.layout + ", input \"" + shown(c.input) + "\"");
    testkit::connectWith(dir, 11, c.input);
    Items items(c.layout);
    std::string failure = testkit::failureOf([&] { readFreeForm(7, 11, items.list); });
    EXPECT_EQ(failure, c.error.empty() ? "no error" : "7/11: " + c.error);
    EXPECT_EQ(items.render(), c.values);
    if (c.error.empty()) {
      EXPECT_EQ(nextRecord(), c.next);
    }
  }
}

const std::string kEof = "End of file";
std::string badInteger(int n) { return "Bad integer for item " + std::to_string(n) + " in list input"; }
std::string badReal(int n) { return "Bad real number in item " + std::to_string(n) + " of list input"; }
const std::string kFloatRead = "Error during floating point read";

TEST(FreeFormRead, Integers) {
  runCases({
      {"ii", "1990 2000\nN\n", "1990|2000", "N", ""},
      {"ii", "1990,2000\nN\n", "1990|2000", "N", ""},
      {"ii", "1990\n2000\nN\n", "1990|2000", "N", ""},
      {"ii", "  1990\t2000  \r\nN\r\n", "1990|2000", "N", ""},
      {"ii", "1990 /\nN\n", "1990|77", "N", ""},
      {"ii", "007 -0\nN\n", "7|0", "N", ""},
      {"ii", "-2147483648 +2147483647\nN\n", "-2147483648|2147483647", "N", ""},
      {"i", "2147483648\n", "77", "", "Integer overflow while reading item 1"},
      {"ii", "1 -2147483649\n", "1|77", "", "Integer overflow while reading item 2"},
      {"i", "123456789012345678901234567890\n", "77", "", "Integer overflow while reading item 1"},
      {"ii", "1990.0 2000\n", "77|77", "", badInteger(1)},
      {"ii", "1990 2000a\n", "1990|77", "", badInteger(2)},
      {"i", "1E3\n", "77", "", badInteger(1)},
      {"i", "+ 5\n", "77", "", badInteger(1)},
      {"i", "-\n", "77", "", badInteger(1)},
      {"i", "x\n", "77", "", badInteger(1)},
      {"i", "'5'\n", "77", "", badInteger(1)},
      {"ii", "5 +", "5|77", "", kEof},
      // Seven values read by six items: the seventh is discarded with its record.
      {"iiiiii", "1 2 3 4 5 6 7\nN\n", "1|2|3|4|5|6", "N", ""},
      {"iiiiii", "1 2 3 4 5\n", "1|2|3|4|5|77", "", kEof},
  });
}

TEST(FreeFormRead, Doubles) {
  const std::string zeros900(900, '0');
  runCases({
      {"d", "1.5D3\nN\n", "1500", "N", ""},
      {"dd", "1.5d3 2.5q-1\nN\n", "1500|0.25", "N", ""},
      {"dd", "1.5E+2 -1.5e-2\nN\n", "150|-0.015", "N", ""},
      {"dd", "1.5-3 2+4\nN\n", "0.0015|20000", "N", ""},
      {"dd", ".5 5.\nN\n", "0.5|5", "N", ""},
      {"dd", "-0 -.0e5\nN\n", "-0|-0", "N", ""},
      {"dd", "1E400 -1e400\nN\n", "inf|-inf", "N", ""},
      {"dd", "1e-400 -1e-400\nN\n", "0|-0", "N", ""},
      {"dd", "1.7976931348623157e308 1.7976931348623159e308\n", "1.7976931348623157e+308|inf", "<eof>", ""},
      {"ddd", "4.9e-324 2.4703282292062328e-324 2.4703282292062327e-324\n", "5e-324|5e-324|0", "<eof>", ""},
      {"dd", "1e99999999999999999999999 -1e-99999999999999999999999\n", "inf|-0", "<eof>", ""},
      {"d", "0e99999999999999999999999\n", "0", "<eof>", ""},
      // Ties to even; digits far past the first hundreds still decide.
      {"d", "9007199254740993\n", "9007199254740992", "<eof>", ""},
      {"d", "9007199254740993." + zeros900 + "\n", "9007199254740992", "<eof>", ""},
      {"d", "9007199254740993." + zeros900 + "1\n", "9007199254740994", "<eof>", ""},
      {"dd", "0." + zeros900 + "1e901 1" + zeros900 + "e-900\n", "1|1", "<eof>", ""},
      {"dd", "0.1 123456789.125e-9\n", "0.1|0.123456789125", "<eof>", ""},
      {"dddd", "INF -Infinity +inf nan\n", "inf|-inf|inf|nan:7ff8000000000000", "<eof>", ""},
      {"dd", "-NaN(0x1f) NAN()\n", "nan:fff8000000000000|nan:7ff8000000000000", "<eof>", ""},
      {"d", "1.5x\n", "7.5", "", badReal(1)},
      {"dd", "1 INFIN\n", "1|7.5", "", badReal(2)},
      {"d", "NANA\n", "7.5", "", badReal(1)},
      {"d", "INF5\n", "7.5", "", badReal(1)},
      {"d", "1.5.2\n", "7.5", "", badReal(1)},
      {"d", "1.5E 2\n", "7.5", "", badReal(1)},
      {"d", "1.5E+ 2\n", "7.5", "", badReal(1)},
      {"d", "1.5- 3\n", "7.5", "", badReal(1)},
      {"d", "1.5E3.0\n", "7.5", "", badReal(1)},
      {"d", "NAN(a b)\n", "7.5", "", badReal(1)},
      {"d", "NAN(x)y\n", "7.5", "", badReal(1)},
      {"d", "E5\n", "7.5", "", badReal(1)},
      {"d", "+ 1\n", "7.5", "", badReal(1)},
      {"d", ".\n", "7.5", "", kFloatRead},
      {"d", "-.\n", "7.5", "", kFloatRead},
      {"d", "+.e-3\n", "7.5", "", kFloatRead},
      {"d", "1.5E", "7.5", "", kEof},
      {"d", "1.5e-", "7.5", "", kEof},
      {"d", "1.5-", "7.5", "", kEof},
      {"d", "-", "7.5", "", kEof},
      {"d", "NAN(abc", "7.5", "", kEof},
      // A 16-character text and a double.
      {"Gd", "WIDTH 1000.0\nN\n", "WIDTH|1000", "N", ""},
      {"Gd", "'DELR ROW' 1.5\nN\n", "DELR ROW|1.5", "N", ""},
      {"Gd", "1000.0 WIDTH\n", "1000.0|7.5", "", badReal(2)},
  });
}

TEST(FreeFormRead, Texts) {
  runCases({
      // One-character answers.
      {"1", "y\nN\n", "y", "N", ""},
      {"1", "yes\nN\n", "y", "N", ""},
      {"1", "   Y\nN\n", "Y", "N", ""},
      {"1", "u,\nN\n", "u", "N", ""},
      {"1", "'n'\nN\n", "n", "N", ""},
      {"1", "''\nN\n", "", "N", ""},
      {"1", "3*y\nN\n", "y", "N", ""},
      {"1", "/\nN\n", "#", "N", ""},
      {"1", ",\nN\n", "#", "N", ""},
      {"1", "\n   \nD\nN\n", "D", "N", ""},
      {"1", "0*y\n", "#", "", "Zero repeat count in item 1 of list input"},
      {"1", "'abc\nxyz'\nN\n", "a", "N", ""},
      {"1", "'abc", "a", "<eof>", ""},
      // Eight-character texts.
      {"8", "Jan 1990\nN\n", "Jan", "N", ""},
      {"8", "01/1990\nN\n", "01", "N", ""},
      {"8", "ABCDEFGHIJ\nN\n", "ABCDEFGH", "N", ""},
      {"GG", "12ab ab'cd\nN\n", "12ab|ab'cd", "N", ""},
      {"G", std::string(10000, 'x') + "\nN\n", std::string(16, 'x'), "N", ""},
      // Quoted texts.
      {"GG", "'it''s' \"say \"\"hi\"\"\"\nN\n", "it's|say \"hi\"", "N", ""},
      {"GG", "'a\"b' \"a'b\"\nN\n", "a\"b|a'b", "N", ""},
      {"Gi", "'a,b/c;d e' 5\nN\n", "a,b/c;d e|5", "N", ""},
      {"GG", "'ab\r\ncd\nef'\tx\nN\n", "abcdef|x", "N", ""},
      {"GG", "'ab'!x\nN\n", "ab|!x", "N", ""},
      {"G", "'ab'c\n", "################", "", "Invalid string input in item 1"},
      {"GG", "'ab'/x\nN\n", "ab|################", "N", ""},
  });
}

TEST(FreeFormRead, NullsRepeatsAndSeparators) {
  runCases({
      {"iiii", "3*5 6\nN\n", "5|5|5|6", "N", ""},
      {"ii", "5*7\nN\n", "7|7", "N", ""},
      {"iii", "2* 9\nN\n", "77|77|9", "N", ""},
      {"iii", "2*,9\nN\n", "77|77|9", "N", ""},
      {"iii", "1,,3\nN\n", "1|77|3", "N", ""},
      {"iii", "1 , ; 3\nN\n", "1|77|3", "N", ""},
      {"ii", ",2\nN\n", "77|2", "N", ""},
      {"ii", ";2\nN\n", "77|2", "N", ""},
      // A comma before a line end together with one after it.
      {"iii", "1,\n,3\nN\n", "1|77|3", "N", ""},
      {"ii", "1,\n3\nN\n", "1|3", "N", ""},
      {"ii", "1\n,3\nN\n", "1|3", "N", ""},
      {"iii", "1\n;3\nN\n", "1|77|3", "N", ""},
      {"ii", "1\n\n  \n2\nN\n", "1|2", "N", ""},
      {"ii", "200000000*5\nN\n", "5|5", "N", ""},
      {"ii", "200000001*5\n", "77|77", "", "Repeat count overflow in item 1 of list input"},
      {"ii", "99999999999999999999*5\n", "77|77", "", "Repeat count overflow in item 1 of list input"},
      {"ii", "1 0*5\n", "1|77", "", "Zero repeat count in item 2 of list input"},
      {"ii", "2*", "77|77", "", kEof},
      {"ii", "2*+ 1\n", "77|77", "", badInteger(1)},
      {"ii", "2*+", "77|77", "", kEof},
      {"ii", "+2*5\n", "77|77", "", badInteger(1)},
      {"ii", "2*3*4\n", "77|77", "", badInteger(1)},
      {"dd", "2*1.5\nN\n", "1.5|1.5", "N", ""},
      {"d", "2.0*3\n", "7.5", "", badReal(1)},
      // Repeats across kinds: a null repeat fits any item.
      {"didd", "2*1.0 5\n", "1|77|7.5|7.5", "", "Read type REAL where INTEGER was expected for item 2"},
      {"id", "2*5\n", "5|7.5", "", "Read type INTEGER where REAL was expected for item 2"},
      {"1i", "2*x\n", "x|77", "", "Read type CHARACTER where INTEGER was expected for item 2"},
      {"1di", "2* 5\nN\n", "#|7.5|5", "N", ""},
      {"28", "2*abcdefghij\nN\n", "ab|abcdefgh", "N", ""},
      {"GG", "2*'a b'\nN\n", "a b|a b", "N", ""},
      {"18", "2*\nN\n", "#|########", "N", ""},
      // A slash ends the statement, also at the start of a continuing record.
      {"iii", "1 / 3\nN\n", "1|77|77", "N", ""},
      {"iii", "1\n/3\nN\n", "1|77|77", "N", ""},
      {"ii", "/\nN\n", "77|77", "N", ""},
      {"iiii", "2*5/ 6\nN\n", "5|5|77|77", "N", ""},
  });
}

TEST(FreeFormRead, RecordsAndEndOfInput) {
  const std::string pad(8190, ' ');
  runCases({
      {"ii", "", "77|77", "", kEof},
      {"ii", "\n\n  \n", "77|77", "", kEof},
      {"ii", "1,", "1|77", "", kEof},
      // Statements without items consume one record.
      {"", "abc\nN\n", "", "N", ""},
      {"", "\nN\n", "", "N", ""},
      {"", "abc", "", "", kEof},
      {"", "", "", "", kEof},
      // A last record without its line end.
      {"ii", "1 2", "1|2", "<eof>", ""},
      {"ii", "1 2 ,  ", "1|2", "<eof>", ""},
      {"ii", "1 2,,", "1|2", "", kEof},
      {"ii", "1 2 3", "1|2", "", kEof},
      {"ii", "1 /", "1|77", "", kEof},
      // CR LF and LF line ends, also after a trailing comma.
      {"ii", "1 2\r\n3\r\n", "1|2", "3", ""},
      {"ii", "1,\r\n2\r\nN\r\n", "1|2", "N", ""},
      {"iii", "1,\r\n,3\r\nN\r\n", "1|77|3", "N", ""},
      {"ii", "1,\nN\n", "1|77", "", badInteger(2)},
      // A grid attributes record split over two lines.
      {"iiiiiiii2", "1 2 3 4\n5 6 7 8 AB\nN\n", "1|2|3|4|5|6|7|8|AB", "N", ""},
      // A CR alone separates values like a blank.
      {"ii", "1\r2\nN\n", "1|2", "N", ""},
      {"ii", "\r5 6\nN\n", "77|5", "N", ""},
      // Values that straddle a refill of the stream buffer.
      {"iG", pad + "12345 WIDTH\nN\n", "12345|WIDTH", "N", ""},
      {"1G", pad.substr(2) + "1 ABCDEFGHIJKL\nN\n", "1|ABCDEFGHIJKL", "N", ""},
      {"G", pad.substr(10) + "'abcdefghij''kl'\nN\n", "abcdefghij'kl", "N", ""},
      {"dd", pad + "1.25e3 2*\nN\n", "1250|7.5", "N", ""},
      {"11", pad + "2*y\nN\n", "y|y", "N", ""},
      {"i", pad + "\n" + pad + "\n7\nN\n", "7", "N", ""},
  });
}

// Integer values, good and bad, placed at every offset across the end of the
// stream buffer.
TEST(FreeFormRead, IntegersAtEveryPlaceAroundARefill) {
  std::vector<Case> cases;
  for (std::size_t lead = kBufferSize - 14; lead <= kBufferSize; ++lead) {
    const std::string pad(lead, ' ');
    cases.push_back({"ii", pad + "-2147483648,2147483647\nN\n", "-2147483648|2147483647", "N", ""});
    cases.push_back({"ii", pad + "2*+35\nN\n", "35|35", "N", ""});
    cases.push_back({"ii", pad + "1 2147483648\n", "1|77", "", "Integer overflow while reading item 2"});
    cases.push_back({"ii", pad + "12 34x\n", "12|77", "", badInteger(2)});
    cases.push_back({"ii", pad + "12 -", "12|77", "", kEof});
  }
  runCases(cases);
}

// One whole-line read of a field of `length` characters on unit 11.
struct LineCase {
  std::size_t length;
  std::string input;
  std::string field;  // the whole field, blanks included
  std::string next;
  std::string error;
};

TEST(WholeLineRead, Records) {
  const std::string path140(140, 'p');
  const std::vector<LineCase> cases = {
      {20, "ABC\nN\n", "ABC" + blanks(17), "N", ""},
      {20, "\nN\n", blanks(20), "N", ""},
      {20, "a\tb,c 'q' /x\nN\n", "a\tb,c 'q' /x" + blanks(8), "N", ""},
      {128, path140 + "\nN\n", path140.substr(0, 128), "N", ""},
      {8, "path\r\nN\r\n", "path" + blanks(4), "N", ""},
      {8, "ab\rN\n", "ab" + blanks(6), "N", ""},
      {3, "abc\r\nN\n", "abc", "N", ""},
      {3, "abc\rxyz\nN\n", "abc", "N", ""},
      {3, "abc\nN\n", "abc", "N", ""},
      {8, "abc", "abc" + blanks(5), "<eof>", ""},
      {2, "abc", "ab", "<eof>", ""},
      {4, std::string("a\x1a\x80z\n"), "a\x1a\x80z", "<eof>", ""},
      {4, std::string(9000, 'q') + "\nN\n", "qqqq", "N", ""},
      {4, "", "####", "", kEof},
  };
  ScratchDir dir;
  for (const LineCase& c : cases) {
    SCOPED_TRACE("length " + std::to_string(c.length) + ", input \"" + shown(c.input) + "\"");
    testkit::connectWith(dir, 11, c.input);
    std::string field(c.length, '#');
    std::string failure = testkit::failureOf([&] { readWholeLine(7, 11, TextRef(field.data(), field.size())); });
    EXPECT_EQ(failure, c.error.empty() ? "no error" : "7/11: " + c.error);
    EXPECT_EQ(field, c.field);
    if (c.error.empty()) {
      EXPECT_EQ(nextRecord(), c.next);
    }
  }
}

// A unit whose first buffer of input has been read and whose next read fails
// (the file handle is swapped for a directory, which cannot be read).
struct FailingInput : ::testing::Test {
  ScratchDir dir;

  void SetUp() override {
    testkit::connectWith(dir, 11, "5" + std::string(kBufferSize - 1, ' '));
    Unit& u = unitAt(11);
    ASSERT_EQ(peekByte(u), '5');
    int fd = ::open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::close(u.handle);
    u.handle = fd;
  }
};

TEST_F(FailingInput, FreeFormReadTakesItAsTheEndOfTheInput) {
  std::int32_t value = 0;
  EXPECT_EQ(testkit::failureOf([&] { readFreeForm(7, 11, {value}); }), "no error");
  EXPECT_EQ(value, 5);
}

TEST_F(FailingInput, RecordWithoutItemsMeetsEndOfFile) {
  EXPECT_EQ(testkit::failureOf([&] { readFreeForm(7, 11, std::span<const ReadItem>{}); }), "7/11: End of file");
}

TEST_F(FailingInput, WholeLineReadReportsTheSystemError) {
  FixedText<2> field;
  EXPECT_EQ(testkit::failureOf([&] { readWholeLine(7, 11, field); }), "7/11: " + platform::errorText(EISDIR));
}

}  // namespace
