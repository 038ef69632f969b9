// End-to-end runs of the built program: console dialogue, files, error
// reports and exit statuses, compared byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/model_fixture.h"
#include "support/testkit.h"

using namespace testkit;

namespace {

constexpr int kRows = 2;
constexpr int kCols = 3;
constexpr int kCells = kRows * kCols;

// " <nlay> <nrows> <ncols> <nper> 4 2 [nlay,nrows,ncols,nper,itmuni,lenuni]"
std::string dimensionLine(int nlay, int nrows, int ncols, int nper) {
  return " " + i11(nlay) + " " + i11(nrows) + " " + i11(ncols) + " " + i11(nper) + " " + i11(4) + " " + i11(2) +
         " [nlay,nrows,ncols,nper,itmuni,lenuni]\r\n";
}

// Pair i of a heads file: KPER i + 1, heads 100 * i + cell index.
std::string pair(int i) {
  PairHeader h;
  h.kper = i + 1;
  h.ncol = kCols;
  h.nrow = kRows;
  return headsPair(h, kCells, 100.0 * i);
}

std::string pairs(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += pair(i);
  return s;
}

// The console up to the output option, for dis.txt of 2 x 3 cells.
std::string consoleUntilOption(int nper) {
  return said("program Vantorell: Extract computed heads for a specified month and year.") +
         said("Enter discretization file pathname: ") + dimensionLine(1, kRows, kCols, nper) +
         said("Enter unformatted heads file pathname: ") + line(" Enter first and last year of simulation (YYYY): ") +
         said("Enter output filename: ") + said("Write heads as unformatted file (U) or in dbf format(D)? ") +
         said("Enter U or D: ");
}

std::string consoleConfirmation(int nper) {
  return said("Open log file Vantorell.log") + dimensionLine(1, kRows, kCols, nper) + said("Continue? (y/n): ");
}

std::string monthEcho(int month, int year) {
  return " Read computed heads for month " + i11(month) + "  year " + i11(year) + "\r\n";
}

std::string logInputs(int bgnyr, int endyr, char outopt, const std::string& out = "out.bin",
                      const std::string& heads = "heads.bin") {
  return said("Log file Vantorell.log") + said("Discretization file: " + padded("dis.txt", 128)) +
         " nlay*nrows*ncols =  " + i11(kCells) + "  nodes\r\n" +
         said("Computed heads input file: " + padded(heads, 200)) +
         said("(bgnyr,endyr): first and last year of simulation;") + " " + i11(bgnyr) + " " + i11(endyr) + " " +
         i11(endyr - bgnyr + 1) + "  [bgnyr, endyr,numyrs]\r\n" + said("output file: " + padded(out, 128)) +
         said(std::string("output option (unformatted or dbf-style): ") + outopt);
}

std::string logPairHeader(int kper) {
  return said("[KSTP,KPER,PERTIM,TOTIM,TEXT,NCOL,NROW,ILAY]") + " " + i11(1) + " " + i11(kper) +
         "   31.000000000000000        31.000000000000000                  HEAD " + i11(kCols) + " " + i11(kRows) +
         " " + i11(1) + "\r\n";
}

struct Model {
  ScratchDir dir;
  Model(const std::vector<std::string>& chsstr, const std::string& heads) {
    writeFile(dir.file("dis.txt"), disFile(1, kRows, kCols, chsstr));
    writeFile(dir.file("heads.bin"), heads);
  }
  RunResult run(const std::string& answers) { return runProgram(dir.path, answers); }
  std::string file(const std::string& name) { return readFile(dir.file(name)); }
};

const std::vector<std::string> kTransient = {"TR", "TR"};
const std::vector<std::string> kSteadyFirst = {"SS", "TR"};

}  // namespace

TEST(Extraction, MonthOfALaterYearToBinary) {
  Model m(kTransient, pairs(24));
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1991\nout.bin\nu\ny\n2 1991\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, consoleUntilOption(2) + consoleConfirmation(2) + said("Open output file " + padded("out.bin", 128)) +
                       line(" Enter month(1-12) and year(YYYY): ") + monthEcho(2, 1991));
  EXPECT_EQ(m.file("out.bin"), pair(13));
  EXPECT_EQ(m.file("Vantorell.log"),
            logInputs(1990, 1991, 'U') + "  \r\n" + said("Open unformatted file for computed heads") +
                " Write computed heads for (month, year) " + i11(2) + " " + i11(1991) + "\r\n" + logPairHeader(14));
}

TEST(Extraction, SteadyStateSolutionWhenAnsweredYes) {
  Model m(kSteadyFirst, pairs(13));
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\nY\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, consoleUntilOption(2) + consoleConfirmation(2) + said("Open output file " + padded("out.bin", 128)) +
                       line(" Extract steady-state solution? (y/n)"));
  EXPECT_EQ(m.file("out.bin"), pair(0));
  EXPECT_EQ(m.file("Vantorell.log"), logInputs(1990, 1990, 'U') + "  \r\n" +
                                         said("Open unformatted file for computed heads") +
                                         said("First stress period is steady state.") +
                                         said("Write computed heads for steady-state solution") + logPairHeader(1));
}

TEST(Extraction, SteadyStateDeclinedThenFirstMonthOfASingleYear) {
  Model m(kSteadyFirst, pairs(13));
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\nn\n1\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, consoleUntilOption(2) + consoleConfirmation(2) + said("Open output file " + padded("out.bin", 128)) +
                       line(" Extract steady-state solution? (y/n)") + line(" Enter month(1-12): ") +
                       monthEcho(1, 1990));
  EXPECT_EQ(m.file("out.bin"), pair(1));
}

TEST(Extraction, DeclinedConfirmationStopsBeforeAnyOutput) {
  Model m(kTransient, "");
  RunResult r = m.run("dis.txt\nnothere.bin\n1990 1991\nout.bin\nU\nno\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, consoleUntilOption(2) + consoleConfirmation(2));
  EXPECT_FALSE(fileExists(m.dir.file("out.bin")));
  EXPECT_FALSE(fileExists(m.dir.file("nothere.bin")));
  EXPECT_EQ(m.file("Vantorell.log"), logInputs(1990, 1991, 'U', "out.bin", "nothere.bin"));
}

TEST(Extraction, AnyOptionButUGivesTheTableAndAsksForTheCellGrid) {
  Model m(kTransient, "");
  writeFile(m.dir.file("grid.csv"),
            "header\n1,1,1,1,0,0,0,0,KS\n2,1,2,1,0,0,0,0,KS\n3,1,3,1,0,0,0,0,KS\n"
            "4,2,1,1,0,0,0,0,KS\n5,2,2,1,0,0,0,0,KS\n6,2,3,1,0,0,0,0,KS\n");
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1991\nout.txt\nx\nD\ngrid.csv\nn\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, consoleUntilOption(2) + said("Read ibound array file (A) or dbf-style grid attributes file (D)?") +
                       said("Enter A or D: ") + said("Enter grid attributes input file pathname: ") +
                       consoleConfirmation(2));
  EXPECT_EQ(m.file("Vantorell.log"), logInputs(1990, 1991, 'D', "out.txt") +
                                         said("ibound array input file: " + padded("grid.csv", 128)) +
                                         said("ibound array input file format: " + padded("", 20)));
}

TEST(Extraction, LastYearBeforeFirstReadsNothing) {
  Model m(kTransient, "");
  RunResult r = m.run("dis.txt\nheads.bin\n1991 1990\nout.bin\nU\ny\n5\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, consoleUntilOption(2) + consoleConfirmation(2) + said("Open output file " + padded("out.bin", 128)) +
                       line(" Enter month(1-12): ") + monthEcho(5, 1991));
  EXPECT_EQ(m.file("out.bin"), "");
}

TEST(Extraction, MonthThirteenReadsEveryPairThenStopsOrMeetsTheEnd) {
  {
    Model m(kTransient, pairs(12));
    RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\n13\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(m.file("out.bin"), "");
  }
  {
    Model m(kTransient, pairs(11));
    RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\n13\n");
    EXPECT_EQ(r.err,
              "At line 295 of file Vantorell (unit = 10, file = 'heads.bin')\n"
              "Vantorell runtime error: End of file\n");
    EXPECT_EQ(r.status, 2);
  }
}

TEST(Extraction, ExistingLongerOutputHoldsExactlyTheRunsRecords) {
  Model m(kTransient, pairs(12));
  writeFile(m.dir.file("out.bin"), std::string(5000, 'x'));
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\n3\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(m.file("out.bin"), pair(2));
}

TEST(Extraction, OutputFailsBeforeWritingLeavesAnExistingFileUnchanged) {
  Model m(kTransient, pairs(2));
  writeFile(m.dir.file("out.bin"), "old content");
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\n4\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(m.file("out.bin"), "old content");
  EXPECT_NE(m.file("Vantorell.log").find("Open unformatted file for computed heads"), std::string::npos);
}

TEST(Extraction, BinaryOutputReadsBackAsTheSamePair) {
  Model m(kTransient, pairs(24));
  ASSERT_EQ(m.run("dis.txt\nheads.bin\n1990 1991\nout.bin\nU\ny\n7 1991\n").status, 0);
  RunResult again = m.run("dis.txt\nout.bin\n2000 2000\nagain.bin\nU\ny\n1\n");
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(m.file("again.bin"), pair(18));
}

TEST(Extraction, ErrorReports) {
  struct Case {
    const char* name;
    std::string dis;  // content of dis.txt, or empty to leave it missing
    std::string answers;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"five integers", "1 2 3 4 5\n", "dis.txt\n",
       "At line 117 of file Vantorell (unit = 11, file = 'dis.txt')\nVantorell runtime error: End of file\n"},
      {"missing directory", "", "nodir/dis.txt\n",
       "At line 113 of file Vantorell (unit = 11, file = '')\n"
       "Vantorell runtime error: File 'nodir/dis.txt' does not exist\n"},
      {"no stress periods", disFile(1, 2, 3, {}), "dis.txt\n",
       "At line 141 of file Vantorell\n"
       "Vantorell runtime error: Index '1' of dimension 1 of array 'chsstr' above upper bound of 0\n"},
      {"head grid too large", "1 65536 65536 1 4 2\n", "dis.txt\n",
       "Vantorell runtime error: Integer overflow when calculating the amount of memory to allocate\n"},
      {"too many stress periods", "1 2 3 536870912 4 2\n", "dis.txt\n",
       "Vantorell runtime error: Integer overflow when calculating the amount of memory to allocate\n"},
      {"bad year", disFile(1, 2, 3, {"TR"}), "dis.txt\nheads.bin\n1990.0 2000\n",
       "At line 151 of file Vantorell (unit = 5, file = 'stdin')\n"
       "Vantorell runtime error: Bad integer for item 1 in list input\n"},
      {"input ends", disFile(1, 2, 3, {"TR"}), "dis.txt\nheads.bin\n",
       "At line 151 of file Vantorell (unit = 5, file = 'stdin')\nVantorell runtime error: End of file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    if (!c.dis.empty()) writeFile(dir.file("dis.txt"), c.dis);
    RunResult r = runProgram(dir.path, c.answers);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 2);
  }
}

TEST(Extraction, MistypedDiscretizationPathIsCreatedEmptyAndStays) {
  ScratchDir dir;
  RunResult r = runProgram(dir.path, "typo.txt\n");
  EXPECT_EQ(r.err,
            "At line 117 of file Vantorell (unit = 11, file = 'typo.txt')\nVantorell runtime error: End of file\n");
  EXPECT_EQ(r.out, said("program Vantorell: Extract computed heads for a specified month and year.") +
                       said("Enter discretization file pathname: "));
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("typo.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Extraction, OutputNamingTheHeadsFileIsRefused) {
  Model m(kTransient, pairs(12));
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\n./heads.bin\nU\ny\n");
  EXPECT_EQ(r.err,
            "At line 244 of file Vantorell (unit = 10, file = '')\n"
            "Vantorell runtime error: File already opened in another unit\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(m.file("heads.bin"), pairs(12));
}

TEST(Extraction, OutputNamingTheLogIsRefused) {
  Model m(kTransient, pairs(12));
  RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nVantorell.log\nU\ny\n");
  EXPECT_EQ(r.err,
            "At line 237 of file Vantorell (unit = 11, file = '')\n"
            "Vantorell runtime error: File already opened in another unit\n");
}

TEST(Extraction, SecondRunReplacesTheLog) {
  Model m(kTransient, pairs(12));
  writeFile(m.dir.file("Vantorell.log"), std::string(10000, 'z'));
  ASSERT_EQ(m.run("dis.txt\nheads.bin\n1990 1991\nout.bin\nU\nn\n").status, 0);
  EXPECT_EQ(m.file("Vantorell.log"), logInputs(1990, 1991, 'U'));
}

// A named pipe as the heads file: pairs passed over are read and discarded,
// and the end of the pipe is the end of the file.
TEST(Extraction, HeadsFileMayBeANamedPipe) {
  for (int month : {3, 13}) {
    SCOPED_TRACE(month);
    Model m(kTransient, "");
    ::unlink(m.dir.file("heads.bin").c_str());
    ASSERT_EQ(::mkfifo(m.dir.file("heads.bin").c_str(), 0600), 0);
    pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      int fd = ::open(m.dir.file("heads.bin").c_str(), O_WRONLY);
      std::string data = pairs(5);
      bool ok = fd >= 0 && ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
      ::_exit(ok ? 0 : 1);
    }
    RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\n" + std::to_string(month) + "\n");
    int status = 0;
    ::waitpid(writer, &status, 0);
    if (month == 3) {
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(m.file("out.bin"), pair(2));
    } else {
      EXPECT_EQ(r.err,
                "At line 295 of file Vantorell (unit = 10, file = 'heads.bin')\n"
                "Vantorell runtime error: End of file\n");
    }
  }
}
