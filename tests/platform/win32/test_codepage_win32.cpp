#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

// The program's texts are Japanese: the Windows tests run with code page 932
// (CI starts Wine with a Japanese locale).
class CodePage932 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::GetACP() != 932) {
            GTEST_SKIP() << "needs the Japanese ANSI code page, this system has " << ::GetACP();
        }
    }
};

struct Conversion
{
    const char *name;
    std::string utf8;
    std::string ansi;
};

class ToAnsi932 : public CodePage932, public ::testing::WithParamInterface<Conversion>
{ };

TEST_P(ToAnsi932, ConvertsToShiftJisBytes)
{
    EXPECT_EQ(platform::toAnsi(GetParam().utf8), GetParam().ansi);
    EXPECT_EQ(platform::ansiByteLength(GetParam().utf8),
        static_cast<std::int32_t>(GetParam().ansi.size()));
}

INSTANTIATE_TEST_SUITE_P(Texts, ToAnsi932,
    ::testing::Values(Conversion { "ascii", "ABC 123", "ABC 123" },
        Conversion { "hiragana", "あ", "\x82\xA0" },
        Conversion { "halfWidthKatakana", "ｴﾗｰ", "\xB4\xD7\xB0" },
        Conversion {
            "fullWidthColon", "エラー番号：", "\x83\x47\x83\x89\x81\x5B\x94\xD4\x8D\x86\x81\x46" },
        Conversion { "mixed", "a漢b",
            "a\x8A\xBF"
            "b" },
        Conversion { "emojiIsOneQuestionMark", "x😀y", "x?y" },
        Conversion { "brokenUtf8",
            "a\xFF"
            "b",
            "a?b" }),
    [](const auto &info) { return info.param.name; });

TEST_F(CodePage932, RoundTripsTheProgramsTexts)
{
    for (const char *text : { "アプリケーション名：", "管理者に問い合わせて下さい｡", "ｴﾗｰ",
             "発生日時：2010/02/01 09:05:03", "\tSubVersion：" }) {
        EXPECT_EQ(platform::fromAnsi(platform::toAnsi(text)), text);
    }
}

struct Decoding
{
    const char *name;
    std::string ansi;
    std::string utf8;
};

class FromAnsi932 : public CodePage932, public ::testing::WithParamInterface<Decoding>
{ };

TEST_P(FromAnsi932, DecodesAndMarksWhatDoesNotDecode)
{
    EXPECT_EQ(platform::fromAnsi(GetParam().ansi), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Bytes, FromAnsi932,
    ::testing::Values(Decoding { "doubleByte", "\x82\xA0", "あ" },
        Decoding { "cutLeadByteAtEnd", "A\x82", "A\xEF\xBF\xBD" },
        Decoding { "leadByteBeforeUndefinedPair",
            "\x82"
            "A",
            "\xEF\xBF\xBD"
            "A" },
        Decoding { "halfWidthKatakana", "\xB4\xD7\xB0", "ｴﾗｰ" }),
    [](const auto &info) { return info.param.name; });

TEST(CodePage, AsciiPassesUnchangedWhateverTheCodePage)
{
    std::string ascii = "C:\\Temp\\PORTPROBE_ErrLog.txt";
    EXPECT_EQ(platform::toAnsi(ascii), ascii);
    EXPECT_EQ(platform::fromAnsi(ascii), ascii);
    EXPECT_EQ(platform::toAnsi(""), "");
    EXPECT_EQ(platform::fromAnsi(""), "");
}

} // namespace
