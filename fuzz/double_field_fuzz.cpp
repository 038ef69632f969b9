// The 25-character field of every finite double, read back by a free-form
// read, gives the same bits.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "fuzz_input.h"
#include "records/run_error.h"
#include "records/text_input.h"
#include "records/text_output.h"

using namespace vantorell;

namespace {

constexpr int kUnit = 11;

[[noreturn]] void fail(const char* what, std::uint64_t bits, std::string_view field) {
  std::fprintf(stderr, "double %016llx, field \"%.*s\": %s\n", static_cast<unsigned long long>(bits),
               static_cast<int>(field.size()), field.data(), what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Every 8 bytes are one double (up to 64 of them); each finite one is
  // written as a record of its own, and the records are read back in turn.
  constexpr std::size_t kRecord = kDoubleField + 2;
  const std::size_t count = std::min<std::size_t>(size / 8, 64);
  auto file = std::make_unique<std::uint8_t[]>(count * kRecord + 1);
  std::uint64_t written[64];
  std::size_t records = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, data + 8 * i, 8);
    const double value = std::bit_cast<double>(bits);
    if (!std::isfinite(value)) continue;

    // The field, in a block of exactly its size.
    auto block = std::make_unique<char[]>(kDoubleField);
    std::memset(block.get(), 0, kDoubleField);
    char* end = formatDoubleField(block.get(), value);
    std::string_view field(block.get(), kDoubleField);
    if (end != block.get() + kDoubleField) fail("field is not 25 characters", bits, field);
    for (char c : field) {
      if (c == '\0' || std::strchr(" +-.0123456789E", c) == nullptr) fail("unexpected character", bits, field);
    }
    std::uint8_t* r = file.get() + records * kRecord;
    std::memcpy(r, field.data(), kDoubleField);
    r[kDoubleField] = '\r';
    r[kDoubleField + 1] = '\n';
    written[records++] = bits;
  }
  if (records == 0) return 0;

  fuzzing::connectInput(kUnit, file.get(), records * kRecord, Form::Text);
  for (std::size_t i = 0; i < records; ++i) {
    std::string_view field(reinterpret_cast<const char*>(file.get() + i * kRecord), kDoubleField);
    double back = -1.0;
    try {
      readFreeForm(1, kUnit, {back});
    } catch (const RunError& e) {
      fail(e.what(), written[i], field);
    }
    if (std::bit_cast<std::uint64_t>(back) != written[i]) fail("read back as other bits", written[i], field);
  }
  return 0;
}
