// cUnicode in CP932 (Linux's code-page service; Wine runs the Windows build
// with code page 932): "日" is 93 FA, "本" is 96 7B.
#include "classlib/cUnicode.h"
#include "platform/runtime/runtime_error.h"

#include <gtest/gtest.h>

namespace {

const UniString Nihon = u"日本a";

std::int32_t raisedNumber(auto &&call)
{
    try {
        call();
    } catch (const RuntimeError &e) {
        return e.number();
    }
    return 0;
}

TEST(cUnicode, ByteFormPacksCodePageBytesAndKeepsAnOddLength)
{
    const cUnicode u;
    const UniString bytes = u.ConvFromUnicode(Nihon);
    EXPECT_EQ(bytes.bytes(),
        "\x93\xFA\x96\x7B"
        "a");
    EXPECT_EQ(bytes.byteLength(), 5);
    EXPECT_TRUE(bytes.oddByte());
    EXPECT_EQ(bytes.units(), (std::u16string { 0xFA93, 0x7B96, u'a' }));
    EXPECT_FALSE(u.IsUnicode(bytes));
    EXPECT_EQ(u.ConvUnicode(bytes), Nihon);
    // Each conversion leaves what already has its form alone.
    EXPECT_EQ(u.ConvUnicode(Nihon), Nihon);
    EXPECT_EQ(u.ConvFromUnicode(bytes), bytes);
}

TEST(cUnicode, OrdinaryTextIsWhatTheCodePageHolds)
{
    const cUnicode u;
    EXPECT_TRUE(u.IsUnicode(u""));
    EXPECT_TRUE(u.IsUnicode(Nihon));
    EXPECT_TRUE(u.IsUnicode(u"ｱ half-width kana"));
    EXPECT_FALSE(u.IsUnicode(u"\U0001F600")); // beyond the code page
    EXPECT_FALSE(u.IsUnicode(std::u16string { 0xD800 })); // lone surrogate
    // Not ordinary text: counted and cut as raw storage, two bytes per unit.
    EXPECT_EQ(u.UniLenB(u"\U0001F600"), 4);
    EXPECT_EQ(u.UniLeftB(u"é€", 2).bytes(), std::string("\xE9\0", 2));
}

TEST(cUnicode, CutsCountBytesAndCutCharactersConvertAsThePlatformDoes)
{
    const cUnicode u;
    const UniString bytes = u.ConvFromUnicode(Nihon);
    struct Row
    {
        UniString got;
        UniString want;
    };
    const Row rows[] = {
        { u.UniLeftB(Nihon, 2), u"日" },
        { u.UniLeftB(Nihon, 3), u"日\uFFFD" }, // a lone lead byte does not decode
        { u.UniLeftB(Nihon, 99), Nihon },
        { u.UniLeftB(Nihon, 0), u"" },
        { u.UniRightB(Nihon, 2), u"{a" }, // 本's trail byte 7B is "{" on its own
        { u.UniRightB(Nihon, 99), Nihon },
        { u.UniMidB(Nihon, 3), u"本a" },
        { u.UniMidB(Nihon, 3, 2), u"本" },
        { u.UniMidB(Nihon, 6), u"" },
        { u.UniMidB(Nihon, 9, 1), u"" },
        { u.UniMidB(Nihon, 1, 0), u"" },
        // On a byte form the cut bytes stay bytes.
        { u.UniLeftB(bytes, 3), UniString::fromBytes("\x93\xFA\x96") },
        { u.UniMidB(bytes, 5), UniString::fromBytes("a") },
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].got, rows[i].want) << "row " << i;
    }
    EXPECT_EQ(u.UniLenB(Nihon), 5);
    EXPECT_EQ(u.UniLenB(bytes), 5);
    EXPECT_EQ(u.UniLenB(u""), 0);
}

TEST(cUnicode, SearchesBytewise)
{
    const cUnicode u;
    EXPECT_EQ(u.UniInstrB(Nihon, u"本"), 3);
    EXPECT_EQ(u.UniInstrB(Nihon, u"a"), 5);
    EXPECT_EQ(u.UniInstrB(Nihon, u"x"), 0);
    EXPECT_EQ(u.UniInstrB(4, Nihon, u"本"), 0);
    EXPECT_EQ(u.UniInstrB(2, u"abcabc", u"bc"), 2);
    EXPECT_EQ(u.UniInstrB(3, u"abcabc", u"bc"), 5);
    EXPECT_EQ(u.UniInstrB(3, u"abc", u""), 3); // empty text2: the start
    EXPECT_EQ(u.UniInstrB(u"", u""), 0);
    EXPECT_EQ(u.UniInstrB(9, u"abc", u"c"), 0);
    // "{" is found inside 本 (96 7B): the search does not respect characters.
    EXPECT_EQ(u.UniInstrB(Nihon, u"{"), 4);
    EXPECT_EQ(u.UniInstrB(u.ConvFromUnicode(Nihon), u.ConvFromUnicode(u"本")), 3);
    // A start given as text is a number read as the run time reads it.
    EXPECT_EQ(u.UniInstrB(u" 3 ", u"abcabc", u"bc"), 5);
    EXPECT_EQ(u.UniInstrB(u"2.5", u"abcabc", u"bc"), 2); // half to even
    EXPECT_EQ(u.UniInstrB(u"３", u"abcabc", u"bc"), 5); // full-width digit
}

TEST(cUnicode, BadArgumentsRaiseThePlatformsErrors)
{
    const cUnicode u;
    struct Row
    {
        const char *what;
        std::int32_t number;
        std::int32_t raised;
    };
    const Row rows[] = {
        { "mid start 0", 5, raisedNumber([&] { u.UniMidB(Nihon, 0, 1); }) },
        { "mid start 0 omitted length", 5, raisedNumber([&] { u.UniMidB(Nihon, 0); }) },
        { "mid negative length", 5, raisedNumber([&] { u.UniMidB(Nihon, 1, -1); }) },
        // The omitted length is computed as length - start + 1: negative here.
        { "mid start two past the end", 5, raisedNumber([&] { u.UniMidB(Nihon, 7); }) },
        { "mid omitted length overflows", 6,
            raisedNumber([&] { u.UniMidB(Nihon, std::numeric_limits<std::int32_t>::min()); }) },
        { "left negative", 5, raisedNumber([&] { u.UniLeftB(Nihon, -1); }) },
        { "right negative", 5, raisedNumber([&] { u.UniRightB(Nihon, -1); }) },
        { "instr start 0", 5, raisedNumber([&] { u.UniInstrB(0, Nihon, u"a"); }) },
        { "instr text start 0", 5, raisedNumber([&] { u.UniInstrB(u"0", Nihon, u"a"); }) },
        { "instr text start not numeric", 13,
            raisedNumber([&] { u.UniInstrB(u"x", Nihon, u"a"); }) },
        { "instr text start empty", 13, raisedNumber([&] { u.UniInstrB(u"", Nihon, u"a"); }) },
        { "instr text start too large", 6,
            raisedNumber([&] { u.UniInstrB(u"3000000000", Nihon, u"a"); }) },
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.raised, row.number) << row.what;
    }
}

} // namespace
