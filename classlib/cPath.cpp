#include "classlib/cPath.h"

#include "platform/codepage.h"
#include "platform/shell_folders.h"

#include <filesystem>
#include <system_error>

namespace {

constexpr std::uint32_t ShortPathChars = 1024;
constexpr std::uint32_t ExecutableChars = 255;
constexpr std::int32_t ShellSuccessAbove = 32;

std::size_t firstCharacterLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return len <= text.size() ? len : 1;
}

// Text wholly in capitals becomes a capital and small letters; anything holding a
// small letter stays as it is. An empty part stays empty.
std::string capitalise(const std::string &text)
{
    if (text.empty() || text != platform::upperCase(text)) {
        return text;
    }
    std::string lower = platform::lowerCase(text);
    const std::size_t first = firstCharacterLength(lower);
    return platform::upperCase(std::string_view(lower).substr(0, first)) + lower.substr(first);
}

} // namespace

std::string::size_type cPath::driveColon() const noexcept
{
    return grammar_ == PathGrammar::Windows ? fileName_.find(':') : std::string::npos;
}

std::string cPath::GetFileName() const
{
    if (const auto sep = fileName_.rfind(separator()); sep != std::string::npos) {
        return fileName_.substr(sep + 1);
    }
    if (const auto colon = driveColon(); colon != std::string::npos) {
        return fileName_.substr(colon + 1);
    }
    return fileName_;
}

std::string cPath::GetExt() const
{
    const std::string name = GetFileName();
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string cPath::GetPath() const
{
    std::string path;
    if (const auto sep = fileName_.rfind(separator()); sep != std::string::npos) {
        path = fileName_.substr(0, sep + 1);
    } else if (const auto colon = driveColon(); colon != std::string::npos) {
        path = fileName_.substr(0, colon + 1);
    } else {
        return {};
    }
    if (path.back() != separator()) {
        path += separator();
    }
    return path;
}

std::string cPath::AddDblQuot(bool NotCheckSpace) const
{
    if (!NotCheckSpace && fileName_.find_first_of(" ,") == std::string::npos) {
        return fileName_;
    }
    std::string quoted = fileName_;
    if (quoted.empty() || quoted.front() != '"') {
        quoted.insert(quoted.begin(), '"');
    }
    if (quoted.back() != '"') {
        quoted += '"';
    }
    return quoted;
}

std::string cPath::GetShortPathName() const
{
    return platform::shellFolders().shortPathName(fileName_, ShortPathChars);
}

std::string cPath::GetFullPathName(std::string_view PathName, std::string_view FileName) const
{
    std::string full(PathName);
    if (full.empty() || full.back() != separator()) {
        full += separator();
    }
    full += FileName;
    return full;
}

std::string cPath::GetFileNameOnly() const
{
    std::string name = GetFileName();
    const std::string ext = GetExt();
    if (!ext.empty()) {
        name.resize(name.size() - ext.size() - 1);
    } else if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    return name;
}

std::string cPath::GetCleanFileName() const
{
    return capitalise(GetFileNameOnly()) + "." + capitalise(GetExt());
}

std::string cPath::GetWindowsDirectory() const
{
    return GetFullPathName(platform::shellFolders().windowsDirectory());
}

std::string cPath::GetSystemDirectory() const
{
    return GetFullPathName(platform::shellFolders().systemDirectory());
}

std::string cPath::GetSpecialFolder(std::int32_t GetFolderType) const
{
    return GetFullPathName(platform::shellFolders().specialFolder(GetFolderType).value_or(""));
}

std::string cPath::GetExecFileFromDataFile() const
{
    std::error_code ec;
    const std::u8string cwd = std::filesystem::current_path(ec).u8string();
    std::string buffer;
    const std::int32_t rc = platform::shellFolders().findExecutable(
        fileName_, std::string(cwd.begin(), cwd.end()), ExecutableChars, buffer);
    if (rc < ShellSuccessAbove) {
        return {};
    }
    if (const auto pair = buffer.find(std::string_view("\0\0", 2)); pair != std::string::npos) {
        buffer.resize(pair);
    }
    if (const auto nul = buffer.find('\0'); nul != std::string::npos) {
        buffer[nul] = ' ';
    }
    if (const auto nul = buffer.find('\0'); nul != std::string::npos) {
        buffer.resize(nul);
    }
    return buffer;
}
