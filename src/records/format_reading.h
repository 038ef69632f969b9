// Format-directed reading of int32 rows with a user-typed format text.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vantorell {

// One format-directed read statement on `unit`: parses `formatText` (a format
// error ends the run before any character is read) and fills `items` in
// order as the format directs.
void readFormatted(int stmt, int unit, std::string_view formatText, std::span<std::int32_t> items);

}  // namespace vantorell
