#include "common/platform_fakes.h"
#include "support/QuillFunc_Char.h"
#include "support/QuillFunc_Common.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <fstream>

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
        std::string line;
        int n = 0;
        while (std::getline(in, line)) {
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

struct BitsToNumber
{
    const char *bits;
    bool ok;
    std::int32_t value;
};

void PrintTo(const BitsToNumber &p, std::ostream *out)
{
    auto &os = *out;
    os << '"' << p.bits << '"';
}

class Trans2To10 : public ::testing::TestWithParam<BitsToNumber>
{ };

TEST_P(Trans2To10, ConvertsValidStringsAndRejectsOthers)
{
    std::int32_t value = 12345;
    EXPECT_EQ(gProcTrans2To10(GetParam().bits, value), GetParam().ok);
    EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Table, Trans2To10,
    ::testing::Values(BitsToNumber { "", false, -1 }, BitsToNumber { "   ", false, -1 },
        BitsToNumber { "10a1", false, -1 }, BitsToNumber { "0000", true, 0 },
        BitsToNumber { "1111", true, 15 }, BitsToNumber { " 101", true, 5 },
        BitsToNumber { " 1010 ", true, 10 }, BitsToNumber { "0100", true, 4 },
        BitsToNumber { "1 1", false, -1 }, BitsToNumber { "１", false, -1 },
        BitsToNumber { "1111111111111111111111111111111", true, 2147483647 },
        BitsToNumber { "01111111111111111111111111111111", true, 2147483647 }));

TEST(Trans2To10Overflow, ThirtyTwoPositionsStartingWithOneAreReported)
{
    Reports reports;
    std::int32_t value = 77;
    EXPECT_FALSE(gProcTrans2To10("10000000000000000000000000000000", value));
    EXPECT_EQ(value, 77);
    EXPECT_EQ(reports.count("gProcTrans2To10"), 1);
}

struct NumberToBits
{
    std::int32_t value;
    const char *bits;
};

void PrintTo(const NumberToBits &p, std::ostream *out)
{
    auto &os = *out;
    os << p.value;
}

class Trans10To2 : public ::testing::TestWithParam<NumberToBits>
{ };

TEST_P(Trans10To2, WritesBitsWithoutLeadingZeros)
{
    std::string bits = "unchanged";
    EXPECT_TRUE(gProcTrans10To2(GetParam().value, bits));
    EXPECT_EQ(bits, GetParam().bits);
}

INSTANTIATE_TEST_SUITE_P(Table, Trans10To2,
    ::testing::Values(NumberToBits { 0, "0" }, NumberToBits { 1, "1" }, NumberToBits { 2, "10" },
        NumberToBits { 5, "101" }, NumberToBits { 8, "1000" }, NumberToBits { 255, "11111111" },
        NumberToBits { -3, "-3" }, NumberToBits { 2147483647, "1111111111111111111111111111111" }));

TEST(GetBeki2, HighestPowerNotAbove)
{
    const std::pair<std::int32_t, std::int32_t> table[] = {
        { -5, 0 },
        { 0, 0 },
        { 1, 0 },
        { 2, 1 },
        { 3, 1 },
        { 255, 7 },
        { 256, 8 },
        { 2147483647, 30 },
    };
    for (auto [value, expected] : table) {
        std::int32_t exponent = -99;
        mGetBeki2(value, exponent);
        EXPECT_EQ(exponent, expected) << value;
    }
}

TEST(GetSpaceString1, PadsByCodePageBytes)
{
    struct Row
    {
        const char *text;
        std::int32_t width;
        const char *fill;
        std::int32_t mode;
        const char *expected;
    };
    const Row table[] = {
        { "5", 3, "0", 1, "005" },
        { "5", 3, "0", 2, "500" },
        { "5", 3, "0", 3, "5" },
        { "1234", 3, "0", 1, "1234" },
        { "5", 3, "00", 1, "5" },
        { "5", 3, "", 1, "5" },
        { "5", 3, "あ", 1, "5" },
        { "あ", 3, "0", 1, "0あ" },
        { "101", 8, "0", 1, "00000101" },
        { "5", -1, "0", 1, "5" },
        { "", 2, " ", 2, "  " },
        { "A", 2, "0", 1, "0A" },
    };
    for (const auto &row : table) {
        EXPECT_EQ(gGetSpaceString1(row.text, row.width, row.fill, row.mode), row.expected)
            << row.text << " " << row.width << " " << row.fill << " " << row.mode;
    }
}

struct Rounding
{
    double value;
    std::int32_t digits;
    std::int32_t mode;
    double expected;
};

void PrintTo(const Rounding &p, std::ostream *out)
{
    auto &os = *out;
    os << p.value << " digits " << p.digits << " mode " << p.mode;
}

class RoundOff : public ::testing::TestWithParam<Rounding>
{ };

TEST_P(RoundOff, ModesAsDocumented)
{
    EXPECT_DOUBLE_EQ(
        gROUNDOFF(GetParam().value, GetParam().digits, GetParam().mode), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, RoundOff,
    ::testing::Values(Rounding { 2.5, 0, 0, 2 }, Rounding { 2.5, 0, 1, 3 },
        Rounding { 2.5, 0, 2, 3 }, Rounding { -2.5, 0, 1, -3 }, Rounding { -2.5, 0, 0, -2 },
        Rounding { 1.23, 1, 2, 1.3 }, Rounding { 3, 0, 2, 3 }, Rounding { 1000.5, 0, 0, 1000 },
        Rounding { -2.5, 0, 2, -2 }, Rounding { 1234, -2, 0, 1200 }, Rounding { 2.4, 0, 1, 2 }));

TEST(RoundOffFailures, BadModeOrTextReportsAndGivesZero)
{
    Reports reports;
    EXPECT_EQ(gROUNDOFF(2.5, 0, 3), 0.0);
    EXPECT_EQ(gROUNDOFF("abc", 0, 0), 0.0);
    EXPECT_EQ(gROUNDOFF(std::nan(""), 0, 0), 0.0);
    EXPECT_EQ(reports.count("gROUNDOFF"), 3);
    EXPECT_EQ(gROUNDOFF(" 1500.0 ", 0, 0), 1500.0);
}

struct NumericText
{
    const char *text;
    std::optional<double> value;
};

void PrintTo(const NumericText &p, std::ostream *out)
{
    auto &os = *out;
    os << '"' << p.text << '"';
}

class ParseNumeric : public ::testing::TestWithParam<NumericText>
{ };

TEST_P(ParseNumeric, ReadsTextsAsTheRunTimeDoes)
{
    const auto parsed = gParseNumericText(GetParam().text);
    ASSERT_EQ(parsed.has_value(), GetParam().value.has_value()) << GetParam().text;
    if (parsed) {
        EXPECT_DOUBLE_EQ(*parsed, *GetParam().value) << GetParam().text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ParseNumeric,
    ::testing::Values(NumericText { "1000", 1000 }, NumericText { " 1500.0 ", 1500 },
        NumericText { "1e3", 1000 }, NumericText { "1E+03", 1000 }, NumericText { "-5", -5 },
        NumericText { "5-", -5 }, NumericText { "- 5", -5 }, NumericText { "+7", 7 },
        NumericText { "(12)", -12 }, NumericText { "1,000", 1000 }, NumericText { "1.", 1 },
        NumericText { ".5", 0.5 }, NumericText { "\t42\t", 42 }, NumericText { "&HFFFF", -1 },
        NumericText { "&h10", 16 }, NumericText { "&H10000", 65536 }, NumericText { "&O17", 15 },
        NumericText { "１２３４５", 12345 }, NumericText { "\\1,500", 1500 },
        NumericText { "abc", std::nullopt }, NumericText { "", std::nullopt },
        NumericText { "   ", std::nullopt }, NumericText { "1.1.", std::nullopt },
        NumericText { "-5-", std::nullopt }, NumericText { "1e", std::nullopt },
        NumericText { "0x10", std::nullopt }, NumericText { "FE", std::nullopt },
        NumericText { "1%", std::nullopt }, NumericText { "()", std::nullopt },
        NumericText { "1e400", std::nullopt }, NumericText { "&H", std::nullopt },
        NumericText { "&HFFFFFFFFF", std::nullopt }, NumericText { "1 2", std::nullopt },
        NumericText { "99999999999999999999", 1e20 }));

} // namespace
