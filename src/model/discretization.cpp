#include "model/discretization.h"

#include <string>

#include "records/file_units.h"
#include "records/text_input.h"
#include "records/text_output.h"

namespace vantorell {

namespace {

constexpr std::int64_t kMaxHeadCells = 536870911;       // 8 bytes per cell
constexpr std::int64_t kMaxCellGridCells = 1073741823;  // 4 bytes per cell
constexpr std::int64_t kMaxStressPeriods = 536870911;

[[noreturn]] void storageBeyondLimit() {
  throw RunError(ReportKind::LabelOnly, 0, 0, "Integer overflow when calculating the amount of memory to allocate");
}

}  // namespace

void writeDimensionLine(int stmt, const Discretization& dis) {
  writeFreeForm(
      stmt, 6,
      {dis.nlay, dis.nrows, dis.ncols, dis.nper, dis.itmuni, dis.lenuni, "[nlay,nrows,ncols,nper,itmuni,lenuni]"});
}

void readDiscretization(const FixedText<128>& disfile, Discretization& dis, GridArray<double>& heads, CellGrid& cells) {
  connect(113, 11, disfile.view(), Form::Text, Use::Input);
  readFreeForm(117, 11, {dis.nlay, dis.nrows, dis.ncols, dis.nper, dis.itmuni, dis.lenuni});
  writeDimensionLine(119, dis);

  // The true product of the extents, so that a 32-bit product that wraps
  // cannot slip under a limit.
  std::int64_t cellCount = static_cast<std::int64_t>(dis.cells());
  if (cellCount > kMaxHeadCells) storageBeyondLimit();
  if (cellCount > kMaxCellGridCells) storageBeyondLimit();
  if (dis.nper > kMaxStressPeriods) storageBeyondLimit();
  heads = allocateGrid<double>(dis.cells());
  cells.ibound = allocateGrid<std::int32_t>(dis.cells());
  cells.node = allocateGrid<std::int32_t>(dis.cells());
  dis.periods = allocateGrid<StressPeriod>(dis.nper > 0 ? static_cast<std::size_t>(dis.nper) : 0);

  double unusedNumber = 0.0;
  readFreeForm(130, 11, {unusedNumber});
  FixedText<16> unusedText;
  readFreeForm(131, 11, {unusedText, unusedNumber});
  readFreeForm(132, 11, {unusedText, unusedNumber});
  readFreeForm(133, 11, std::span<const ReadItem>{});
  readFreeForm(134, 11, std::span<const ReadItem>{});
  for (std::int32_t i = 0; i < dis.nper; ++i) {
    StressPeriod& row = dis.periods[static_cast<std::size_t>(i)];
    readFreeForm(136, 11, {row.tstep, row.nstep, row.cmpy, row.chsstr, row.chdate});
  }
  release(11);  // statement 138

  dis.nodes = static_cast<std::int32_t>(static_cast<std::uint32_t>(dis.nlay) * static_cast<std::uint32_t>(dis.nrows) *
                                        static_cast<std::uint32_t>(dis.ncols));
  if (dis.nper < 1) {
    throw RunError(ReportKind::WithoutUnit, 141, 0,
                   "Index '1' of dimension 1 of array 'chsstr' above upper bound of " + std::to_string(dis.nper));
  }
  dis.steady = dis.periods[0].chsstr.view() == "SS";
}

}  // namespace vantorell
