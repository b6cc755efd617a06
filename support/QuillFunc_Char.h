#pragma once
// QuillFunc_Char: bit strings, powers of two and byte-width padding.

#include "platform/runtime/numeric_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Turns a string of "0"/"1" (most significant first, blanks around ignored)
/// into @p value. @returns false with value -1 for an invalid string; false
/// after a reported overflow (value left as it was).
bool gProcTrans2To10(std::string_view bits, std::int32_t &value);

/// Turns @p value into a bit string without leading zeros; values of 1 or
/// less give their decimal text. @returns false only after a reported error.
bool gProcTrans10To2(std::int32_t value, std::string &bits);

/// Largest e with 2^e <= @p value (0 for values of 1 or less).
void mGetBeki2(std::int32_t value, std::int32_t &exponent);

/// Pads @p text to @p width bytes of the ANSI code page with the one-byte
/// @p fill: mode 1 on the left, mode 2 on the right, other modes not at all.
std::string gGetSpaceString1(
    std::string_view text, std::int32_t width, std::string_view fill, std::int32_t mode);

/// An ID text read as the hexadecimal number it stands for: one or more
/// digits 0-9, A-F or a-f and nothing else, at most 32 bits of value. Values
/// up to FFFF stay positive, so they equal the board's 16-bit IDs; longer ones
/// are the 32-bit pattern, as a hexadecimal literal reads.
std::optional<std::int32_t> gReadHexId(std::u16string_view text);
/// The same for UTF-8 text as a file holds it: only ASCII characters can be
/// digits, so reading byte by byte answers as for the decoded text.
std::optional<std::int32_t> gReadHexId(std::string_view text);

/// Byte length of @p text in the ANSI code page.
std::int32_t mGetLenB(std::string_view text);
