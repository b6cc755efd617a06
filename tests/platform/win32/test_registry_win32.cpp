#include "platform/registry.h"

#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

using platform::registry;
using platform::RegistryRoot;

// Query value, set value, create subkey, enumerate subkeys, notify, create link.
constexpr std::uint32_t Mask63 = 63;

// A key of our own under HKEY_CURRENT_USER with values of every kind.
class RegistryValues : public ::testing::Test
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
        setDword("One", 1);
        setDword("AllBits", 0xFFFFFFFFu);
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
    void setDword(const char *name, DWORD value)
    {
        ::RegSetValueExA(
            key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    }

    platform::RegistryKey openOwn()
    {
        auto key = registry().open(RegistryRoot::CurrentUser, subkey_, Mask63);
        EXPECT_TRUE(key.has_value());
        return key.value_or(0);
    }

    std::string subkey_;
    HKEY key_ = nullptr;
};

struct StringCase
{
    const char *name;
    const char *valueName;
    std::uint32_t bufferChars;
    std::optional<std::string> expected;
};

class RegistryString : public RegistryValues, public ::testing::WithParamInterface<StringCase>
{ };

TEST_P(RegistryString, ReadsTextValuesIntoTheBuffer)
{
    auto key = openOwn();
    EXPECT_EQ(registry().queryString(key, GetParam().valueName, GetParam().bufferChars),
        GetParam().expected);
    registry().close(key);
}

INSTANTIATE_TEST_SUITE_P(Values, RegistryString,
    ::testing::Values(StringCase { "text", "Text", 256, "1.2.3" },
        StringCase { "spacesAsStored", "Spaces", 256, "   " },
        StringCase { "expandableUnexpanded", "Expand", 256, "%SystemRoot%" },
        StringCase { "japanese", "Japanese", 256, "ポート" },
        StringCase { "fillsTheBufferExactly", "Fits", 256, std::string(255, 'y') },
        StringCase { "longerThanTheBuffer", "Long", 256, std::nullopt },
        StringCase { "missing", "NoSuchValue", 256, std::nullopt },
        StringCase { "numberIsNotText", "One", 256, std::nullopt },
        StringCase { "binaryIsNotText", "Binary", 256, std::nullopt }),
    [](const auto &info) { return info.param.name; });

struct DwordCase
{
    const char *name;
    const char *valueName;
    std::optional<std::int32_t> expected;
};

class RegistryDword : public RegistryValues, public ::testing::WithParamInterface<DwordCase>
{ };

TEST_P(RegistryDword, ReadsNumberValues)
{
    auto key = openOwn();
    EXPECT_EQ(registry().queryDword(key, GetParam().valueName), GetParam().expected);
    registry().close(key);
}

INSTANTIATE_TEST_SUITE_P(Values, RegistryDword,
    ::testing::Values(DwordCase { "one", "One", 1 },
        DwordCase { "allBitsIsMinusOne", "AllBits", -1 },
        DwordCase { "textIsNotANumber", "Text", std::nullopt },
        DwordCase { "fourBinaryBytes", "Binary", std::nullopt },
        DwordCase { "missing", "NoSuchValue", std::nullopt }),
    [](const auto &info) { return info.param.name; });

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
