// Free-form and whole-line reading of text records.
//
// A free-form statement walks its items in order. Between values it runs the
// separator step (blanks, then one comma, semicolon, slash or line end), and
// before a value that follows a line end it runs the continuation step, which
// passes over empty and blank records. The statement then either finishes
// with the line end it has just looked at or discards the rest of its last
// record. Characters are taken straight from the unit's stream buffer.
#include "records/text_input.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "records/file_units.h"
#include "records/platform.h"
#include "records/run_error.h"

namespace vantorell {

namespace {

constexpr int kEnd = -1;  // the end of the input, as a character

constexpr const char* kEndOfFile = "End of file";

// Characters that end a value: blank, tab, comma, semicolon, slash, CR, LF.
constexpr std::array<bool, 256> kValueEnds = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : {' ', '\t', ',', ';', '/', '\r', '\n'}) t[c] = true;
  return t;
}();

inline bool isBlank(int c) { return c == ' ' || c == '\t'; }
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }
inline bool isLineEnd(int c) { return c == '\r' || c == '\n'; }
// The end of the input ends a value as well.
inline bool endsValue(int c) { return c == kEnd || kValueEnds[static_cast<unsigned char>(c)]; }
inline int upper(int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Repeat counts and integer magnitudes are accumulated up to this bound, far
// above every limit they are checked against, so long digit strings cannot
// overflow the accumulator.
constexpr std::uint64_t kDigitClamp = 10'000'000'000ULL;
constexpr std::uint64_t kMaxRepeat = 200'000'000;

// A text value that does not lie whole in the stream buffer (it straddles a
// refill, or it is quoted) is gathered here; a repeated text value is kept in
// the second buffer. Both keep their capacity from one value to the next.
std::string g_text;
std::string g_repeatedText;

const char* kindName(ItemKind k) {
  switch (k) {
    case ItemKind::Int32: return "INTEGER";
    case ItemKind::Double: return "REAL";
    case ItemKind::Text: break;
  }
  return "CHARACTER";
}

// `pattern` with its %d replaced by the item number.
std::string withItem(std::string_view pattern, std::size_t item) {
  std::string out(pattern);
  std::size_t at = out.find("%d");
  out.replace(at, 2, std::to_string(item));
  return out;
}

void assignText(const ReadItem& item, std::string_view value) {
  char* field = static_cast<char*>(item.target);
  std::size_t n = value.size() < item.length ? value.size() : item.length;
  if (n > 0) std::memcpy(field, value.data(), n);
  std::memset(field + n, ' ', item.length - n);
}

// The line-end flag: the last character looked at was a CR, a LF or the end
// of the input. `Pending` means that line end is still unread; `Passed` means
// it has been consumed already, or was the end of the input.
enum class LineEnd { None, Pending, Passed };

struct Statement {
  Unit& u;
  int stmt;
  int unit;
  bool inputOver = false;  // the input has ended (or failed) for this statement

  // Pending repeat.
  std::uint64_t repeatLeft = 0;
  bool repeatNull = false;
  ItemKind repeatKind = ItemKind::Int32;
  std::int32_t repeatInt = 0;
  double repeatDouble = 0;

  bool slash = false;  // a slash has ended the statement
  bool comma = false;  // the last separator held a comma or semicolon
  LineEnd lineEnd = LineEnd::None;
  std::size_t taken = 0;  // items taken so far

  Statement(Unit& unitRef, int s, int n) : u(unitRef), stmt(s), unit(n) {}

  int peek() {
    if (u.inPos < u.inLen) return static_cast<unsigned char>(u.buffer[u.inPos]);
    return peekSlow();
  }
  int peekSlow() {
    if (!inputOver && refillInput(u)) return static_cast<unsigned char>(u.buffer[u.inPos]);
    inputOver = true;
    return kEnd;
  }
  // Consumes the character that peek() has just returned.
  void skip() { ++u.inPos; }

  int skipBlanks() {
    int c = peek();
    while (isBlank(c)) {
      skip();
      c = peek();
    }
    return c;
  }

  [[noreturn]] void fail(const std::string& message) const { failStatement(stmt, unit, message); }
  [[noreturn]] void failEnd() const { fail(kEndOfFile); }
  [[noreturn]] void failItem(std::string_view pattern, std::size_t item) const { fail(withItem(pattern, item)); }

  // ---- values -----------------------------------------------------------

  // Checks and consumes the asterisk after a repeat count of `count`.
  std::uint64_t takeRepeat(std::uint64_t count, std::size_t item) {
    if (count == 0) failItem("Zero repeat count in item %d of list input", item);
    if (count > kMaxRepeat) failItem("Repeat count overflow in item %d of list input", item);
    skip();
    return count;
  }

  // Reads an int32 value into the item; returns a repeat count when the
  // digits turned out to be one (the asterisk consumed), else 0.
  std::uint64_t readInteger(const ReadItem& item, std::size_t n, bool allowRepeat) {
    constexpr const char* kBad = "Bad integer for item %d in list input";
    int c = peek();
    bool sign = false;
    bool negative = false;
    if (c == '+' || c == '-') {
      sign = true;
      negative = c == '-';
      skip();
      c = peek();
      if (c == kEnd) failEnd();
    }
    if (!isDigit(c)) failItem(kBad, n);
    std::uint64_t v = 0;
    do {
      v = v * 10 + static_cast<std::uint64_t>(c - '0');
      if (v > kDigitClamp) v = kDigitClamp;
      skip();
      c = peek();
    } while (isDigit(c));
    if (c == '*' && allowRepeat && !sign) return takeRepeat(v, n);
    if (!endsValue(c)) failItem(kBad, n);
    std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    if (v > limit) failItem("Integer overflow while reading item %d", n);
    std::int64_t signedValue = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    *static_cast<std::int32_t*>(item.target) = static_cast<std::int32_t>(signedValue);
    return 0;
  }

  // Reads a double value into the item; returns a repeat count as readInteger.
  std::uint64_t readDouble(const ReadItem& item, std::size_t n, bool allowRepeat) {
    constexpr const char* kBad = "Bad real number in item %d of list input";
    // Significant digits kept for the conversion. Past this many, further
    // digits only matter by being non-zero: a halfway point between two
    // doubles never needs more than 767 significant digits, so a trailing
    // sticky 1 rounds exactly as the full digit string would.
    constexpr int kKeptDigits = 800;

    int c = peek();
    bool sign = false;
    bool negative = false;
    if (c == '+' || c == '-') {
      sign = true;
      negative = c == '-';
      skip();
      c = peek();
      if (c == kEnd) failEnd();
    }
    int letter = upper(c);
    if (letter == 'I' || letter == 'N') {
      readSpecial(item, n, negative);
      return 0;
    }
    if (!isDigit(c) && c != '.') failItem(kBad, n);

    // The value is 0.D x 10^(scale + exponent), D being the significant digits.
    char digits[kKeptDigits + 1];
    int kept = 0;
    bool sticky = false;
    bool significant = false;
    bool anyDigit = false;
    std::int64_t scale = 0;
    std::uint64_t count = 0;  // the digits read as a repeat count
    auto keep = [&](int d) {
      if (kept < kKeptDigits) {
        digits[kept++] = static_cast<char>(d);
      } else if (d != '0') {
        sticky = true;
      }
    };

    while (isDigit(c)) {
      anyDigit = true;
      count = count * 10 + static_cast<std::uint64_t>(c - '0');
      if (count > kDigitClamp) count = kDigitClamp;
      if (c != '0' || significant) {
        significant = true;
        ++scale;
        keep(c);
      }
      skip();
      c = peek();
    }
    if (c == '*' && allowRepeat && !sign && anyDigit) return takeRepeat(count, n);
    if (c == '.') {
      skip();
      c = peek();
      while (isDigit(c)) {
        anyDigit = true;
        if (c != '0' || significant) {
          significant = true;
          keep(c);
        } else {
          --scale;
        }
        skip();
        c = peek();
      }
    }

    std::int64_t exponent = 0;
    int e = upper(c);
    bool hasExponent = false;
    if (e == 'E' || e == 'D' || e == 'Q') {
      skip();
      c = peek();
      if (c == kEnd) failEnd();
      hasExponent = true;
    }
    if (c == '+' || c == '-') {
      hasExponent = true;
    }
    if (hasExponent) {
      bool exponentNegative = false;
      if (c == '+' || c == '-') {
        exponentNegative = c == '-';
        skip();
        c = peek();
        if (c == kEnd) failEnd();
      }
      if (!isDigit(c)) failItem(kBad, n);
      do {
        exponent = exponent * 10 + (c - '0');
        if (exponent > 1'000'000'000'000LL) exponent = 1'000'000'000'000LL;
        skip();
        c = peek();
      } while (isDigit(c));
      if (exponentNegative) exponent = -exponent;
    }
    if (!endsValue(c)) failItem(kBad, n);
    if (!anyDigit) fail("Error during floating point read");

    double magnitude = 0.0;
    if (kept > 0) {
      if (sticky) digits[kept++] = '1';
      // The value lies in [10^(power - 1), 10^power).
      std::int64_t power = scale + exponent;
      if (power > 310) {
        magnitude = std::numeric_limits<double>::infinity();
      } else if (power >= -330) {
        char text[kKeptDigits + 32];
        char* p = text;
        *p++ = '0';
        *p++ = '.';
        std::memcpy(p, digits, static_cast<std::size_t>(kept));
        p += kept;
        *p++ = 'e';
        p = std::to_chars(p, text + sizeof text, power).ptr;
        std::from_chars_result r = std::from_chars(text, p, magnitude, std::chars_format::general);
        if (r.ec == std::errc::result_out_of_range) {
          // Left unset by the conversion: too large or below the subnormals.
          magnitude = power > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
      }
    }
    *static_cast<double*>(item.target) = negative ? -magnitude : magnitude;
    return 0;
  }

  // INF, INFINITY or NAN (with an optional text in parentheses).
  void readSpecial(const ReadItem& item, std::size_t n, bool negative) {
    constexpr const char* kBad = "Bad real number in item %d of list input";
    char word[9];
    std::size_t length = 0;
    int c = peek();
    while ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      if (length < sizeof word) word[length] = static_cast<char>(upper(c));
      if (length <= sizeof word) ++length;
      skip();
      c = peek();
    }
    std::string_view w(word, length <= sizeof word ? length : 0);
    double value = 0;
    if (w == "INF" || w == "INFINITY") {
      value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    } else if (w == "NAN") {
      if (c == '(') {
        skip();
        for (;;) {
          c = peek();
          if (c == kEnd) failEnd();
          skip();
          if (c == ')') break;
          if (endsValue(c)) failItem(kBad, n);
        }
        c = peek();
      }
      std::uint64_t bits = 0x7FF8000000000000ULL | (negative ? 0x8000000000000000ULL : 0);
      value = std::bit_cast<double>(bits);
    } else {
      failItem(kBad, n);
    }
    if (!endsValue(c)) failItem(kBad, n);
    *static_cast<double*>(item.target) = value;
  }

  // Quoted text from its opening quote; the value is left in g_text.
  void readQuoted(std::size_t n) {
    const char quote = static_cast<char>(peek());
    skip();
    g_text.clear();
    for (;;) {
      if (u.inPos == u.inLen && peekSlow() == kEnd) return;  // input ended inside: the value so far
      const char* b = u.buffer.get();
      std::size_t i = u.inPos;
      std::size_t j = i;
      while (j < u.inLen && b[j] != quote && b[j] != '\n' && b[j] != '\r') ++j;
      g_text.append(b + i, j - i);
      u.inPos = j;
      if (j == u.inLen) continue;
      char c = b[j];
      skip();
      if (c == '\n') continue;  // a line end inside is dropped
      if (c == '\r') {
        if (peek() != '\n') {
          g_text.push_back('\r');  // a CR alone is data here
        } else {
          skip();
        }
        continue;
      }
      int next = peek();
      if (next == quote) {  // doubled quote
        g_text.push_back(quote);
        skip();
        continue;
      }
      if (!endsValue(next) && next != '!') failItem("Invalid string input in item %d", n);
      return;
    }
  }

  // Unquoted text up to its value end; a view into the stream buffer when
  // the value lies whole in it, else into g_text. When `allowRepeat` and the
  // value starts with digits followed by an asterisk, `count` receives them
  // as a repeat count, the asterisk is consumed and the view is empty.
  std::string_view readUnquoted(bool allowRepeat, std::size_t n, std::uint64_t& count) {
    count = 0;
    bool gathered = false;
    bool digitsOnly = allowRepeat;
    std::size_t digitCount = 0;
    std::uint64_t digitValue = 0;
    for (;;) {
      const char* b = u.buffer.get();
      std::size_t start = u.inPos;
      std::size_t j = start;
      while (j < u.inLen) {
        unsigned char c = static_cast<unsigned char>(b[j]);
        if (kValueEnds[c]) break;
        if (digitsOnly) {
          if (isDigit(c)) {
            ++digitCount;
            digitValue = digitValue * 10 + static_cast<std::uint64_t>(c - '0');
            if (digitValue > kDigitClamp) digitValue = kDigitClamp;
          } else if (c == '*' && digitCount > 0) {
            u.inPos = j;
            count = takeRepeat(digitValue, n);
            return {};
          } else {
            digitsOnly = false;
          }
        }
        ++j;
      }
      u.inPos = j;
      if (j < u.inLen) {
        if (!gathered) return {b + start, j - start};
        g_text.append(b + start, j - start);
        return g_text;
      }
      if (!gathered) {
        g_text.clear();
        gathered = true;
      }
      g_text.append(b + start, j - start);
      if (peekSlow() == kEnd) return g_text;
    }
  }

  // Reads a text value into the item; returns a repeat count as readInteger.
  // A value read after a repeat count is also kept in g_repeatedText.
  std::uint64_t readText(const ReadItem& item, std::size_t n, bool allowRepeat) {
    std::string_view value;
    int c = peek();
    if (c == '\'' || c == '"') {
      readQuoted(n);
      value = g_text;
    } else {
      std::uint64_t count = 0;
      value = readUnquoted(allowRepeat, n, count);
      if (count > 0) return count;
    }
    assignText(item, value);
    if (!allowRepeat) g_repeatedText.assign(value);
    return 0;
  }

  std::uint64_t readKind(const ReadItem& item, std::size_t n, bool allowRepeat) {
    switch (item.kind) {
      case ItemKind::Int32: return readInteger(item, n, allowRepeat);
      case ItemKind::Double: return readDouble(item, n, allowRepeat);
      case ItemKind::Text: break;
    }
    return readText(item, n, allowRepeat);
  }

  // The common int32 value, [sign] digits, that lies whole in the stream
  // buffer with its value end: read straight from the buffer. Anything else
  // (a repeat count, more than ten digits, overflow, a value that reaches the
  // end of the buffer) is left unread for readInteger; returns whether the
  // value was taken.
  bool readIntegerInBuffer(const ReadItem& item) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(u.buffer.get());
    const std::size_t end = u.inLen;
    std::size_t i = u.inPos;
    if (i >= end) return false;
    bool negative = false;
    if (b[i] == '-' || b[i] == '+') {
      negative = b[i] == '-';
      if (++i >= end) return false;
    }
    unsigned digit = static_cast<unsigned>(b[i]) - '0';
    if (digit > 9) return false;
    const std::size_t first = i;
    std::uint64_t v = digit;
    while (++i < end && (digit = static_cast<unsigned>(b[i]) - '0') <= 9) {
      if (i - first >= 10) return false;
      v = v * 10 + digit;
    }
    if (i >= end || !kValueEnds[b[i]]) return false;
    if (v > (negative ? 2147483648ULL : 2147483647ULL)) return false;
    *static_cast<std::int32_t*>(item.target) =
        static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v));
    u.inPos = i;
    return true;
  }

  // readIntegerInBuffer, then the separator step; a comma followed by a
  // character that is neither blank nor a line end is taken here.
  bool takeIntegerInBuffer(const ReadItem& item) {
    if (!readIntegerInBuffer(item)) return false;
    const char* b = u.buffer.get();
    const std::size_t i = u.inPos;
    if (i + 1 < u.inLen && b[i] == ',' && !isBlank(b[i + 1]) && !isLineEnd(b[i + 1])) {
      u.inPos = i + 1;
      comma = true;
      lineEnd = LineEnd::None;
      return true;
    }
    separator();
    return true;
  }

  // Reading a value for item number n, then the separator step.
  void readValue(const ReadItem& item, std::size_t n) {
    if (item.kind == ItemKind::Int32 && readIntegerInBuffer(item)) {
      separator();
      return;
    }
    int c = peek();
    if (c == kEnd) failEnd();
    if (c != ',' && c != ';' && c != '/' && !isLineEnd(c)) {
      std::uint64_t count = readKind(item, n, true);
      if (count > 0) {
        c = peek();
        if (c == kEnd) failEnd();
        repeatLeft = count - 1;
        repeatKind = item.kind;
        repeatNull = endsValue(c);
        if (!repeatNull) {
          readKind(item, n, false);
          if (item.kind == ItemKind::Int32) repeatInt = *static_cast<const std::int32_t*>(item.target);
          if (item.kind == ItemKind::Double) repeatDouble = *static_cast<const double*>(item.target);
        }
      }
    }
    separator();
  }

  // A later item takes the pending repeated value (or keeps its contents).
  void takeRepeated(const ReadItem& item, std::size_t n) {
    --repeatLeft;
    if (repeatNull) return;
    if (item.kind != repeatKind) {
      fail(std::string("Read type ") + kindName(repeatKind) + " where " + kindName(item.kind) +
           " was expected for item " + std::to_string(n));
    }
    switch (item.kind) {
      case ItemKind::Int32: *static_cast<std::int32_t*>(item.target) = repeatInt; break;
      case ItemKind::Double: *static_cast<double*>(item.target) = repeatDouble; break;
      case ItemKind::Text: assignText(item, g_repeatedText); break;
    }
  }

  // ---- steps ------------------------------------------------------------

  // The line-end flag for a character looked at and left unread.
  static LineEnd lookedAt(int c) {
    if (c == kEnd) return LineEnd::Passed;
    return isLineEnd(c) ? LineEnd::Pending : LineEnd::None;
  }

  void separator() {
    int c = skipBlanks();
    comma = false;
    switch (c) {
      case kEnd: lineEnd = LineEnd::Passed; return;
      case '\n':
        skip();
        lineEnd = LineEnd::Passed;
        return;
      case '\r':
        // CR LF is a line end; a CR alone has acted as a blank.
        skip();
        c = peek();
        if (c == '\n') skip();
        lineEnd = (c == '\n' || c == kEnd) ? LineEnd::Passed : LineEnd::None;
        return;
      case ',':
      case ';':
        skip();
        comma = true;
        lineEnd = lookedAt(skipBlanks());
        return;
      case '/':
        skip();
        slash = true;
        lineEnd = LineEnd::None;
        return;
      default: lineEnd = LineEnd::None; return;
    }
  }

  void continuation() {
    for (;;) {
      int c = skipBlanks();
      if (c == kEnd) {
        lineEnd = LineEnd::Passed;
        return;
      }
      if (isLineEnd(c)) {
        skip();
        continue;
      }
      lineEnd = LineEnd::None;
      if (c == ',') {
        if (comma) return;  // the comma gives a null value
        skip();
        c = skipBlanks();
        if (isLineEnd(c)) continue;
        lineEnd = lookedAt(c);
        return;
      }
      if (c == '/') {
        skip();
        slash = true;
      }
      return;
    }
  }

  // The rest of the record up to and including its LF; the input must not
  // end before that LF.
  void discardRecord() {
    if (inputOver) failEnd();
    for (;;) {
      const char* b = u.buffer.get();
      const void* lf = u.inPos < u.inLen ? std::memchr(b + u.inPos, '\n', u.inLen - u.inPos) : nullptr;
      if (lf != nullptr) {
        u.inPos = static_cast<std::size_t>(static_cast<const char*>(lf) - b) + 1;
        return;
      }
      u.inPos = u.inLen;
      if (!refillInput(u)) failEnd();
    }
  }

  void finish() {
    if (lineEnd == LineEnd::Passed) return;
    if (lineEnd == LineEnd::None) {
      discardRecord();
      return;
    }
    // The line end looked at is still unread: a LF, or a CR with its LF.
    if (peek() == '\r') {
      skip();
      if (peek() != '\n') return;
    }
    skip();
  }

  // The next items of the statement, numbered on from those already taken.
  void take(std::span<const ReadItem> items) {
    for (const ReadItem& item : items) {
      std::size_t number = ++taken;
      if (number == 1) {
        takeFirst(item);
        continue;
      }
      // The common case: an int32 item in the middle of a record.
      if (item.kind == ItemKind::Int32 && repeatLeft == 0 && !slash && lineEnd == LineEnd::None &&
          takeIntegerInBuffer(item)) {
        continue;
      }
      if (repeatLeft > 0) {
        takeRepeated(item, number);
        continue;
      }
      if (slash) continue;
      if (lineEnd == LineEnd::None) lineEnd = lookedAt(skipBlanks());
      if (lineEnd != LineEnd::None) continuation();
      if (!slash) readValue(item, number);
    }
  }

  void takeFirst(const ReadItem& item) {
    int c = skipBlanks();
    if (c == kEnd) failEnd();
    bool firstNull = false;
    if (c == '\n') {
      skip();
      continuation();
    } else if (c == '\r') {
      skip();
      c = peek();
      if (c == '\n') {
        skip();
        continuation();
      } else {
        // A CR alone before the first value: a null value, and the CR has
        // served as its separator.
        firstNull = true;
        lineEnd = c == kEnd ? LineEnd::Passed : LineEnd::None;
      }
    }
    if (!slash && !firstNull) readValue(item, 1);
  }

  // The end of the statement: a statement without items consumes one record.
  void end() {
    if (taken == 0) {
      discardRecord();
      return;
    }
    finish();
  }
};

// The statement being read in parts; statements never overlap.
std::optional<Statement> g_parts;

}  // namespace

void readFreeForm(int stmt, int unit, std::span<const ReadItem> items) {
  Unit& u = readableUnit(stmt, unit);
  Statement s(u, stmt, unit);
  s.take(items);
  s.end();
}

void beginFreeForm(int stmt, int unit) { g_parts.emplace(readableUnit(stmt, unit), stmt, unit); }

void readFreeFormPart(std::span<const ReadItem> items) { g_parts->take(items); }

void endFreeForm() {
  g_parts->end();
  g_parts.reset();
}

void readWholeLine(int stmt, int unit, TextRef field) {
  Unit& u = readableUnit(stmt, unit);
  Statement s(u, stmt, unit);
  if (s.peek() == kEnd) s.failEnd();

  // Take up to N characters, stopping at a LF, a CR or the end of the input.
  g_text.clear();
  bool full = false;
  for (;;) {
    std::size_t room = field.length - g_text.size();
    if (room == 0) {
      full = true;
      break;
    }
    if (u.inPos == u.inLen && s.peekSlow() == kEnd) break;
    const char* b = u.buffer.get();
    std::size_t i = u.inPos;
    std::size_t limit = u.inLen - i < room ? u.inLen : i + room;
    std::size_t j = i;
    while (j < limit && b[j] != '\n' && b[j] != '\r') ++j;
    g_text.append(b + i, j - i);
    u.inPos = j;
    if (j < limit) {
      char stop = b[j];
      s.skip();
      if (stop == '\r' && s.peek() == '\n') s.skip();
      break;
    }
  }

  if (full) {
    // The rest of the record, CRs included, up to and including its LF. The
    // end of the input ends it too, but a failing read ends the run.
    for (;;) {
      const char* b = u.buffer.get();
      const void* lf = u.inPos < u.inLen ? std::memchr(b + u.inPos, '\n', u.inLen - u.inPos) : nullptr;
      if (lf != nullptr) {
        u.inPos = static_cast<std::size_t>(static_cast<const char*>(lf) - b) + 1;
        break;
      }
      u.inPos = u.inLen;
      if (!refillInput(u)) {
        if (u.inputEnded) break;
        s.fail(platform::errorText(u.inputError));
      }
    }
  }

  std::memcpy(field.data, g_text.data(), g_text.size());
  std::memset(field.data + g_text.size(), ' ', field.length - g_text.size());
}

}  // namespace vantorell
