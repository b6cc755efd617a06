#pragma once
// clsIniFile: one INI file and one current section, read and written through
// the platform's profile functions. Texts are UTF-8 here and cross to the
// platform in the ANSI code page. The class traps nothing: a run-time error
// below it reaches the caller.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class clsIniFile
{
public:
    /// Size of every read buffer handed to the platform, in bytes.
    static constexpr std::size_t BufferSize = 32767;

    clsIniFile();

    /// Fills @p strSection with the file's section names (indices 0 to
    /// count - 1). @returns the count; at 0 the array is left as passed.
    std::int32_t EmnumSection(std::vector<std::string> &strSection);

    /// Fills @p strSectionString with the current section's key=value lines.
    /// @returns the count; at 0 the array is left as passed.
    std::int32_t EnumSectionString(std::vector<std::string> &strSectionString);

    void FileName(std::string strNewFileName);
    void Section(std::string strNewValue);
    const std::string &Section() const;
    const std::string &FileName() const;

    /// Removes @p strKey from the current section.
    void DeleteKeyName(std::string_view strKey);

    /// Removes section @p strSection; an empty argument means the current
    /// section, whose name is then written back into it.
    void DeleteSection(std::string &strSection);

    /// @returns true when @p strKey = @p strValue was written.
    bool SetString(std::string_view strKey, std::string_view strValue);

    /// The value of @p strKey; @p strDefault when it is missing or empty.
    std::string GetString(std::string_view strKey, std::string_view strDefault);

    /// The value of @p strKey as an integer; @p lngDefault when it is missing.
    std::int32_t GetInteger(std::string_view strKey, std::int16_t lngDefault);

private:
    /// Splits the zero-separated @p strBuffer into @p strArray.
    /// @returns the number of items; at 0 the array is left as passed.
    std::int32_t mSplitNullList(std::vector<std::string> &strArray, std::string_view strBuffer);

    std::string mstrFileName;
    std::string mstrSection;
};
