// Error reports on standard error and the exit statuses of a failed run.
#pragma once

#include <string>

#include "records/file_units.h"
#include "records/run_error.h"

namespace vantorell {

// The report's text: the position line, the label and the message, each
// line ending with LF.
std::string formatErrorReport(const RunError& error);

// Writes the report to standard error and returns the run's exit status.
int reportRunError(const RunError& error);

// The report of a file whose data the system refused when no statement was
// running (written out or closed at the end of the run): the position line
// of the unit's last write statement, with the unit and its file, then the
// label and the system's text for the error.
std::string formatWriteFailureReport(const WriteFailure& failure);

// Writes that report to standard error and returns the exit status, 2.
int reportWriteFailure(const WriteFailure& failure);

}  // namespace vantorell
