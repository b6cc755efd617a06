#include "support/ErrObject.h"

#include <array>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

struct StandardText
{
    std::int32_t number;
    const char *text;
};

// The run time's own Japanese wording for the numbers the program can meet.
constexpr std::array<StandardText, 22> StandardTexts = { {
    { 5, "プロシージャの呼び出し、または引数が不正です。" },
    { 6, "オーバーフローしました。" },
    { 7, "メモリが不足しています。" },
    { 9, "インデックスが有効範囲にありません。" },
    { 11, "0 で除算しました。" },
    { 13, "型が一致しません。" },
    { 52, "ファイル名または番号が不正です。" },
    { 53, "ファイルが見つかりません。" },
    { 54, "ファイル モードが不正です。" },
    { 55, "ファイルは既に開かれています。" },
    { 57, "デバイス I/O エラーです。" },
    { 58, "既に同名のファイルが存在しています。" },
    { 61, "ディスクの空き容量が不足しています。" },
    { 62, "ファイルにこれ以上データがありません。" },
    { 68, "デバイスが準備されていません。" },
    { 70, "書き込みできません。" },
    { 71, "ディスクが準備されていません。" },
    { 75, "パス名が無効です。" },
    { 76, "パスが見つかりません。" },
    { 91, "オブジェクト変数または With ブロック変数が設定されていません。" },
    { 380, "プロパティの値が不正です。" },
    { 481, "ピクチャが不正です。" },
} };

constexpr const char *ApplicationDefinedText =
    "アプリケーション定義またはオブジェクト定義のエラーです。";

} // namespace

RuntimeError::RuntimeError(std::int32_t number, std::string source, std::string description)
    : number_(number),
      source_(std::move(source)),
      description_(description.empty() ? gErrorText(number) : std::move(description))
{ }

void ErrObject::Clear()
{
    *this = ErrObject {};
}

void ErrObject::Raise(std::int32_t number, std::string source, std::string description)
{
    throw RuntimeError(number, std::move(source), std::move(description));
}

ErrObject &Err()
{
    static ErrObject pending;
    return pending;
}

std::string gErrorText(std::int32_t number)
{
    if (number == 0) {
        return {};
    }
    for (const auto &entry : StandardTexts) {
        if (entry.number == number) {
            return entry.text;
        }
    }
    return ApplicationDefinedText;
}

void gCaptureCurrentError()
{
    auto set = [](std::int32_t number, std::string source, std::string description) {
        ErrObject &err = Err();
        err.Number = number;
        err.Source = std::move(source);
        err.Description = description.empty() ? gErrorText(number) : std::move(description);
    };
    try {
        throw;
    } catch (const RuntimeError &e) {
        set(e.number(), e.source(), e.description());
    } catch (const ErrHandlerJump &jump) {
        // A logical failure: the pending error stays as the procedure left it;
        // a cause it knows goes with it into the report.
        if (jump.Cause.Number != 0) {
            Err().Cause = jump.Cause;
        }
    } catch (const std::bad_alloc &) {
        set(vberr::OutOfMemory, {}, {});
    } catch (const std::out_of_range &) {
        set(vberr::SubscriptOutOfRange, {}, {});
    } catch (const std::overflow_error &) {
        set(vberr::Overflow, {}, {});
    } catch (...) {
        set(vberr::InvalidProcedureCall, {}, {});
    }
}
