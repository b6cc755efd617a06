#include "support/ErrObject.h"

#include <gtest/gtest.h>

#include <ostream>

#include <new>
#include <stdexcept>

namespace {

struct Mapping
{
    const char *name;
    void (*thrower)();
    std::int32_t number;
};

void PrintTo(const Mapping &p, std::ostream *out)
{
    auto &os = *out;
    os << p.name;
}

class CaptureTest : public ::testing::TestWithParam<Mapping>
{ };

TEST_P(CaptureTest, MapsTheExceptionInFlightToItsNumber)
{
    Err().Clear();
    try {
        GetParam().thrower();
    } catch (...) {
        gCaptureCurrentError();
    }
    EXPECT_EQ(Err().Number, GetParam().number);
    EXPECT_EQ(Err().Description, gErrorText(GetParam().number));
    Err().Clear();
}

INSTANTIATE_TEST_SUITE_P(Exceptions, CaptureTest,
    ::testing::Values(Mapping { "raised", [] { Err().Raise(vberr::FileNotFound); }, 53 },
        Mapping { "bad_alloc", [] { throw std::bad_alloc(); }, 7 },
        Mapping { "out_of_range", [] { throw std::out_of_range("x"); }, 9 },
        Mapping { "overflow", [] { throw std::overflow_error("x"); }, 6 },
        Mapping { "other", [] { throw std::runtime_error("x"); }, 5 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ErrObject, RaiseKeepsAnExplicitDescriptionAndSource)
{
    try {
        Err().Raise(vberr::Overflow, "unit", "own text");
        FAIL() << "Raise returned";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), 6);
        EXPECT_EQ(e.source(), "unit");
        EXPECT_EQ(e.description(), "own text");
    }
}

TEST(ErrObject, LogicalFailureLeavesThePendingErrorAlone)
{
    Err().Clear();
    try {
        gGotoErrHandler();
    } catch (...) {
        gCaptureCurrentError();
    }
    EXPECT_EQ(Err().Number, 0);
    EXPECT_TRUE(Err().Description.empty());
}

TEST(ErrObject, StandardTexts)
{
    EXPECT_EQ(gErrorText(0), "");
    EXPECT_EQ(gErrorText(6), "オーバーフローしました。");
    EXPECT_EQ(gErrorText(13), "型が一致しません。");
    EXPECT_EQ(gErrorText(12345), "アプリケーション定義またはオブジェクト定義のエラーです。");
}

} // namespace
