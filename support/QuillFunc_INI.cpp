#include "support/QuillFunc_INI.h"

#include "platform/profile.h"

#include "support/ErrObject.h"
#include "support/clsIniFile.h"

std::string gGetIniString(std::string_view file, std::string_view section, std::string_view key,
    std::string_view strDefault)
{
    std::string result(strDefault);
    gTrap("gGetIniString", [&] {
        clsIniFile ini;
        ini.FileName(std::string(file));
        ini.Section(std::string(section));
        result = ini.GetString(key, strDefault);
    });
    return result;
}

namespace {
std::int32_t lastWriteError = 0;
} // namespace

std::int32_t gGetIniWriteError()
{
    return lastWriteError;
}

bool gSetIni(
    std::string_view file, std::string_view section, std::string_view key, std::string_view value)
{
    bool written = false;
    lastWriteError = 0;
    gTrap("gSetIni", [&] {
        clsIniFile ini;
        ini.FileName(std::string(file));
        ini.Section(std::string(section));
        written = ini.SetString(key, value);
        if (!written) {
            lastWriteError = platform::profile().lastWriteError();
        }
    });
    return written;
}
