// The profile service on Windows: the kernel32 profile functions themselves.
// Texts are already in the ANSI code page; an absent text is a NULL pointer.
// File names come as the core's UTF-8 paths and go in the code page.

#include "platform/codepage.h"
#include "platform/profile.h"

#include <limits>
#include <optional>
#include <string>
#include <windows.h>

namespace platform {
namespace {

// Holds a text argument NUL-terminated for the call; absent stays NULL.
class CText
{
public:
    explicit CText(ProfileText text)
    {
        if (text) {
            text_.emplace(*text);
        }
    }
    explicit CText(std::string_view text) : text_(std::string(text)) { }
    const char *get() const { return text_ ? text_->c_str() : nullptr; }

private:
    std::optional<std::string> text_;
};

DWORD bufferSize(std::span<char> buffer)
{
    constexpr std::size_t Max = std::numeric_limits<DWORD>::max();
    return static_cast<DWORD>(buffer.size() < Max ? buffer.size() : Max);
}

class Win32Profile final : public Profile
{
public:
    std::uint32_t getString(ProfileText section, ProfileText key, ProfileText defaultValue,
        std::span<char> buffer, std::string_view fileName) override
    {
        return ::GetPrivateProfileStringA(CText(section).get(), CText(key).get(),
            CText(defaultValue).get(), buffer.data(), bufferSize(buffer), toAnsi(fileName).c_str());
    }

    bool writeString(
        ProfileText section, ProfileText key, ProfileText value, std::string_view fileName) override
    {
        if (::WritePrivateProfileStringA(CText(section).get(), CText(key).get(), CText(value).get(),
                toAnsi(fileName).c_str())
            != FALSE) {
            lastError_ = 0;
            return true;
        }
        lastError_ = errorNumberOf(::GetLastError());
        return false;
    }

    std::int32_t lastWriteError() const override { return lastError_; }

    std::uint32_t getInt(std::string_view section, std::string_view key, std::int32_t defaultValue,
        std::string_view fileName) override
    {
        return ::GetPrivateProfileIntA(
            CText(section).get(), CText(key).get(), defaultValue, toAnsi(fileName).c_str());
    }

    std::uint32_t getSection(
        std::string_view section, std::span<char> buffer, std::string_view fileName) override
    {
        return ::GetPrivateProfileSectionA(
            CText(section).get(), buffer.data(), bufferSize(buffer), toAnsi(fileName).c_str());
    }

    std::uint32_t getSectionNames(std::span<char> buffer, std::string_view fileName) override
    {
        return ::GetPrivateProfileSectionNamesA(
            buffer.data(), bufferSize(buffer), toAnsi(fileName).c_str());
    }

private:
    // The run time's error number for a failed write's system error.
    static std::int32_t errorNumberOf(DWORD error)
    {
        switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return 70;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return 61;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND:
            return 76;
        case ERROR_INVALID_PARAMETER:
            return 5;
        default:
            return 75;
        }
    }

    std::int32_t lastError_ = 0;
};

} // namespace

template<> Profile &Seam<Profile>::defaultInstance()
{
    static Win32Profile instance;
    return instance;
}

} // namespace platform
