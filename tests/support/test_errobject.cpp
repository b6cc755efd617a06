#include "support/ErrObject.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

TEST(ErrObject, CaptureMapsTheExceptionInFlightToItsNumber)
{
    const std::tuple<const char *, void (*)(), std::int32_t> cases[] = {
        { "raised", [] { Err().Raise(vberr::FileNotFound); }, 53 },
        { "bad_alloc", [] { throw std::bad_alloc(); }, 7 },
        { "out_of_range", [] { throw std::out_of_range("x"); }, 9 },
        { "overflow", [] { throw std::overflow_error("x"); }, 6 },
        { "other", [] { throw std::runtime_error("x"); }, 5 },
    };
    for (auto [name, thrower, number] : cases) {
        Err().Clear();
        try {
            thrower();
        } catch (...) {
            gCaptureCurrentError();
        }
        EXPECT_EQ(Err().Number, number) << name;
        EXPECT_EQ(Err().Description, gErrorText(number)) << name;
    }
    Err().Clear();
}

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
    // Raised by the program itself for a picture file it cannot load.
    EXPECT_EQ(gErrorText(481), "ピクチャが不正です。");
    EXPECT_EQ(gErrorText(12345), "アプリケーション定義またはオブジェクト定義のエラーです。");
}

} // namespace
