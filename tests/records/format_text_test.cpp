#include "records/format_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testkit.h"

namespace {

using vantorell::Edit;
using vantorell::Format;
using vantorell::FormatItem;
using vantorell::parseFormat;

// The 20-character field that the answer fills: blank-padded or cut.
std::string field20(std::string_view typed) {
  std::string s(typed.substr(0, 20));
  s.resize(20, ' ');
  return s;
}

// Everything a reading depends on, without the report columns.
std::string shape(const Format& f) {
  std::string out;
  for (const FormatItem& it : f.items) {
    out += std::to_string(static_cast<int>(it.edit)) + (it.unlimited ? "*" : "") + " r" + std::to_string(it.repeat) +
           " w" + std::to_string(it.w) + (it.hasWidth ? "!" : "") + " m" + std::to_string(it.m) + (it.hasM ? "!" : "") +
           " d" + std::to_string(it.d) + " e" + std::to_string(it.e) + (it.hasE ? "!" : "") + " n" +
           std::to_string(it.n) + " k" + std::to_string(it.k) + " '" + it.text + "';";
  }
  return out + " resume " + std::to_string(f.resumeAt);
}

struct ErrorCase {
  const char* typed;
  const char* message;
  std::size_t column;
};

TEST(FormatText, ErrorReportsShowTheTextAndACaretAtTheScannerPosition) {
  const ErrorCase cases[] = {
      {"(FREE)", "Positive width required in format", 3},
      {"(4I3,q)", "Unexpected element 'Q' in format", 6},
      {"*", "Missing initial left parenthesis in format", 1},
      {"", "Missing initial left parenthesis in format", 20},
      {"4I3", "Missing initial left parenthesis in format", 1},
      {"(10I4,2X,10I4,5X,I34)", "Unexpected end of format string", 20},  // cut to 20
      {"(4I3", "Unexpected end of format string", 20},
      {"(4I3,(I2", "Unexpected end of format string", 20},
      {"(1P", "Unexpected end of format string", 20},
      {"(,I3)", "Unexpected element ',' in format", 2},
      {"(I3,,I3)", "Unexpected element ',' in format", 5},
      {"(I3,(,I2))", "Unexpected element ',' in format", 6},
      {"(.)", "Unexpected element '.' in format", 2},
      {"(4)", "Unexpected element ')' in format", 3},
      {"(I3,5)", "Unexpected element ')' in format", 6},
      {"(2*(I3))", "Unexpected element '*' in format", 3},
      {"(4I3,-)", "Unexpected element ')' in format", 6},  // a sign without digits
      {"(2T5)", "Unexpected element '5' in format", 3},    // T looked at the 5
      {"(3BN)", "Unexpected element 'N' in format", 4},
      {"(RX)", "Unexpected element 'X' in format", 2},
      {"(I3,j)", "Unexpected element 'J' in format", 5},
      {"(EX)", "Positive width required in format", 3},  // E, then X
      {"(I0)", "Positive width required in format", 3},
      {"(I)", "Positive width required in format", 3},
      {"(E.5)", "Positive width required in format", 3},
      {"(T)", "Positive width required in format", 3},
      {"(TL0)", "Positive width required in format", 4},
      {"(I3.)", "Nonnegative width required in format", 5},
      {"(F5.)", "Nonnegative width required in format", 5},
      {"(F5)", "Period required in format", 4},
      {"(G5)", "Period required in format", 4},
      {"(E9.2E)", "Positive exponent width required in format", 7},
      {"(ES9.2E0)", "Positive exponent width required in format", 8},
      {"(G0.1)", "Zero width in format descriptor", 3},
      {"(A0)", "Zero width in format descriptor", 3},
      {"(I3.4)", "Minimum digits exceeds field width", 5},
      {"(Z2.9)", "Minimum digits exceeds field width", 5},
      {"(0X)", "Expected P edit descriptor in format", 3},
      {"(0I3)", "Expected P edit descriptor in format", 3},
      {"(-2X)", "Expected P edit descriptor in format", 4},
      {"(+4I3)", "Expected P edit descriptor in format", 4},
      {"(P)", "P descriptor requires leading scale factor", 2},
      {"(2PX)", "Comma required after P descriptor", 4},
      {"(1P'a')", "Comma required after P descriptor", 6},
      {"(*I3)", "Left parenthesis required after '*'", 3},
      {"(*(1X))", "'*' requires at least one associated data descriptor", 6},
      {"(*(1X,()))", "'*' requires at least one associated data descriptor", 9},
      {"(I3,'ab)", "Unterminated character constant in format", 20},
      {"(4I3,'abcdefghijklm'", "Unterminated character constant in format", 20},  // quote in column 20
      {"(30Habc)", "Hollerith constant extends past the end of the format", 20},
      {"(99999999999Hx)", "Hollerith constant extends past the end of the format", 20},
  };
  for (const ErrorCase& c : cases) {
    const std::string text = field20(c.typed);
    SCOPED_TRACE(text);
    EXPECT_EQ(testkit::failureOf([&] { parseFormat(177, 12, text); }),
              "177/12: " + std::string(c.message) + "\n" + text + "\n" + testkit::blanks(c.column - 1) + "^");
  }
}

TEST(FormatText, SpellingsOfTheSameFormat) {
  const std::pair<const char*, const char*> same[] = {
      {"(4i3)", "(4I3)"},
      {" (4I3)", "(4I3)"},
      {"(4I3) rows", "(4I3)"},
      {"(4I3)'never looked at", "(4I3)"},
      {"(4I3,)", "(4I3)"},
      {"(1 0I 3)", "(10I3)"},
      {"(I3 4I2)", "(I34,I2)"},
      {"(4I3 2X I2)", "(4I32,X,I2)"},  // no comma needed, but the blank joins 3 and 2
      {"(\t2(i3)\t)", "(2(I3))"},
      {"(e n9.2e3)", "(EN9.2E3)"},
      {"(tl 2,t r3,t4)", "(TL2,TR3,T4)"},
      {"(2pf5.2)", "(2P,F5.2)"},
      {"(-1p2d5.1)", "(-1P,2D5.1)"},
  };
  for (const auto& [a, b] : same) {
    SCOPED_TRACE(a);
    EXPECT_EQ(shape(parseFormat(177, 12, field20(a))), shape(parseFormat(177, 12, field20(b))));
  }
}

TEST(FormatText, ParsedItems) {
  const Format f = parseFormat(177, 12, "(2(I3.2,1X),*(A),L,L0,T5,'it''s',2Hab,$,:,/,3/,-2P,BZ)");
  ASSERT_EQ(f.items.size(), 20u);
  const FormatItem& group = f.items[1];
  EXPECT_EQ(group.edit, Edit::GroupOpen);
  EXPECT_EQ(group.repeat, 2u);
  EXPECT_EQ(group.partner, 4u);
  EXPECT_EQ(f.items[2].edit, Edit::I);
  EXPECT_EQ(f.items[2].w, 3u);
  EXPECT_EQ(f.items[2].m, 2u);
  EXPECT_EQ(f.items[2].column, 4u);
  EXPECT_EQ(f.items[3].edit, Edit::X);
  EXPECT_EQ(f.items[3].n, 1u);
  EXPECT_TRUE(f.items[5].unlimited);
  EXPECT_EQ(f.items[6].edit, Edit::A);
  EXPECT_FALSE(f.items[6].hasWidth);
  EXPECT_EQ(f.items[8].edit, Edit::L);
  EXPECT_FALSE(f.items[8].hasWidth);
  EXPECT_TRUE(f.items[9].hasWidth);
  EXPECT_EQ(f.items[9].w, 0u);
  EXPECT_EQ(f.items[10].edit, Edit::T);
  EXPECT_EQ(f.items[10].n, 5u);
  EXPECT_EQ(f.items[11].text, "it's");
  EXPECT_EQ(f.items[11].column, 32u);  // the closing quote
  EXPECT_EQ(f.items[12].text, "ab");
  EXPECT_EQ(f.items[12].column, 37u);  // the H string's last character
  EXPECT_EQ(f.items[16].repeat, 3u);
  EXPECT_EQ(f.items[17].k, -2);
  EXPECT_EQ(f.items.back().column, 54u);
  EXPECT_EQ(f.resumeAt, 5u);  // the unlimited group is the last one at the outer level
  EXPECT_TRUE(f.movesBack);
  EXPECT_FALSE(f.nothingAfterResume);

  const Format empty = parseFormat(177, 12, field20("(I3,())"));
  EXPECT_EQ(empty.resumeAt, 2u);
  EXPECT_TRUE(empty.nothingAfterResume);
  EXPECT_FALSE(empty.movesBack);
  EXPECT_EQ(empty.items.back().column, 7u);
}

// Numbers keep their exact value beyond 32 bits; a 32-bit count would wrap
// 4294967297 to 1.
TEST(FormatText, LargeNumbersKeepTheirValue) {
  const Format f = parseFormat(177, 12, "(4294967297I3,T99999999999,999999999999999999X)");
  EXPECT_EQ(f.items[1].repeat, 4294967297u);
  EXPECT_EQ(f.items[2].n, 99999999999u);
  EXPECT_EQ(f.items[3].n, 999999999999999999u);
  const Format capped = parseFormat(177, 12, "(99999999999999999999999I3)");
  EXPECT_EQ(capped.items[1].repeat, vantorell::kFormatNumberCap);
}

}  // namespace
