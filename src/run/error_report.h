// Error reports on standard error and the exit statuses of a failed run.
#pragma once

#include <string>

#include "records/run_error.h"

namespace vantorell {

// The report's text: the position line, the label and the message, each
// line ending with LF.
std::string formatErrorReport(const RunError& error);

// Writes the report to standard error and returns the run's exit status.
int reportRunError(const RunError& error);

}  // namespace vantorell
