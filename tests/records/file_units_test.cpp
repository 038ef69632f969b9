#include "records/file_units.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "records/text_output.h"
#include "support/testkit.h"

using namespace vantorell;
using testkit::failureOf;
using testkit::ScratchDir;

namespace {

std::string connectFailure(int unit, const std::string& name) {
  return failureOf([&] { connect(237, unit, name, Form::Binary, Use::Output); });
}

}  // namespace

TEST(FileUnits, ConnectCreatesAMissingFileEmptyWithOwnerPermissions) {
  ScratchDir dir;
  resetUnitsForTesting();
  connect(113, 11, dir.file("missing.txt") + "     ", Form::Text, Use::Input);
  EXPECT_EQ(unitName(11), dir.file("missing.txt"));
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("missing.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(unitAt(11).atEnd);
  release(11);
  EXPECT_EQ(unitName(11), "");
  EXPECT_TRUE(testkit::fileExists(dir.file("missing.txt")));
}

TEST(FileUnits, ConnectKeepsExistingContentUntilTheFirstWrite) {
  ScratchDir dir;
  resetUnitsForTesting();
  testkit::writeFile(dir.file("old.txt"), "0123456789\r\n0123456789\r\n");
  connect(239, 11, dir.file("old.txt"), Form::Text, Use::Output);
  EXPECT_FALSE(unitAt(11).atEnd);
  release(11);
  EXPECT_EQ(testkit::readFile(dir.file("old.txt")), "0123456789\r\n0123456789\r\n");
  connect(239, 11, dir.file("old.txt"), Form::Text, Use::Output);
  writeFreeForm(265, 11, {"abc"});
  writeFreeForm(265, 11, {"de"});
  release(11);
  EXPECT_EQ(testkit::readFile(dir.file("old.txt")), " abc\r\n de\r\n");
}

TEST(FileUnits, ConnectionFailures) {
  ScratchDir dir;
  resetUnitsForTesting();
  ::mkdir(dir.file("sub").c_str(), 0700);
  EXPECT_EQ(connectFailure(11, dir.file("nodir/x")), "237/11: File '" + dir.file("nodir/x") + "' does not exist");
  EXPECT_EQ(connectFailure(11, "    "), "237/11: File '' does not exist");
  EXPECT_EQ(connectFailure(11, dir.file("sub")), "237/11: '" + dir.file("sub") + "' is a directory");
  EXPECT_EQ(unitName(11), "");
}

TEST(FileUnits, OneFileCannotBeConnectedToTwoUnits) {
  ScratchDir dir;
  resetUnitsForTesting();
  ::mkdir(dir.file("sub").c_str(), 0700);
  testkit::writeFile(dir.file("heads.bin"), "x");
  connect(237, 11, dir.file("heads.bin"), Form::Binary, Use::Output);
  EXPECT_EQ(failureOf([&] { connect(244, 10, dir.file("sub/../heads.bin"), Form::Binary, Use::Input); }),
            "244/10: File already opened in another unit");
  EXPECT_EQ(failureOf([&] { connect(244, 10, dir.path + "/./heads.bin", Form::Binary, Use::Input); }),
            "244/10: File already opened in another unit");
  release(11);
  EXPECT_EQ(failureOf([&] { connect(244, 10, dir.file("heads.bin"), Form::Binary, Use::Input); }), "no error");
  resetUnitsForTesting();
}

TEST(FileUnits, AFileBehindTheConsoleMayStillBeConnected) {
  ScratchDir dir;
  resetUnitsForTesting();
  std::string console = testkit::connectConsoleFiles(dir, "");
  EXPECT_EQ(failureOf([&] { connect(239, 11, console, Form::Text, Use::Output); }), "no error");
  resetUnitsForTesting();
}

// Permission bits only stop an unprivileged user: these run in a child that
// drops root first.
TEST(FileUnits, OpenAttemptsFallBackToReadOnlyAndWriteOnly) {
  ScratchDir dir;
  testkit::writeFile(dir.file("ro.bin"), "keep");
  testkit::writeFile(dir.file("wo.txt"), "secret\n");
  testkit::writeFile(dir.file("none.txt"), "");
  ::chmod(dir.file("ro.bin").c_str(), 0444);
  ::chmod(dir.file("wo.txt").c_str(), 0222);
  ::chmod(dir.file("none.txt").c_str(), 0);
  int status = testkit::runUnprivileged(
      [](const std::string& d) {
        resetUnitsForTesting();
        connect(237, 11, d + "/ro.bin", Form::Binary, Use::Output);
        if (unitAt(11).direction != Direction::ReadOnly) return 1;
        if (failureOf([] { writableUnit(274, 11); }) != "274/11: Cannot write to file opened for READ") return 2;
        connect(188, 12, d + "/wo.txt", Form::Text, Use::Input);
        if (unitAt(12).direction != Direction::WriteOnly) return 3;
        if (failureOf([] { readableUnit(189, 12); }) != "189/12: Cannot read from file opened for WRITE") return 4;
        if (failureOf([&] { connect(244, 10, d + "/none.txt", Form::Binary, Use::Input); }) !=
            "244/10: Permission denied trying to open file '" + d + "/none.txt'")
          return 5;
        releaseAll();
        return 0;
      },
      dir);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(testkit::readFile(dir.file("ro.bin")), "keep");
}

TEST(FileUnits, SkippingRepositionsAFileAndDiscardsFromAPipe) {
  ScratchDir dir;
  std::string content;
  for (int i = 0; i < 30000; ++i) content += static_cast<char>('a' + i % 26);
  testkit::connectWith(dir, 10, content, true);
  Unit& u = unitAt(10);
  int error = 0;
  EXPECT_EQ(getByte(u), 'a');
  skipBytes(u, 20000, error);
  EXPECT_EQ(getByte(u), static_cast<unsigned char>(content[20001]));
  skipBytes(u, 1000000, error);  // past the end: no error until the next read
  EXPECT_EQ(error, 0);
  EXPECT_EQ(peekByte(u), -1);

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], content.data(), 10000), 10000);
  ::close(fds[1]);
  resetUnitsForTesting();
  connectConsole(fds[0], STDOUT_FILENO);
  Unit& in = unitAt(5);
  EXPECT_EQ(getByte(in), 'a');
  skipBytes(in, 9000, error);
  EXPECT_EQ(getByte(in), static_cast<unsigned char>(content[9001]));
  skipBytes(in, 50000, error);  // the skip ends at the end of the pipe
  EXPECT_EQ(peekByte(in), -1);
  ::close(fds[0]);
  resetUnitsForTesting();
}

// The console takes a record in part and then refuses the rest: the rest is
// kept and goes out in front of the next record, and no byte is sent twice.
TEST(FileUnits, AConsoleRecordTakenInPartIsNotSentTwice) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::fcntl(fds[1], F_SETFL, O_NONBLOCK), 0);
  ASSERT_EQ(::fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
  ASSERT_GE(::fcntl(fds[1], F_SETPIPE_SZ, 8192), 8192);
  // Leave the pipe with room for less than the record.
  const std::string filler(6000, 'f');
  ASSERT_EQ(::write(fds[1], filler.data(), filler.size()), static_cast<ssize_t>(filler.size()));
  auto drain = [&] {
    std::string got;
    char buf[4096];
    for (long n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
    return got;
  };
  resetUnitsForTesting();
  connectConsole(platform::kNoFile, fds[1]);
  Unit& out = unitAt(6);
  ASSERT_FALSE(out.buffered);

  std::string first(5000, 'a');
  first += "\r\n";
  putRecord(out, first.data(), first.size());
  finishWriteStatement(110, out);  // the console reports nothing
  ASSERT_GT(out.undelivered.size(), 0u);
  ASSERT_LT(out.undelivered.size(), first.size());  // taken in part

  std::string got = drain();
  const std::string second = " next\r\n";
  putRecord(out, second.data(), second.size());
  EXPECT_TRUE(out.undelivered.empty());
  got += drain();
  EXPECT_TRUE(got == filler + first + second);
  resetUnitsForTesting();
  ::close(fds[0]);
  ::close(fds[1]);
}

// A file that refuses data: the statement that meets the failure reports it
// (data of its own or buffered data written out during it); a failure met
// only when the buffer is written out at release is handed to releaseAll,
// with the unit's last write statement. Either way the file holds what the
// system took and nothing else.
int refusedWritesInAChild(const std::string& d) {
  std::signal(SIGXFSZ, SIG_IGN);
  resetUnitsForTesting();
  connect(239, 11, "/dev/full", Form::Text, Use::Output);
  if (failureOf([] { writeFreeForm(265, 11, {"node row col ibound  head"}); }) !=
      "265/11: " + platform::errorText(ENOSPC))
    return 1;
  WriteFailure lost = releaseAll();
  if (lost.error != ENOSPC || lost.unit != 11 || lost.statement != 265 || lost.name != "/dev/full") return 2;
  if (releaseAll().error != 0) return 3;  // handed over once

  rlimit limit{100, 100};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 4;
  connect(215, 14, d + "/log.txt", Form::Text, Use::Output);
  const std::string line(40, 'x');
  for (int stmt = 216; stmt <= 220; ++stmt) writeWholeLine(stmt, 14, line);  // 210 bytes, all in the buffer
  if (unitAt(14).writeError != 0) return 5;
  lost = releaseAll();
  if (lost.error != EFBIG || lost.unit != 14 || lost.statement != 220 || lost.name != d + "/log.txt") return 6;
  if (testkit::readFile(d + "/log.txt") != (line + "\r\n" + line + "\r\n" + line).substr(0, 100)) return 7;

  // Beyond the buffer: a write-out during a later statement fails, what
  // follows is dropped, and nothing lands after the gap.
  connect(239, 11, d + "/table.txt", Form::Text, Use::Output);
  const std::string record(3000, 'r');
  std::string failure = failureOf([&] {
    for (int stmt = 300; stmt < 310; ++stmt) writeWholeLine(stmt, 11, record);
  });
  // Statements 300 and 301 fill the buffer; 302's record does not fit, so it is written out then.
  if (failure != "302/11: " + platform::errorText(EFBIG)) return 8;
  if (unitAt(11).outStart != 100) return 9;
  releaseAll();
  if (testkit::readFile(d + "/table.txt") != record.substr(0, 100)) return 10;
  return 0;
}

TEST(FileUnits, RefusedWritesAreReportedAndNothingLandsInTheWrongPlace) {
  ScratchDir dir;
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) ::_exit(refusedWritesInAChild(dir.path));
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
