#include <cstdint>
#include <string>

#include "model/cell_grid.h"
#include "model/discretization.h"
#include "records/file_units.h"
#include "records/text_input.h"

namespace vantorell {

namespace {

[[noreturn]] void addressOutsideGrid(std::int32_t index, int dimension, bool below, std::int32_t bound) {
  throw RunError(ReportKind::WithoutUnit, 192, 0,
                 "Index '" + std::to_string(index) + "' of dimension " + std::to_string(dimension) +
                     " of array 'ibound' " + (below ? "below lower" : "above upper") + " bound of " +
                     std::to_string(bound));
}

// Statement 192: the cell address (column l, row k), row first.
void checkCellAddress(std::int32_t k, std::int32_t l, const Discretization& dis) {
  if (k < 1) addressOutsideGrid(k, 2, true, 1);
  if (k > dis.nrows) addressOutsideGrid(k, 2, false, dis.nrows);
  if (l < 1) addressOutsideGrid(l, 1, true, 1);
  if (l > dis.ncols) addressOutsideGrid(l, 1, false, dis.ncols);
}

}  // namespace

void readGridAttributes(const FixedText<128>& gridfile, const Discretization& dis, CellGrid& cells) {
  connect(188, 12, gridfile.view(), Form::Text, Use::Input);
  FixedText<60> header;
  readWholeLine(189, 12, header);
  std::int32_t node = 0, k = 0, l = 0, zoneCty = 0, unused = 0, zoneBsn = 0, zoneAlluv = 0;
  FixedText<2> zoneState;
  for (std::int32_t n = 1; n <= dis.nodes; ++n) {  // statement 191
    // Statement 194: the address in items 2 and 3 says where item 4 goes, so
    // it is checked (statement 192) before item 4 is read.
    beginFreeForm(194, 12);
    readFreeFormPart({node, k, l});
    checkCellAddress(k, l, dis);
    std::size_t cell =
        static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(dis.ncols) + static_cast<std::size_t>(l - 1);
    readFreeFormPart({cells.ibound[cell], zoneCty, unused, zoneBsn, zoneAlluv, zoneState});
    endFreeForm();
    cells.node[cell] = node;  // statement 196
  }
  release(12);  // statement 209
}

}  // namespace vantorell
