#include "records/text_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "records/file_units.h"
#include "support/testkit.h"

using namespace vantorell;
using testkit::blanks;
using testkit::ScratchDir;

namespace {

std::string int32Field(std::int32_t v) {
  char out[kInt32Field + 1];
  out[kInt32Field] = '#';
  char* end = formatInt32Field(out, v);
  EXPECT_EQ(end, out + kInt32Field);
  EXPECT_EQ(out[kInt32Field], '#') << "wrote past the field";
  return std::string(out, kInt32Field);
}

std::string doubleField(double v) {
  char out[kDoubleField + 1];
  out[kDoubleField] = '#';
  char* end = formatDoubleField(out, v);
  EXPECT_EQ(end, out + kDoubleField);
  EXPECT_EQ(out[kDoubleField], '#') << "wrote past the field";
  return std::string(out, kDoubleField);
}

const std::string kCrLf = "\r\n";

// Everything that `write` puts on unit 14, connected to a new file.
template <typename F>
std::string writtenToLog(F&& write) {
  ScratchDir dir;
  resetUnitsForTesting();
  connect(215, 14, dir.file("Vantorell.log"), Form::Text, Use::Output);
  write();
  release(14);
  return testkit::readFile(dir.file("Vantorell.log"));
}

}  // namespace

// ---- Number fields ------------------------------------------------------

TEST(Int32Field, RightJustifiedInEleven) {
  struct Case {
    std::int32_t value;
    std::string field;
  };
  const Case cases[] = {
      {5, blanks(10) + "5"},
      {-12, blanks(8) + "-12"},
      {0, blanks(10) + "0"},
      {2147483647, blanks(1) + "2147483647"},
      {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
      {-1, blanks(9) + "-1"},
      {1000000000, blanks(1) + "1000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(int32Field(c.value), c.field) << c.value;

  // Every digit count, odd and even, at both ends of each count.
  for (std::int64_t p = 1; p <= 1000000000; p *= 10) {
    for (std::int64_t v : {p - 1, p, p + 1, 2 * p - 1, 5 * p + 3}) {
      if (v > std::numeric_limits<std::int32_t>::max()) continue;
      for (std::int64_t s : {v, -v}) {
        const std::string text = std::to_string(s);
        EXPECT_EQ(int32Field(static_cast<std::int32_t>(s)), blanks(kInt32Field - text.size()) + text) << s;
      }
    }
  }
}

TEST(DoubleField, WorkedFields) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    double value;
    std::string field;
  };
  const Case cases[] = {
      {"1.0", 1.0, blanks(2) + "1.0000000000000000" + blanks(5)},
      {"-0.0", -0.0, blanks(1) + "-0.0000000000000000" + blanks(5)},
      {"0.0", 0.0, blanks(2) + "0.0000000000000000" + blanks(5)},
      {"123.456", 123.456, blanks(2) + "123.45600000000000" + blanks(5)},
      {"0.05", 0.05, blanks(2) + "5.0000000000000003E-002"},
      {"0.1", 0.1, blanks(1) + "0.10000000000000001" + blanks(5)},
      {"below 0.1", std::nextafter(0.1, 0.0), blanks(2) + "9.9999999999999992E-002"},
      {"0.5", 0.5, blanks(1) + "0.50000000000000000" + blanks(5)},
      {"-0.5", -0.5, "-0.50000000000000000" + blanks(5)},
      {"1.0E16", 1.0E16, blanks(2) + "10000000000000000." + blanks(5)},
      {"99999999999999984", 99999999999999984.0, blanks(2) + "99999999999999984." + blanks(5)},
      {"1.0E17", 1.0E17, blanks(2) + "1.0000000000000000E+017"},
      {"1.0E20", 1.0E20, blanks(2) + "1.0000000000000000E+020"},
      {"1.0E30", 1.0E30, blanks(2) + "1.0000000000000000E+030"},
      {"12345678.9", 12345678.9, blanks(2) + "12345678.900000000" + blanks(5)},
      {"-1234.5678", -1234.5678, blanks(1) + "-1234.5678000000000" + blanks(5)},
      {"-999.99", -999.99, blanks(1) + "-999.99000000000001" + blanks(5)},
      {"1.0E-5", 1.0E-5, blanks(2) + "1.0000000000000001E-005"},
      {"2^-1074", std::numeric_limits<double>::denorm_min(), blanks(2) + "4.9406564584124654E-324"},
      {"largest", std::numeric_limits<double>::max(), blanks(2) + "1.7976931348623157E+308"},
      {"1 + 2^-17", 0x1.00008p+0, blanks(2) + "1.0000076293945312" + blanks(5)},
      {"2^-25", 0x1p-25, blanks(2) + "2.9802322387695312E-008"},
      {"+inf", inf, blanks(17) + "Infinity"},
      {"-inf", -inf, blanks(16) + "-Infinity"},
      {"NaN", nan, blanks(22) + "NaN"},
      // Beyond the worked table: no sign on a NaN, negative exponent form.
      {"-NaN", std::copysign(nan, -1.0), blanks(22) + "NaN"},
      {"-1.0E-5", -1.0E-5, blanks(1) + "-1.0000000000000001E-005"},
      {"-1.0E17", -1.0E17, blanks(1) + "-1.0000000000000000E+017"},
      {"-1.0E16", -1.0E16, blanks(1) + "-10000000000000000." + blanks(5)},
  };
  for (const Case& c : cases) EXPECT_EQ(doubleField(c.value), c.field) << c.what;
}

// ---- Double digits against the exact binary value -------------------------

namespace {

// Seventeen significant digits of a positive finite double and its decimal
// exponent, worked out from the exact value with big-integer arithmetic.
struct Digits {
  std::string digits;
  int exponent;
  bool operator==(const Digits&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Digits& d) { return os << d.digits << "E" << d.exponent; }

// Little-endian base 10^9 integer.
using Big = std::vector<std::uint32_t>;

void multiply(Big& n, std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (std::uint32_t& limb : n) {
    std::uint64_t t = std::uint64_t{limb} * factor + carry;
    limb = static_cast<std::uint32_t>(t % 1000000000u);
    carry = t / 1000000000u;
  }
  while (carry != 0) {
    n.push_back(static_cast<std::uint32_t>(carry % 1000000000u));
    carry /= 1000000000u;
  }
}

std::string decimalText(const Big& n) {
  std::string s = std::to_string(n.back());
  for (std::size_t i = n.size() - 1; i-- > 0;) {
    std::string limb = std::to_string(n[i]);
    s += std::string(9 - limb.size(), '0') + limb;
  }
  return s;
}

Digits exactDigits17(double value) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const int biased = static_cast<int>(bits >> 52 & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int e2 = biased == 0 ? -1074 : biased - 1075;
  if (biased != 0) mantissa |= std::uint64_t{1} << 52;

  // value = mantissa * 2^e2 = digits * 10^-scale
  Big n{static_cast<std::uint32_t>(mantissa % 1000000000u),
        static_cast<std::uint32_t>(mantissa / 1000000000u % 1000000000u),
        static_cast<std::uint32_t>(mantissa / 1000000000000000000u)};
  while (n.size() > 1 && n.back() == 0) n.pop_back();
  int scale = 0;
  for (; e2 > 0; --e2) multiply(n, 2);
  for (; e2 < 0; ++e2, ++scale) multiply(n, 5);
  std::string all = decimalText(n);
  int exponent = static_cast<int>(all.size()) - 1 - scale;

  if (all.size() <= 17) return {all + std::string(17 - all.size(), '0'), exponent};
  std::string head = all.substr(0, 17);
  const std::string rest = all.substr(17);
  bool up = rest[0] > '5';
  if (rest[0] == '5') {
    bool beyondHalf = rest.find_first_not_of('0', 1) != std::string::npos;
    up = beyondHalf || (head.back() - '0') % 2 == 1;
  }
  if (up) {
    int i = 16;
    while (i >= 0 && head[static_cast<std::size_t>(i)] == '9') head[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      head = "1" + std::string(16, '0');
      ++exponent;
    } else {
      ++head[static_cast<std::size_t>(i)];
    }
  }
  return {head, exponent};
}

// The significant digits and decimal exponent that a field shows, read
// without regard to its layout; also whether it is in exponent form.
struct Shown {
  Digits digits;
  bool exponentForm = false;
  bool negative = false;
};

Shown readField(const std::string& field) {
  Shown s;
  std::string text = field.substr(field.find_first_not_of(' '));
  text = text.substr(0, text.find(' '));
  if (text[0] == '-') {
    s.negative = true;
    text.erase(0, 1);
  }
  int e10 = 0;
  if (std::size_t e = text.find('E'); e != std::string::npos) {
    s.exponentForm = true;
    e10 = std::stoi(text.substr(e + 1));
    text.erase(e);
  }
  const std::size_t point = text.find('.');
  const std::string all = text.substr(0, point) + text.substr(point + 1);
  const std::size_t lead = all.find_first_not_of('0');
  s.digits.digits = all.substr(lead);
  s.digits.exponent = static_cast<int>(point) - 1 - static_cast<int>(lead) + e10;
  return s;
}

void expectExactField(double value) {
  SCOPED_TRACE(testing::Message() << std::hexfloat << value);
  const std::string field = doubleField(value);
  ASSERT_EQ(field.size(), kDoubleField);
  const Shown shown = readField(field);
  const double m = std::fabs(value);
  EXPECT_EQ(shown.negative, std::signbit(value)) << field;
  EXPECT_EQ(shown.digits, exactDigits17(m)) << field;
  // No double lies between one tenth and the double nearest to it, so the
  // comparison with 0.1 is the exact one.
  EXPECT_EQ(shown.exponentForm, m < 0.1 || m >= 1e17) << field;
}

}  // namespace

TEST(DoubleField, HalfwayAndBoundaryDigitsAreExact) {
  const double cases[] = {
      0x1.999999999999ap-4,     // the double nearest to 0.1
      0x1.9999999999999p-4,     // the one just below it
      0x1.6345785d8a000p+56,    // 1e17
      0x1.6345785d89fffp+56,    // 99999999999999984
      0x1.00008p+0,             // 1.00000762939453125: a tie, kept even
      0x1.00018p+0,             // 1.00002288818359375: a tie, rounded up to even
      0x1p-25,                  // 2.98023223876953125e-8: a tie, kept even
      0x1.8p-24,                // 8.94069671630859375e-8: a tie, rounded up to even
      0x1.fffffffffffffp-1,     // just below 1
      0x1.3ffffffffffffp+3,     // just below 10
      0x1.1c37937e08000p+53,    // 1e16
      0x1.52d02c7e14af6p+76,    // the double nearest below 1e23
      0x1.52d02c7e14af7p+76,    // the double nearest above 1e23
      0x1p-1022,                // smallest normal
      0x0.fffffffffffffp-1022,  // largest subnormal
      0x0.0000000000001p-1022,  // smallest subnormal
      0x1.fffffffffffffp+1023,  // largest finite
      -0x1.00018p+0,
      -0x1.9999999999999p-4,
  };
  for (double v : cases) expectExactField(v);
}

TEST(DoubleField, SpreadOfBitPatternsMatchesExactValue) {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double v = std::bit_cast<double>(state);
    if (!std::isfinite(v) || v == 0.0) continue;
    expectExactField(v);
    if (HasFailure()) break;
  }
}

namespace {

// The 17 digits and exponent of "d.<16>e±xx" from the library's conversion.
Digits libraryDigits17(double m) {
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, m, std::chars_format::scientific, 16);
  return {std::string(1, text[0]) + std::string(text + 2, 16), std::stoi(std::string(text + 19, r.ptr))};
}

}  // namespace

// The range where heads lie is converted in integer arithmetic; it must give
// the same digits as the exact conversion, ties and powers of ten included.
TEST(DoubleField, CommonRangeMatchesExactConversion) {
  std::mt19937_64 random(2026);
  std::vector<double> values;
  // Every binary exponent from 2^-14 to 2^60 with random mantissas.
  for (int i = 0; i < 800000; ++i) {
    const std::uint64_t mantissa = random() & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t biased = 1023 - 14 + random() % 75;
    values.push_back(std::bit_cast<double>(biased << 52 | mantissa));
  }
  // Exact ties at the 17th digit: an odd a / 2^(17 - k) in [10^k, 10^(k + 1))
  // has 18 significant digits, the last a 5.
  for (int k = -3; k <= 15; ++k) {
    const int j = 17 - k;
    const double low = std::ceil(std::ldexp(std::pow(10.0, k), j));
    const double high = std::min(std::ldexp(std::pow(10.0, k + 1), j), std::ldexp(1.0, 53));
    if (!(low < high)) continue;
    std::uniform_real_distribution<double> pick(low, high);
    for (int i = 0; i < 10000; ++i) {
      const std::uint64_t a = static_cast<std::uint64_t>(pick(random)) | 1;
      values.push_back(std::ldexp(static_cast<double>(a), -j));
    }
  }
  // Powers of ten and their neighbours.
  for (int k = -5; k <= 18; ++k) {
    const double p = std::pow(10.0, k);
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300)}) values.push_back(v);
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double v = i % 2 == 0 ? values[i] : -values[i];
    const Shown shown = readField(doubleField(v));
    ASSERT_EQ(shown.digits, libraryDigits17(values[i])) << std::hexfloat << v;
    ASSERT_EQ(shown.negative, v < 0) << std::hexfloat << v;
    if (i % 50 == 0) {
      ASSERT_EQ(shown.digits, exactDigits17(values[i])) << std::hexfloat << v;
    }
  }
}

// ---- Records --------------------------------------------------------------

TEST(TextRecords, WorkedRecords) {
  const FixedText<16> headText(blanks(12) + "HEAD");
  const FixedText<128> disPath("dis.txt");
  const std::string heads227 = "Computed heads input file: " + std::string(200, 'h');
  struct Case {
    int stmt;
    std::vector<WriteItem> items;
    std::string record;  // before CR LF
    std::size_t length;  // characters before CR LF
  };
  const Case cases[] = {
      {263,
       {1, 12, 31.0, 365.0, headText, 150, 120, 1},
       blanks(11) + "1" + blanks(10) + "12" + blanks(3) + "31.000000000000000" + blanks(8) + "365.00000000000000" +
           blanks(18) + "HEAD" + blanks(9) + "150" + blanks(9) + "120" + blanks(11) + "1",
       129},
      {270,
       {1234, 7, 34, 1, 1523.4567},
       blanks(8) + "1234" + blanks(11) + "7" + blanks(10) + "34" + blanks(11) + "1" + blanks(3) + "1523.4567000000000" +
           blanks(5),
       74},
      {270,
       {5, 1, 5, 0, 1.0E30},
       blanks(11) + "5" + blanks(11) + "1" + blanks(11) + "5" + blanks(11) + "0" + blanks(3) +
           "1.0000000000000000E+030",
       74},
      {270,
       {17999, 120, 149, -1, -999.99},
       blanks(7) + "17999" + blanks(9) + "120" + blanks(9) + "149" + blanks(10) + "-1" + blanks(2) +
           "-999.99000000000001" + blanks(5),
       74},
      {265, {"node row col ibound  head"}, " node row col ibound  head", 26},
      {119,
       {1, 120, 150, 13, 4, 2, "[nlay,nrows,ncols,nper,itmuni,lenuni]"},
       blanks(11) + "1" + blanks(9) + "120" + blanks(9) + "150" + blanks(10) + "13" + blanks(11) + "4" + blanks(11) +
           "2" + blanks(1) + "[nlay,nrows,ncols,nper,itmuni,lenuni]",
       110},
      {220,
       {"nlay*nrows*ncols = ", 18000, " nodes"},
       blanks(1) + "nlay*nrows*ncols = " + blanks(7) + "18000" + blanks(1) + " nodes",
       39},
      {223,
       {1990, 2000, 11, " [bgnyr, endyr,numyrs]"},
       blanks(8) + "1990" + blanks(8) + "2000" + blanks(10) + "11" + blanks(1) + " [bgnyr, endyr,numyrs]",
       59},
      {291,
       {"Read computed heads for month", 6, " year", 1995},
       blanks(1) + "Read computed heads for month" + blanks(11) + "6" + blanks(1) + " year" + blanks(8) + "1995",
       60},
      {299,
       {"Write computed heads for (month, year)", 6, 1995},
       blanks(1) + "Write computed heads for (month, year)" + blanks(11) + "6" + blanks(8) + "1995",
       63},
      {111, {"Enter discretization file pathname: "}, " Enter discretization file pathname: ", 37},
      {242, {" "}, blanks(2), 2},
      // Two texts in a row get no separator; trailing blanks are written.
      {217, {"Discretization file: ", disPath}, " Discretization file: dis.txt" + blanks(121), 150},
      // The longest record: nothing is wrapped.
      {221, {std::string_view(heads227)}, " " + heads227, 228},
      // The smallest int32 fills its field: the separator is its only blank.
      {999, {"x", std::numeric_limits<std::int32_t>::min()}, " x -2147483648", 14},
      {999, {}, " ", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stmt);
    ASSERT_EQ(c.record.size(), c.length);
    const std::string file = writtenToLog([&] { writeFreeForm(c.stmt, 14, c.items); });
    EXPECT_EQ(file, c.record + kCrLf);
  }
}

TEST(TextRecords, WholeLineIsTheTextAndCrLf) {
  const std::string prompt = " Enter first and last year of simulation (YYYY): ";
  const std::string file = writtenToLog([&] {
    writeWholeLine(150, 14, prompt);
    writeWholeLine(151, 14, "");
  });
  EXPECT_EQ(file.size(), 51u + 2u);
  EXPECT_EQ(file, prompt + kCrLf + kCrLf);
}

TEST(TextRecords, RecordsOfEveryLengthArriveWholeAndInOrder) {
  // Short records, records beyond half the stream buffer and beyond the whole
  // buffer, mixed so that each meets a partly filled buffer.
  const std::size_t lengths[] = {10, 5000, 70, 9000, 4096, 4097, 8190, 1, 20000, 300};
  std::string expected;
  const std::string file = writtenToLog([&] {
    char letter = 'a';
    for (std::size_t n : lengths) {
      std::string text(n, letter++);
      writeWholeLine(300, 14, text);
      writeFreeForm(301, 14, {std::string_view(text), 7});
      expected += text + kCrLf + " " + text + " " + blanks(10) + "7" + kCrLf;
    }
  });
  EXPECT_EQ(file.size(), expected.size());
  EXPECT_TRUE(file == expected);
}

TEST(TextRecords, FirstWriteCutsAnExistingLongerFile) {
  ScratchDir dir;
  const std::string path = dir.file("table.txt");
  testkit::writeFile(path, std::string(20000, 'x') + "\r\n");
  resetUnitsForTesting();
  connect(239, 11, path, Form::Text, Use::Output);

  writeFreeForm(265, 11, {"node row col ibound  head"});
  const std::string first = " node row col ibound  head" + kCrLf;
  // The first statement has already cut the file after its record.
  EXPECT_EQ(testkit::readFile(path), first);

  writeFreeForm(270, 11, {5, 1, 5, 0, 1.0E30});
  writeWholeLine(271, 11, "end");
  release(11);
  EXPECT_EQ(testkit::readFile(path), first + blanks(11) + "5" + blanks(11) + "1" + blanks(11) + "5" + blanks(11) + "0" +
                                         blanks(3) + "1.0000000000000000E+030" + kCrLf + "end" + kCrLf);
}

TEST(TextRecords, ConsoleRecordIsDeliveredWhenTheStatementEnds) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
  resetUnitsForTesting();
  connectConsole(platform::kNoFile, fds[1]);

  auto pending = [&] {
    std::string got;
    char buf[256];
    for (long n; (n = read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
    return got;
  };
  const std::string prompt = " Enter first and last year of simulation (YYYY): ";
  writeWholeLine(150, 6, prompt);
  EXPECT_EQ(pending(), prompt + kCrLf);
  writeFreeForm(291, 6, {"Read computed heads for month", 6, " year", 1995});
  EXPECT_EQ(pending(), blanks(1) + "Read computed heads for month" + blanks(11) + "6" + blanks(1) + " year" +
                           blanks(8) + "1995" + kCrLf);

  resetUnitsForTesting();
  close(fds[0]);
  close(fds[1]);
}
