#pragma once
// cUnicode: byte-counted string operations in the system's ANSI code page
// (CP932 on Linux, CP_ACP on Windows), on texts that callers keep as UTF-16.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// A string as cUnicode sees it: UTF-16 units whose byte length may be odd.
///
/// Ordinary text is a std::u16string. The byte form of a text (ConvFromUnicode)
/// holds code-page bytes packed two per unit, the first byte in the low half, as
/// the Visual-Basic run time stores them; an odd byte count leaves the last unit
/// with only its low half used. bytes() gives that storage back as bytes.
class UniString
{
public:
    UniString() = default;
    UniString(std::u16string text) : units_(std::move(text)) { }
    UniString(const char16_t *text) : units_(text) { }

    /// Packs @p bytes two per unit (the byte form).
    static UniString fromBytes(std::string_view bytes);

    /// The stored units; with an odd byte length the last one holds a lone byte.
    const std::u16string &units() const noexcept { return units_; }
    /// The raw storage, byteLength() bytes, low byte of each unit first.
    std::string bytes() const;
    std::int32_t byteLength() const noexcept;
    bool oddByte() const noexcept { return oddByte_; }

    friend bool operator==(const UniString &, const UniString &) = default;

private:
    std::u16string units_;
    bool oddByte_ = false;
};

class cUnicode
{
public:
    /// True when @p St survives the trip to the code page and back unchanged
    /// (an empty text does; a byte form, or text the code page lacks, as a rule not).
    bool IsUnicode(const UniString &St) const;

    /// Byte length of the byte form (of the raw storage when not ordinary text).
    std::int32_t UniLenB(const UniString &St) const;

    /// The first / last @p Length bytes. A negative length raises 5.
    UniString UniLeftB(const UniString &St, std::int32_t Length) const;
    UniString UniRightB(const UniString &St, std::int32_t Length) const;

    /// @p Length bytes from the 1-based byte @p StartLength (the rest when omitted).
    /// A start below 1 or a negative length raises 5; an omitted length that
    /// falls outside 32 bits raises 6.
    UniString UniMidB(const UniString &St, std::int32_t StartLength,
        std::optional<std::int32_t> Length = std::nullopt) const;

    /// 1-based byte position of @p text2 in @p text1, 0 when absent. A start below 1
    /// raises 5; a start given as text is read as a number (not a number: 13;
    /// beyond 32 bits: 6; fractions round half to even).
    std::int32_t UniInstrB(const UniString &text1, const UniString &text2) const;
    std::int32_t UniInstrB(
        std::int32_t start, const UniString &text1, const UniString &text2) const;
    std::int32_t UniInstrB(
        const UniString &start, const UniString &text1, const UniString &text2) const;

    /// Ordinary text of @p St (itself when it already is ordinary text).
    UniString ConvUnicode(const UniString &St) const;
    /// Byte form of @p St (itself when it is not ordinary text).
    UniString ConvFromUnicode(const UniString &St) const;
};
