// The CryptoAPI provider over OpenSSL 3: contexts, hashes, RC4 session keys
// and the user's RSA key-exchange key behind numbered handles, each call
// giving CryptoAPI's result and last error. Keys live in one library
// context of our own; the key container on disk is crypto_key_store.cpp's,
// the key blob format crypto_simple_blob.cpp's.

#include "platform/linux/crypto_openssl.h"
#include "platform/linux/crypto_key_store.h"
#include "platform/linux/crypto_simple_blob.h"
#include "platform/linux/xdg.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace platform::linux_crypto {
namespace {

thread_local std::uint32_t tLastError = 0;

bool fail(std::uint32_t code)
{
    tLastError = code;
    return false;
}

bool succeed()
{
    tLastError = 0;
    return true;
}

// Key lengths the Enhanced provider gives RC4 when the caller names none.
constexpr std::size_t Rc4KeyBytes = 16;
constexpr std::uint32_t DefaultRc4Bits = 128;

struct LibCtxDeleter
{
    void operator()(OSSL_LIB_CTX *p) const { OSSL_LIB_CTX_free(p); }
};
struct ProviderDeleter
{
    void operator()(OSSL_PROVIDER *p) const { OSSL_PROVIDER_unload(p); }
};
struct CipherCtxDeleter
{
    void operator()(EVP_CIPHER_CTX *p) const { EVP_CIPHER_CTX_free(p); }
};
struct MdCtxDeleter
{
    void operator()(EVP_MD_CTX *p) const { EVP_MD_CTX_free(p); }
};

struct Context
{
    std::string folder;
};

struct Hash
{
    std::uint32_t algId = 0;
    std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx;
    std::vector<std::uint8_t> value; // set once finished
    bool finished = false;
};

struct Rc4Key
{
    std::vector<std::uint8_t> bytes;
    bool exportable = false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter> ctx;
};

struct RsaKey
{
    PkeyPtr pkey;
};

using Object = std::variant<Context, Hash, Rc4Key, RsaKey>;

} // namespace

struct OpensslCrypto::State
{
    OpensslCryptoOptions options;
    std::mutex mutex;
    std::unique_ptr<OSSL_LIB_CTX, LibCtxDeleter> libctx;
    std::unique_ptr<OSSL_PROVIDER, ProviderDeleter> legacy;
    std::unique_ptr<OSSL_PROVIDER, ProviderDeleter> standard;
    EVP_CIPHER *rc4 = nullptr;
    std::unordered_map<CryptHandle, Object> objects;
    CryptHandle next = 0x1000;

    ~State() { EVP_CIPHER_free(rc4); }

    bool load()
    {
        if (rc4) {
            return true;
        }
        libctx.reset(OSSL_LIB_CTX_new());
        if (!libctx) {
            return false;
        }
        legacy.reset(OSSL_PROVIDER_load(libctx.get(), "legacy"));
        standard.reset(OSSL_PROVIDER_load(libctx.get(), "default"));
        if (!legacy || !standard) {
            return false;
        }
        rc4 = EVP_CIPHER_fetch(libctx.get(), "RC4", nullptr);
        return rc4 != nullptr;
    }

    CryptHandle add(Object object)
    {
        CryptHandle handle = next++;
        objects.emplace(handle, std::move(object));
        return handle;
    }

    template<class T> T *find(CryptHandle handle)
    {
        auto it = objects.find(handle);
        return it == objects.end() ? nullptr : std::get_if<T>(&it->second);
    }

    bool keyRc4(Rc4Key &key)
    {
        key.ctx.reset(EVP_CIPHER_CTX_new());
        return key.ctx && EVP_CipherInit_ex2(key.ctx.get(), rc4, nullptr, nullptr, 1, nullptr)
            && EVP_CIPHER_CTX_set_key_length(key.ctx.get(), static_cast<int>(key.bytes.size()))
            && EVP_CipherInit_ex2(key.ctx.get(), nullptr, key.bytes.data(), nullptr, 1, nullptr);
    }

    bool addRc4(std::vector<std::uint8_t> bytes, bool exportable, CryptHandle &handle)
    {
        Rc4Key key { std::move(bytes), exportable, nullptr };
        if (!keyRc4(key)) {
            return fail(NteFail);
        }
        handle = add(std::move(key));
        return succeed();
    }
};

OpensslCrypto::OpensslCrypto(OpensslCryptoOptions options) : state_(std::make_unique<State>())
{
    // OpenSSL cleans up at exit; initialised first, it does so after a static
    // service has released its library context.
    OPENSSL_init_crypto(0, nullptr);
    state_->options = std::move(options);
}

OpensslCrypto::~OpensslCrypto() = default;

std::string OpensslCrypto::defaultKeyFolder()
{
    const std::string base = xdgDataHome();
    return base.empty() ? std::string() : base + "/portprobe/crypto";
}

bool OpensslCrypto::acquireContext(CryptHandle &prov, const char *container, const char *provider,
    std::uint32_t provType, std::uint32_t flags)
{
    std::lock_guard lock(state_->mutex);
    if (provType != ProvRsaFull) {
        return fail(NteBadProvType);
    }
    if (container || provider) {
        // Only the user's default container of the default provider is kept here.
        return fail(NteBadKeyset);
    }
    if ((flags & ~CryptNewKeyset) != 0) {
        return fail(NteBadFlags);
    }
    if (!state_->load()) {
        return fail(NteFail);
    }
    std::string folder =
        state_->options.keyFolder.empty() ? defaultKeyFolder() : state_->options.keyFolder;
    if (folder.empty() || folder.front() != '/') {
        return fail(NteBadKeyset);
    }
    if (flags & CryptNewKeyset) {
        if (const std::uint32_t error = createContainer(folder)) {
            return fail(error);
        }
    }
    std::uint32_t error = 0;
    if (!openContainer(folder, error)) {
        return fail(error);
    }
    prov = state_->add(Context { folder });
    return succeed();
}

bool OpensslCrypto::releaseContext(CryptHandle prov)
{
    std::lock_guard lock(state_->mutex);
    if (!state_->find<Context>(prov)) {
        return fail(ErrorInvalidHandle);
    }
    state_->objects.erase(prov);
    return succeed();
}

bool OpensslCrypto::createHash(CryptHandle prov, std::uint32_t algId, CryptHandle &hash)
{
    std::lock_guard lock(state_->mutex);
    if (!state_->find<Context>(prov)) {
        return fail(ErrorInvalidHandle);
    }
    const char *name = algId == CalgMd5 ? "MD5" : algId == CalgSha1 ? "SHA1" : nullptr;
    if (!name) {
        return fail(NteBadAlgid);
    }
    EVP_MD *md = EVP_MD_fetch(state_->libctx.get(), name, nullptr);
    Hash object { algId, std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>(EVP_MD_CTX_new()), {}, false };
    bool ok = md && object.ctx && EVP_DigestInit_ex2(object.ctx.get(), md, nullptr);
    EVP_MD_free(md);
    if (!ok) {
        return fail(NteFail);
    }
    hash = state_->add(std::move(object));
    return succeed();
}

bool OpensslCrypto::hashData(CryptHandle hash, const std::uint8_t *data, std::uint32_t length)
{
    std::lock_guard lock(state_->mutex);
    Hash *object = state_->find<Hash>(hash);
    if (!object) {
        return fail(ErrorInvalidHandle);
    }
    if (object->finished) {
        return fail(NteBadHashState);
    }
    if (length > 0 && !data) {
        return fail(ErrorInvalidParameter);
    }
    if (!EVP_DigestUpdate(object->ctx.get(), data, length)) {
        return fail(NteFail);
    }
    return succeed();
}

bool OpensslCrypto::destroyHash(CryptHandle hash)
{
    std::lock_guard lock(state_->mutex);
    if (!state_->find<Hash>(hash)) {
        return fail(ErrorInvalidHandle);
    }
    state_->objects.erase(hash);
    return succeed();
}

bool OpensslCrypto::deriveKey(
    CryptHandle prov, std::uint32_t algId, CryptHandle hash, std::uint32_t flags, CryptHandle &key)
{
    std::lock_guard lock(state_->mutex);
    Hash *object = state_->find<Hash>(hash);
    if (!state_->find<Context>(prov) || !object) {
        return fail(ErrorInvalidHandle);
    }
    if (algId != CalgRc4) {
        return fail(NteBadAlgid);
    }
    std::uint32_t bits = flags >> 16;
    if ((bits != 0 && bits != DefaultRc4Bits) || (flags & 0xFFFF & ~CryptExportable) != 0) {
        return fail(NteBadFlags);
    }
    if (!object->finished) {
        std::array<std::uint8_t, EVP_MAX_MD_SIZE> value {};
        unsigned int size = 0;
        if (!EVP_DigestFinal_ex(object->ctx.get(), value.data(), &size)) {
            return fail(NteFail);
        }
        object->value.assign(value.begin(), value.begin() + size);
        object->finished = true;
    }
    // The key is the hash value's first bytes, without salt, as the Enhanced
    // and Strong providers derive their default 128-bit RC4 keys.
    if (object->value.size() < Rc4KeyBytes) {
        return fail(NteBadHashState);
    }
    std::vector<std::uint8_t> bytes(object->value.begin(), object->value.begin() + Rc4KeyBytes);
    return state_->addRc4(std::move(bytes), (flags & CryptExportable) != 0, key);
}

bool OpensslCrypto::genKey(
    CryptHandle prov, std::uint32_t algId, std::uint32_t flags, CryptHandle &key)
{
    std::lock_guard lock(state_->mutex);
    Context *context = state_->find<Context>(prov);
    if (!context) {
        return fail(ErrorInvalidHandle);
    }
    if (algId == AtKeyExchange || algId == CalgRsaKeyx) {
        std::uint32_t error = 0;
        PkeyPtr pkey = createExchangeKey(
            state_->libctx.get(), state_->options.rsaBits, context->folder, error);
        if (!pkey) {
            return fail(error);
        }
        key = state_->add(RsaKey { std::move(pkey) });
        return succeed();
    }
    if (algId != CalgRc4) {
        return fail(NteBadAlgid);
    }
    std::uint32_t bits = flags >> 16;
    if ((bits != 0 && bits != DefaultRc4Bits) || (flags & 0xFFFF & ~CryptExportable) != 0) {
        return fail(NteBadFlags);
    }
    std::vector<std::uint8_t> bytes(Rc4KeyBytes);
    if (RAND_bytes_ex(state_->libctx.get(), bytes.data(), bytes.size(), 0) != 1) {
        return fail(NteFail);
    }
    return state_->addRc4(std::move(bytes), (flags & CryptExportable) != 0, key);
}

bool OpensslCrypto::getUserKey(CryptHandle prov, std::uint32_t keySpec, CryptHandle &key)
{
    std::lock_guard lock(state_->mutex);
    Context *context = state_->find<Context>(prov);
    if (!context) {
        return fail(ErrorInvalidHandle);
    }
    if (keySpec != AtKeyExchange) {
        return fail(NteNoKey);
    }
    std::uint32_t error = 0;
    PkeyPtr pkey = readExchangeKey(state_->libctx.get(), context->folder, error);
    if (!pkey) {
        return fail(error);
    }
    key = state_->add(RsaKey { std::move(pkey) });
    return succeed();
}

bool OpensslCrypto::exportKey(CryptHandle key, CryptHandle expKey, std::uint32_t blobType,
    std::uint32_t flags, std::uint8_t *data, std::uint32_t &length)
{
    std::lock_guard lock(state_->mutex);
    Rc4Key *session = state_->find<Rc4Key>(key);
    if (!session) {
        return fail(state_->objects.count(key) ? NteBadKey : ErrorInvalidHandle);
    }
    if (blobType != SimpleBlob) {
        return fail(NteBadType);
    }
    if (flags != 0) {
        return fail(NteBadFlags);
    }
    RsaKey *wrapper = state_->find<RsaKey>(expKey);
    if (!wrapper) {
        return fail(expKey == 0 ? NteBadKey : ErrorInvalidHandle);
    }
    if (!session->exportable) {
        return fail(NteBadKeyState);
    }
    const auto needed = static_cast<std::uint32_t>(
        SimpleBlobHeaderBytes + static_cast<std::size_t>(EVP_PKEY_get_size(wrapper->pkey.get())));
    if (!data) {
        length = needed;
        return succeed();
    }
    if (length < needed) {
        length = needed;
        return fail(ErrorMoreData);
    }
    if (!writeSimpleBlob(state_->libctx.get(), wrapper->pkey.get(), session->bytes, data)) {
        return fail(NteFail);
    }
    length = needed;
    return succeed();
}

bool OpensslCrypto::importKey(CryptHandle prov, const std::uint8_t *data, std::uint32_t length,
    CryptHandle pubKey, std::uint32_t flags, CryptHandle &key)
{
    std::lock_guard lock(state_->mutex);
    Context *context = state_->find<Context>(prov);
    if (!context) {
        return fail(ErrorInvalidHandle);
    }
    if ((flags & ~CryptExportable) != 0) {
        return fail(NteBadFlags);
    }
    if (!data || length < SimpleBlobHeaderBytes) {
        return fail(NteBadData);
    }
    if (const std::uint32_t error = simpleBlobHeaderError(data)) {
        return fail(error);
    }
    PkeyPtr own;
    EVP_PKEY *pkey = nullptr;
    if (pubKey == 0) {
        std::uint32_t error = 0;
        own = readExchangeKey(state_->libctx.get(), context->folder, error);
        if (!own) {
            return fail(error);
        }
        pkey = own.get();
    } else if (RsaKey *wrapper = state_->find<RsaKey>(pubKey)) {
        pkey = wrapper->pkey.get();
    } else {
        return fail(ErrorInvalidHandle);
    }
    std::vector<std::uint8_t> plain;
    if (!readSimpleBlob(state_->libctx.get(), pkey, data, length, plain)) {
        return fail(NteBadData);
    }
    // RC4 keys of 40 to 128 bits, as the Enhanced provider accepts them.
    if (plain.size() < 5 || plain.size() > Rc4KeyBytes) {
        return fail(NteBadData);
    }
    return state_->addRc4(std::move(plain), (flags & CryptExportable) != 0, key);
}

bool OpensslCrypto::destroyKey(CryptHandle key)
{
    std::lock_guard lock(state_->mutex);
    if (!state_->find<Rc4Key>(key) && !state_->find<RsaKey>(key)) {
        return fail(ErrorInvalidHandle);
    }
    state_->objects.erase(key);
    return succeed();
}

namespace {

bool rc4Run(EVP_CIPHER_CTX *ctx, std::uint8_t *data, std::uint32_t length)
{
    // RC4 never changes a length; the update works in place.
    std::uint32_t done = 0;
    while (done < length) {
        int chunk = static_cast<int>(std::min<std::uint32_t>(length - done, 1u << 30));
        int out = 0;
        if (!EVP_CipherUpdate(ctx, data + done, &out, data + done, chunk) || out != chunk) {
            return false;
        }
        done += static_cast<std::uint32_t>(chunk);
    }
    return true;
}

} // namespace

bool OpensslCrypto::encrypt(
    CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length, std::uint32_t capacity)
{
    std::lock_guard lock(state_->mutex);
    Rc4Key *session = state_->find<Rc4Key>(key);
    if (!session) {
        return fail(state_->objects.count(key) ? NteBadKey : ErrorInvalidHandle);
    }
    if (!data) {
        return succeed(); // the size needed: a stream cipher adds nothing
    }
    if (length > capacity) {
        return fail(ErrorMoreData);
    }
    if (!rc4Run(session->ctx.get(), data, length)) {
        return fail(NteFail);
    }
    // After the final block the key starts its stream afresh, as CryptoAPI's does.
    if (final && !state_->keyRc4(*session)) {
        return fail(NteFail);
    }
    return succeed();
}

bool OpensslCrypto::decrypt(CryptHandle key, bool final, std::uint8_t *data, std::uint32_t &length)
{
    std::lock_guard lock(state_->mutex);
    Rc4Key *session = state_->find<Rc4Key>(key);
    if (!session) {
        return fail(state_->objects.count(key) ? NteBadKey : ErrorInvalidHandle);
    }
    if (length > 0 && !data) {
        return fail(ErrorInvalidParameter);
    }
    if (!rc4Run(session->ctx.get(), data, length) || (final && !state_->keyRc4(*session))) {
        return fail(NteFail);
    }
    return succeed();
}

std::uint32_t OpensslCrypto::lastError() const
{
    return tLastError;
}

} // namespace platform::linux_crypto

namespace platform {

template<> Crypto &Seam<Crypto>::defaultInstance()
{
    static linux_crypto::OpensslCrypto instance;
    return instance;
}

} // namespace platform
