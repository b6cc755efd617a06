#include "platform/runtime/runtime_error.h"

#include <array>
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
