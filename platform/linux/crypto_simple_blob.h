#pragma once
// The SIMPLEBLOB key format: an RC4 session key wrapped with an RSA
// key-exchange key (PKCS #1 v1.5), laid out byte for byte as CryptoAPI
// writes it, so blobs pass between this provider and Windows'.

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::linux_crypto {

/// BLOBHEADER and the wrapping key's ALG_ID, before the wrapped key.
inline constexpr std::size_t SimpleBlobHeaderBytes = 12;

/// Writes the blob of @p sessionKey wrapped by @p wrapper to @p out, which
/// holds SimpleBlobHeaderBytes plus the wrapper's modulus; false when the
/// wrapping fails.
bool writeSimpleBlob(OSSL_LIB_CTX *libctx, EVP_PKEY *wrapper,
    const std::vector<std::uint8_t> &sessionKey, std::uint8_t *out);

/// 0 when @p data (at least SimpleBlobHeaderBytes) opens an RC4 SIMPLEBLOB
/// wrapped for key exchange, else the CryptoAPI error for what is wrong.
std::uint32_t simpleBlobHeaderError(const std::uint8_t *data);

/// The session key of blob @p data (@p length bytes, its header checked),
/// unwrapped with @p unwrapper; false when it is not one of its blobs.
bool readSimpleBlob(OSSL_LIB_CTX *libctx, EVP_PKEY *unwrapper, const std::uint8_t *data,
    std::size_t length, std::vector<std::uint8_t> &sessionKey);

} // namespace platform::linux_crypto
