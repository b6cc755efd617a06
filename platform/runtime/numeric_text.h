#pragma once
// Numeric texts as the Visual-Basic run time reads them (IsNumeric, CDbl),
// shared by the core's conversions and the class library.

#include <optional>
#include <string_view>

/// Reads @p text as a number the way the Visual-Basic run time does
/// (IsNumeric/CDbl): blanks around, a sign before or after, one decimal
/// point, an exponent, &H/&O prefixes. std::nullopt when it is not a number.
std::optional<double> gParseNumericText(std::string_view text);
