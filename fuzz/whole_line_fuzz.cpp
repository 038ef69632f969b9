// Whole-line reads of arbitrary lengths over arbitrary bytes, checked against
// a plain model of the record rules: take up to N characters up to a LF, a
// CR or the end of the input; after a full field, discard the record up to
// and including its LF; a read at the end of the input fails.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "records/run_error.h"
#include "records/text_input.h"

using namespace vantorell;

namespace {

constexpr int kUnit = 12;

// The expected field of one read at `pos`; false at the end of the input.
bool modelRead(std::string_view file, std::size_t& pos, std::size_t length, std::string& field) {
  if (pos >= file.size()) return false;
  field.clear();
  while (field.size() < length && pos < file.size() && file[pos] != '\n' && file[pos] != '\r') {
    field.push_back(file[pos++]);
  }
  if (field.size() == length) {
    while (pos < file.size() && file[pos] != '\n') ++pos;
    if (pos < file.size()) ++pos;
  } else if (pos < file.size()) {
    char stop = file[pos++];
    if (stop == '\r' && pos < file.size() && file[pos] == '\n') ++pos;
  }
  field.resize(length, ' ');
  return true;
}

void fail(const char* what, std::size_t read, std::size_t length) {
  std::fprintf(stderr, "whole-line read %zu (length %zu): %s\n", read, length, what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Cursor in{data, size};
  // Up to 16 field lengths; a length byte of 0 takes the next two bytes as a
  // long length, so that fields longer than the stream buffer occur too.
  const std::uint8_t first = in.byte();
  std::vector<std::size_t> lengths(1 + first % 16);
  for (std::size_t& n : lengths) {
    std::uint8_t b = in.byte();
    n = b != 0 ? b : 1 + in.u16() % 20000;
  }
  // Bit 4 of the first byte: a first record so long that the input's own
  // bytes start just short of the stream buffer's end.
  std::string content;
  if (first & 16) content.assign(kBufferSize - 1 - (first >> 5), 'x');
  const std::size_t prefix = content.size();
  content.append(reinterpret_cast<const char*>(in.data), in.size);
  std::string_view file(content);
  fuzzing::connectInput(kUnit, std::string_view(content).substr(0, prefix), in.data, in.size, Form::Text);

  std::size_t pos = 0;
  std::string expected;
  // The lengths are used in turn until the input is used up.
  for (std::size_t read = 0; read < 64; ++read) {
    std::size_t length = lengths[read % lengths.size()];
    auto field = std::make_unique<char[]>(length);
    std::memset(field.get(), 'q', length);
    bool exists = modelRead(file, pos, length, expected);
    try {
      readWholeLine(1, kUnit, TextRef(field.get(), length));
    } catch (const RunError& e) {
      if (exists) fail("failed where a record exists", read, length);
      if (std::string_view(e.what()) != "End of file") fail("failed with another message", read, length);
      return 0;
    }
    if (!exists) fail("succeeded at the end of the input", read, length);
    if (std::string_view(field.get(), length) != expected) fail("field differs from the record", read, length);
  }
  return 0;
}
