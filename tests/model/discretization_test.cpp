#include "model/discretization.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "records/file_units.h"
#include "support/model_fixture.h"
#include "support/testkit.h"

using namespace vantorell;
using testkit::ScratchDir;

namespace {

struct Read {
  Discretization dis;
  GridArray<double> heads;
  CellGrid cells;
  std::string failure;
};

Read readFrom(const ScratchDir& dir, const std::string& content) {
  resetUnitsForTesting();
  testkit::connectConsoleFiles(dir, "");
  testkit::writeFile(dir.file("dis.txt"), content);
  Read r;
  r.failure = testkit::failureOf([&] { readDiscretization(FixedText<128>("dis.txt"), r.dis, r.heads, r.cells); });
  return r;
}

struct ChdirTo {
  std::string old;
  explicit ChdirTo(const std::string& dir) : old(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
  }
  ~ChdirTo() { std::filesystem::current_path(old); }
};

}  // namespace

TEST(Discretization, DimensionRecordLayoutsGiveTheSameGrid) {
  const char* firstRecords[] = {"1 3 4 2 4 2\n", "1,3,4,2,4,2\n", "1 3 4\n2 4 2\n", "1 3 4 2 4 2 99\n"};
  for (const char* first : firstRecords) {
    SCOPED_TRACE(first);
    ScratchDir dir;
    ChdirTo cd(dir.path);
    std::string rest = testkit::disFile(1, 3, 4, {"SS", "TR"});
    Read r = readFrom(dir, first + rest.substr(rest.find('\n') + 1));
    EXPECT_EQ(r.failure, "no error");
    EXPECT_EQ(r.dis.nrows, 3);
    EXPECT_EQ(r.dis.ncols, 4);
    EXPECT_EQ(r.dis.nper, 2);
    EXPECT_EQ(r.dis.nodes, 12);
    EXPECT_TRUE(r.dis.steady);
    EXPECT_EQ(r.heads.count, 12u);
    EXPECT_EQ(unitName(11), "");  // released again
  }
}

TEST(Discretization, SteadyOnlyForTheFullTwoCharacterSS) {
  const std::pair<const char*, bool> cases[] = {{"SS", true}, {"SST", true}, {"ss", false},   {"Ss", false},
                                                {"S", false}, {"TR", false}, {"'S S'", false}};
  for (auto [chsstr, steady] : cases) {
    SCOPED_TRACE(chsstr);
    ScratchDir dir;
    ChdirTo cd(dir.path);
    Read r = readFrom(dir, testkit::disFile(1, 2, 2, {chsstr}));
    EXPECT_EQ(r.failure, "no error");
    EXPECT_EQ(r.dis.steady, steady);
  }
}

TEST(Discretization, EchoesTheDimensionsAndCountsLayersOnlyInNodes) {
  ScratchDir dir;
  ChdirTo cd(dir.path);
  Read r = readFrom(dir, "2 3 4 1 4 2\n0\nWIDTH 1000.0\nWIDTH 1000.0\nx\ny\n1.0 1 1.0 SS 01/1990\n");
  EXPECT_EQ(r.failure, "no error");
  EXPECT_EQ(r.dis.nodes, 24);
  EXPECT_EQ(r.heads.count, 12u);
  release(6);
  std::string echo;
  for (int v : {2, 3, 4, 1, 4, 2}) echo += " " + testkit::i11(v);
  EXPECT_EQ(testkit::readFile(dir.file("console-out")), echo + " [nlay,nrows,ncols,nper,itmuni,lenuni]\r\n");
}

TEST(Discretization, Failures) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "117/11: End of file"},
      {"1 2 3 4 5\n", "117/11: End of file"},
      {testkit::disFile(1, 2, 2, {"SS"}).substr(0, 60), "136/11: End of file"},
      {"1 2 2 1 4 2\n0\n1000.0 WIDTH\n", "131/11: Bad real number in item 2 of list input"},
      {"1 2 2 1 4 2\n0\nA 1\nB 2\nx\ny\n2*1.0 1 SS x\n",
       "136/11: Read type REAL where INTEGER was expected for item 2"},
      {testkit::disFile(1, 2, 2, {}), "141/0: Index '1' of dimension 1 of array 'chsstr' above upper bound of 0"},
      {"1 2 2 -3 4 2\n0\nA 1\nB 2\nx\ny\n",
       "141/0: Index '1' of dimension 1 of array 'chsstr' above upper bound of -3"},
      {"1 536870912 1 1 4 2\n", "0/0: Integer overflow when calculating the amount of memory to allocate"},
      {"1 65536 65536 1 4 2\n", "0/0: Integer overflow when calculating the amount of memory to allocate"},
      {"1 1 1 536870912 4 2\n", "0/0: Integer overflow when calculating the amount of memory to allocate"},
  };
  for (const auto& [content, failure] : cases) {
    SCOPED_TRACE(content);
    ScratchDir dir;
    ChdirTo cd(dir.path);
    EXPECT_EQ(readFrom(dir, content).failure, failure);
  }
}

TEST(Discretization, NegativeExtentsGiveEmptyGrids) {
  ScratchDir dir;
  ChdirTo cd(dir.path);
  Read r = readFrom(dir, testkit::disFile(1, -3, 4, {"TR"}));
  EXPECT_EQ(r.failure, "no error");
  EXPECT_EQ(r.heads.count, 0u);
  EXPECT_EQ(r.dis.nodes, -12);
}
