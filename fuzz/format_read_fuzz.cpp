// A format text of 20 arbitrary bytes, parsed and executed by format-directed
// reads of a few rows of `ncols` int32 items over an arbitrary file.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "fuzz_input.h"
#include "records/format_reading.h"
#include "records/run_error.h"

using namespace vantorell;

namespace {

constexpr int kUnit = 12;
constexpr std::size_t kFormatLength = 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Cursor in{data, size};
  const std::size_t ncols = 1 + in.byte() % 64;
  const std::uint8_t rowsByte = in.byte();
  int nrows = 1 + rowsByte % 4;
  // Bit 2: a first record of blanks, read as a row of its own, puts the
  // input's own records just short of the stream buffer's end.
  std::string prefix;
  if (rowsByte & 4) {
    prefix.assign(kBufferSize - 1 - (rowsByte >> 3), ' ');
    prefix.push_back('\n');
    ++nrows;
  }
  // The format field as the console read leaves it: blank-padded to 20.
  std::string format(kFormatLength, ' ');
  for (std::size_t i = 0; i < kFormatLength && in.size > 0; ++i) format[i] = static_cast<char>(in.byte());

  fuzzing::connectInput(kUnit, prefix, in.data, in.size, Form::Text);
  auto row = std::make_unique<std::int32_t[]>(ncols);
  for (int k = 0; k < nrows; ++k) {
    try {
      readFormatted(177, kUnit, format, std::span<std::int32_t>(row.get(), ncols));
    } catch (const RunError&) {
      return 0;
    }
  }
  return 0;
}
