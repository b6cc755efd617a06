#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

// One text in UTF-8 and in the ANSI code page, and the directions it converts in.
struct Conversion
{
    const char *name;
    std::string utf8;
    std::string ansi;
    bool toAnsi;
    bool fromAnsi;
};

void PrintTo(const Conversion &c, std::ostream *os)
{
    *os << c.name;
}

// The program's texts are Japanese: the Windows tests run with code page 932
// (CI starts Wine with a Japanese locale).
class CodePage932 : public ::testing::TestWithParam<Conversion>
{
protected:
    void SetUp() override
    {
        if (::GetACP() != 932) {
            GTEST_SKIP() << "needs the Japanese ANSI code page, this system has " << ::GetACP();
        }
    }
};

TEST_P(CodePage932, ConvertsBetweenUtf8AndShiftJis)
{
    const Conversion &c = GetParam();
    if (c.toAnsi) {
        EXPECT_EQ(platform::toAnsi(c.utf8), c.ansi);
        EXPECT_EQ(platform::ansiByteLength(c.utf8), static_cast<std::int32_t>(c.ansi.size()));
    }
    if (c.fromAnsi) {
        EXPECT_EQ(platform::fromAnsi(c.ansi), c.utf8);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, CodePage932,
    ::testing::Values(Conversion { "ascii", "ABC 123", "ABC 123", true, true },
        Conversion { "hiragana", "あ", "\x82\xA0", true, true },
        Conversion { "halfWidthKatakana", "ｴﾗｰ", "\xB4\xD7\xB0", true, true },
        Conversion { "fullWidthColon", "エラー番号：",
            "\x83\x47\x83\x89\x81\x5B\x94\xD4\x8D\x86\x81\x46", true, true },
        Conversion { "mixed", "a漢b", "a\x8A\xBF\x62", true, true },
        Conversion { "emojiIsOneQuestionMark", "x😀y", "x?y", true, false },
        Conversion { "brokenUtf8", "a\xFF\x62", "a?b", true, false },
        Conversion { "cutLeadByteAtEnd", "A\xEF\xBF\xBD", "A\x82", false, true },
        Conversion { "leadByteBeforeUndefinedPair", "\xEF\xBF\xBD\x41", "\x82\x41", false, true }),
    [](const auto &info) { return info.param.name; });

TEST(CodePage, AsciiPassesUnchangedWhateverTheCodePage)
{
    const std::string ascii = "C:\\Temp\\PORTPROBE_ErrLog.txt";
    EXPECT_EQ(platform::toAnsi(ascii), ascii);
    EXPECT_EQ(platform::fromAnsi(ascii), ascii);
    EXPECT_EQ(platform::toAnsi(""), "");
    EXPECT_EQ(platform::fromAnsi(""), "");
}

} // namespace
