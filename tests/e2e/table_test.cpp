// End-to-end runs that write the text cell table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/model_fixture.h"
#include "support/testkit.h"

using namespace testkit;

namespace {

// A 2 x 2 model: the first pair is the steady state (when asked for), the
// second one holds the awkward heads.
const std::vector<double> kSteadyHeads = {1.0, 2.0, 3.0, 4.0};
const std::vector<double> kMonthHeads = {-0.0, 1.0e30, std::numeric_limits<double>::quiet_NaN(),
                                         -std::numeric_limits<double>::infinity()};

const std::string kAttributes =
    "node,row,col,ibound,cty,x,bsn,alluv,st\n"
    "1,1,1,1,5,0,2,1,KS\n2,1,2,0,5,0,2,0,KS\n3,2,1,1,7,0,3,1,NE\n4,2,2,-1,7,0,3,0,CO\n";

std::string headsFile() {
  PairHeader h;
  h.ncol = 2;
  h.nrow = 2;
  return framed(headerPayload(h)) + framed(doublesPayload(kSteadyHeads)) + framed(headerPayload(h)) +
         framed(doublesPayload(kMonthHeads));
}

std::string cellLine(int node, int row, int col, int ibound, const std::string& head) {
  return " " + i11(node) + " " + i11(row) + " " + i11(col) + " " + i11(ibound) + " " + head + "\r\n";
}

const std::string kHeaderLine = " node row col ibound  head\r\n";

struct TableModel {
  ScratchDir dir;
  explicit TableModel(const std::string& attributes = kAttributes) {
    writeFile(dir.file("dis.txt"), disFile(1, 2, 2, {"SS", "TR"}));
    writeFile(dir.file("heads.bin"), headsFile());
    writeFile(dir.file("grid.csv"), attributes);
  }
};

}  // namespace

TEST(Table, MonthTableHoldsEveryCellWithTheDoubleLayout) {
  TableModel m;
  RunResult r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nD\ngrid.csv\ny\nn\n1\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(m.dir.file("out.txt")), kHeaderLine + cellLine(1, 1, 1, 1, " -0.0000000000000000     ") +
                                                 cellLine(2, 1, 2, 0, "  1.0000000000000000E+030") +
                                                 cellLine(3, 2, 1, 1, blanks(22) + "NaN") +
                                                 cellLine(4, 2, 2, -1, blanks(16) + "-Infinity"));
  std::string log = readFile(m.dir.file("Vantorell.log"));
  EXPECT_NE(log.find(said("ibound array input file: " + padded("grid.csv", 128))), std::string::npos);
}

TEST(Table, SteadyStateTableLeavesOutInactiveCells) {
  TableModel m;
  RunResult r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nd\ngrid.csv\ny\ny\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(m.dir.file("out.txt")), kHeaderLine + cellLine(1, 1, 1, 1, "  1.0000000000000000     ") +
                                                 cellLine(3, 2, 1, 1, "  3.0000000000000000     ") +
                                                 cellLine(4, 2, 2, -1, "  4.0000000000000000     "));
}

TEST(Table, SteadyStateTableOfAnInactiveGridIsItsHeader) {
  TableModel m("header\n1,1,1,0,0,0,0,0,KS\n2,1,2,0,0,0,0,0,KS\n3,2,1,0,0,0,0,0,KS\n4,2,2,0,0,0,0,0,KS\n");
  RunResult r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nD\ngrid.csv\ny\ny\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(m.dir.file("out.txt")), kHeaderLine);
}

TEST(Table, BadAttributesEndTheRunBeforeTheLog) {
  TableModel m("header\n1,1,1,1,0,0,0,0,KS\n2,1,3,1,0,0,0,0,KS\n");
  RunResult r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nD\ngrid.csv\n");
  EXPECT_EQ(r.err,
            "At line 192 of file Vantorell\n"
            "Vantorell runtime error: Index '3' of dimension 1 of array 'ibound' above upper bound of 2\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fileExists(m.dir.file("Vantorell.log")));

  TableModel shortFile("header\n1,1,1,1,0,0,0,0,KS\n");
  r = runProgram(shortFile.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nD\ngrid.csv\n");
  EXPECT_EQ(r.err,
            "At line 194 of file Vantorell (unit = 12, file = 'grid.csv')\nVantorell runtime error: End of file\n");
}

TEST(Table, IboundArrayFileNumbersCellsRowByRow) {
  TableModel m;
  writeFile(m.dir.file("ibound.txt"), "  9 -1\n  0  1\n");
  RunResult r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\na\nibound.txt\n(2i3)\ny\ny\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(m.dir.file("out.txt")), kHeaderLine + cellLine(1, 1, 1, 9, "  1.0000000000000000     ") +
                                                 cellLine(2, 1, 2, -1, "  2.0000000000000000     ") +
                                                 cellLine(4, 2, 2, 1, "  4.0000000000000000     "));
  std::string log = readFile(m.dir.file("Vantorell.log"));
  EXPECT_NE(log.find(said("ibound array input file: " + padded("ibound.txt", 128)) +
                     said("ibound array input file format: " + padded("(2i3)", 20))),
            std::string::npos);
}

TEST(Table, IboundArrayFileIsConnectedBeforeTheFormatIsAsked) {
  TableModel m;
  RunResult r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nA\nnodir/ibound.txt\n(2I3)\n");
  EXPECT_EQ(r.err,
            "At line 173 of file Vantorell (unit = 12, file = '')\n"
            "Vantorell runtime error: File 'nodir/ibound.txt' does not exist\n");
  EXPECT_EQ(r.out.find("Enter ibound array input format"), std::string::npos);
}

TEST(Table, FormatErrorsAreReportedBeforeTheFileIsRead) {
  TableModel m;
  RunResult r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nA\nmistyped.txt\n(FREE)\n");
  EXPECT_EQ(r.err,
            "At line 177 of file Vantorell (unit = 12, file = 'mistyped.txt')\n"
            "Vantorell runtime error: Positive width required in format\n"
            "(FREE)              \n"
            "  ^\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(readFile(m.dir.file("mistyped.txt")), "");  // created empty, never read

  writeFile(m.dir.file("short.txt"), "  1  1\n");
  r = runProgram(m.dir.path, "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nA\nshort.txt\n(2I3)\n");
  EXPECT_EQ(r.err,
            "At line 177 of file Vantorell (unit = 12, file = 'short.txt')\nVantorell runtime error: End of file\n");
}
