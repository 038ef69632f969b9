// Format texts: scanning and parsing a user-typed format into the items that
// a format-directed read walks, and the three-line report of a format error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

enum class Edit : std::uint8_t {
  // data edit descriptors: each takes up one item
  I,
  B,
  O,
  Z,
  F,
  E,
  EN,
  ES,
  D,
  G,
  L,
  A,
  // control edit descriptors
  X,
  T,
  TL,
  TR,
  Slash,
  Colon,
  BN,
  BZ,
  S,
  SP,
  SS,
  P,
  DC,
  DP,
  RU,
  RD,
  RZ,
  RN,
  RC,
  RP,
  Dollar,
  // quoted strings and H strings
  String,
  // the brackets of a group
  GroupOpen,
  GroupClose,
};

constexpr bool isDataEdit(Edit e) { return e <= Edit::A; }

// Numbers of a format keep their exact value (a 20-character text holds at
// most 18 digits); longer runs of digits in longer texts stop at this cap.
constexpr std::uint64_t kFormatNumberCap = std::uint64_t{1} << 62;

struct FormatItem {
  Edit edit = Edit::X;
  bool unlimited = false;    // GroupOpen written as *( ... )
  bool hasWidth = false;     // L and A: a width was written
  bool hasM = false;         // I, B, O, Z: ".m" was written
  bool hasE = false;         // E, EN, ES, G: "Ee" was written
  std::uint64_t repeat = 1;  // data descriptors, "/" and groups
  std::uint64_t w = 0;
  std::uint64_t m = 0;
  std::uint64_t d = 0;
  std::uint64_t e = 0;
  std::uint64_t n = 0;  // X and TR: count; T: position; TL: count
  std::int64_t k = 0;   // P: scale factor
  // Column (from 1) that a report about this item points at: the last
  // letter of a descriptor's name, the closing quote of a quoted string, the
  // last character of an H string, the ")" of a group.
  std::size_t column = 0;
  std::size_t partner = 0;  // GroupOpen <-> GroupClose: index of the other bracket
  std::string text;         // String: its characters
};

struct Format {
  std::string text;                 // the format text as given
  std::vector<FormatItem> items;    // front(): the outermost "(", back(): its ")"
  std::size_t resumeAt = 1;         // where the walk resumes after a reversion
  bool nothingAfterResume = false;  // nothing at all can be walked from resumeAt
  bool movesBack = false;           // holds T or TL, which may go back in a record
};

// Scans and parses `text`; a format error ends the run with the three-line
// report naming statement `stmt` and unit `unit`.
Format parseFormat(int stmt, int unit, std::string_view text);

// "message\n<text>\n<column - 1 blanks>^".
std::string formatErrorMessage(std::string_view message, std::string_view text, std::size_t column);
[[noreturn]] void failFormat(int stmt, int unit, std::string_view message, std::string_view text, std::size_t column);

}  // namespace vantorell
