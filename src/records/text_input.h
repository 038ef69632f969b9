// Free-form and whole-line reading of text records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "records/fixed_text.h"

namespace vantorell {

enum class ItemKind { Int32, Double, Text };

// One destination of a read statement.
struct ReadItem {
  ItemKind kind;
  void* target;
  std::size_t length;  // characters of a text field

  ReadItem(std::int32_t& v) : kind(ItemKind::Int32), target(&v), length(4) {}      // NOLINT
  ReadItem(double& v) : kind(ItemKind::Double), target(&v), length(8) {}           // NOLINT
  ReadItem(TextRef t) : kind(ItemKind::Text), target(t.data), length(t.length) {}  // NOLINT
  template <std::size_t N>
  ReadItem(FixedText<N>& t) : kind(ItemKind::Text), target(t.data()), length(N) {}  // NOLINT
};

// One free-form read statement on `unit`: fills the items in order from as
// many records as they need. With no items it consumes one record.
void readFreeForm(int stmt, int unit, std::span<const ReadItem> items);
inline void readFreeForm(int stmt, int unit, std::initializer_list<ReadItem> items) {
  readFreeForm(stmt, unit, std::span<const ReadItem>(items.begin(), items.size()));
}

// One free-form read statement taken in parts, for a reader that must act on
// the first values before it knows where the later ones go: begin, one or
// more parts (items numbered on across parts), end. readFreeForm is the same
// statement in one part.
void beginFreeForm(int stmt, int unit);
void readFreeFormPart(std::span<const ReadItem> items);
inline void readFreeFormPart(std::initializer_list<ReadItem> items) {
  readFreeFormPart(std::span<const ReadItem>(items.begin(), items.size()));
}
void endFreeForm();

// One whole-line read: the next record, blank-padded or cut to the field.
void readWholeLine(int stmt, int unit, TextRef field);

}  // namespace vantorell
