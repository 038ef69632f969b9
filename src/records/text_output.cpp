// Free-form and whole-line text records: the number fields, the record
// layout, and the hand-over of each finished record to its unit.
#include "records/text_output.h"

#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "records/file_units.h"
#include "records/platform.h"
#include "records/run_error.h"

namespace vantorell {

namespace {

// Seventeen significant digits and the decimal exponent of a finite,
// non-negative double, rounded from its exact binary value (ties to even).
struct Decimal17 {
  char digits[17];
  int exponent;  // value = d.dddddddddddddddd × 10^exponent
};

// "00" to "99", for writing two digits at a time.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> t{};
  for (std::size_t i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

inline void putPair(char* out, std::uint32_t v) { std::memcpy(out, kDigitPairs.data() + 2 * v, 2); }

// Exactly eight digits of v < 10^8, leading zeros included.
inline void putEight(char* out, std::uint32_t v) {
  const std::uint32_t high = v / 10000;
  const std::uint32_t low = v % 10000;
  putPair(out, high / 100);
  putPair(out + 2, high % 100);
  putPair(out + 4, low / 100);
  putPair(out + 6, low % 100);
}

constexpr std::array<std::uint64_t, 20> kPowersOfTen = [] {
  std::array<std::uint64_t, 20> t{};
  std::uint64_t v = 1;
  for (std::uint64_t& p : t) {
    p = v;
    v *= 10;
  }
  return t;
}();

// The full 128-bit product of a and b.
struct Product128 {
  std::uint64_t high;
  std::uint64_t low;
};
inline Product128 multiply128(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
  const std::uint64_t bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
  const std::uint64_t ll = aLow * bLow, lh = aLow * bHigh, hl = aHigh * bLow, hh = aHigh * bHigh;
  const std::uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
  return {hh + (lh >> 32) + (hl >> 32) + (middle >> 32), (middle << 32) | (ll & 0xFFFFFFFFu)};
}

// The common case in integer arithmetic: a normal double with a fractional
// part and 10^-3 <= value < 10^17 (about). The value is mantissa / 2^shift,
// so value × 10^p is the 128-bit product mantissa × 10^p shifted right by
// `shift`, with the bits shifted out as the exact remainder; p is chosen so
// that the quotient has 17 digits, and the remainder rounds it (ties to
// even). Returns false, leaving `d` alone, for any value outside that case.
bool decimal17Exact(double magnitude, Decimal17& d) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);  // no sign bit: a magnitude
  if (biased == 0 || biased == 0x7FF) return false;
  const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 1075 - biased;
  if (shift < 1 || shift > 63) return false;
  // 2^e2 <= value < 2^(e2 + 1), so the decimal exponent is floor(e2 log10 2)
  // or one more; the digit count of the quotient settles which.
  const int e2 = biased - 1023;
  int p = 16 - ((e2 * 78913) >> 18);
  const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  for (int attempt = 0; attempt < 2; ++attempt, --p) {
    if (p < 0 || p >= static_cast<int>(kPowersOfTen.size())) return false;
    const Product128 product = multiply128(mantissa, kPowersOfTen[static_cast<std::size_t>(p)]);
    if ((product.high >> shift) != 0) continue;  // far more than 17 digits
    std::uint64_t n = (product.low >> shift) | (product.high << (64 - shift));
    if (n >= kPowersOfTen[17]) continue;  // 18 digits: one power of ten less
    if (n < kPowersOfTen[16]) return false;
    const std::uint64_t rest = product.low & mask;
    if (rest > half || (rest == half && (n & 1) != 0)) ++n;
    int exponent = 16 - p;
    if (n == kPowersOfTen[17]) {
      n = kPowersOfTen[16];
      ++exponent;
    }
    const std::uint64_t top = n / 100000000;  // nine digits
    d.digits[0] = static_cast<char>('0' + top / 100000000);
    putEight(d.digits + 1, static_cast<std::uint32_t>(top % 100000000));
    putEight(d.digits + 9, static_cast<std::uint32_t>(n % 100000000));
    d.exponent = exponent;
    return true;
  }
  return false;
}

Decimal17 decimal17(double magnitude) {
  Decimal17 d;
  if (decimal17Exact(magnitude, d)) return d;
  if (magnitude == 0.0) {
    std::memset(d.digits, '0', sizeof d.digits);
    d.exponent = 0;
    return d;
  }
  // Scientific notation with 16 digits after the point: "d.<16>e±xx[x]".
  char text[32];
  std::to_chars_result r = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, 16);
  d.digits[0] = text[0];
  std::memcpy(d.digits + 1, text + 2, 16);
  int exponent = 0;
  for (const char* p = text + 20; p < r.ptr; ++p) exponent = exponent * 10 + (*p - '0');
  d.exponent = text[19] == '-' ? -exponent : exponent;
  return d;
}

void fillBlanks(char* p, std::size_t n) { std::memset(p, ' ', n); }

// The one record under assembly. It grows to the longest record written so
// far and is kept for the next statements.
struct RecordBuffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;
};
RecordBuffer g_record;

[[noreturn]] void recordMemoryFailure(int stmt, int unit) {
  throw RunError(ReportKind::MemoryExhausted, stmt, unit, platform::errorText(ENOMEM));
}

char* recordSpace(int stmt, int unit, std::size_t n) {
  if (n <= g_record.capacity) return g_record.data.get();
  std::size_t capacity = g_record.capacity < 256 ? 256 : g_record.capacity;
  while (capacity < n) {
    if (capacity > std::numeric_limits<std::size_t>::max() / 2) {
      capacity = n;
      break;
    }
    capacity *= 2;
  }
  char* fresh = new (std::nothrow) char[capacity];
  if (fresh == nullptr) recordMemoryFailure(stmt, unit);
  g_record.data.reset(fresh);
  g_record.capacity = capacity;
  return fresh;
}

// Adds `more` to a record length; a sum that no memory could hold counts as
// a failed request for the record's memory.
std::size_t grow(int stmt, int unit, std::size_t length, std::size_t more) {
  if (more > std::numeric_limits<std::size_t>::max() - length) recordMemoryFailure(stmt, unit);
  return length + more;
}

void deliverRecord(int stmt, Unit& u, const char* data, std::size_t n) {
  putRecord(u, data, n);
  finishWriteStatement(stmt, u);
}

}  // namespace

char* formatInt32Field(char* out, std::int32_t value) {
  char* const end = out + kInt32Field;
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char* p = end;
  while (magnitude >= 100) {
    p -= 2;
    putPair(p, magnitude % 100);
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    p -= 2;
    putPair(p, magnitude);
  } else {
    *--p = static_cast<char>('0' + magnitude);
  }
  if (value < 0) *--p = '-';
  fillBlanks(out, static_cast<std::size_t>(p - out));
  return end;
}

char* formatDoubleField(char* out, double value) {
  char* const end = out + kDoubleField;
  if (std::isnan(value)) {
    fillBlanks(out, 22);
    std::memcpy(out + 22, "NaN", 3);
    return end;
  }
  const bool negative = std::signbit(value);
  if (std::isinf(value)) {
    fillBlanks(out, 16);
    out[16] = negative ? '-' : ' ';
    std::memcpy(out + 17, "Infinity", 8);
    return end;
  }

  const double magnitude = std::fabs(value);
  // The form and the digits before the point follow the rounded value, so a
  // value that rounds up to the next power of ten is laid out by the power.
  const Decimal17 d = decimal17(magnitude);

  if (magnitude != 0.0 && (d.exponent < -1 || d.exponent >= 17)) {
    // d.dddddddddddddddd E±xxx, right-justified in 25.
    out[0] = ' ';
    out[1] = negative ? '-' : ' ';
    out[2] = d.digits[0];
    out[3] = '.';
    std::memcpy(out + 4, d.digits + 1, 16);
    out[20] = 'E';
    out[21] = d.exponent < 0 ? '-' : '+';
    int e = d.exponent < 0 ? -d.exponent : d.exponent;
    out[22] = static_cast<char>('0' + e / 100);
    out[23] = static_cast<char>('0' + e / 10 % 10);
    out[24] = static_cast<char>('0' + e % 10);
    return end;
  }

  if (d.exponent == -1) {
    // 0.1 <= m < 1: 0.<17 digits>, right-justified in 20.
    out[0] = negative ? '-' : ' ';
    out[1] = '0';
    out[2] = '.';
    std::memcpy(out + 3, d.digits, 17);
  } else {
    // k digits, the point, 17 - k digits (zero: 0.<16 zeros>), right-justified in 20.
    const std::size_t k = static_cast<std::size_t>(d.exponent) + 1;
    out[0] = ' ';
    out[1] = negative ? '-' : ' ';
    std::memcpy(out + 2, d.digits, k);
    out[2 + k] = '.';
    std::memcpy(out + 3 + k, d.digits + k, 17 - k);
  }
  fillBlanks(out + 20, 5);
  return end;
}

void writeFreeForm(int stmt, int unit, std::span<const WriteItem> items) {
  Unit& u = writableUnit(stmt, unit);

  std::size_t length = 1;
  bool afterText = false;
  bool first = true;
  for (const WriteItem& item : items) {
    const bool text = item.kind == ItemKind::Text;
    if (!first && !(text && afterText)) ++length;
    switch (item.kind) {
      case ItemKind::Int32: length += kInt32Field; break;
      case ItemKind::Double: length += kDoubleField; break;
      case ItemKind::Text: length = grow(stmt, unit, length, item.text.size()); break;
    }
    first = false;
    afterText = text;
  }
  length = grow(stmt, unit, length, 2);

  char* const record = recordSpace(stmt, unit, length);
  char* p = record;
  *p++ = ' ';
  afterText = false;
  first = true;
  for (const WriteItem& item : items) {
    const bool text = item.kind == ItemKind::Text;
    if (!first && !(text && afterText)) *p++ = ' ';
    switch (item.kind) {
      case ItemKind::Int32: p = formatInt32Field(p, item.i); break;
      case ItemKind::Double: p = formatDoubleField(p, item.d); break;
      case ItemKind::Text:
        if (!item.text.empty()) std::memcpy(p, item.text.data(), item.text.size());
        p += item.text.size();
        break;
    }
    first = false;
    afterText = text;
  }
  *p++ = '\r';
  *p++ = '\n';

  deliverRecord(stmt, u, record, length);
}

void writeWholeLine(int stmt, int unit, std::string_view text) {
  Unit& u = writableUnit(stmt, unit);
  const std::size_t length = grow(stmt, unit, text.size(), 2);
  char* const record = recordSpace(stmt, unit, length);
  if (!text.empty()) std::memcpy(record, text.data(), text.size());
  record[text.size()] = '\r';
  record[text.size() + 1] = '\n';
  deliverRecord(stmt, u, record, length);
}

}  // namespace vantorell
