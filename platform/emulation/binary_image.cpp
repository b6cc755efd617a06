#include "platform/emulation/binary_image.h"

#include <array>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr std::uint32_t RtVersion = 16;
constexpr std::uint32_t VsVersionInfoName = 1;
constexpr std::uint16_t ImageFileExecutable = 0x0002;
constexpr std::uint16_t ImageFileDll = 0x2000;
// Largest version block read: the resource holds a few kilobytes at most.
constexpr std::uint32_t MaxVersionBlock = 1u << 20;

std::uint16_t le16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t le32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t get16(const std::uint8_t *p, bool bigEndian)
{
    return bigEndian ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : le16(p);
}

std::uint32_t get32(const std::uint8_t *p, bool bigEndian)
{
    if (!bigEndian) {
        return le32(p);
    }
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16
        | static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

std::uint64_t get64(const std::uint8_t *p, bool bigEndian)
{
    std::uint64_t hi = get32(p + (bigEndian ? 0 : 4), bigEndian);
    std::uint64_t lo = get32(p + (bigEndian ? 4 : 0), bigEndian);
    return hi << 32 | lo;
}

template<std::size_t N>
bool readAt(const ImageSource &image, std::uint64_t offset, std::array<std::uint8_t, N> &out)
{
    return image.read(offset, out);
}

struct Section
{
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

struct PeHeaders
{
    std::uint32_t peOffset = 0;
    std::uint16_t characteristics = 0;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    std::vector<Section> sections;
};

/// "MZ" and the offset of the PE header, when the DOS header is whole.
std::optional<std::uint32_t> dosHeader(const ImageSource &image)
{
    std::array<std::uint8_t, 64> dos {};
    if (!readAt(image, 0, dos) || dos[0] != 'M' || dos[1] != 'Z') {
        return std::nullopt;
    }
    return le32(&dos[0x3C]);
}

std::optional<PeHeaders> peHeaders(const ImageSource &image, bool needSections)
{
    auto peOffset = dosHeader(image);
    if (!peOffset) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 24> coff {};
    if (!readAt(image, *peOffset, coff) || std::memcmp(coff.data(), "PE\0\0", 4) != 0) {
        return std::nullopt;
    }
    PeHeaders pe;
    pe.peOffset = *peOffset;
    const std::uint16_t sectionCount = le16(&coff[6]);
    const std::uint16_t optionalSize = le16(&coff[20]);
    pe.characteristics = le16(&coff[22]);
    if (!needSections) {
        return pe;
    }
    const std::uint64_t optionalOffset = std::uint64_t { *peOffset } + 24;
    std::array<std::uint8_t, 2> magic {};
    if (!readAt(image, optionalOffset, magic)) {
        return std::nullopt;
    }
    std::uint32_t countOffset = 0;
    switch (le16(magic.data())) {
    case 0x10B: // PE32
        countOffset = 92;
        break;
    case 0x20B: // PE32+
        countOffset = 108;
        break;
    default:
        return std::nullopt;
    }
    // NumberOfRvaAndSizes, then the data directories; entry 2 is the resource table.
    const std::uint32_t resourceEntry = countOffset + 4 + 2 * 8;
    if (optionalSize < resourceEntry + 8) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 4> count {};
    std::array<std::uint8_t, 8> entry {};
    if (!readAt(image, optionalOffset + countOffset, count) || le32(count.data()) < 3
        || !readAt(image, optionalOffset + resourceEntry, entry)) {
        return std::nullopt;
    }
    pe.resourceRva = le32(&entry[0]);
    pe.resourceSize = le32(&entry[4]);
    if (pe.resourceRva == 0) {
        return std::nullopt;
    }
    const std::uint64_t tableOffset = optionalOffset + optionalSize;
    pe.sections.reserve(sectionCount);
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        std::array<std::uint8_t, 40> header {};
        if (!readAt(image, tableOffset + std::uint64_t { i } * 40, header)) {
            return std::nullopt;
        }
        pe.sections.push_back(
            { le32(&header[12]), le32(&header[8]), le32(&header[16]), le32(&header[20]) });
    }
    return pe;
}

/// File offset of @p length bytes at @p rva, when a section holds them all in the file.
std::optional<std::uint64_t> rvaToOffset(
    const PeHeaders &pe, std::uint32_t rva, std::uint32_t length)
{
    for (const auto &s : pe.sections) {
        const std::uint64_t start = s.virtualAddress;
        const std::uint64_t span = std::max(s.virtualSize, s.rawSize);
        if (rva < start || rva >= start + span) {
            continue;
        }
        const std::uint64_t inSection = rva - start;
        if (inSection + length > s.rawSize) {
            return std::nullopt;
        }
        return std::uint64_t { s.rawOffset } + inSection;
    }
    return std::nullopt;
}

/// One level of the resource tree: the entry with ID @p wanted (any entry
/// when it is 0 and none has it; the first one found when @p firstIfMissing).
/// Returns the entry's offset field.
std::optional<std::uint32_t> findEntry(const ImageSource &image, std::uint64_t base,
    std::uint32_t directory, std::uint32_t resourceSize, std::uint32_t wanted, bool firstIfMissing)
{
    if (std::uint64_t { directory } + 16 > resourceSize) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> header {};
    if (!readAt(image, base + directory, header)) {
        return std::nullopt;
    }
    const std::uint32_t named = le16(&header[12]);
    const std::uint32_t ids = le16(&header[14]);
    const std::uint32_t total = named + ids;
    std::optional<std::uint32_t> first;
    for (std::uint32_t i = 0; i < total; ++i) {
        const std::uint64_t at = std::uint64_t { directory } + 16 + std::uint64_t { i } * 8;
        if (at + 8 > resourceSize) {
            break;
        }
        std::array<std::uint8_t, 8> entry {};
        if (!readAt(image, base + at, entry)) {
            break;
        }
        const std::uint32_t name = le32(&entry[0]);
        const std::uint32_t offset = le32(&entry[4]);
        if (!first) {
            first = offset;
        }
        if (i >= named && name == wanted) {
            return offset;
        }
    }
    return firstIfMissing ? first : std::nullopt;
}

std::optional<FixedFileInfo> fixedInfoOfBlock(std::span<const std::uint8_t> block)
{
    // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO\0" (32 bytes),
    // padding to a 32-bit boundary, then VS_FIXEDFILEINFO at offset 40.
    constexpr std::size_t ValueOffset = 40;
    if (block.size() < ValueOffset + FixedFileInfoSize) {
        return std::nullopt;
    }
    const std::size_t length = le16(block.data());
    const std::size_t valueLength = le16(block.data() + 2);
    if (length < ValueOffset + FixedFileInfoSize || valueLength < FixedFileInfoSize) {
        return std::nullopt;
    }
    const std::uint8_t *v = block.data() + ValueOffset;
    FixedFileInfo info;
    std::uint32_t *fields[] = { &info.signature, &info.strucVersion, &info.fileVersionMS,
        &info.fileVersionLS, &info.productVersionMS, &info.productVersionLS, &info.fileFlagsMask,
        &info.fileFlags, &info.fileOS, &info.fileType, &info.fileSubtype, &info.fileDateMS,
        &info.fileDateLS };
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = le32(v + 4 * i);
    }
    return info;
}

} // namespace

bool MemoryImage::read(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
        return false;
    }
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

std::optional<FixedFileInfo> readPeVersionInfo(const ImageSource &image)
{
    auto pe = peHeaders(image, true);
    if (!pe) {
        return std::nullopt;
    }
    // The resource table must lie in the file; offsets inside it are relative to its start.
    auto base = rvaToOffset(*pe, pe->resourceRva, 16);
    if (!base) {
        return std::nullopt;
    }
    std::uint32_t resourceSize = pe->resourceSize;
    for (const auto &s : pe->sections) {
        if (pe->resourceRva >= s.virtualAddress && pe->resourceRva - s.virtualAddress < s.rawSize) {
            resourceSize = std::min(resourceSize, s.rawSize - (pe->resourceRva - s.virtualAddress));
        }
    }
    constexpr std::uint32_t Subdirectory = 0x80000000u;
    // Three fixed levels (type, name, language): the walk cannot loop.
    auto type = findEntry(image, *base, 0, resourceSize, RtVersion, false);
    if (!type || !(*type & Subdirectory)) {
        return std::nullopt;
    }
    auto name =
        findEntry(image, *base, *type & ~Subdirectory, resourceSize, VsVersionInfoName, true);
    if (!name || !(*name & Subdirectory)) {
        return std::nullopt;
    }
    auto language = findEntry(image, *base, *name & ~Subdirectory, resourceSize, 0, true);
    if (!language || (*language & Subdirectory)
        || std::uint64_t { *language } + 16 > resourceSize) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> data {};
    if (!readAt(image, *base + *language, data)) {
        return std::nullopt;
    }
    const std::uint32_t dataRva = le32(&data[0]);
    const std::uint32_t dataSize = std::min(le32(&data[4]), MaxVersionBlock);
    auto offset = rvaToOffset(*pe, dataRva, dataSize);
    if (!offset || dataSize < 40 + FixedFileInfoSize) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> block(dataSize);
    if (!image.read(*offset, block)) {
        return std::nullopt;
    }
    return fixedInfoOfBlock(block);
}

bool isExecutableImage(const ImageSource &image)
{
    std::array<std::uint8_t, 64> head {};
    if (!readAt(image, 0, head)) {
        return false;
    }
    if (head[0] == 'M' && head[1] == 'Z') {
        auto pe = peHeaders(image, false);
        if (!pe) {
            // An MS-DOS program (or a Windows 16-bit one whose newer header we do not read).
            return true;
        }
        return (pe->characteristics & ImageFileDll) == 0
            && (pe->characteristics & ImageFileExecutable) != 0;
    }
    if (std::memcmp(head.data(),
            "\x7F"
            "ELF",
            4)
        != 0) {
        return false;
    }
    const bool is64 = head[4] == 2;
    const bool bigEndian = head[5] == 2;
    if ((head[4] != 1 && head[4] != 2) || (head[5] != 1 && head[5] != 2)) {
        return false;
    }
    constexpr std::uint16_t EtExec = 2;
    constexpr std::uint16_t EtDyn = 3;
    constexpr std::uint32_t PtInterp = 3;
    const std::uint16_t type = get16(&head[16], bigEndian);
    if (type == EtExec) {
        return true;
    }
    if (type != EtDyn) {
        return false;
    }
    const std::uint64_t phoff = is64 ? get64(&head[32], bigEndian) : get32(&head[28], bigEndian);
    const std::uint16_t phentsize = get16(&head[is64 ? 54 : 42], bigEndian);
    const std::uint16_t phnum = get16(&head[is64 ? 56 : 44], bigEndian);
    if (phentsize < 4) {
        return false;
    }
    for (std::uint16_t i = 0; i < phnum; ++i) {
        std::array<std::uint8_t, 4> ptype {};
        if (!readAt(image, phoff + std::uint64_t { i } * phentsize, ptype)) {
            return false;
        }
        if (get32(ptype.data(), bigEndian) == PtInterp) {
            return true;
        }
    }
    return false;
}

} // namespace platform
