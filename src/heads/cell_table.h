// The text cell table: node, row, column, ibound and head per cell.
#pragma once

#include "model/cell_grid.h"
#include "model/grid_array.h"
#include "records/fixed_text.h"

namespace vantorell {

struct Discretization;

// Statement 239: the text table on unit 11.
void connectCellTable(const FixedText<128>& outfile);

// Writes the header line at `headerStmt` and one line per cell at `cellStmt`,
// row by row; with `activeOnly` the cells whose ibound is 0 are left out.
void writeCellTable(int headerStmt, int cellStmt, const Discretization& dis, const CellGrid& cells,
                    const GridArray<double>& heads, bool activeOnly);

}  // namespace vantorell
