#pragma once
// The cryptographic service over OpenSSL 3, in a library context of its own
// (the host program's OpenSSL set-up is left alone) with the legacy provider
// for RC4 and the default provider for hashes, RSA and random numbers.
//
// The user's default key container is a folder holding the key-exchange key
// pair as a PEM file: $XDG_DATA_HOME/portprobe/crypto (else
// ~/.local/share/portprobe/crypto), folder 0700 and file 0600, both owned by
// the user; anything else is refused rather than used.

#include "platform/crypto.h"

#include <memory>
#include <string>

namespace platform::linux_crypto {

struct OpensslCryptoOptions
{
    /// The default container's folder; empty: from the environment at each acquire.
    std::string keyFolder;
    /// Modulus of a new key-exchange key pair, in bits.
    int rsaBits = 2048;
};

class OpensslCrypto final : public Crypto
{
public:
    explicit OpensslCrypto(OpensslCryptoOptions options = {});
    ~OpensslCrypto() override;
    OpensslCrypto(const OpensslCrypto &) = delete;
    OpensslCrypto &operator=(const OpensslCrypto &) = delete;

    /// The file name of the key-exchange key pair inside the container's folder.
    static constexpr const char *KeyFileName = "exchange-key.pem";

    /// The default container's folder for the current environment ("" when no home is known).
    static std::string defaultKeyFolder();

    bool acquireContext(CryptHandle &prov, const char *container, const char *provider,
        std::uint32_t provType, std::uint32_t flags) override;
    bool releaseContext(CryptHandle prov) override;
    bool createHash(CryptHandle prov, std::uint32_t algId, CryptHandle &hash) override;
    bool hashData(CryptHandle hash, const std::uint8_t *data, std::uint32_t length) override;
    bool destroyHash(CryptHandle hash) override;
    bool deriveKey(CryptHandle prov, std::uint32_t algId, CryptHandle hash, std::uint32_t flags,
        CryptHandle &key) override;
    bool genKey(
        CryptHandle prov, std::uint32_t algId, std::uint32_t flags, CryptHandle &key) override;
    bool getUserKey(CryptHandle prov, std::uint32_t keySpec, CryptHandle &key) override;
    bool exportKey(CryptHandle key, CryptHandle expKey, std::uint32_t blobType, std::uint32_t flags,
        std::uint8_t *data, std::uint32_t &length) override;
    bool importKey(CryptHandle prov, const std::uint8_t *data, std::uint32_t length,
        CryptHandle pubKey, std::uint32_t flags, CryptHandle &key) override;
    bool destroyKey(CryptHandle key) override;
    bool encrypt(CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length,
        std::uint32_t capacity) override;
    bool decrypt(CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length) override;
    std::uint32_t lastError() const override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform::linux_crypto
