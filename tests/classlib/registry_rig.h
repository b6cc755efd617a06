#pragma once
// A registry for clsRegEdit's tests: on Linux a store of its own in a temporary
// folder (installed as the registry service), on Windows the real registry under
// a key of the test's own below HKEY_CURRENT_USER, removed afterwards.

#include "classlib/clsRegEdit.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/linux/registry_store.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>
#endif

class RegistryRig : public ::testing::Test
{
protected:
#ifdef _WIN32
    void SetUp() override
    {
        base = "Software\\PORTPROBE classlib tests " + std::to_string(::GetCurrentProcessId());
    }
    void TearDown() override
    {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str());
    }
#else
    void SetUp() override
    {
        std::string dir = (std::filesystem::temp_directory_path() / "pp-registry-XXXXXX").string();
        ASSERT_NE(::mkdtemp(dir.data()), nullptr);
        folder = dir;
        options.currentUserFile = folder + "/user/current-user.db";
        options.localMachineFile = folder + "/machine/local-machine.db";
        options.stuckAfterMs = 200; // a lock that stands still fails soon
        store = std::make_unique<platform::RegistryStore>(options);
        seam = std::make_unique<platform::ScopedSeam<platform::Registry>>(*store);
        base = "Software\\PORTPROBE classlib tests";
    }
    void TearDown() override
    {
        seam.reset();
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    std::string folder;
    platform::RegistryStoreOptions options;
    std::unique_ptr<platform::RegistryStore> store;
    std::unique_ptr<platform::ScopedSeam<platform::Registry>> seam;
#endif

    /// A clsRegEdit on the current user's root at the test's key (plus @p below).
    clsRegEdit at(const std::string &below = {}) const
    {
        clsRegEdit reg;
        reg.RegKey(clsRegEdit::CurrentUser);
        reg.SubKey(below.empty() ? base : base + "\\" + below);
        return reg;
    }

    std::string base;
};
