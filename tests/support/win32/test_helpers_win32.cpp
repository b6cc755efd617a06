#include "common/win32/wine.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_File.h"
#include "support/QuillFunc_REG.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

namespace {

using platform::RegistryRoot;

// A value read straight from the system, bypassing the helpers.
std::optional<std::string> systemValue(HKEY root, const char *subkey, const char *name)
{
    char buffer[1024] = {};
    DWORD size = sizeof buffer;
    if (::RegGetValueA(root, subkey, name, RRF_RT_REG_SZ, nullptr, buffer, &size)
        != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(buffer);
}

class Helpers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gbooHideErrMsg = true;
        Err().Clear();
    }
    void TearDown() override { gbooHideErrMsg = false; }
};

TEST_F(Helpers, WinVersionNamesTheNtFamilyWithTheSystemsNumbers)
{
    std::string texts[7];
    ASSERT_TRUE(
        gGetWinVersion(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]));
    OSVERSIONINFOA record {};
    record.dwOSVersionInfoSize = sizeof record;
    ASSERT_TRUE(::GetVersionExA(&record));
    EXPECT_EQ(texts[0], "Windows NT/2000/XP");
    EXPECT_EQ(texts[1], std::to_string(record.dwMajorVersion));
    EXPECT_EQ(texts[2], std::to_string(record.dwMinorVersion));
    EXPECT_EQ(texts[3], std::to_string(record.dwBuildNumber));
    EXPECT_EQ(texts[4], record.szCSDVersion);
    const char *key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    EXPECT_EQ(
        texts[5], systemValue(HKEY_LOCAL_MACHINE, key, "SubVersionNumber").value_or("Can'tGet"));
    EXPECT_EQ(texts[6], systemValue(HKEY_LOCAL_MACHINE, key, "Version").value_or("Can'tGet"));
}

TEST_F(Helpers, IeVersionComesFromTheRegistryOrIsCantGet)
{
    std::string version, build, vector;
    ASSERT_TRUE(gGetIeVersion(version, build, vector));
    const std::string ie = "SOFTWARE\\Microsoft\\Internet Explorer";
    auto fromSystem = [](const std::string &key, const char *name) {
        return systemValue(HKEY_LOCAL_MACHINE, key.c_str(), name).value_or("Can'tGet");
    };
    EXPECT_EQ(version, fromSystem(ie, "Version"));
    EXPECT_EQ(build, fromSystem(ie, "Build"));
    EXPECT_EQ(vector, fromSystem(ie + "\\Version Vector", "IE"));
    if (runningUnderWine()) {
        // Wine registers a browser version of its own.
        EXPECT_NE(version, "Can'tGet");
    }
}

// Values of our own under HKEY_CURRENT_USER, read through gSetRegValue.
class RegValues : public Helpers
{
protected:
    void SetUp() override
    {
        Helpers::SetUp();
        subkey_ = "Software\\PORTPROBE helper tests " + std::to_string(::GetCurrentProcessId());
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        auto text = [&](const char *name, const std::string &value) {
            ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                static_cast<DWORD>(value.size() + 1));
        };
        text("Version", "6.0.2900.2180");
        text("Spaces", "    ");
        text("Long", std::string(300, 'x'));
        DWORD one = 1;
        ::RegSetValueExA(
            key, "One", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), sizeof one);
        ::RegCloseKey(key);
    }
    void TearDown() override
    {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, subkey_.c_str());
        Helpers::TearDown();
    }
    std::string subkey_;
};

TEST_F(RegValues, ReadsOrFallsBackToTheDefault)
{
    const RegValue text(std::string("Can'tGet")), number(std::int32_t { -7 });
    const std::tuple<const char *, std::int32_t, RegValue> cases[] = {
        { "Version", 1, std::string("6.0.2900.2180") }, { "Spaces", 1, std::string() },
        { "One", 4, std::int32_t { 1 } }, { "Nothing", 1, text }, { "Nothing", 4, number },
        { "Long", 1, text }
    }; // longer than the buffer
    for (const auto &[name, type, expected] : cases) {
        EXPECT_EQ(
            gSetRegValue(RegistryRoot::CurrentUser, subkey_, name, type, type == 4 ? number : text),
            expected)
            << name;
        EXPECT_EQ(Err().Number, 0) << name;
    }
    EXPECT_EQ(gSetRegValue(RegistryRoot::LocalMachine, "SOFTWARE\\PORTPROBE no such key", "Version",
                  1, text),
        text);
}

// Real environment variables and a folder with a long name.
class TempDir : public Helpers
{
protected:
    void SetUp() override
    {
        Helpers::SetUp();
        for (const char *name : { "temp", "tmp" }) {
            char value[MAX_PATH] = {};
            DWORD n = ::GetEnvironmentVariableA(name, value, MAX_PATH);
            saved_.emplace_back(
                name, n > 0 && n < MAX_PATH ? std::optional<std::string>(value) : std::nullopt);
        }
        char temp[MAX_PATH] = {};
        ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
        char longTemp[MAX_PATH] = {};
        ASSERT_GT(::GetLongPathNameA(temp, longTemp, MAX_PATH), 0u);
        folder_ = std::string(longTemp) + "PortProbe temporary folder "
            + std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(folder_.c_str(), nullptr));
        char shortName[MAX_PATH] = {};
        ASSERT_GT(::GetShortPathNameA(folder_.c_str(), shortName, MAX_PATH), 0u);
        short_ = shortName;
    }
    void TearDown() override
    {
        for (const auto &[name, value] : saved_) {
            ::SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
        }
        ::RemoveDirectoryA(folder_.c_str());
        Helpers::TearDown();
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::string folder_;
    std::string short_;
};

TEST_F(TempDir, TempThenTmpThenTheWindowsTempFolderInTheirLongForm)
{
    ::SetEnvironmentVariableA("temp", short_.c_str());
    EXPECT_EQ(gGetWinTempDir(), folder_);

    ::SetEnvironmentVariableA("temp", (folder_ + "\\gone").c_str());
    ::SetEnvironmentVariableA("tmp", short_.c_str());
    EXPECT_EQ(gGetWinTempDir(), folder_);

    ::SetEnvironmentVariableA("temp", nullptr);
    ::SetEnvironmentVariableA("tmp", "");
    char windows[MAX_PATH] = {};
    ASSERT_GT(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    char longForm[MAX_PATH] = {};
    ASSERT_GT(
        ::GetLongPathNameA((std::string(windows) + "\\Temp").c_str(), longForm, MAX_PATH), 0u);
    EXPECT_EQ(gGetWinTempDir(), longForm);
}

} // namespace
