// The version-resource reader and the program check on images built in
// memory, intact and corrupted.
#include "platform/emulation/binary_image.h"
#include "platform/emulation/pe_builder.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::optional<platform::FixedFileInfo> versionOf(const std::vector<std::uint8_t> &bytes)
{
    return platform::readPeVersionInfo(platform::MemoryImage(bytes));
}

bool executable(const std::vector<std::uint8_t> &bytes)
{
    return platform::isExecutableImage(platform::MemoryImage(bytes));
}

TEST(PeVersionReader, ReadsTheFixedBlockOfPe32AndPe32Plus)
{
    for (bool plus : { false, true }) {
        auto img = pe::build(plus, 0x0102, 0x00010002, 0x0003000F, 1, 0x40004, 2, 0);
        auto info = versionOf(img.bytes);
        ASSERT_TRUE(info) << plus;
        EXPECT_EQ(info->signature, 0xFEEF04BDu);
        EXPECT_EQ(info->fileVersionMS, 0x00010002u);
        EXPECT_EQ(info->fileVersionLS, 0x0003000Fu);
        EXPECT_EQ(info->fileFlags, 1u);
        EXPECT_EQ(info->fileOS, 0x40004u);
        EXPECT_EQ(info->fileType, 2u);
    }
}

TEST(PeVersionReader, CorruptImagesGiveNothing)
{
    using Mutation = std::function<void(pe::Image &)>;
    const std::pair<const char *, Mutation> rows[] = {
        { "no MZ", [](pe::Image &i) { i.bytes[0] = 'X'; } },
        { "PE header past the end", [](pe::Image &i) { pe::put32(i.bytes, 0x3C, 0xFFFFFFF0u); } },
        { "bad PE signature", [](pe::Image &i) { i.bytes[i.peOffset + 1] = 'X'; } },
        { "unknown optional magic",
            [](pe::Image &i) { pe::put16(i.bytes, i.optionalOffset, 0x107); } },
        { "optional header too small",
            [](pe::Image &i) { pe::put16(i.bytes, i.peOffset + 20, 64); } },
        { "no resource table",
            [](pe::Image &i) { pe::put32(i.bytes, i.sectionOffset + 12, 0x9000); } },
        { "section data past the end",
            [](pe::Image &i) { pe::put32(i.bytes, i.sectionOffset + 20, 0x7FFFFF00u); } },
        { "huge entry counts",
            [](pe::Image &i) {
                pe::put16(i.bytes, i.typeDirectory + 12, 0xFFFF);
                pe::put16(i.bytes, i.typeDirectory + 14, 0xFFFF);
            } },
        { "directory that points at itself",
            [](pe::Image &i) { pe::put32(i.bytes, i.typeDirectory + 20, 0x80000000u); } },
        { "directory offset past the section",
            [](pe::Image &i) {
                pe::put32(i.bytes, i.typeDirectory + 20, 0x80000000u | 0x7FFFFFF0u);
            } },
        { "data entry where a directory belongs",
            [](pe::Image &i) { pe::put32(i.bytes, i.typeDirectory + 20, 0x18); } },
        { "data past the end",
            [](pe::Image &i) { pe::put32(i.bytes, i.dataEntry + 4, 0xFFFFFFFFu); } },
        { "data RVA outside every section",
            [](pe::Image &i) { pe::put32(i.bytes, i.dataEntry, 0x80000000u); } },
        { "block shorter than the fixed info",
            [](pe::Image &i) { pe::put16(i.bytes, i.fixedInfo - 40, 60); } },
        { "no fixed info", [](pe::Image &i) { pe::put16(i.bytes, i.fixedInfo - 38, 0); } },
        { "truncated", [](pe::Image &i) { i.bytes.resize(i.rsrcOffset + 0x70); } },
        { "headers only", [](pe::Image &i) { i.bytes.resize(0x100); } },
        { "empty", [](pe::Image &i) { i.bytes.clear(); } },
    };
    for (const auto &[name, mutate] : rows) {
        auto img = pe::build(true, 0x0102, 1, 2, 0, 4, 1, 0);
        mutate(img);
        EXPECT_FALSE(versionOf(img.bytes)) << name;
    }
}

TEST(ExecutableImage, ProgramsButNotLibraries)
{
    EXPECT_TRUE(executable(pe::build(false, 0x0102, 1, 2, 0, 4, 1, 0).bytes)) << "PE32 program";
    EXPECT_TRUE(executable(pe::build(true, 0x0022, 1, 2, 0, 4, 1, 0).bytes)) << "PE32+ program";
    EXPECT_FALSE(executable(pe::build(true, 0x2022, 1, 2, 0, 4, 2, 0).bytes)) << "DLL";
    std::vector<std::uint8_t> dos(64, 0);
    dos[0] = 'M';
    dos[1] = 'Z';
    EXPECT_TRUE(executable(dos)) << "MS-DOS program";
    EXPECT_FALSE(executable({ 'M', 'Z' })) << "too short";

    // ELF: a static program, a position-independent one (interpreter), a library.
    auto elf = [](std::uint16_t type, bool interp) {
        std::vector<std::uint8_t> b(64 + 56, 0);
        std::memcpy(b.data(),
            "\x7F"
            "ELF",
            4);
        b[4] = 2;
        b[5] = 1;
        b[16] = static_cast<std::uint8_t>(type);
        b[32] = 64; // e_phoff
        b[54] = 56; // e_phentsize
        b[56] = 1; // e_phnum
        b[64] = interp ? 3 : 1;
        return b;
    };
    EXPECT_TRUE(executable(elf(2, false)));
    EXPECT_TRUE(executable(elf(3, true)));
    EXPECT_FALSE(executable(elf(3, false)));
    EXPECT_FALSE(executable(elf(1, false))) << "relocatable object";
    auto broken = elf(3, true);
    broken[56] = 0xFF;
    broken[57] = 0xFF;
    EXPECT_TRUE(executable(broken)) << "the interpreter header is read before the cut";
    broken[64] = 1;
    EXPECT_FALSE(executable(broken));
    EXPECT_FALSE(executable({ '#', '!', '/', 'b' }));
}

} // namespace
