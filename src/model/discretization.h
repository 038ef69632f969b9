// The discretization file: grid dimensions and the stress-period table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/cell_grid.h"
#include "model/grid_array.h"
#include "records/fixed_text.h"

namespace vantorell {

struct StressPeriod {
  double tstep;
  std::int32_t nstep;
  double cmpy;
  FixedText<2> chsstr;
  FixedText<8> chdate;
};

struct Discretization {
  std::int32_t nlay = 0;
  std::int32_t nrows = 0;
  std::int32_t ncols = 0;
  std::int32_t nper = 0;
  std::int32_t itmuni = 0;
  std::int32_t lenuni = 0;
  std::int32_t nodes = 0;  // nlay * nrows * ncols, 32-bit wrap-around
  GridArray<StressPeriod> periods;
  bool steady = false;  // the first stress period is steady state

  // Cells of every grid of the run: ncols x nrows, empty when either is below 1.
  std::size_t cells() const {
    if (ncols < 1 || nrows < 1) return 0;
    return static_cast<std::size_t>(ncols) * static_cast<std::size_t>(nrows);
  }
};

// Reads the discretization file on unit 11 (statements 113 to 141), echoes
// the dimensions, and allocates the head grid and the cell grid.
void readDiscretization(const FixedText<128>& disfile, Discretization& dis, GridArray<double>& heads, CellGrid& cells);

// Statement 119 (and 219): the dimension line on the console.
void writeDimensionLine(int stmt, const Discretization& dis);

}  // namespace vantorell
