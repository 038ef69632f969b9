#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model/cell_grid.h"
#include "model/discretization.h"
#include "records/file_units.h"
#include "support/testkit.h"

using namespace vantorell;
using testkit::ScratchDir;

namespace {

struct Grid {
  std::vector<std::int32_t> node;
  std::vector<std::int32_t> ibound;
  std::string failure;
};

// Reads `content` as the grid attributes file of an nrows x ncols grid.
Grid readAttributes(std::int32_t nlay, std::int32_t nrows, std::int32_t ncols, const std::string& content) {
  ScratchDir dir;
  resetUnitsForTesting();
  testkit::writeFile(dir.file("grid.csv"), content);
  Discretization dis;
  dis.nlay = nlay;
  dis.nrows = nrows;
  dis.ncols = ncols;
  dis.nodes = nlay * nrows * ncols;
  CellGrid cells;
  cells.ibound = allocateGrid<std::int32_t>(dis.cells());
  cells.node = allocateGrid<std::int32_t>(dis.cells());
  Grid g;
  g.failure = testkit::failureOf([&] { readGridAttributes(FixedText<128>(dir.file("grid.csv")), dis, cells); });
  g.node.assign(cells.node.data(), cells.node.data() + dis.cells());
  g.ibound.assign(cells.ibound.data(), cells.ibound.data() + dis.cells());
  if (g.failure == "no error") {
    EXPECT_EQ(unitName(12), "");
  }
  resetUnitsForTesting();
  return g;
}

const std::string kHeader = "node,row,col,ibound,cty,x,bsn,alluv,st\n";

}  // namespace

TEST(GridAttributes, ExampleFileFillsBothGrids) {
  Grid g = readAttributes(
      1, 2, 2, kHeader + "1,1,1,1,5,0,2,1,KS\n2,1,2,0,5,0,2,0,KS\n3,2,1,1,7,0,3,1,NE\n4,2,2,-1,7,0,3,0,CO\n");
  EXPECT_EQ(g.failure, "no error");
  EXPECT_EQ(g.node, (std::vector<std::int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(g.ibound, (std::vector<std::int32_t>{1, 0, 1, -1}));
}

TEST(GridAttributes, RecordsAreAddressedByRowAndColumnNotByOrder) {
  // Out of order, one cell named twice (the later record wins), one record
  // split over two lines, a long state code, and a cell nobody names.
  Grid g = readAttributes(1, 2, 2,
                          kHeader +
                              "40 2 2 5 0 0 0 0 COLORADO\n10,1,1,1,0,0,0,0,KS\n41,2,2,\n6,0,0,0,0,NE\n"
                              "20,1,2,-1,0,0,0,0,KS\nnot read\n");
  EXPECT_EQ(g.failure, "no error");
  EXPECT_EQ(g.node, (std::vector<std::int32_t>{10, 20, 0, 41}));
  EXPECT_EQ(g.ibound, (std::vector<std::int32_t>{1, -1, 0, 6}));
}

TEST(GridAttributes, Failures) {
  const std::pair<std::string, std::string> cases[] = {
      {"1,0,1,1,0,0,0,0,KS\n", "192/0: Index '0' of dimension 2 of array 'ibound' below lower bound of 1"},
      {"1,3,1,1,0,0,0,0,KS\n", "192/0: Index '3' of dimension 2 of array 'ibound' above upper bound of 2"},
      {"1,1,0,1,0,0,0,0,KS\n", "192/0: Index '0' of dimension 1 of array 'ibound' below lower bound of 1"},
      {"1,1,5,1,0,0,0,0,KS\n", "192/0: Index '5' of dimension 1 of array 'ibound' above upper bound of 2"},
      {"1,0,9,1,0,0,0,0,KS\n", "192/0: Index '0' of dimension 2 of array 'ibound' below lower bound of 1"},
      // The address is checked before the ibound item is read.
      {"1,0,1,x,0,0,0,0,KS\n", "192/0: Index '0' of dimension 2 of array 'ibound' below lower bound of 1"},
      {"1,1,1,x,0,0,0,0,KS\n", "194/12: Bad integer for item 4 in list input"},
      {"1,1,1,1,0,0,0,0,KS\n", "194/12: End of file"},
  };
  for (const auto& [record, failure] : cases) {
    SCOPED_TRACE(record);
    EXPECT_EQ(readAttributes(1, 2, 2, kHeader + record).failure, failure);
  }
  EXPECT_EQ(readAttributes(1, 2, 2, "").failure, "189/12: End of file");
}

TEST(GridAttributes, TwoLayersExpectTwiceTheRecords) {
  std::string oneLayer = kHeader + "1,1,1,1,0,0,0,0,KS\n2,1,2,1,0,0,0,0,KS\n";
  EXPECT_EQ(readAttributes(2, 1, 2, oneLayer).failure, "194/12: End of file");
  EXPECT_EQ(readAttributes(2, 1, 2, oneLayer + "1,1,1,3,0,0,0,0,KS\n2,1,2,4,0,0,0,0,KS\n").ibound,
            (std::vector<std::int32_t>{3, 4}));
}
