#include "support/QuillFunc_INI.h"

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

bool gSetIni(
    std::string_view file, std::string_view section, std::string_view key, std::string_view value)
{
    bool written = false;
    gTrap("gSetIni", [&] {
        clsIniFile ini;
        ini.FileName(std::string(file));
        ini.Section(std::string(section));
        written = ini.SetString(key, value);
    });
    return written;
}
