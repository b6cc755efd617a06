#include "platform/crypto.h"

#include <windows.h>

#include <wincrypt.h>

namespace platform {
namespace {

// The advapi32 calls themselves; handles pass through unchanged.
class Win32Crypto final : public Crypto
{
public:
    bool acquireContext(CryptHandle &prov, const char *container, const char *provider,
        std::uint32_t provType, std::uint32_t flags) override
    {
        HCRYPTPROV handle = 0;
        if (!::CryptAcquireContextA(&handle, container, provider, provType, flags)) {
            return false;
        }
        prov = handle;
        return true;
    }
    bool releaseContext(CryptHandle prov) override { return ::CryptReleaseContext(prov, 0); }

    bool createHash(CryptHandle prov, std::uint32_t algId, CryptHandle &hash) override
    {
        HCRYPTHASH handle = 0;
        if (!::CryptCreateHash(prov, algId, 0, 0, &handle)) {
            return false;
        }
        hash = handle;
        return true;
    }
    bool hashData(CryptHandle hash, const std::uint8_t *data, std::uint32_t length) override
    {
        return ::CryptHashData(hash, data, length, 0);
    }
    bool destroyHash(CryptHandle hash) override { return ::CryptDestroyHash(hash); }

    bool deriveKey(CryptHandle prov, std::uint32_t algId, CryptHandle hash, std::uint32_t flags,
        CryptHandle &key) override
    {
        HCRYPTKEY handle = 0;
        if (!::CryptDeriveKey(prov, algId, hash, flags, &handle)) {
            return false;
        }
        key = handle;
        return true;
    }
    bool genKey(
        CryptHandle prov, std::uint32_t algId, std::uint32_t flags, CryptHandle &key) override
    {
        HCRYPTKEY handle = 0;
        if (!::CryptGenKey(prov, algId, flags, &handle)) {
            return false;
        }
        key = handle;
        return true;
    }
    bool getUserKey(CryptHandle prov, std::uint32_t keySpec, CryptHandle &key) override
    {
        HCRYPTKEY handle = 0;
        if (!::CryptGetUserKey(prov, keySpec, &handle)) {
            return false;
        }
        key = handle;
        return true;
    }
    bool exportKey(CryptHandle key, CryptHandle expKey, std::uint32_t blobType, std::uint32_t flags,
        std::uint8_t *data, std::uint32_t &length) override
    {
        DWORD size = length;
        BOOL ok = ::CryptExportKey(key, expKey, blobType, flags, data, &size);
        length = size;
        return ok;
    }
    bool importKey(CryptHandle prov, const std::uint8_t *data, std::uint32_t length,
        CryptHandle pubKey, std::uint32_t flags, CryptHandle &key) override
    {
        // A simple blob without an import key is unwrapped with the container's
        // key-exchange key, as Windows' providers do; Wine's wants it named.
        HCRYPTKEY exchange = 0;
        if (pubKey == 0 && data && length > 0 && data[0] == SIMPLEBLOB
            && ::CryptGetUserKey(prov, AT_KEYEXCHANGE, &exchange)) {
            pubKey = exchange;
        }
        HCRYPTKEY handle = 0;
        BOOL ok = ::CryptImportKey(prov, data, length, pubKey, flags, &handle);
        DWORD error = ::GetLastError();
        if (exchange) {
            ::CryptDestroyKey(exchange);
        }
        ::SetLastError(error);
        if (!ok) {
            return false;
        }
        key = handle;
        return true;
    }
    bool destroyKey(CryptHandle key) override { return ::CryptDestroyKey(key); }

    bool encrypt(CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length,
        std::uint32_t capacity) override
    {
        DWORD size = length;
        BOOL ok = ::CryptEncrypt(key, 0, final, 0, data, &size, capacity);
        length = size;
        return ok;
    }
    bool decrypt(CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length) override
    {
        DWORD size = length;
        BOOL ok = ::CryptDecrypt(key, 0, final, 0, data, &size);
        length = size;
        return ok;
    }

    std::uint32_t lastError() const override { return ::GetLastError(); }
};

} // namespace

template<> Crypto &Seam<Crypto>::defaultInstance()
{
    static Win32Crypto instance;
    return instance;
}

} // namespace platform
