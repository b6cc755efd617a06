#include "classlib/clsCryptFile.h"

#include "platform/codepage.h"
#include "platform/crypto.h"
#include "platform/file_stream.h"
#include "platform/msgbox.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The password's hash: MD5, whose 16 bytes are exactly the 128-bit RC4 key the
// default provider derives, so a password opens the same files everywhere.
constexpr std::uint32_t PasswordHashAlg = platform::CalgMd5;

// Blocks read and written at once: large transfers, while each 1002-byte block
// is still encrypted and reported on its own.
constexpr std::uint32_t BlocksPerTransfer = 1024;

// No key blob is this long (a 16384-bit wrapping key needs 2 KiB): a stored
// length beyond it is damage, not a reason to allocate.
constexpr std::int32_t MaxBlobBytes = 64 * 1024;

void showError(const char *text)
{
    platform::MessageBoxRequest box;
    box.text = text;
    box.buttons = platform::MbOkOnly;
    platform::messageBox().show(box);
}

bool acquireContext(platform::Crypto &api, platform::CryptHandle &prov)
{
    if (api.acquireContext(prov, nullptr, nullptr, platform::ProvRsaFull, 0)) {
        return true;
    }
    // A user who never had a default key container gets one: without it
    // neither mode could ever work for that user.
    if (api.lastError() != platform::NteBadKeyset) {
        return false;
    }
    if (api.acquireContext(
            prov, nullptr, nullptr, platform::ProvRsaFull, platform::CryptNewKeyset)) {
        return true;
    }
    return api.lastError() == platform::NteExists
        && api.acquireContext(prov, nullptr, nullptr, platform::ProvRsaFull, 0);
}

bool getUserKey(platform::Crypto &api, platform::CryptHandle prov, platform::CryptHandle &key)
{
    if (api.getUserKey(prov, platform::AtKeyExchange, key)) {
        return true;
    }
    // The same for a container without a key-exchange key pair.
    return api.lastError() == platform::NteNoKey
        && api.genKey(prov, platform::AtKeyExchange, 0, key);
}

// One handle and the call that frees it: move-only, so it is freed once, by
// whoever holds it last, on every way out (a failed step, an exception).
template<typename Api, typename Handle, Handle None> class Owned
{
public:
    using Free = bool (Api::*)(Handle);
    Owned(Api &api, Free free) : api_(&api), free_(free) { }
    Owned(Owned &&other) noexcept : api_(other.api_), free_(other.free_), handle_(other.release())
    { }
    Owned &operator=(Owned &&other) noexcept
    {
        if (this != &other) {
            reset();
            api_ = other.api_;
            free_ = other.free_;
            handle_ = other.release();
        }
        return *this;
    }
    ~Owned() { reset(); }

    Handle get() const { return handle_; }
    void adopt(Handle handle)
    {
        reset();
        handle_ = handle;
    }
    Handle release() { return std::exchange(handle_, None); }
    void reset()
    {
        if (handle_ != None) {
            (api_->*free_)(std::exchange(handle_, None));
        }
    }

private:
    Api *api_;
    Free free_;
    Handle handle_ = None;
};

using FileOwner =
    Owned<platform::FileStreams, platform::FileStreamHandle, platform::InvalidFileStream>;
using CryptOwner = Owned<platform::Crypto, platform::CryptHandle, 0>;

// The output is written under a hidden name beside OutFile and gets OutFile's
// name only when complete: a kill never leaves a prefix there (which would
// decrypt to a clean, shorter file). What a failed step wrote is no finished
// file and held nothing of the user's, so it is removed unless kept.
class UnfinishedFile
{
public:
    explicit UnfinishedFile(platform::FileStreams &files) : files_(&files) { }
    UnfinishedFile(UnfinishedFile &&other) noexcept
        : files_(other.files_), name_(std::exchange(other.name_, {}))
    { }
    UnfinishedFile &operator=(UnfinishedFile &&) = delete;
    ~UnfinishedFile()
    {
        if (!name_.empty()) {
            files_->remove(name_);
        }
    }

    std::string &name() { return name_; }
    void keep() { name_.clear(); }

private:
    platform::FileStreams *files_;
    std::string name_;
};

// Everything one encryption or decryption holds. Members are destroyed in
// reverse, which is the clean-up order: input, output, the unfinished output,
// key, user key, hash, context.
struct Job
{
    Job(platform::FileStreams &f, platform::Crypto &a, bool enc)
        : files(f),
          api(a),
          encrypt(enc),
          context(a, &platform::Crypto::releaseContext),
          hash(a, &platform::Crypto::destroyHash),
          userKey(a, &platform::Crypto::destroyKey),
          key(a, &platform::Crypto::destroyKey),
          unfinished(f),
          output(f, &platform::FileStreams::close),
          input(f, &platform::FileStreams::close)
    { }

    platform::FileStreams &files;
    platform::Crypto &api;
    const bool encrypt;
    std::uint64_t inputBytes = 0;
    CryptOwner context;
    CryptOwner hash;
    CryptOwner userKey;
    CryptOwner key;
    UnfinishedFile unfinished;
    FileOwner output;
    FileOwner input;
};

using Progress = std::function<void(std::int64_t, std::int64_t)>;

// The input opens; an existing output is never overwritten.
bool openInput(Job &job, const std::string &inFile, const std::string &outFile)
{
    if (!job.files.listed(inFile)) {
        return false;
    }
    job.input.adopt(job.files.openRead(inFile));
    return job.input.get() != platform::InvalidFileStream && !job.files.listed(outFile);
}

// The key comes from the password's code-page bytes: characters the code page
// cannot hold would all become "?", and "??" would open what "😀😀" sealed.
bool passwordBytes(const std::string &password, std::string &bytes)
{
    bytes = platform::toAnsi(password);
    if (platform::fromAnsi(bytes) != password) {
        showError("Password Error!");
        return false;
    }
    return true;
}

bool createOutput(Job &job, const std::string &outFile)
{
    std::string name;
    job.output.adopt(job.files.createTemporary(outFile, name));
    if (job.output.get() == platform::InvalidFileStream) {
        return false;
    }
    job.unfinished.name() = std::move(name);
    return true;
}

bool openProvider(Job &job)
{
    platform::CryptHandle prov = 0;
    if (!acquireContext(job.api, prov)) {
        showError("CryptAcquireContext Error!");
        return false;
    }
    job.context.adopt(prov);
    return true;
}

// With a password: the key derived from its hash.
bool passwordKey(Job &job, const std::string &bytes)
{
    platform::CryptHandle handle = 0;
    if (!job.api.createHash(job.context.get(), PasswordHashAlg, handle)) {
        showError("CryptCreateHash Error!");
        return false;
    }
    job.hash.adopt(std::exchange(handle, 0));
    if (!job.api.hashData(job.hash.get(), reinterpret_cast<const std::uint8_t *>(bytes.data()),
            static_cast<std::uint32_t>(bytes.size()))) {
        showError("CryptHashData Error!");
        return false;
    }
    if (!job.api.deriveKey(job.context.get(), platform::CalgRc4, job.hash.get(), 0, handle)) {
        showError("CryptDeriveKey Error!");
        return false;
    }
    job.key.adopt(handle);
    job.hash.reset();
    return true;
}

// Encrypting without one: a random key, stored at the output's head as its
// length (4 bytes, little-endian) and the blob wrapped with the user's key.
bool newKey(Job &job)
{
    platform::CryptHandle handle = 0;
    if (!job.api.genKey(job.context.get(), platform::CalgRc4, platform::CryptExportable, handle)) {
        showError("CryptGenKey Error!");
        return false;
    }
    job.key.adopt(std::exchange(handle, 0));
    if (!getUserKey(job.api, job.context.get(), handle)) {
        showError("CryptGetUserKey Error!");
        return false;
    }
    job.userKey.adopt(handle);
    std::uint32_t length = 0;
    if (!job.api.exportKey(
            job.key.get(), job.userKey.get(), platform::SimpleBlob, 0, nullptr, length)) {
        showError("CryptExportKey Error!");
        return false;
    }
    if (length == 0) {
        showError("メモリー割り当て Error!");
        return false;
    }
    std::vector<std::uint8_t> blob(4 + std::size_t(length));
    if (!job.api.exportKey(
            job.key.get(), job.userKey.get(), platform::SimpleBlob, 0, blob.data() + 4, length)) {
        showError("CryptExportKey Error!");
        return false;
    }
    job.userKey.reset();
    for (int i = 0; i < 4; ++i) {
        blob[i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    return job.files.write(job.output.get(), blob.data(), 4 + length);
}

// Decrypting without one: the key stored at the input's head. The stored
// length must leave room for its blob in the file; a damaged head cannot be
// imported and is reported as such.
bool storedKey(Job &job)
{
    std::uint8_t head[4] = {};
    std::uint32_t got = 0;
    std::int32_t length = 0;
    if (job.files.read(job.input.get(), head, 4, got) && got == 4) {
        length = static_cast<std::int32_t>(std::uint32_t(head[0]) | std::uint32_t(head[1]) << 8
            | std::uint32_t(head[2]) << 16 | std::uint32_t(head[3]) << 24);
    }
    const std::uint64_t room = job.inputBytes - std::min<std::uint64_t>(job.inputBytes, 4);
    if (length <= 0 || length > MaxBlobBytes || std::uint64_t(length) > room) {
        showError("CryptImportKey Error!");
        return false;
    }
    std::vector<std::uint8_t> blob(static_cast<std::size_t>(length));
    if (!job.files.read(job.input.get(), blob.data(), static_cast<std::uint32_t>(length), got)
        || got != static_cast<std::uint32_t>(length)) {
        showError("CryptImportKey Error!");
        return false;
    }
    platform::CryptHandle handle = 0;
    if (!job.api.importKey(job.context.get(), blob.data(), got, 0, 0, handle)) {
        showError("CryptImportKey Error!");
        return false;
    }
    job.key.adopt(handle);
    return true;
}

// Encrypts or decrypts the blocks of one read in place, packed to the front of
// @p buffer; @p written gets each block's length. Sets @p last at the last
// block and answers the failed call's message, or nullptr.
const char *cryptBlocks(Job &job, std::vector<std::uint8_t> &buffer, std::uint32_t got,
    std::vector<std::uint32_t> &written, std::uint32_t &outLength, bool &last)
{
    constexpr std::uint32_t BlockBytes = clsCryptFile::BlockBytes;
    for (std::uint32_t offset = 0;;) {
        std::uint32_t length = std::min(BlockBytes, got - offset);
        last = length < BlockBytes;
        std::uint8_t *block = buffer.data() + offset;
        bool ok = job.encrypt ? job.api.encrypt(job.key.get(), last, block, length, BlockBytes)
                              : job.api.decrypt(job.key.get(), last, block, length);
        if (!ok) {
            return job.encrypt ? "CryptEncrypt Error!" : "CryptDecrypt Error!";
        }
        length = std::min(length, BlockBytes);
        std::memmove(buffer.data() + outLength, block, length);
        outLength += length;
        written.push_back(length);
        offset += std::min(BlockBytes, got - offset);
        // A full transfer may end exactly at the end of the file: the next
        // read then gives the empty final block.
        if (last || (offset == got && got == buffer.size())) {
            return nullptr;
        }
    }
}

// Blocks are transferred many at a time; each is still encrypted and reported
// on its own, after the bytes it gave were written.
bool transfer(Job &job, const Progress &crypting)
{
    constexpr std::uint32_t BlockBytes = clsCryptFile::BlockBytes;
    const std::uint64_t blocksLeft = job.inputBytes / BlockBytes + 1;
    const auto transferBlocks =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(BlocksPerTransfer, blocksLeft));
    std::vector<std::uint8_t> buffer(std::size_t(transferBlocks) * BlockBytes);
    std::vector<std::uint32_t> written;
    written.reserve(transferBlocks);
    const auto fileBytes = static_cast<std::int64_t>(job.inputBytes);
    std::int64_t cryptBytes = 0;
    for (bool last = false; !last;) {
        std::uint32_t got = 0;
        if (!job.files.read(
                job.input.get(), buffer.data(), static_cast<std::uint32_t>(buffer.size()), got)) {
            return false;
        }
        written.clear();
        std::uint32_t outLength = 0;
        const char *failure = cryptBlocks(job, buffer, got, written, outLength, last);
        if (!job.files.write(job.output.get(), buffer.data(), outLength)) {
            return false;
        }
        for (std::uint32_t length : written) {
            cryptBytes += length;
            if (crypting) {
                crypting(cryptBytes, fileBytes);
            }
        }
        if (failure) {
            showError(failure);
            return false;
        }
    }
    return true;
}

// True only for a file that is on the disk whole under its name.
bool finish(Job &job, const std::string &outFile)
{
    bool closed = job.files.flush(job.output.get());
    closed = job.files.close(job.output.release()) && closed;
    if (!closed || !job.files.moveNew(job.unfinished.name(), outFile)) {
        return false;
    }
    job.unfinished.keep();
    return true;
}

bool cryptFile(Job &job, const std::string &inFile, const std::string &outFile,
    const std::string &password, const Progress &crypting)
{
    std::string bytes;
    if (!openInput(job, inFile, outFile) || !passwordBytes(password, bytes)
        || !createOutput(job, outFile) || !openProvider(job)
        || !job.files.size(job.input.get(), job.inputBytes)) {
        return false;
    }
    bool keyed = false;
    if (!password.empty()) {
        keyed = passwordKey(job, bytes);
    } else {
        keyed = job.encrypt ? newKey(job) : storedKey(job);
    }
    return keyed && transfer(job, crypting) && finish(job, outFile);
}

} // namespace

bool clsCryptFile::Decrypt()
{
    return mDecryptFile(mstrInFile, mstrOutFile, mstrPassword);
}

bool clsCryptFile::Encrypt()
{
    return mEncryptFile(mstrInFile, mstrOutFile, mstrPassword);
}

bool clsCryptFile::mEncryptFile(
    const std::string &strInFile, const std::string &strOutFile, const std::string &strPassword)
{
    return mCryptFile(true, strInFile, strOutFile, strPassword);
}

bool clsCryptFile::mDecryptFile(
    const std::string &strInFile, const std::string &strOutFile, const std::string &strPassword)
{
    return mCryptFile(false, strInFile, strOutFile, strPassword);
}

bool clsCryptFile::mCryptFile(bool booEncrypt, const std::string &strInFile,
    const std::string &strOutFile, const std::string &strPassword)
{
    bool result = false;
    {
        // Its owners clean up on leaving this block, before Crypted; an
        // exception passes through after the same clean-up, without Crypted.
        Job job(platform::fileStreams(), platform::crypto(), booEncrypt);
        result = cryptFile(job, strInFile, strOutFile, strPassword, Crypting);
    }
    if (Crypted) {
        Crypted();
    }
    return result;
}
