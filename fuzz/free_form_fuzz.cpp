// Free-form read statements over arbitrary bytes. The first bytes choose a
// few statements and their item lists (kinds and text lengths); the rest is
// the file (behind a long prefix when the first byte asks). Each statement list is read twice: as whole statements, and
// with every statement taken in two parts, which must store the same values and fail the same way.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "records/run_error.h"
#include "records/text_input.h"

using namespace vantorell;

namespace {

constexpr int kUnit = 11;
constexpr std::size_t kTextLengths[] = {1, 2, 8, 16, 20, 60, 128, 200};

struct ItemSpec {
  ItemKind kind;
  std::size_t length;
};

struct StatementSpec {
  std::vector<ItemSpec> items;
  std::size_t split;  // items in the first part
};

// The destinations of one statement, each in a heap block of its exact size
// so that a store past a field's end is caught, filled with a known pattern.
struct Destinations {
  std::vector<std::unique_ptr<char[]>> blocks;
  std::vector<std::size_t> sizes;
  std::vector<ReadItem> items;

  explicit Destinations(const std::vector<ItemSpec>& choices) {
    for (const ItemSpec& s : choices) {
      std::size_t size = s.kind == ItemKind::Int32 ? 4 : s.kind == ItemKind::Double ? 8 : s.length;
      blocks.push_back(std::make_unique<char[]>(size));
      char* p = blocks.back().get();
      std::memset(p, s.kind == ItemKind::Text ? 'q' : 0x5A, size);
      sizes.push_back(size);
      switch (s.kind) {
        case ItemKind::Int32: items.emplace_back(*reinterpret_cast<std::int32_t*>(p)); break;
        case ItemKind::Double: items.emplace_back(*reinterpret_cast<double*>(p)); break;
        case ItemKind::Text: items.emplace_back(TextRef(p, size)); break;
      }
    }
  }
  void appendTo(std::string& out) const {
    for (std::size_t i = 0; i < blocks.size(); ++i) out.append(blocks[i].get(), sizes[i]);
  }
};

// Runs the statements in order until one fails; returns what they stored and
// the failure, if any.
std::string runAll(const std::vector<StatementSpec>& statements, const std::string& prefix, const std::uint8_t* file,
                   std::size_t size, bool inParts) {
  fuzzing::connectInput(kUnit, prefix, file, size, Form::Text);
  std::string transcript;
  int stmt = 1;
  for (const StatementSpec& s : statements) {
    Destinations d(s.items);
    try {
      if (inParts) {
        std::span<const ReadItem> all(d.items);
        beginFreeForm(stmt, kUnit);
        readFreeFormPart(all.first(s.split));
        readFreeFormPart(all.subspan(s.split));
        endFreeForm();
      } else {
        readFreeForm(stmt, kUnit, d.items);
      }
    } catch (const RunError& e) {
      d.appendTo(transcript);
      transcript += "|failed ";
      transcript += std::to_string(e.statement) + "/" + std::to_string(e.unit) + ": " + e.what();
      return transcript;
    }
    d.appendTo(transcript);
    transcript += "|ok|";
    ++stmt;
  }
  return transcript;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Cursor in{data, size};
  const std::uint8_t first = in.byte();
  std::vector<StatementSpec> statements(1 + first % 4);
  // Bit 2: the file starts with blanks that end just short of the stream
  // buffer, so that values straddle a refill.
  std::string prefix;
  if (first & 4) prefix.assign(kBufferSize - 1 - (first >> 3), ' ');
  for (StatementSpec& s : statements) {
    std::size_t n = in.byte() % 13;
    std::uint8_t splitByte = in.byte();
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t b = in.byte();
      ItemSpec item{ItemKind::Int32, 4};
      switch (b % 3) {
        case 0: break;
        case 1: item = {ItemKind::Double, 8}; break;
        default: {
          std::size_t length = (b & 4) ? kTextLengths[(b >> 3) & 7] : 1 + (b >> 3);
          item = {ItemKind::Text, length};
        }
      }
      s.items.push_back(item);
    }
    s.split = splitByte % (n + 1);
  }

  std::string whole = runAll(statements, prefix, in.data, in.size, false);
  std::string parts = runAll(statements, prefix, in.data, in.size, true);
  if (whole != parts) {
    std::fprintf(stderr, "statements in parts differ from whole statements\nwhole: %s\nparts: %s\n", whole.c_str(),
                 parts.c_str());
    std::abort();
  }
  return 0;
}
