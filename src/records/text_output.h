// Free-form and whole-line writing of text records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "records/fixed_text.h"
#include "records/text_input.h"

namespace vantorell {

// One value of a write statement.
struct WriteItem {
  ItemKind kind;
  std::int32_t i = 0;
  double d = 0.0;
  std::string_view text;

  WriteItem(std::int32_t v) : kind(ItemKind::Int32), i(v) {}        // NOLINT
  WriteItem(double v) : kind(ItemKind::Double), d(v) {}             // NOLINT
  WriteItem(std::string_view t) : kind(ItemKind::Text), text(t) {}  // NOLINT
  WriteItem(const char* t) : kind(ItemKind::Text), text(t) {}       // NOLINT
  template <std::size_t N>
  WriteItem(const FixedText<N>& t) : kind(ItemKind::Text), text(t.view()) {}  // NOLINT
};

constexpr std::size_t kInt32Field = 11;
constexpr std::size_t kDoubleField = 25;

// The 11-character field of an int32; returns the end of the field.
char* formatInt32Field(char* out, std::int32_t value);
// The 25-character field of a double; returns the end of the field.
char* formatDoubleField(char* out, double value);

// One free-form write statement: one blank, the items with one blank between
// them (none between two texts), CR LF.
void writeFreeForm(int stmt, int unit, std::span<const WriteItem> items);
inline void writeFreeForm(int stmt, int unit, std::initializer_list<WriteItem> items) {
  writeFreeForm(stmt, unit, std::span<const WriteItem>(items.begin(), items.size()));
}

// One whole-line write: the text unchanged, then CR LF.
void writeWholeLine(int stmt, int unit, std::string_view text);

}  // namespace vantorell
