#include "platform/registry.h"

#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

using platform::registry;
using platform::RegistryRoot;

// Query value, set value, create subkey, enumerate subkeys, notify, create link.
constexpr std::uint32_t Mask63 = 63;

// What a value of our own key reads as text (256-character buffer) and as a number.
struct ValueCase
{
    const char *valueName;
    std::optional<std::string> text;
    std::optional<std::int32_t> number;
};

void PrintTo(const ValueCase &c, std::ostream *os)
{
    *os << c.valueName;
}

class RegistryValue : public ::testing::TestWithParam<ValueCase>
{
protected:
    void SetUp() override
    {
        subkey_ = "Software\\PORTPROBE tests " + std::to_string(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key_, nullptr),
            ERROR_SUCCESS);
        setString("Text", REG_SZ, "1.2.3");
        setString("Spaces", REG_SZ, "   ");
        setString("Expand", REG_EXPAND_SZ, "%SystemRoot%");
        setString("Japanese", REG_SZ, platform::toAnsi("ポート"));
        setString("Long", REG_SZ, std::string(300, 'x'));
        setString("Fits", REG_SZ, std::string(255, 'y'));
        const DWORD one = 1, allBits = 0xFFFFFFFFu;
        ::RegSetValueExA(key_, "One", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4);
        ::RegSetValueExA(
            key_, "AllBits", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&allBits), 4);
        const BYTE binary[4] = { 1, 0, 0, 0 };
        ::RegSetValueExA(key_, "Binary", 0, REG_BINARY, binary, sizeof binary);
    }
    void TearDown() override
    {
        if (key_) {
            ::RegCloseKey(key_);
        }
        ::RegDeleteKeyA(HKEY_CURRENT_USER, subkey_.c_str());
    }

    void setString(const char *name, DWORD type, const std::string &value)
    {
        ::RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE *>(value.c_str()),
            static_cast<DWORD>(value.size() + 1));
    }

    std::string subkey_;
    HKEY key_ = nullptr;
};

TEST_P(RegistryValue, ReadsOnlyTextAsTextAndOnlyNumbersAsNumbers)
{
    auto key = registry().open(RegistryRoot::CurrentUser, subkey_, Mask63);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(registry().queryString(*key, GetParam().valueName, 256), GetParam().text);
    EXPECT_EQ(registry().queryDword(*key, GetParam().valueName), GetParam().number);
    registry().close(*key);
}

INSTANTIATE_TEST_SUITE_P(Values, RegistryValue,
    ::testing::Values(ValueCase { "Text", "1.2.3", std::nullopt },
        ValueCase { "Spaces", "   ", std::nullopt },
        ValueCase { "Expand", "%SystemRoot%", std::nullopt }, // not expanded
        ValueCase { "Japanese", "ポート", std::nullopt },
        ValueCase { "Fits", std::string(255, 'y'), std::nullopt },
        ValueCase { "Long", std::nullopt, std::nullopt }, // longer than the buffer
        ValueCase { "NoSuchValue", std::nullopt, std::nullopt },
        ValueCase { "One", std::nullopt, 1 }, ValueCase { "AllBits", std::nullopt, -1 },
        ValueCase { "Binary", std::nullopt, std::nullopt }),
    [](const auto &info) { return std::string(info.param.valueName); });

TEST(RegistryKeys, MissingKeyDoesNotOpen)
{
    EXPECT_EQ(
        registry().open(RegistryRoot::LocalMachine, "SOFTWARE\\PORTPROBE no such key", Mask63),
        std::nullopt);
    EXPECT_EQ(
        registry().open(RegistryRoot::LocalMachine, std::string_view("SOFTWARE\0x", 10), Mask63),
        std::nullopt);
}

// Values every Windows (and Wine) keeps about itself.
TEST(RegistryKeys, ReadsWhatTheSystemKeepsAboutItself)
{
    auto key = registry().open(
        RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", Mask63);
    ASSERT_TRUE(key.has_value());
    auto build = registry().queryString(*key, "CurrentBuildNumber", 256);
    ASSERT_TRUE(build.has_value());
    EXPECT_FALSE(build->empty());
    EXPECT_EQ(build->find_first_not_of("0123456789"), std::string::npos) << *build;
    auto product = registry().queryString(*key, "ProductName", 256);
    ASSERT_TRUE(product.has_value());
    EXPECT_NE(product->find("Windows"), std::string::npos) << *product;
    registry().close(*key);
}

} // namespace
