#pragma once
// The cryptographic service provider, shaped as the CryptoAPI calls of advapi32
// (CryptAcquireContextA, CryptCreateHash, ..., CryptReleaseContext): handles
// are numbers (0 is none), every call answers true or false and leaves its
// reason in lastError() with the CryptoAPI's codes. On Windows these are the
// real calls; elsewhere OpenSSL stands in, with the same keys and cipher text
// where files travel between systems (derived RC4 keys).
//
// Backends: linux/crypto_openssl (default on Linux; the user's default
// container only, kept by linux/crypto_key_store), win32/crypto_win32 (advapi32,
// default on Windows); tests script failures with tests/classlib/crypt_fakes.h.

#include "platform/seam.h"

#include <cstdint>

namespace platform {

using CryptHandle = std::uintptr_t;

inline constexpr std::uint32_t ProvRsaFull = 1;

inline constexpr std::uint32_t CalgMd5 = 0x8003;
inline constexpr std::uint32_t CalgSha1 = 0x8004;
inline constexpr std::uint32_t CalgRc4 = 0x6801;
inline constexpr std::uint32_t CalgRsaKeyx = 0xA400;

inline constexpr std::uint32_t AtKeyExchange = 1;
inline constexpr std::uint32_t SimpleBlob = 1;

inline constexpr std::uint32_t CryptExportable = 0x1;
inline constexpr std::uint32_t CryptNewKeyset = 0x8;

// Error codes (GetLastError after a failed call).
inline constexpr std::uint32_t ErrorInvalidHandle = 6;
inline constexpr std::uint32_t ErrorInvalidParameter = 87;
inline constexpr std::uint32_t ErrorMoreData = 234;
inline constexpr std::uint32_t NteBadKey = 0x80090003;
inline constexpr std::uint32_t NteBadData = 0x80090005;
inline constexpr std::uint32_t NteBadAlgid = 0x80090008;
inline constexpr std::uint32_t NteBadFlags = 0x80090009;
inline constexpr std::uint32_t NteBadType = 0x8009000A;
inline constexpr std::uint32_t NteBadKeyState = 0x8009000B;
inline constexpr std::uint32_t NteBadHashState = 0x8009000C;
inline constexpr std::uint32_t NteNoKey = 0x8009000D;
inline constexpr std::uint32_t NteExists = 0x8009000F;
inline constexpr std::uint32_t NteBadProvType = 0x80090014;
inline constexpr std::uint32_t NteBadKeyset = 0x80090016;
inline constexpr std::uint32_t NteKeysetEntryBad = 0x8009001A;
inline constexpr std::uint32_t NteFail = 0x80090020;

class Crypto
{
public:
    virtual ~Crypto() = default;

    /// CryptAcquireContextA; @p container and @p provider may be nullptr (the
    /// user's default container, the type's default provider).
    virtual bool acquireContext(CryptHandle &prov, const char *container, const char *provider,
        std::uint32_t provType, std::uint32_t flags) = 0;
    /// CryptReleaseContext: frees @p prov; the caller destroys its hashes and keys first.
    virtual bool releaseContext(CryptHandle prov) = 0;

    /// CryptCreateHash: an empty hash of @p algId (CalgMd5, CalgSha1) under @p prov.
    virtual bool createHash(CryptHandle prov, std::uint32_t algId, CryptHandle &hash) = 0;
    /// CryptHashData: adds @p length bytes; NteBadHashState once a key was derived from it.
    virtual bool hashData(CryptHandle hash, const std::uint8_t *data, std::uint32_t length) = 0;
    /// CryptDestroyHash.
    virtual bool destroyHash(CryptHandle hash) = 0;

    /// CryptDeriveKey: an RC4 key (@p algId CalgRc4) from the hash's first 16 bytes, no
    /// salt; @p flags CryptExportable and the key's bits (0 or 128) in the high word.
    virtual bool deriveKey(CryptHandle prov, std::uint32_t algId, CryptHandle hash,
        std::uint32_t flags, CryptHandle &key) = 0;
    /// CryptGenKey: a random RC4 key (CalgRc4, @p flags as deriveKey), or the container's
    /// key-exchange pair (AtKeyExchange, CalgRsaKeyx).
    virtual bool genKey(
        CryptHandle prov, std::uint32_t algId, std::uint32_t flags, CryptHandle &key) = 0;
    /// CryptGetUserKey: the container's key-exchange pair (@p keySpec AtKeyExchange);
    /// NteNoKey when it has none yet.
    virtual bool getUserKey(CryptHandle prov, std::uint32_t keySpec, CryptHandle &key) = 0;
    /// CryptExportKey: a SimpleBlob of @p key wrapped with @p expKey's public key; with
    /// @p data nullptr only @p length (the size needed) is set.
    virtual bool exportKey(CryptHandle key, CryptHandle expKey, std::uint32_t blobType,
        std::uint32_t flags, std::uint8_t *data, std::uint32_t &length) = 0;
    /// CryptImportKey: a SimpleBlob wrapped for the container's key-exchange pair.
    virtual bool importKey(CryptHandle prov, const std::uint8_t *data, std::uint32_t length,
        CryptHandle pubKey, std::uint32_t flags, CryptHandle &key) = 0;
    /// CryptDestroyKey: a session key or a key-exchange pair's handle.
    virtual bool destroyKey(CryptHandle key) = 0;

    /// CryptEncrypt without hash and flags: @p length bytes in place, @p capacity
    /// the buffer's size; @p length is the cipher text's length afterwards.
    virtual bool encrypt(CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length,
        std::uint32_t capacity) = 0;
    /// CryptDecrypt without hash and flags, in place.
    virtual bool decrypt(
        CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length) = 0;

    /// The reason for the calling thread's last failed call.
    virtual std::uint32_t lastError() const = 0;
};

template<> Crypto &Seam<Crypto>::defaultInstance();

inline Crypto &crypto()
{
    return Seam<Crypto>::get();
}

} // namespace platform
