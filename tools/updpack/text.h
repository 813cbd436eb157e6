// Conversions between the package's Shift_JIS (CP932) names and UTF-8.
#pragma once

#include <optional>
#include <string>

// Empty optional when the input holds bytes the target cannot represent.
std::optional<std::string> ShiftJisToUtf8(const std::string& text);
std::optional<std::string> Utf8ToShiftJis(const std::string& text);
