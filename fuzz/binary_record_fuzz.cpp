// Framed binary records read over arbitrary bytes into arbitrary item lists:
// a few records in a row, each with its own list of int32, double, text and
// array items, in file or in swapped byte order.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "records/binary_records.h"
#include "records/binary_records_detail.h"
#include "records/run_error.h"

using namespace vantorell;

namespace {

constexpr int kUnit = 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Cursor in{data, size};
  const std::uint8_t flags = in.byte();
  detail::RecordLayout layout;
  layout.swapBytes = (flags & 1) != 0;

  struct Record {
    std::vector<std::unique_ptr<char[]>> blocks;
    std::vector<BinaryItem> items;
  };
  std::vector<Record> records(1 + ((flags >> 1) & 3));
  // Bit 3: a first record, passed over by a read without items, that ends
  // just short of the stream buffer's end.
  std::string prefix;
  if (flags & 8) {
    std::size_t payload = kBufferSize - 8 - (flags >> 4);
    char marker[4] = {static_cast<char>(payload & 0xFF), static_cast<char>(payload >> 8), 0, 0};
    prefix.append(marker, 4);
    prefix.append(payload, 'p');
    prefix.append(marker, 4);
  }
  for (Record& r : records) {
    std::size_t n = in.byte() % 10;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t b = in.byte();
      static constexpr unsigned kWidths[] = {1, 4, 8};
      unsigned width = kWidths[b % 3];
      // One element, or an array of up to 1,023 elements (long arrays pass
      // the stream buffer and cross subrecords).
      std::size_t count = (b & 4) ? 1 + ((static_cast<std::size_t>(b >> 3) << 5) | (in.byte() & 31)) : 1;
      // Each item in a heap block of its exact size.
      r.blocks.push_back(std::make_unique<char[]>(count * width));
      r.items.emplace_back(r.blocks.back().get(), count, width);
    }
  }

  if (!prefix.empty()) records.insert(records.begin(), Record{});

  fuzzing::connectInput(kUnit, prefix, in.data, in.size, Form::Binary);
  for (const Record& r : records) {
    try {
      detail::readBinaryRecord(1, kUnit, r.items, layout);
    } catch (const RunError&) {
      return 0;
    }
  }
  return 0;
}
