#pragma once
// The user's default key container on disk, for the OpenSSL provider: a folder
// (0700) holding the key-exchange key pair as a PEM file (PKCS #8, 0600), both
// owned by the user and neither a link. Anything else is NteKeysetEntryBad,
// refused rather than used or repaired. Errors are CryptoAPI codes.

#include "platform/linux/unique_fd.h"

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>

namespace platform::linux_crypto {

struct PkeyDeleter
{
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxDeleter
{
    void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

/// Makes the container's folder, and each missing level above it, 0700:
/// 0, or NteExists when something is there already, NteFail when it cannot.
std::uint32_t createContainer(const std::string &folder);

/// Opens the container's folder after checking it is the user's own; on failure
/// @p error is NteBadKeyset (none) or NteKeysetEntryBad.
UniqueFd openContainer(const std::string &folder, std::uint32_t &error);

/// Reads the key-exchange key pair; NteNoKey when there is none yet.
PkeyPtr readExchangeKey(OSSL_LIB_CTX *libctx, const std::string &folder, std::uint32_t &error);

/// Creates the key-exchange key pair of @p rsaBits; a pair stored meanwhile by
/// another process wins and is returned instead (an existing pair is never replaced).
PkeyPtr createExchangeKey(
    OSSL_LIB_CTX *libctx, int rsaBits, const std::string &folder, std::uint32_t &error);

} // namespace platform::linux_crypto
