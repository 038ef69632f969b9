#include "run/error_report.h"

#include <string_view>

#include "records/file_units.h"
#include "records/platform.h"

namespace vantorell {

namespace {

constexpr const char* kSourceName = "Vantorell";
constexpr const char* kLabel = "Vantorell runtime error: ";

std::string positionLine(int statement, int unit, std::string_view name) {
  return "At line " + std::to_string(statement) + " of file " + kSourceName + " (unit = " + std::to_string(unit) +
         ", file = '" + std::string(name) + "')\n";
}

}  // namespace

std::string formatErrorReport(const RunError& error) {
  std::string report;
  switch (error.kind) {
    case ReportKind::MemoryExhausted:
      report = "Operating system error: ";
      report += error.what();
      report += "\nAllocation would exceed memory limit\n";
      return report;
    case ReportKind::WithUnit: report = positionLine(error.statement, error.unit, unitName(error.unit)); break;
    case ReportKind::WithoutUnit:
      report = "At line " + std::to_string(error.statement) + " of file " + kSourceName + "\n";
      break;
    case ReportKind::LabelOnly: break;
  }
  report += kLabel;
  report += error.what();
  report += '\n';
  return report;
}

int reportRunError(const RunError& error) {
  platform::writeError(formatErrorReport(error));
  return error.kind == ReportKind::MemoryExhausted ? 1 : 2;
}

std::string formatWriteFailureReport(const WriteFailure& failure) {
  return positionLine(failure.statement, failure.unit, failure.name) + kLabel + platform::errorText(failure.error) +
         "\n";
}

int reportWriteFailure(const WriteFailure& failure) {
  platform::writeError(formatWriteFailureReport(failure));
  return 2;
}

}  // namespace vantorell
