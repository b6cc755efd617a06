#pragma once
// Stand-ins for the file-encryption class's two services: real files seen
// through a recorder, and a scripted provider that fails where a test says.

#include "platform/crypto.h"
#include "platform/file_stream.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fakes {

/// The real files, with every handle counted and clean-up steps logged; the
/// step named @c failStep fails: "write" and "moveNew" before their real work,
/// "flush" and "close" after it.
class WatchedFiles final : public platform::FileStreams
{
public:
    std::vector<std::string> *log = nullptr;
    int openHandles = 0;
    std::string failStep;
    std::function<void(std::string_view)> afterListed;

    bool listed(std::string_view path) override
    {
        bool result = real_.listed(path);
        if (afterListed) {
            afterListed(path);
        }
        return result;
    }
    platform::FileStreamHandle openRead(std::string_view path) override
    {
        return count(real_.openRead(path));
    }
    platform::FileStreamHandle createTemporary(
        std::string_view finalPath, std::string &temporaryPath) override
    {
        return count(real_.createTemporary(finalPath, temporaryPath));
    }
    bool moveNew(std::string_view from, std::string_view to) override
    {
        return failStep != "moveNew" && real_.moveNew(from, to);
    }
    bool read(platform::FileStreamHandle handle, std::uint8_t *data, std::uint32_t size,
        std::uint32_t &done) override
    {
        return real_.read(handle, data, size, done);
    }
    bool write(
        platform::FileStreamHandle handle, const std::uint8_t *data, std::uint32_t size) override
    {
        return failStep != "write" && real_.write(handle, data, size);
    }
    bool flush(platform::FileStreamHandle handle) override
    {
        return real_.flush(handle) && failStep != "flush";
    }
    bool size(platform::FileStreamHandle handle, std::uint64_t &bytes) override
    {
        return real_.size(handle, bytes);
    }
    bool close(platform::FileStreamHandle handle) override
    {
        note("close");
        --openHandles;
        return real_.close(handle) && failStep != "close";
    }
    bool remove(std::string_view path) override
    {
        note("remove");
        return real_.remove(path);
    }

private:
    platform::FileStreamHandle count(platform::FileStreamHandle handle)
    {
        if (handle != platform::InvalidFileStream) {
            ++openHandles;
        }
        return handle;
    }
    void note(const char *what)
    {
        if (log) {
            log->push_back(what);
        }
    }
    platform::FileStreams &real_ = platform::Seam<platform::FileStreams>::defaultInstance();
    platform::ScopedSeam<platform::FileStreams> guard_ { *this };
};

/// Every call succeeds with made-up handles (RC4 does nothing) except the
/// @c failCall -th call named @c failName; calls are logged by name.
class ScriptedCrypto final : public platform::Crypto
{
public:
    std::vector<std::string> *log = nullptr;
    std::string failName;
    int failCall = 1;
    std::uint32_t blobLength = 12;

    bool acquireContext(platform::CryptHandle &prov, const char *, const char *, std::uint32_t,
        std::uint32_t) override
    {
        return step("acquireContext", prov);
    }
    bool releaseContext(platform::CryptHandle) override { return call("releaseContext"); }
    bool createHash(platform::CryptHandle, std::uint32_t, platform::CryptHandle &hash) override
    {
        return step("createHash", hash);
    }
    bool hashData(platform::CryptHandle, const std::uint8_t *, std::uint32_t) override
    {
        return call("hashData");
    }
    bool destroyHash(platform::CryptHandle) override { return call("destroyHash"); }
    bool deriveKey(platform::CryptHandle, std::uint32_t, platform::CryptHandle, std::uint32_t,
        platform::CryptHandle &key) override
    {
        return step("deriveKey", key);
    }
    bool genKey(
        platform::CryptHandle, std::uint32_t, std::uint32_t, platform::CryptHandle &key) override
    {
        return step("genKey", key);
    }
    bool getUserKey(platform::CryptHandle, std::uint32_t, platform::CryptHandle &key) override
    {
        return step("getUserKey", key);
    }
    bool exportKey(platform::CryptHandle, platform::CryptHandle, std::uint32_t, std::uint32_t,
        std::uint8_t *data, std::uint32_t &length) override
    {
        if (!call("exportKey")) {
            return false;
        }
        if (data) {
            std::fill(data, data + blobLength, std::uint8_t(0xB1));
        }
        length = blobLength;
        return true;
    }
    bool importKey(platform::CryptHandle, const std::uint8_t *, std::uint32_t,
        platform::CryptHandle, std::uint32_t, platform::CryptHandle &key) override
    {
        return step("importKey", key);
    }
    bool destroyKey(platform::CryptHandle) override { return call("destroyKey"); }
    bool encrypt(
        platform::CryptHandle, bool, std::uint8_t *, std::uint32_t &, std::uint32_t) override
    {
        return call("encrypt");
    }
    bool decrypt(platform::CryptHandle, bool, std::uint8_t *, std::uint32_t &) override
    {
        return call("decrypt");
    }
    std::uint32_t lastError() const override { return platform::NteFail; }

private:
    bool call(const std::string &name)
    {
        if (log) {
            log->push_back(name);
        }
        return !(name == failName && ++calls_[name] == failCall);
    }
    bool step(const std::string &name, platform::CryptHandle &handle)
    {
        if (!call(name)) {
            return false;
        }
        handle = ++next_;
        return true;
    }
    std::map<std::string, int> calls_;
    platform::CryptHandle next_ = 100;
    platform::ScopedSeam<platform::Crypto> guard_ { *this };
};

} // namespace fakes
