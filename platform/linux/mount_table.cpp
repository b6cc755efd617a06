// The kernel's mount table and udev's device names as text. Lines that do
// not parse are skipped rather than failing the whole table: a drive list
// with one odd mount left out beats no drives at all.

#include "platform/linux/mount_table.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace platform::linux_drive {
namespace {

// mountinfo escapes blank, tab, newline and backslash as \ooo.
std::string unescapeOctal(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()
            && std::all_of(text.begin() + i + 1, text.begin() + i + 4,
                [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::uint64_t hexValue(const std::string &digits)
{
    return std::stoull(digits, nullptr, 16);
}

/// Parses one mountinfo line into @p entry; false for a line that is not one.
bool parseLine(const std::string &line, MountEntry &entry)
{
    std::stringstream in(line);
    std::vector<std::string> fields;
    std::string field;
    while (in >> field) {
        fields.push_back(field);
    }
    // The optional fields end at a lone "-"; three more follow it.
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 6 || dash == fields.end() || fields.end() - dash < 3
        || dash - fields.begin() < 6) {
        return false;
    }
    char colon = 0;
    std::stringstream numbers(fields[2]);
    if (!(numbers >> entry.major >> colon >> entry.minor) || colon != ':') {
        return false;
    }
    entry.mountPoint = unescapeOctal(fields[4]);
    entry.mountOptions = fields[5];
    entry.fsType = dash[1];
    entry.source = unescapeOctal(dash[2]);
    entry.superOptions = dash + 3 < fields.end() ? dash[3] : std::string();
    return !entry.mountPoint.empty() && entry.mountPoint.front() == '/';
}

} // namespace

std::vector<MountEntry> parseMountinfo(const std::string &text)
{
    std::vector<MountEntry> entries;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        MountEntry entry;
        if (parseLine(line, entry)) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::uint32_t serialFromUuid(const std::string &fsType, const std::string &uuid)
{
    std::string digits;
    for (char c : uuid) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (c != '-') {
            return 0;
        }
    }
    // FAT and exFAT: the 32-bit volume serial itself (shown as XXXX-XXXX);
    // NTFS: its 64-bit serial, of which Windows reports the low half;
    // 128-bit UUIDs (ext4, xfs, btrfs, ...): their first 32 bits.
    if (oneOf(fsType, { "vfat", "msdos", "exfat" }) && digits.size() == 8) {
        return static_cast<std::uint32_t>(hexValue(digits));
    }
    if (oneOf(fsType, { "ntfs", "ntfs3", "fuseblk" }) && digits.size() == 16) {
        return static_cast<std::uint32_t>(hexValue(digits.substr(8)));
    }
    if (digits.size() == 32) {
        return static_cast<std::uint32_t>(hexValue(digits.substr(0, 8)));
    }
    return 0;
}

bool hasMountOption(const std::string &options, const std::string &name)
{
    std::stringstream in(options);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item == name || item.rfind(name + "=", 0) == 0) {
            return true;
        }
    }
    return false;
}

std::string unescapeUdevName(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x'
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool oneOf(const std::string &value, std::initializer_list<const char *> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char *n) { return value == n; });
}

} // namespace platform::linux_drive
