#include "common/platform_fakes.h"
#include "support/QuillFunc_Char.h"
#include "support/QuillFunc_Common.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

// Routes reports into a folder of the test's own and counts them by name.
class Reports
{
public:
    Reports()
    {
        gbooHideErrMsg = true;
        env_.variables["TEMP"] = dir_.str();
    }
    ~Reports() { gbooHideErrMsg = false; }
    int count(const std::string &procName) const
    {
        std::ifstream in(dir_.path() / "PORTPROBE_ErrLog.txt", std::ios::binary);
        int n = 0;
        for (std::string line; std::getline(in, line);) {
            n += line.rfind(procName + " (", 0) == 0;
        }
        return n;
    }

private:
    fakes::TempDir dir_;
    fakes::FakeEnvironment env_;
    fakes::FakeVersion version_;
    fakes::FakeRegistry registry_;
};

TEST(Trans2To10, ConvertsValidStringsAndRejectsOthers)
{
    const std::tuple<const char *, bool, std::int32_t> cases[] = { { "", false, -1 },
        { "   ", false, -1 }, { "10a1", false, -1 }, { "0000", true, 0 }, { "1111", true, 15 },
        { " 101", true, 5 }, { " 1010 ", true, 10 }, { "0100", true, 4 }, { "1 1", false, -1 },
        { "１", false, -1 }, { "1111111111111111111111111111111", true, 2147483647 },
        { "01111111111111111111111111111111", true, 2147483647 } };
    for (auto [bits, ok, expected] : cases) {
        std::int32_t value = 12345;
        EXPECT_EQ(gProcTrans2To10(bits, value), ok) << '"' << bits << '"';
        EXPECT_EQ(value, expected) << '"' << bits << '"';
    }
}

TEST(ReadHexId, ReadsHexDigitsUpToThirtyTwoBits)
{
    const std::pair<std::u16string_view, std::optional<std::int32_t>> cases[] = {
        { u"1352", 0x1352 },
        { u"100", 0x100 },
        { u"0", 0 },
        { u"ffff", 0xFFFF },
        { u"aBcD", 0xABCD },
        { u"00000000000001", 1 },
        { u"7FFFFFFF", 0x7FFFFFFF },
        { u"80000000", std::numeric_limits<std::int32_t>::min() },
        { u"FFFFFFFF", -1 },
        { u"100000000", std::nullopt },
        { u"", std::nullopt },
        { u" 1", std::nullopt },
        { u"1 ", std::nullopt },
        { u"&H10", std::nullopt },
        { u"0x10", std::nullopt },
        { u"-1", std::nullopt },
        { u"G", std::nullopt },
        { u"１", std::nullopt },
        { u"Ａ", std::nullopt },
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        EXPECT_EQ(gReadHexId(cases[row].first), cases[row].second) << "row " << row;
        // The ASCII rows again as bytes from a file.
        std::string bytes;
        for (const char16_t u : cases[row].first) {
            bytes += u < 0x80 ? static_cast<char>(u) : '\0';
        }
        if (bytes.find('\0') == std::string::npos) {
            EXPECT_EQ(gReadHexId(bytes), cases[row].second) << "row " << row;
        }
    }
    // UTF-8 that is no digit: full-width 1 and A, a stray byte, an overlong "A".
    for (const std::string_view bytes : { "\xEF\xBC\x91", "\xEF\xBC\xA1", "1\xFF", "\xC1\x81" }) {
        EXPECT_EQ(gReadHexId(bytes), std::nullopt) << bytes;
    }
}

TEST(Trans2To10, ThirtyTwoPositionsStartingWithOneAreReported)
{
    Reports reports;
    std::int32_t value = 77;
    EXPECT_FALSE(gProcTrans2To10("10000000000000000000000000000000", value));
    EXPECT_EQ(value, 77);
    EXPECT_EQ(reports.count("gProcTrans2To10"), 1);
}

TEST(Trans10To2, WritesBitsWithoutLeadingZeros)
{
    const std::pair<std::int32_t, const char *> cases[] = { { 0, "0" }, { 1, "1" }, { 2, "10" },
        { 5, "101" }, { 8, "1000" }, { 255, "11111111" }, { -3, "-3" },
        { 2147483647, "1111111111111111111111111111111" } };
    for (auto [value, expected] : cases) {
        std::string bits = "unchanged";
        EXPECT_TRUE(gProcTrans10To2(value, bits));
        EXPECT_EQ(bits, expected) << value;
    }
}

TEST(GetBeki2, HighestPowerNotAbove)
{
    const std::pair<std::int32_t, std::int32_t> cases[] = { { -5, 0 }, { 0, 0 }, { 1, 0 }, { 2, 1 },
        { 3, 1 }, { 255, 7 }, { 256, 8 }, { 2147483647, 30 } };
    for (auto [value, expected] : cases) {
        std::int32_t exponent = -99;
        mGetBeki2(value, exponent);
        EXPECT_EQ(exponent, expected) << value;
    }
}

TEST(GetSpaceString1, PadsByCodePageBytes)
{
    // text, width, fill, mode, expected
    const std::tuple<const char *, std::int32_t, const char *, std::int32_t, const char *>
        cases[] = { { "5", 3, "0", 1, "005" }, { "5", 3, "0", 2, "500" }, { "5", 3, "0", 3, "5" },
            { "1234", 3, "0", 1, "1234" }, { "5", 3, "00", 1, "5" }, { "5", 3, "", 1, "5" },
            { "5", 3, "あ", 1, "5" }, { "あ", 3, "0", 1, "0あ" }, { "101", 8, "0", 1, "00000101" },
            { "5", -1, "0", 1, "5" }, { "", 2, " ", 2, "  " }, { "A", 2, "0", 1, "0A" },
            // One code-page byte, several UTF-8 bytes: the whole character repeats.
            { "5", 3, "ｱ", 1, "ｱｱ5" }, { "5", 3, "😀", 2, "5😀😀" } };
    for (auto [text, width, fill, mode, expected] : cases) {
        EXPECT_EQ(gGetSpaceString1(text, width, fill, mode), expected)
            << text << " " << width << " " << fill << " " << mode;
    }
}

TEST(RoundOff, ModesAsDocumented)
{
    // value, digits, mode, expected
    const std::tuple<double, std::int32_t, std::int32_t, double> cases[] = { { 2.5, 0, 0, 2 },
        { 2.5, 0, 1, 3 }, { 2.5, 0, 2, 3 }, { -2.5, 0, 1, -3 }, { -2.5, 0, 0, -2 },
        { 1.23, 1, 2, 1.3 }, { 3, 0, 2, 3 }, { 1000.5, 0, 0, 1000 }, { -2.5, 0, 2, -2 },
        { 1234, -2, 0, 1200 }, { 2.4, 0, 1, 2 } };
    for (auto [value, digits, mode, expected] : cases) {
        EXPECT_DOUBLE_EQ(gROUNDOFF(value, digits, mode), expected)
            << value << " digits " << digits << " mode " << mode;
    }
}

TEST(RoundOff, BadModeOrTextReportsAndGivesZero)
{
    Reports reports;
    EXPECT_EQ(gROUNDOFF(2.5, 0, 3), 0.0);
    EXPECT_EQ(gROUNDOFF("abc", 0, 0), 0.0);
    EXPECT_EQ(gROUNDOFF(std::nan(""), 0, 0), 0.0);
    EXPECT_EQ(reports.count("gROUNDOFF"), 3);
    EXPECT_EQ(gROUNDOFF(" 1500.0 ", 0, 0), 1500.0);
}

TEST(ParseNumeric, ReadsTextsAsTheRunTimeDoes)
{
    const std::pair<const char *, double> numbers[] = { { "1000", 1000 }, { " 1500.0 ", 1500 },
        { "1e3", 1000 }, { "1E+03", 1000 }, { "-5", -5 }, { "5-", -5 }, { "- 5", -5 }, { "+7", 7 },
        { "(12)", -12 }, { "1,000", 1000 }, { "1.", 1 }, { ".5", 0.5 }, { "\t42\t", 42 },
        { "&HFFFF", -1 }, { "&h10", 16 }, { "&H10000", 65536 }, { "&O17", 15 },
        { "１２３４５", 12345 }, { "\\1,500", 1500 }, { "99999999999999999999", 1e20 } };
    for (auto [text, expected] : numbers) {
        EXPECT_DOUBLE_EQ(gParseNumericText(text).value_or(std::nan("")), expected)
            << '"' << text << '"';
    }
    for (const char *text : { "abc", "", "   ", "1.1.", "-5-", "1e", "0x10", "FE", "1%", "()",
             "1e400", "&H", "&HFFFFFFFFF", "1 2" }) {
        EXPECT_FALSE(gParseNumericText(text).has_value()) << '"' << text << '"';
    }
}

} // namespace
