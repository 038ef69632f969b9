// Free-form and whole-line text records: the number fields, the record
// layout, and the hand-over of each finished record to its unit.
#include "records/text_output.h"

#include <cerrno>
#include <charconv>
#include <cmath>
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

Decimal17 decimal17(double magnitude) {
  // Scientific notation with 16 digits after the point: "d.<16>e±xx[x]".
  char text[32];
  std::to_chars_result r =
      std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, 16);
  Decimal17 d;
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
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char* p = end;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
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
