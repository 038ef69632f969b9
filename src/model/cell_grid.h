// The cell grid of the text table: each cell's ibound code and node number,
// read from a grid attributes file or from an ibound array file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/grid_array.h"
#include "records/fixed_text.h"

namespace vantorell {

struct Discretization;

// Two ncols x nrows grids, column index fastest. Cells that no input names
// hold 0 in both grids.
struct CellGrid {
  GridArray<std::int32_t> ibound;
  GridArray<std::int32_t> node;
};

// Reads one record per node from the grid attributes file on unit 12
// (statements 188 to 209).
void readGridAttributes(const FixedText<128>& gridfile, const Discretization& dis, CellGrid& cells);

// Connects unit 12 to the ibound array file (statement 173).
void connectIboundArrayFile(const FixedText<128>& iboundfile);
// Reads one row per statement with the user's format, numbers the cells row
// by row and releases unit 12 (statements 176 to 209).
void readIboundArray(const FixedText<20>& iboundfmt, const Discretization& dis, CellGrid& cells);

}  // namespace vantorell
