#include "platform/linux/crypto_key_store.h"

#include "platform/crypto.h"
#include "platform/linux/crypto_openssl.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::linux_crypto {
namespace {

constexpr std::size_t MaxKeyFileBytes = 64 * 1024;

struct BioDeleter
{
    void operator()(BIO *p) const { BIO_free(p); }
};

/// Owned by the effective user, not a link, and closed to group and others.
bool privateTo(const struct stat &st, bool directory)
{
    bool typeOk = directory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
    return typeOk && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool makeFolders(const std::string &path)
{
    // Each missing level is created 0700; levels that exist are left as they are.
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') {
            continue;
        }
        std::string level = path.substr(0, pos);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

/// Writes @p text into a new file @p name (0600) in @p dir and syncs it.
bool writeNewFile(int dir, const std::string &name, const char *text, long length)
{
    UniqueFd file(
        ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0) {
        return false;
    }
    long done = 0;
    while (done < length) {
        ssize_t n = ::write(file.get(), text + done, static_cast<std::size_t>(length - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += n;
    }
    return done == length && ::fsync(file.get()) == 0;
}

} // namespace

std::uint32_t createContainer(const std::string &folder)
{
    struct stat st
    { };
    if (::lstat(folder.c_str(), &st) == 0) {
        return NteExists;
    }
    std::string parent = folder.substr(0, folder.find_last_of('/'));
    if (!parent.empty() && !makeFolders(parent)) {
        return NteFail;
    }
    if (::mkdir(folder.c_str(), 0700) != 0) {
        return errno == EEXIST ? NteExists : NteFail;
    }
    ::chmod(folder.c_str(), 0700);
    return 0;
}

UniqueFd openContainer(const std::string &folder, std::uint32_t &error)
{
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st
    { };
    if (!fd) {
        error = errno == ENOENT ? NteBadKeyset : NteKeysetEntryBad;
        return fd;
    }
    if (::fstat(fd.get(), &st) != 0 || !privateTo(st, true)) {
        error = NteKeysetEntryBad;
        return UniqueFd();
    }
    return fd;
}

PkeyPtr readExchangeKey(OSSL_LIB_CTX *libctx, const std::string &folder, std::uint32_t &error)
{
    UniqueFd dir = openContainer(folder, error);
    if (dir.get() < 0) {
        return nullptr;
    }
    UniqueFd file(
        ::openat(dir.get(), OpensslCrypto::KeyFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.get() < 0) {
        error = errno == ENOENT ? NteNoKey : NteKeysetEntryBad;
        return nullptr;
    }
    struct stat st
    { };
    if (::fstat(file.get(), &st) != 0 || !privateTo(st, false)
        || st.st_size > static_cast<off_t>(MaxKeyFileBytes)) {
        error = NteKeysetEntryBad;
        return nullptr;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    const ssize_t read = readFull(file.get(), text.data(), text.size());
    const std::size_t got = read < 0 ? 0 : static_cast<std::size_t>(read);
    std::unique_ptr<BIO, BioDeleter> bio(BIO_new_mem_buf(text.data(), static_cast<int>(got)));
    PkeyPtr pkey(bio
            ? PEM_read_bio_PrivateKey_ex(bio.get(), nullptr, nullptr, nullptr, libctx, nullptr)
            : nullptr);
    OPENSSL_cleanse(text.data(), text.size());
    if (!pkey || !EVP_PKEY_is_a(pkey.get(), "RSA")) {
        error = NteKeysetEntryBad;
        return nullptr;
    }
    return pkey;
}

PkeyPtr createExchangeKey(
    OSSL_LIB_CTX *libctx, int rsaBits, const std::string &folder, std::uint32_t &error)
{
    UniqueFd dir = openContainer(folder, error);
    if (dir.get() < 0) {
        return nullptr;
    }
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter> gen(
        EVP_PKEY_CTX_new_from_name(libctx, "RSA", nullptr));
    EVP_PKEY *raw = nullptr;
    if (!gen || EVP_PKEY_keygen_init(gen.get()) <= 0
        || EVP_PKEY_CTX_set_rsa_keygen_bits(gen.get(), rsaBits) <= 0
        || EVP_PKEY_generate(gen.get(), &raw) <= 0) {
        error = NteFail;
        return nullptr;
    }
    PkeyPtr pkey(raw);
    std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_mem()));
    if (!bio
        || !PEM_write_bio_PrivateKey(
            bio.get(), pkey.get(), nullptr, nullptr, 0, nullptr, nullptr)) {
        error = NteFail;
        return nullptr;
    }
    char *pem = nullptr;
    long pemLength = BIO_get_mem_data(bio.get(), &pem);
    std::string temp =
        std::string(OpensslCrypto::KeyFileName) + ".new-" + std::to_string(::getpid());
    ::unlinkat(dir.get(), temp.c_str(), 0);
    const bool written = writeNewFile(dir.get(), temp, pem, pemLength);
    bool linked =
        written && ::linkat(dir.get(), temp.c_str(), dir.get(), OpensslCrypto::KeyFileName, 0) == 0;
    int linkError = errno;
    ::unlinkat(dir.get(), temp.c_str(), 0);
    if (linked) {
        return pkey;
    }
    if (written && linkError == EEXIST) {
        return readExchangeKey(libctx, folder, error);
    }
    error = NteFail;
    return nullptr;
}

} // namespace platform::linux_crypto
