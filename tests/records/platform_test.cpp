// The platform layer itself, on whichever system the tests are built for
// (Linux, or Windows under Wine): open failures, file identity, 64-bit
// positions, and the fatal-signal report.
#include "records/platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/testkit.h"

using namespace testkit;
namespace platform = vantorell::platform;

TEST(Platform, OpenFailureReasons) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  struct Case {
    const char* name;
    std::string path;
    platform::OpenFailure failure;
  };
  const Case cases[] = {
      {"empty name", "", platform::OpenFailure::NotFound},
      {"missing directory", dir.file("nodir/x.txt"), platform::OpenFailure::NotFound},
      {"a directory", dir.file("sub"), platform::OpenFailure::IsDirectory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::OpenResult r = platform::openCreating(c.path, platform::OpenMode::ReadWrite);
    EXPECT_EQ(r.handle, platform::kNoFile);
    EXPECT_EQ(r.failure, c.failure);
    EXPECT_NE(r.error, 0);
    EXPECT_FALSE(platform::errorText(r.error).empty());
  }
}

TEST(Platform, CreatedFilesAreEmptyRegularWritableAndOneFileUnderEverySpelling) {
  ScratchDir dir;
  const std::string path = dir.file("heads.bin");
  platform::OpenResult r = platform::openCreating(path, platform::OpenMode::ReadWrite);
  ASSERT_NE(r.handle, platform::kNoFile);
  platform::FileInfo info = platform::inspect(r.handle);
  EXPECT_TRUE(info.regular);
  EXPECT_EQ(info.size, 0);
  int error = 0;
  ASSERT_TRUE(platform::writeAll(r.handle, "abc", 3, error));
  EXPECT_EQ(platform::inspect(r.handle).size, 3);

  platform::FileId id = platform::identityOf(r.handle);
  ASSERT_TRUE(id.valid);
  EXPECT_EQ(platform::identityOfPath(path), id);
  EXPECT_EQ(platform::identityOfPath(dir.path + "/./heads.bin"), id);
#ifdef _WIN32
  // Windows names: backslashes, and any case.
  EXPECT_EQ(platform::identityOfPath(dir.path + "\\HEADS.BIN"), id);
#endif
  EXPECT_FALSE(platform::identityOfPath(dir.file("other.bin")).valid);
  writeFile(dir.file("other.bin"), "x");
  EXPECT_NE(platform::identityOfPath(dir.file("other.bin")), id);
  platform::closeFile(r.handle);

  // Read and write again, for the file that was created.
  platform::OpenResult again = platform::openCreating(path, platform::OpenMode::ReadWrite);
  ASSERT_NE(again.handle, platform::kNoFile);
  EXPECT_EQ(platform::identityOf(again.handle), id);
  EXPECT_TRUE(platform::closeFile(again.handle, error));
}

TEST(Platform, PositionsBeyondFourGibibytes) {
  ScratchDir dir;
  platform::OpenResult r = platform::openCreating(dir.file("big.bin"), platform::OpenMode::ReadWrite);
  ASSERT_NE(r.handle, platform::kNoFile);
  const std::int64_t far = (std::int64_t{1} << 32) + 5;  // wraps to 5 in 32 bits
  int error = 0;
  ASSERT_TRUE(platform::writeAll(r.handle, "0123456789", 10, error));
  ASSERT_TRUE(platform::writeAt(r.handle, far, "Z", 1, error)) << platform::errorText(error);
  EXPECT_EQ(platform::inspect(r.handle).size, far + 1);
  // writeAt leaves the position alone: this continues after "0123456789".
  ASSERT_TRUE(platform::writeAll(r.handle, "ab", 2, error));
  ASSERT_TRUE(platform::seekTo(r.handle, far, error));
  char got[2] = {};
  EXPECT_EQ(platform::readSome(r.handle, got, 2, error), 1);
  EXPECT_EQ(got[0], 'Z');
  ASSERT_TRUE(platform::truncateAt(r.handle, 12, error)) << platform::errorText(error);
  EXPECT_EQ(platform::inspect(r.handle).size, 12);
  platform::closeFile(r.handle);
  EXPECT_EQ(readFile(dir.file("big.bin")), "0123456789ab");
}

// The report of each fatal signal, raised inside the program the way it
// arises on this system (a hardware fault, an illegal instruction, abort).
namespace {

volatile int g_zero = 0;
volatile int* volatile g_nowhere = nullptr;

// Left alone by the undefined-behaviour sanitizer, which would abort first.
__attribute__((no_sanitize("undefined"))) void faultBy(int sig) {
  platform::installFatalSignalHandlers();
  switch (sig) {
    case SIGSEGV: *g_nowhere = 1; break;
    case SIGFPE: g_zero = 7 / g_zero; break;
    case SIGILL: __builtin_trap();
    case SIGABRT: std::abort();
    default: break;
  }
  std::exit(0);  // not reached when the fault ended the process
}

}  // namespace

TEST(PlatformDeathTest, FatalSignalsAreReportedWithAStackWalk) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(faultBy(SIGSEGV),
               "Program received signal SIGSEGV: Segmentation fault - invalid memory reference\\.\n\n"
               "Backtrace for this error:\n#0  0x");
  EXPECT_DEATH(faultBy(SIGFPE),
               "Program received signal SIGFPE: Floating-point exception - erroneous arithmetic operation\\.\n\n"
               "Backtrace for this error:\n#0  0x");
  EXPECT_DEATH(faultBy(SIGILL),
               "Program received signal SIGILL: Illegal instruction\\.\n\nBacktrace for this error:\n#0  0x");
  EXPECT_DEATH(faultBy(SIGABRT),
               "Program received signal SIGABRT: Process abort signal\\.\n\nBacktrace for this error:\n#0  0x");
}
