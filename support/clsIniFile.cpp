#include "support/clsIniFile.h"

#include "platform/codepage.h"
#include "platform/profile.h"

namespace {

// The platform's byte count applied to the ANSI bytes; the text comes back
// from the code page only afterwards, so double-byte values stay whole.
std::string textOf(const std::string &buffer, std::uint32_t count)
{
    return platform::fromAnsi(std::string_view(buffer).substr(0, count));
}

} // namespace

clsIniFile::clsIniFile() : mstrFileName(), mstrSection() { }

std::int32_t clsIniFile::EmnumSection(std::vector<std::string> &strSection)
{
    std::string buffer(BufferSize, '\0');
    platform::profile().getSectionNames(buffer, mstrFileName);
    return mSplitNullList(strSection, platform::fromAnsi(buffer));
}

std::int32_t clsIniFile::EnumSectionString(std::vector<std::string> &strSectionString)
{
    std::string buffer(BufferSize, '\0');
    platform::profile().getSection(platform::toAnsi(mstrSection), buffer, mstrFileName);
    return mSplitNullList(strSectionString, platform::fromAnsi(buffer));
}

std::int32_t clsIniFile::mSplitNullList(
    std::vector<std::string> &strArray, std::string_view strBuffer)
{
    std::string_view rest = strBuffer;
    std::int32_t i = 0;
    for (;;) {
        auto nul = rest.find('\0');
        if (nul == 0 || nul == std::string_view::npos) {
            return i;
        }
        strArray.resize(static_cast<std::size_t>(i) + 1);
        strArray[static_cast<std::size_t>(i)] = std::string(rest.substr(0, nul));
        rest.remove_prefix(nul + 1);
        ++i;
    }
}

void clsIniFile::FileName(std::string strNewFileName)
{
    mstrFileName = std::move(strNewFileName);
}

void clsIniFile::Section(std::string strNewValue)
{
    mstrSection = std::move(strNewValue);
}

const std::string &clsIniFile::Section() const
{
    return mstrSection;
}

const std::string &clsIniFile::FileName() const
{
    return mstrFileName;
}

void clsIniFile::DeleteKeyName(std::string_view strKey)
{
    platform::profile().writeString(
        platform::toAnsi(mstrSection), platform::toAnsi(strKey), std::nullopt, mstrFileName);
}

void clsIniFile::DeleteSection(std::string &strSection)
{
    if (strSection.empty()) {
        strSection = mstrSection;
    }
    platform::profile().writeString(
        platform::toAnsi(strSection), std::nullopt, std::nullopt, mstrFileName);
}

bool clsIniFile::SetString(std::string_view strKey, std::string_view strValue)
{
    return platform::profile().writeString(platform::toAnsi(mstrSection), platform::toAnsi(strKey),
        platform::toAnsi(strValue), mstrFileName);
}

std::string clsIniFile::GetString(std::string_view strKey, std::string_view strDefault)
{
    std::string buffer(BufferSize, '\0');
    std::uint32_t count = platform::profile().getString(platform::toAnsi(mstrSection),
        platform::toAnsi(strKey), platform::toAnsi(strDefault), buffer, mstrFileName);
    std::string result = textOf(buffer, count);
    if (result.empty()) {
        return std::string(strDefault);
    }
    return result;
}

std::int32_t clsIniFile::GetInteger(std::string_view strKey, std::int16_t lngDefault)
{
    return static_cast<std::int32_t>(platform::profile().getInt(platform::toAnsi(mstrSection),
        platform::toAnsi(strKey), std::int32_t { lngDefault }, mstrFileName));
}
