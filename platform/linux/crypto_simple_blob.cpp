// SIMPLEBLOB: an RC4 session key wrapped with RSA for export and import.
// CryptoAPI writes the PKCS #1 block little-endian, so it is reversed here
// both ways; a blob for another key or algorithm is refused, never guessed at.

#include "platform/linux/crypto_simple_blob.h"
#include "platform/crypto.h"
#include "platform/linux/crypto_key_store.h"

#include <openssl/rsa.h>

#include <algorithm>
#include <memory>

namespace platform::linux_crypto {
namespace {

constexpr std::uint8_t BlobVersion = 2;

using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;

std::uint32_t le32(const std::uint8_t *at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16
        | std::uint32_t(at[3]) << 24;
}

} // namespace

bool writeSimpleBlob(OSSL_LIB_CTX *libctx, EVP_PKEY *wrapper,
    const std::vector<std::uint8_t> &sessionKey, std::uint8_t *out)
{
    const auto modulus = static_cast<std::size_t>(EVP_PKEY_get_size(wrapper));
    const PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(libctx, wrapper, nullptr));
    std::vector<std::uint8_t> wrapped(modulus);
    std::size_t wrappedLength = wrapped.size();
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0
        || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0
        || EVP_PKEY_encrypt(
               ctx.get(), wrapped.data(), &wrappedLength, sessionKey.data(), sessionKey.size())
            <= 0
        || wrappedLength != modulus) {
        return false;
    }
    // BLOBHEADER { SIMPLEBLOB, version 2, reserved 0, RC4 }, the wrapping key's
    // algorithm, then the PKCS #1 block in little-endian byte order.
    out[0] = static_cast<std::uint8_t>(SimpleBlob);
    out[1] = BlobVersion;
    out[2] = out[3] = 0;
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<std::uint8_t>(CalgRc4 >> (8 * i));
        out[8 + i] = static_cast<std::uint8_t>(CalgRsaKeyx >> (8 * i));
    }
    std::reverse_copy(wrapped.begin(), wrapped.end(), out + SimpleBlobHeaderBytes);
    return true;
}

std::uint32_t simpleBlobHeaderError(const std::uint8_t *data)
{
    if (data[0] != SimpleBlob) {
        return NteBadType;
    }
    if (data[1] != BlobVersion || data[2] != 0 || data[3] != 0) {
        return NteBadData;
    }
    if (le32(data + 4) != CalgRc4 || le32(data + 8) != CalgRsaKeyx) {
        return NteBadAlgid;
    }
    return 0;
}

bool readSimpleBlob(OSSL_LIB_CTX *libctx, EVP_PKEY *unwrapper, const std::uint8_t *data,
    std::size_t length, std::vector<std::uint8_t> &sessionKey)
{
    const auto modulus = static_cast<std::size_t>(EVP_PKEY_get_size(unwrapper));
    if (length - SimpleBlobHeaderBytes != modulus) {
        return false;
    }
    std::vector<std::uint8_t> wrapped(data + SimpleBlobHeaderBytes, data + length);
    std::reverse(wrapped.begin(), wrapped.end());
    const PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(libctx, unwrapper, nullptr));
    std::vector<std::uint8_t> plain(modulus);
    std::size_t plainLength = plain.size();
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0
        || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0
        || EVP_PKEY_decrypt(ctx.get(), plain.data(), &plainLength, wrapped.data(), wrapped.size())
            <= 0) {
        return false;
    }
    plain.resize(plainLength);
    sessionKey = std::move(plain);
    return true;
}

} // namespace platform::linux_crypto
