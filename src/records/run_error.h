// The one error type of the program: every failing statement raises it, and
// the run driver turns it into the error report and the exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace vantorell {

enum class ReportKind {
  WithUnit,         // position line with unit and file, label, message
  WithoutUnit,      // position line without unit (checked array accesses)
  LabelOnly,        // label and message only (storage size beyond a limit)
  MemoryExhausted,  // two fixed lines, exit status 1
};

struct RunError : std::runtime_error {
  ReportKind kind;
  int statement;
  int unit;

  RunError(ReportKind k, int stmt, int u, const std::string& message)
      : std::runtime_error(message), kind(k), statement(stmt), unit(u) {}
};

// Raise the failure of statement `stmt` on unit `unit` with `message`.
[[noreturn]] inline void failStatement(int stmt, int unit, const std::string& message) {
  throw RunError(ReportKind::WithUnit, stmt, unit, message);
}

}  // namespace vantorell
