#include "records/format_reading.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "records/file_units.h"
#include "records/format_text.h"
#include "records/run_error.h"

namespace vantorell {

namespace {

constexpr const char* kBadInteger = "Bad value during integer read";
constexpr const char* kOverflow = "Value overflowed during integer read";
constexpr const char* kBadLogical = "Bad value on logical read";

// How the current record's line end was consumed, if it was.
enum class LineEnd : std::uint8_t { None, Lf, CrAlone, FileEnd };

// ---- Field conversions --------------------------------------------------
// Each takes the field's characters one by one and keeps the first fault,
// which is reported once the whole field has been taken.

unsigned digitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return 99;
}

// I and G (radix 10), B, O and Z.
struct IntegerField {
  unsigned radix;
  bool blankZero;
  bool started = false;
  bool negative = false;
  bool signLast = false;
  std::uint64_t value = 0;
  const char* fault = nullptr;

  void digit(unsigned d) {
    value = value * radix + d;
    std::uint64_t limit = radix == 10 ? (negative ? 2147483648u : 2147483647u) : 4294967295u;
    if (value > limit) fault = kOverflow;
  }
  void feed(char c) {
    if (fault) return;
    if (c == ' ') {
      if (!started) return;
      signLast = false;
      if (blankZero) digit(0);
      return;
    }
    if (!started) {
      started = true;
      if (c == '+' || c == '-') {
        negative = c == '-';
        signLast = true;
        return;
      }
    }
    signLast = false;
    unsigned d = digitValue(c);
    if (d >= radix) {
      fault = kBadInteger;
      return;
    }
    digit(d);
  }
  const char* finish(std::int32_t& item) const {
    if (fault) return fault;
    if (signLast) return kBadInteger;
    if (radix == 10) {
      auto v = static_cast<std::int64_t>(value);
      item = static_cast<std::int32_t>(negative ? -v : v);
    } else {
      auto bits = static_cast<std::uint32_t>(negative ? 0 - value : value);
      item = static_cast<std::int32_t>(bits);
    }
    return nullptr;
  }
};

struct LogicalField {
  enum State : std::uint8_t { Leading, AfterPoint, Decided, Bad } state = Leading;
  std::int32_t value = 0;

  void decide(char c) {
    if (c == 'T' || c == 't') {
      value = 1;
      state = Decided;
    } else if (c == 'F' || c == 'f') {
      value = 0;
      state = Decided;
    } else {
      state = Bad;
    }
  }
  void feed(char c) {
    if (state == Leading) {
      if (c == ' ') return;
      if (c == '.') {
        state = AfterPoint;
        return;
      }
      decide(c);
    } else if (state == AfterPoint) {
      decide(c);
    }
  }
  const char* finish(std::int32_t& item) const {
    if (state != Decided) return kBadLogical;
    item = value;
    return nullptr;
  }
};

// A: the last four characters, blank-padded, in the item's bytes in order.
struct CharacterField {
  unsigned char chars[4] = {' ', ' ', ' ', ' '};
  std::size_t count = 0;

  void feed(char c) {
    if (count < 4) {
      chars[count++] = static_cast<unsigned char>(c);
      return;
    }
    std::memmove(chars, chars + 1, 3);
    chars[3] = static_cast<unsigned char>(c);
  }
  const char* finish(std::int32_t& item) const {
    std::uint32_t v =
        chars[0] | (std::uint32_t{chars[1]} << 8) | (std::uint32_t{chars[2]} << 16) | (std::uint32_t{chars[3]} << 24);
    item = static_cast<std::int32_t>(v);
    return nullptr;
  }
};

// ---- Statement state ----------------------------------------------------

// What a statement that executed "$" leaves for the next one on its unit
// when it stopped inside a record.
struct Carry {
  bool valid = false;
  int unit = 0;
  platform::FileHandle handle = platform::kNoFile;
  std::int64_t offset = 0;
  std::string rest;  // characters taken from the unit but not passed yet
  LineEnd lineEnd = LineEnd::None;
  bool consumed = false;
};

std::int64_t inputOffset(const Unit& u) { return u.inFileEnd - static_cast<std::int64_t>(u.inLen - u.inPos); }

// Everything that one pass through a group can change. A pass that leaves
// all of it as it found it changes nothing when repeated.
struct Snapshot {
  std::uint64_t p = 0;
  std::uint64_t taken = 0;
  std::uint64_t advances = 0;
  std::size_t item = 0;
  LineEnd lineEnd = LineEnd::None;
  bool met = false;
  bool consumed = false;
  bool blankZero = false;
  bool decimalComma = false;
  bool dollar = false;
  bool operator==(const Snapshot&) const = default;
};

struct Frame {
  std::size_t open = 0;
  std::uint64_t remaining = 0;  // passes still to run after the current one
  Snapshot start;               // the state when the current pass began
};

enum class Stop : std::uint8_t { Data, Halt, FormatEnd };

struct Statement {
  int stmt = 0;
  int unit = 0;
  const Format* f = nullptr;
  Unit* u = nullptr;

  // The current record: rec holds its characters taken so far when the
  // format can move back (positions count from where the statement began).
  std::string rec;
  bool keep = false;
  std::uint64_t p = 0;      // position: characters before it
  std::uint64_t taken = 0;  // characters consumed from the unit
  LineEnd lineEnd = LineEnd::None;
  bool met = false;       // record end met and not undone
  bool consumed = false;  // a character of the current record has been consumed

  bool blankZero = false;
  bool decimalComma = false;
  bool dollar = false;
  bool dataReached = false;
  std::uint64_t advances = 0;
  std::size_t item = 0;

  // The walk: the next format item, the repetitions still owed to the data
  // descriptor there, and the groups entered.
  std::size_t at = 1;
  std::uint64_t dataLeft = 0;
  std::vector<Frame> stack;

  [[noreturn]] void fail(const char* message) { failStatement(stmt, unit, message); }

  Snapshot snap() const {
    return Snapshot{p, taken, advances, item, lineEnd, met, consumed, blankZero, decimalComma, dollar};
  }

  void startRecord() {
    rec.clear();
    p = taken = 0;
    lineEnd = LineEnd::None;
    met = false;
    consumed = false;
  }

  void begin(int s, int un, const Format& fmt, Unit& unitRef, Carry& carry) {
    stmt = s;
    unit = un;
    f = &fmt;
    u = &unitRef;
    keep = fmt.movesBack;
    startRecord();
    if (carry.valid && carry.unit == un && carry.handle == unitRef.handle && carry.offset == inputOffset(unitRef)) {
      rec.assign(carry.rest);
      taken = rec.size();
      lineEnd = carry.lineEnd;
      consumed = carry.consumed;
    }
    carry.valid = false;
    blankZero = decimalComma = dollar = dataReached = false;
    advances = 0;
    item = 0;
    restart();
  }

  void restart() {
    stack.clear();
    at = 1;
    dataLeft = 0;
  }

  // ---- Characters of the record -----------------------------------------

  void took(const char* b, std::size_t n) {
    if (n == 0) return;
    if (keep) rec.append(b, n);
    u->inPos += n;
    taken += n;
    p += n;
    consumed = true;
  }

  void meetLineEnd() {
    met = true;
    if (dollar) fail("End of record");
  }

  // Consumes the line end `c` (LF, or CR with the LF after it, or a CR alone).
  void consumeLineEnd(char c) {
    ++u->inPos;
    lineEnd = LineEnd::Lf;
    if (c == '\r') {
      if (peekByte(*u) == '\n') {
        ++u->inPos;
      } else {
        lineEnd = LineEnd::CrAlone;
      }
    }
    consumed = true;
    meetLineEnd();
  }

  // The file ended inside a field or a move. Moves pass silently over a
  // record that does not exist; fields do not.
  void fileEnd(bool field) {
    if (!consumed) {
      if (field) fail("End of file");
      return;
    }
    lineEnd = LineEnd::FileEnd;
    meetLineEnd();
  }

  template <typename Conv>
  void takeField(std::uint64_t w, bool commaEnds, Conv& conv) {
    if (met) return;
    std::uint64_t count = 0;
    while (p < taken && count < w) {
      char c = rec[static_cast<std::size_t>(p++)];
      if (commaEnds && c == ',') return;
      conv.feed(c);
      ++count;
    }
    if (count == w) return;
    if (lineEnd != LineEnd::None) {
      meetLineEnd();
      return;
    }
    while (count < w) {
      if (u->inPos == u->inLen && !refillInput(*u)) {
        fileEnd(true);
        return;
      }
      const char* b = u->buffer.get() + u->inPos;
      std::size_t n = u->inLen - u->inPos;
      if (w - count < n) n = static_cast<std::size_t>(w - count);
      std::size_t i = 0;
      for (; i < n; ++i) {
        char c = b[i];
        if (c == '\n' || c == '\r' || (commaEnds && c == ',')) break;
        conv.feed(c);
      }
      took(b, i);
      count += i;
      if (i < n) {
        if (b[i] == ',') {
          took(b + i, 1);
        } else {
          consumeLineEnd(b[i]);
        }
        return;
      }
    }
  }

  // X and TR, and T to the right: n characters, stopping at the line end.
  void moveRight(std::uint64_t n) {
    if (met) return;
    std::uint64_t step = std::min(n, taken - p);
    p += step;
    n -= step;
    if (n == 0) return;
    if (lineEnd != LineEnd::None) {
      meetLineEnd();
      return;
    }
    while (n > 0) {
      if (u->inPos == u->inLen && !refillInput(*u)) {
        fileEnd(false);
        return;
      }
      const char* b = u->buffer.get() + u->inPos;
      std::size_t lim = u->inLen - u->inPos;
      if (n < lim) lim = static_cast<std::size_t>(n);
      std::size_t i = 0;
      while (i < lim && b[i] != '\n' && b[i] != '\r') ++i;
      took(b, i);
      n -= i;
      if (i < lim) {
        consumeLineEnd(b[i]);
        return;
      }
    }
  }

  void moveTo(std::uint64_t target) {
    if (target < p) {
      p = target;
      met = false;
    } else if (target > p) {
      moveRight(target - p);
    }
  }

  // Skips up to and including the next LF; a CR is ordinary here.
  void skipToLf() {
    for (;;) {
      if (u->inPos == u->inLen && !refillInput(*u)) {
        if (!consumed) fail("End of file");
        return;
      }
      const char* b = u->buffer.get() + u->inPos;
      std::size_t avail = u->inLen - u->inPos;
      const void* lf = std::memchr(b, '\n', avail);
      consumed = true;
      if (lf != nullptr) {
        u->inPos += static_cast<std::size_t>(static_cast<const char*>(lf) - b) + 1;
        return;
      }
      u->inPos += avail;
    }
  }

  void advance() {
    ++advances;
    if (!met && lineEnd != LineEnd::Lf && lineEnd != LineEnd::FileEnd) skipToLf();
    startRecord();
  }

  // ---- The walk -----------------------------------------------------------

  // Walks on from `at` until a data descriptor (Data when an item waits,
  // Halt otherwise), a ":" with no item waiting (Halt), or the format's end.
  Stop walk(bool itemWaits) {
    const std::vector<FormatItem>& items = f->items;
    for (;;) {
      const FormatItem& it = items[at];
      switch (it.edit) {
        case Edit::GroupOpen:
          stack.push_back(Frame{at, it.unlimited ? 0 : it.repeat - 1, snap()});
          ++at;
          break;
        case Edit::GroupClose: {
          if (at + 1 == items.size()) return Stop::FormatEnd;
          Frame& fr = stack.back();
          const bool again = items[fr.open].unlimited || (fr.remaining > 0 && !(fr.start == snap()));
          if (again) {
            if (fr.remaining > 0) --fr.remaining;
            fr.start = snap();
            at = fr.open + 1;
          } else {
            stack.pop_back();
            ++at;
          }
          break;
        }
        case Edit::I:
        case Edit::B:
        case Edit::O:
        case Edit::Z:
        case Edit::F:
        case Edit::E:
        case Edit::EN:
        case Edit::ES:
        case Edit::D:
        case Edit::G:
        case Edit::L:
        case Edit::A:
          dataReached = true;
          if (!itemWaits) return Stop::Halt;
          if (dataLeft == 0) dataLeft = it.repeat;
          return Stop::Data;
        case Edit::Colon:
          if (!itemWaits) return Stop::Halt;
          ++at;
          break;
        case Edit::String: failFormat(stmt, unit, "Constant string in input format", f->text, it.column);
        case Edit::Slash:
          for (std::uint64_t r = 0; r < it.repeat; ++r) advance();
          ++at;
          break;
        case Edit::X:
        case Edit::TR:
          moveRight(it.n);
          ++at;
          break;
        case Edit::T:
          moveTo(it.n - 1);
          ++at;
          break;
        case Edit::TL:
          moveTo(p - std::min(p, it.n));
          ++at;
          break;
        case Edit::BN:
          blankZero = false;
          ++at;
          break;
        case Edit::BZ:
          blankZero = true;
          ++at;
          break;
        case Edit::DP:
          decimalComma = false;
          ++at;
          break;
        case Edit::DC:
          decimalComma = true;
          ++at;
          break;
        case Edit::Dollar:
          dollar = true;
          ++at;
          break;
        default: ++at; break;  // sign, scale and rounding modes: nothing for int32 items
      }
    }
  }

  // Reversion: resume at the last group directly inside the outermost
  // parentheses, or at the start.
  void revert() {
    dataReached = false;
    if (f->nothingAfterResume) {
      failFormat(stmt, unit, "Exhausted data descriptors in format", f->text, f->items.back().column);
    }
    stack.clear();
    at = f->resumeAt;
    dataLeft = 0;
  }

  template <typename Conv>
  void convert(std::uint64_t w, bool commaEnds, Conv conv, std::int32_t& target) {
    takeField(w, commaEnds, conv);
    if (const char* fault = conv.finish(target)) fail(fault);
  }

  // Applies the data descriptor at `at` to `target`.
  void apply(std::int32_t& target) {
    const FormatItem& it = f->items[at];
    const bool commaEnds = !decimalComma;
    switch (it.edit) {
      case Edit::I:
      case Edit::G: convert(it.w, commaEnds, IntegerField{10, blankZero}, target); break;
      case Edit::B: convert(it.w, commaEnds, IntegerField{2, blankZero}, target); break;
      case Edit::O: convert(it.w, commaEnds, IntegerField{8, blankZero}, target); break;
      case Edit::Z: convert(it.w, commaEnds, IntegerField{16, blankZero}, target); break;
      case Edit::L: convert(it.hasWidth ? it.w : 1, commaEnds, LogicalField{}, target); break;
      case Edit::A: convert(it.hasWidth ? it.w : 4, false, CharacterField{}, target); break;
      default:
        failFormat(stmt, unit, "Expected REAL for item " + std::to_string(item) + " in formatted transfer, got INTEGER",
                   f->text, it.column);
    }
    if (--dataLeft == 0) ++at;
  }

  void finish(Carry& carry) {
    if (!dollar) {
      advance();
      return;
    }
    // The unit stays where the statement stopped.
    if (met) return;
    carry.valid = true;
    carry.unit = unit;
    carry.handle = u->handle;
    carry.offset = inputOffset(*u);
    carry.rest.clear();
    if (p < taken) carry.rest.assign(rec, static_cast<std::size_t>(p), static_cast<std::size_t>(taken - p));
    carry.lineEnd = lineEnd;
    carry.consumed = consumed;
  }
};

// The statement state and the parsed format are kept from one statement to
// the next, so that a run of rows allocates nothing after its first row.
Statement g_statement;
Carry g_carry;
std::string g_formatText;
Format g_format;
bool g_haveFormat = false;

const Format& formatFor(int stmt, int unit, std::string_view text) {
  if (!g_haveFormat || g_formatText != text) {
    g_format = parseFormat(stmt, unit, text);
    g_formatText.assign(text);
    g_haveFormat = true;
  }
  return g_format;
}

}  // namespace

void readFormatted(int stmt, int unit, std::string_view formatText, std::span<std::int32_t> items) {
  const Format& f = formatFor(stmt, unit, formatText);
  Unit& u = readableUnit(stmt, unit);
  Statement& st = g_statement;
  st.begin(stmt, unit, f, u, g_carry);

  // Up to the first data descriptor; a format without one is walked again
  // from its start for the first item.
  if (st.walk(!items.empty()) == Stop::FormatEnd) st.restart();

  for (std::int32_t& target : items) {
    ++st.item;
    while (st.walk(true) != Stop::Data) {
      if (!st.dataReached) st.fail("Insufficient data descriptors in format after reversion");
      st.revert();
      st.advance();
    }
    st.apply(target);
  }

  if (!items.empty() && st.walk(false) == Stop::FormatEnd && st.dataReached) st.revert();
  st.finish(g_carry);
}

}  // namespace vantorell
