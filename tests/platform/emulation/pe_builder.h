#pragma once
// A minimal PE image built in memory: headers, one .rsrc section and a
// version resource, with the places tests corrupt exposed as offsets.

#include <cstdint>
#include <cstring>
#include <vector>

namespace pe {

struct Image
{
    std::vector<std::uint8_t> bytes;
    std::size_t peOffset = 0;
    std::size_t optionalOffset = 0;
    std::size_t sectionOffset = 0; ///< the section header
    std::size_t rsrcOffset = 0; ///< file offset of the resource section
    std::size_t typeDirectory = 0; ///< the root directory (file offset)
    std::size_t dataEntry = 0; ///< the language level's data entry (file offset)
    std::size_t fixedInfo = 0; ///< VS_FIXEDFILEINFO (file offset)
};

inline void put16(std::vector<std::uint8_t> &b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32(std::vector<std::uint8_t> &b, std::size_t at, std::uint32_t v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

/// A PE32 (@p plus false) or PE32+ image; @p characteristics 0x2002 makes a DLL.
inline Image build(bool plus, std::uint16_t characteristics, std::uint32_t fileVersionMS,
    std::uint32_t fileVersionLS, std::uint32_t flags, std::uint32_t os, std::uint32_t type,
    std::uint32_t subtype)
{
    Image img;
    const std::uint32_t rva = 0x1000;
    img.bytes.assign(0x400 + 0x200, 0);
    auto &b = img.bytes;
    b[0] = 'M';
    b[1] = 'Z';
    img.peOffset = 0x80;
    put32(b, 0x3C, 0x80);
    std::memcpy(&b[0x80], "PE\0\0", 4);
    put16(b, 0x84, plus ? 0x8664 : 0x14C);
    put16(b, 0x86, 1); // one section
    const std::uint32_t optionalSize = plus ? 240 : 224;
    put16(b, 0x94, optionalSize);
    put16(b, 0x96, characteristics);
    img.optionalOffset = 0x98;
    put16(b, img.optionalOffset, plus ? 0x20B : 0x10B);
    const std::size_t dirs = img.optionalOffset + (plus ? 112 : 96);
    put32(b, dirs - 4, 16); // NumberOfRvaAndSizes
    put32(b, dirs + 16, rva); // resource table
    put32(b, dirs + 20, 0x200);
    img.sectionOffset = img.optionalOffset + optionalSize;
    std::memcpy(&b[img.sectionOffset], ".rsrc", 5);
    put32(b, img.sectionOffset + 8, 0x200); // VirtualSize
    put32(b, img.sectionOffset + 12, rva);
    put32(b, img.sectionOffset + 16, 0x200); // SizeOfRawData
    put32(b, img.sectionOffset + 20, 0x400); // PointerToRawData
    img.rsrcOffset = 0x400;
    // Type (16) -> name (1) -> language (0x411) -> data entry -> version block.
    const std::size_t r = img.rsrcOffset;
    img.typeDirectory = r;
    put16(b, r + 14, 1);
    put32(b, r + 16, 16);
    put32(b, r + 20, 0x80000000u | 0x18);
    put16(b, r + 0x18 + 14, 1);
    put32(b, r + 0x18 + 16, 1);
    put32(b, r + 0x18 + 20, 0x80000000u | 0x30);
    put16(b, r + 0x30 + 14, 1);
    put32(b, r + 0x30 + 16, 0x411);
    put32(b, r + 0x30 + 20, 0x48);
    img.dataEntry = r + 0x48;
    put32(b, img.dataEntry, rva + 0x60);
    put32(b, img.dataEntry + 4, 92);
    const std::size_t block = r + 0x60;
    put16(b, block, 92);
    put16(b, block + 2, 52);
    const char key[] = "VS_VERSION_INFO";
    for (std::size_t i = 0; i < sizeof key; ++i) {
        put16(b, block + 6 + 2 * i, static_cast<std::uint8_t>(key[i]));
    }
    img.fixedInfo = block + 40;
    const std::uint32_t fixed[13] = { 0xFEEF04BD, 0x10000, fileVersionMS, fileVersionLS,
        fileVersionMS, fileVersionLS, 0x3F, flags, os, type, subtype, 0, 0 };
    for (int i = 0; i < 13; ++i) {
        put32(b, img.fixedInfo + 4 * i, fixed[i]);
    }
    return img;
}

} // namespace pe
