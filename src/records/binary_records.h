// Framed binary records: length-marked subrecords, little-endian items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "records/fixed_text.h"

namespace vantorell {

// One item of a binary record: `count` elements of `width` bytes each
// (width 1 for text, 4 for int32, 8 for double), stored little-endian on file.
struct BinaryItem {
  char* data;
  std::size_t count;
  unsigned width;

  BinaryItem(std::int32_t& v) : data(reinterpret_cast<char*>(&v)), count(1), width(4) {}  // NOLINT
  BinaryItem(double& v) : data(reinterpret_cast<char*>(&v)), count(1), width(8) {}        // NOLINT
  template <std::size_t N>
  BinaryItem(FixedText<N>& t) : data(t.data()), count(N), width(1) {}  // NOLINT
  BinaryItem(char* d, std::size_t c, unsigned w) : data(d), count(c), width(w) {}

  // `n` doubles, one item per value.
  static BinaryItem doubles(double* values, std::size_t n) { return BinaryItem(reinterpret_cast<char*>(values), n, 8); }
  std::size_t bytes() const { return count * width; }
};

// Reads the next record of `unit` into the items; the rest of the record is
// passed over.
void readBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items);
inline void readBinaryRecord(int stmt, int unit, std::initializer_list<BinaryItem> items) {
  readBinaryRecord(stmt, unit, std::span<const BinaryItem>(items.begin(), items.size()));
}

// Passes over the next record of `unit` as a read statement whose items take
// `bytes` bytes would, with the same failures at the same points, without
// transferring the payload: on a file that can be repositioned only the
// record markers are read; elsewhere the bytes are read and discarded.
void passOverBinaryRecord(int stmt, int unit, std::uint64_t bytes);

// Appends one record holding the items to `unit`.
void writeBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items);
inline void writeBinaryRecord(int stmt, int unit, std::initializer_list<BinaryItem> items) {
  writeBinaryRecord(stmt, unit, std::span<const BinaryItem>(items.begin(), items.size()));
}

}  // namespace vantorell
