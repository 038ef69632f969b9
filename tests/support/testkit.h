// Helpers shared by the tests: scratch directories, files, and runs of the
// built program.
#pragma once

#include <string>
#include <string_view>

namespace testkit {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
struct ScratchDir {
  std::string path;
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string file(std::string_view name) const { return path + "/" + std::string(name); }
};

void writeFile(const std::string& path, std::string_view content);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;   // the signal that ended it, or 0
};

// Runs the built program in directory `cwd` with `input` on its standard
// input (a pipe), capturing standard output and standard error.
RunResult runProgram(const std::string& cwd, std::string_view input);

// The program that runProgram runs: the environment's
// VANTORELL_EXE_UNDER_TEST when set (the Windows build, for instance), else
// the program of this build. When VANTORELL_RUNNER is set too, the program
// is started through it (for instance wine64).
const char* programUnderTest();
const char* programRunner();  // nullptr when none is set

// Connects `unit` in-process to a new file holding `content` and returns its
// path; the unit table is reset first.
std::string connectWith(const ScratchDir& dir, int unit, std::string_view content, bool binary = false);

// Connects the console units in-process to files: unit 5 reads `input`, unit
// 6 writes to the returned path.
std::string connectConsoleFiles(const ScratchDir& dir, std::string_view input);

// Runs `action` in a child process that, when started as root, first drops
// to an unprivileged user so that permission bits apply; returns the
// child's exit status (`action` returns it).
int runUnprivileged(int (*action)(const std::string& dir), const ScratchDir& dir);

// "stmt/unit: message" of a RunError raised by `action`, or "no error".
template <typename F>
std::string failureOf(F&& action);

// Counts of characters, for readable expectations: blanks(3) == "   ".
inline std::string blanks(std::size_t n) { return std::string(n, ' '); }

}  // namespace testkit

#include "records/run_error.h"

template <typename F>
std::string testkit::failureOf(F&& action) {
  try {
    action();
  } catch (const vantorell::RunError& e) {
    return std::to_string(e.statement) + "/" + std::to_string(e.unit) + ": " + e.what();
  }
  return "no error";
}
