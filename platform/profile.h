#pragma once
// Private-profile (INI file) access with the Win32 contract of the five ANSI
// profile functions: texts are bytes in the ANSI code page, buffers are byte
// spans the caller owns, counts are bytes, enumerations are zero-separated
// lists ended by an empty item. std::nullopt stands for a NULL pointer.
// File names are the one exception: they are the system's own names (UTF-8
// text, as every path of the core), which the Windows backend hands to the
// ANSI functions in the code page; on POSIX systems a name is bytes the code
// page has nothing to do with.
//
// Windows maps this to kernel32; elsewhere our own engine (profile_engine.h)
// behaves the same on the same files, so settings files move between both.

#include "platform/seam.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace platform {

/// A text argument that may be absent (a NULL pointer in Win32).
using ProfileText = std::optional<std::string_view>;

class Profile
{
public:
    virtual ~Profile() = default;

    /// GetPrivateProfileStringA: copies the value of @p key in @p section of
    /// @p fileName into @p buffer, NUL-terminated and cut to fit; a missing
    /// file, section or key gives @p defaultValue (trailing spaces removed).
    /// An absent @p section lists all section names, an absent @p key all key
    /// names of the section, as zero-separated lists.
    /// @returns the bytes copied, without the terminating NUL; a list that did
    /// not fit gives the buffer size minus two.
    virtual std::uint32_t getString(ProfileText section, ProfileText key, ProfileText defaultValue,
        std::span<char> buffer, std::string_view fileName) = 0;

    /// WritePrivateProfileStringA: sets @p key of @p section to @p value,
    /// creating the file, the section and the key as needed. An absent
    /// @p value deletes the key, an absent @p key the whole section.
    /// @returns true on success; false when the file could not be written or
    /// the request cannot be stored as an INI line.
    virtual bool writeString(
        ProfileText section, ProfileText key, ProfileText value, std::string_view fileName) = 0;

    /// Why the latest writeString failed, as the run time's error number:
    /// 70 permission denied (also a read-only file), 61 disk full, 75
    /// path/file access error (a folder or other non-file, a file too large
    /// to rewrite), 76 path not found, 57 device I/O error, 5 a request that
    /// cannot be stored. 0 after a success, or when the cause is not known.
    virtual std::int32_t lastWriteError() const { return 0; }

    /// GetPrivateProfileIntA: the value of @p key read as a decimal integer
    /// (optional sign, leading digits only, wrapping modulo 2^32; a negative
    /// value gives 0); a missing
    /// or empty value gives @p defaultValue.
    virtual std::uint32_t getInt(std::string_view section, std::string_view key,
        std::int32_t defaultValue, std::string_view fileName) = 0;

    /// GetPrivateProfileSectionA: the lines of @p section as a zero-separated
    /// list of "key=value" items (bare names for lines without "=").
    /// @returns the bytes of the list without its final NUL; buffer size minus
    /// two when it did not fit.
    virtual std::uint32_t getSection(
        std::string_view section, std::span<char> buffer, std::string_view fileName) = 0;

    /// GetPrivateProfileSectionNamesA: all section names as a zero-separated
    /// list, duplicates as often as they occur.
    /// @returns as getSection.
    virtual std::uint32_t getSectionNames(std::span<char> buffer, std::string_view fileName) = 0;
};

template<> Profile &Seam<Profile>::defaultInstance();

inline Profile &profile()
{
    return Seam<Profile>::get();
}

} // namespace platform
