// Inner parameters of framed binary records, open to the tests: the payload
// limit of one subrecord and the host byte order that items are held in.
#pragma once

#include <bit>
#include <cstdint>
#include <span>

#include "records/binary_records.h"

namespace vantorell::detail {

// Largest payload of one subrecord: 2^31 - 9 bytes.
constexpr std::uint64_t kSubrecordLimit = 2147483639;

struct RecordLayout {
  std::uint64_t subrecordLimit = kSubrecordLimit;  // at least 1
  // Items are held most significant byte first and are swapped element by
  // element on their way to and from the little-endian file.
  bool swapBytes = std::endian::native == std::endian::big;
};

void readBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items, const RecordLayout& layout);
void writeBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items, const RecordLayout& layout);

}  // namespace vantorell::detail
