// clsCryptFile on real files with the platform's own provider, and through
// scripted services for the failures a real provider will not produce.

#include "classlib/clsCryptFile.h"
#include "classlib/crypt_fakes.h"
#include "classlib/file_test_support.h"
#include "common/platform_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>
#undef MessageBox // the platform's service of that name, not the ANSI/wide macro
#else
#include "common/unprivileged.h"
#include "platform/linux/crypto_openssl.h"

#include <chrono>
#include <csignal>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(
        reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes randomBytes(std::size_t size, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    Bytes bytes(size);
    for (auto &b : bytes) {
        b = static_cast<std::uint8_t>(gen());
    }
    return bytes;
}

std::uint32_t le32(const Bytes &bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16
        | std::uint32_t(bytes[3]) << 24;
}

/// A temporary folder, a message-box recorder and, on Linux, a provider whose
/// key container lives in that folder; events are recorded.
class CryptFileTest : public ::testing::Test
{
protected:
    fakes::TempDir dir;
    fakes::RecordingMessageBox boxes;
#ifndef _WIN32
    platform::linux_crypto::OpensslCrypto provider { {(dir.path() / "keys").string(), 1024 } };
    platform::ScopedSeam<platform::Crypto> providerGuard { provider };
#endif
    std::vector<std::pair<std::int64_t, std::int64_t>> events;
    int crypted = 0;

    std::filesystem::path at(const char *name) const
    {
        return dir.path() / name;
    }

    clsCryptFile make(const char *in, const char *out, const std::string &password)
    {
        clsCryptFile file;
        file.InFile(at(in).string());
        file.OutFile(at(out).string());
        file.Password(password);
        file.Crypting = [this](std::int64_t done, std::int64_t total) {
            events.emplace_back(done, total);
        };
        file.Crypted = [this] { ++crypted; };
        return file;
    }
};

struct RoundTrip
{
    std::size_t size;
    const char *password;
};

void PrintTo(const RoundTrip &r, std::ostream *os)
{
    *os << r.size << " bytes, " << (*r.password != '\0' ? "password" : "random key");
}

class CryptRoundTrip : public CryptFileTest, public ::testing::WithParamInterface<RoundTrip>
{ };

// Sizes around the block (1002) and the transfer (1024 blocks) boundaries, both modes.
TEST_P(CryptRoundTrip, DecryptGivesTheInputBackWithAnEventPerBlock)
{
    const RoundTrip row = GetParam();
    Bytes input = randomBytes(row.size);
    writeFile(at("plain"), input);

    clsCryptFile enc = make("plain", "sealed", row.password);
    ASSERT_TRUE(enc.Encrypt());
    Bytes sealed = readFile(at("sealed"));
    std::size_t head = 0;
    if (*row.password == '\0') {
        ASSERT_GE(sealed.size(), 4u);
        head = 4 + le32(sealed);
    }
    EXPECT_EQ(sealed.size(), input.size() + head);
    if (!input.empty()) {
        EXPECT_NE(Bytes(sealed.begin() + long(head), sealed.end()), input);
    }
    std::size_t blocks = row.size / 1002 + 1;
    ASSERT_EQ(events.size(), blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        EXPECT_EQ(events[i].first, std::int64_t(std::min(row.size, (i + 1) * 1002)));
        EXPECT_EQ(events[i].second, std::int64_t(row.size));
    }

    events.clear();
    clsCryptFile dec = make("sealed", "opened", row.password);
    ASSERT_TRUE(dec.Decrypt());
    EXPECT_EQ(readFile(at("opened")), input);
    EXPECT_EQ(events.size(), (sealed.size()) / 1002 + 1);
    EXPECT_EQ(events.back(), std::make_pair(std::int64_t(row.size), std::int64_t(sealed.size())));
    EXPECT_EQ(crypted, 2);
    EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, CryptRoundTrip,
    ::testing::Values(RoundTrip { 0, "pw" }, RoundTrip { 1001, "pw" }, RoundTrip { 2004, "pw" },
        RoundTrip { 1002 * 1024, "パスワード" }, RoundTrip { 1002 * 1024 + 5, "pw" },
        RoundTrip { 0, "" }, RoundTrip { 1003, "" }, RoundTrip { 1002 * 2048 + 1, "" }));

TEST_F(CryptFileTest, TwoBlocksExactlyEndWithAnEmptyFinalBlock)
{
    writeFile(at("plain"), Bytes(2004, 0x41));
    clsCryptFile file = make("plain", "sealed", "pw");
    ASSERT_TRUE(file.Encrypt());
    using E = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(events, (std::vector<E> { { 1002, 2004 }, { 2004, 2004 }, { 2004, 2004 } }));
}

TEST_F(CryptFileTest, AnEmptyInputInRandomKeyModeGivesOnlyTheKeyHeader)
{
    writeFile(at("plain"), {});
    clsCryptFile file = make("plain", "sealed", "");
    ASSERT_TRUE(file.Encrypt());
    Bytes sealed = readFile(at("sealed"));
    ASSERT_GE(sealed.size(), 16u);
    EXPECT_EQ(sealed.size(), 4 + le32(sealed));
    // The SIMPLEBLOB head: type 1, version 2, RC4, wrapped by the RSA key-exchange key.
    EXPECT_EQ(Bytes(sealed.begin() + 4, sealed.begin() + 16),
        (Bytes { 1, 2, 0, 0, 0x01, 0x68, 0, 0, 0x00, 0xA4, 0, 0 }));
    using E = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(events, (std::vector<E> { { 0, 0 } }));
}

// The key a password gives is the first 16 bytes of its MD5 hash, as the Windows
// build's default provider derives it (checked there): RC4 of 32 zero bytes.
TEST_F(CryptFileTest, APasswordGivesTheDefaultProvidersKey)
{
    writeFile(at("zeros"), Bytes(32, 0));
    clsCryptFile file = make("zeros", "sealed", "password");
    ASSERT_TRUE(file.Encrypt());
    const Bytes expected = { 0xe8, 0xf8, 0x2b, 0x3d, 0x75, 0x5b, 0x65, 0xe1, 0x71, 0x38, 0xa7, 0x61,
        0xff, 0x86, 0x78, 0x51, 0xdf, 0x06, 0x00, 0x55, 0x4a, 0xac, 0xf2, 0x5d, 0xe1, 0x83, 0x50,
        0x1d, 0x13, 0x89, 0x3e, 0xdf };
    EXPECT_EQ(readFile(at("sealed")), expected);
}

TEST_F(CryptFileTest, AMissingInputOrAnExistingOutputFailsSilently)
{
    writeFile(at("plain"), Bytes(10, 1));
    writeFile(at("taken"), Bytes(3, 9));
    clsCryptFile missing = make("absent", "out", "pw");
    clsCryptFile taken = make("plain", "taken", "pw");
    EXPECT_FALSE(missing.Encrypt());
    EXPECT_FALSE(taken.Encrypt());
    EXPECT_FALSE(taken.Decrypt());
    EXPECT_FALSE(std::filesystem::exists(at("out")));
    EXPECT_EQ(readFile(at("taken")), Bytes(3, 9));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(crypted, 3);
}

// A temporary name proves nothing: a user's file that merely looks like the
// output's leftover, from a process ID no process can have, is not swept.
TEST_F(CryptFileTest, AUserFileNamedLikeALeftoverStays)
{
    writeFile(at("plain"), Bytes(10, 1));
    writeFile(at(".out.tmp4194305.0"), Bytes(3, 9));
    clsCryptFile file = make("plain", "out", "pw");
    EXPECT_TRUE(file.Encrypt());
    EXPECT_EQ(readFile(at(".out.tmp4194305.0")), Bytes(3, 9));
}

// The stored blob length and the blob itself are the only header; damage of any
// kind is refused as an import failure, with nothing left behind.
struct BadHead
{
    const char *name;
    Bytes file;
};

void PrintTo(const BadHead &c, std::ostream *os)
{
    *os << c.name;
}

class CryptBadHead : public CryptFileTest, public ::testing::WithParamInterface<BadHead>
{ };

TEST_P(CryptBadHead, FailsWithEveryHandleClosedAndNoOutput)
{
    fakes::WatchedFiles files;
    writeFile(at("sealed"), GetParam().file);
    clsCryptFile file = make("sealed", "opened", "");
    EXPECT_FALSE(file.Decrypt());
    EXPECT_EQ(files.openHandles, 0);
    EXPECT_FALSE(std::filesystem::exists(at("opened")));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "CryptImportKey Error!");
    EXPECT_EQ(crypted, 1);
}

Bytes withLength(std::int32_t length, std::size_t rest)
{
    Bytes bytes(4 + rest, 0x5A);
    for (int i = 0; i < 4; ++i) {
        bytes[std::size_t(i)] = static_cast<std::uint8_t>(std::uint32_t(length) >> (8 * i));
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(Heads, CryptBadHead,
    ::testing::Values(BadHead { "Empty", {} }, BadHead { "ShortLength", { 12, 0 } },
        BadHead { "Zero", withLength(0, 100) }, BadHead { "Negative", withLength(-12, 100) },
        BadHead { "PastTheEnd", withLength(141, 140) },
        BadHead { "Huge", withLength(0x7FFFFFFF, 10) },
        BadHead { "NotABlob", withLength(140, 200) }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CryptFileTest, ATamperedKeyBlobIsRefused)
{
    writeFile(at("plain"), Bytes(50, 3));
    clsCryptFile enc = make("plain", "sealed", "");
    ASSERT_TRUE(enc.Encrypt());
    Bytes sealed = readFile(at("sealed"));
    sealed[20] ^= 0x40;
    writeFile(at("tampered"), sealed);
    clsCryptFile dec = make("tampered", "opened", "");
    EXPECT_FALSE(dec.Decrypt());
    EXPECT_FALSE(std::filesystem::exists(at("opened")));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "CryptImportKey Error!");
}

TEST_F(CryptFileTest, AnInputThatVanishesBeforeItOpensFailsSilently)
{
    fakes::WatchedFiles files;
    writeFile(at("plain"), Bytes(10, 1));
    files.afterListed = [this](std::string_view path) {
        if (path == at("plain").string()) {
            std::filesystem::remove(at("plain"));
        }
    };
    clsCryptFile file = make("plain", "out", "pw");
    EXPECT_FALSE(file.Encrypt());
    EXPECT_EQ(files.openHandles, 0);
    EXPECT_FALSE(std::filesystem::exists(at("out")));
    EXPECT_TRUE(boxes.shown.empty());
}

/// Names in @p folder, sorted, without the provider's key folder.
std::vector<std::string> namesIn(const std::filesystem::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename() != "keys") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A full disk, a failed flush or close, or an output that someone else
// created meanwhile: False, and nothing of ours left in the folder.
struct WriteFault
{
    const char *name;
    const char *failStep;
    bool takenMeanwhile;
};

void PrintTo(const WriteFault &c, std::ostream *os)
{
    *os << c.name;
}

class CryptWriteFault : public CryptFileTest, public ::testing::WithParamInterface<WriteFault>
{ };

TEST_P(CryptWriteFault, FailsAndLeavesNothingOfItsOwn)
{
    const WriteFault &row = GetParam();
    fakes::WatchedFiles files;
    files.failStep = row.failStep;
    if (row.takenMeanwhile) {
        files.afterListed = [this](std::string_view path) {
            if (path == at("out").string()) {
                writeFile(at("out"), Bytes(3, 9));
            }
        };
    }
    writeFile(at("plain"), Bytes(5000, 1));
    clsCryptFile file = make("plain", "out", "pw");
    EXPECT_FALSE(file.Encrypt());
    EXPECT_EQ(files.openHandles, 0);
    const std::vector<std::string> left = row.takenMeanwhile
        ? std::vector<std::string> { "out", "plain" }
        : std::vector<std::string> { "plain" };
    EXPECT_EQ(namesIn(dir.path()), left);
    if (row.takenMeanwhile) {
        EXPECT_EQ(readFile(at("out")), Bytes(3, 9)) << "never replaced";
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(crypted, 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, CryptWriteFault,
    ::testing::Values(WriteFault { "FullDisk", "write", false },
        WriteFault { "Flush", "flush", false }, WriteFault { "Close", "close", false },
        WriteFault { "Move", "moveNew", false }, WriteFault { "TakenMeanwhile", "", true }),
    [](const auto &info) { return std::string(info.param.name); });

// The key comes from the password's code-page bytes; "😀😀" would become "??"
// and open with it. Such a password is refused before anything is written.
TEST_F(CryptFileTest, APasswordTheCodePageCannotHoldIsRefused)
{
    writeFile(at("plain"), Bytes(100, 1));
    for (const char *password : { "😀😀", "pw😀", "café" }) {
        SCOPED_TRACE(password);
        boxes.shown.clear();
        clsCryptFile enc = make("plain", "out", password);
        EXPECT_FALSE(enc.Encrypt());
        EXPECT_FALSE(enc.Decrypt());
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string> { "plain" });
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].text, "Password Error!");
        EXPECT_EQ(boxes.shown[0].buttons, platform::MbOkOnly);
    }
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(crypted, 6);
}

// Each failing provider call: its message, then clean-up in the fixed order
// (input, output, the output removed, key, user key, hash, context), then Crypted.
struct ProviderFault
{
    const char *name;
    bool encrypt;
    const char *password;
    const char *failName;
    int failCall;
    std::uint32_t blobLength;
    std::vector<std::string> tail;
};

void PrintTo(const ProviderFault &c, std::ostream *os)
{
    *os << c.name;
}

class CryptProviderFault : public CryptFileTest, public ::testing::WithParamInterface<ProviderFault>
{ };

TEST_P(CryptProviderFault, ShowsItsMessageAndCleansUpInOrder)
{
    const ProviderFault &row = GetParam();
    std::vector<std::string> log;
    fakes::WatchedFiles files;
    files.log = &log;
    fakes::ScriptedCrypto api;
    api.log = &log;
    api.failName = row.failName;
    api.failCall = row.failCall;
    api.blobLength = row.blobLength;
    Bytes input = row.encrypt || *row.password ? Bytes(3000, 1) : withLength(12, 3000);
    writeFile(at("in"), input);

    clsCryptFile file = make("in", "out", row.password);
    file.Crypting = [&](std::int64_t done, std::int64_t) {
        log.push_back("Crypting " + std::to_string(done));
    };
    file.Crypted = [&] { log.push_back("Crypted"); };
    struct LoggingBox final : platform::MessageBox
    {
        std::vector<std::string> *log;
        std::int32_t show(const platform::MessageBoxRequest &request) override
        {
            log->push_back("box " + request.text);
            EXPECT_EQ(request.buttons, platform::MbOkOnly);
            return platform::IdOk;
        }
    } logging;
    logging.log = &log;
    platform::ScopedSeam<platform::MessageBox> boxGuard(logging);

    EXPECT_FALSE(row.encrypt ? file.Encrypt() : file.Decrypt());
    auto from = std::find_if(log.begin(), log.end(), [](const std::string &s) {
        return s.rfind("box ", 0) == 0 || s.rfind("Crypting", 0) == 0;
    });
    EXPECT_EQ(std::vector<std::string>(from, log.end()), row.tail);
    EXPECT_EQ(files.openHandles, 0);
    EXPECT_FALSE(std::filesystem::exists(at("out")));
}

const std::vector<std::string> closed = { "close", "close", "remove" };
std::vector<std::string> tail(const char *box, std::vector<std::string> destroyed)
{
    std::vector<std::string> result = { std::string("box ") + box };
    result.insert(result.end(), closed.begin(), closed.end());
    result.insert(result.end(), destroyed.begin(), destroyed.end());
    result.push_back("Crypted");
    return result;
}

INSTANTIATE_TEST_SUITE_P(Calls, CryptProviderFault,
    ::testing::Values(ProviderFault { "Acquire", true, "pw", "acquireContext", 1, 12,
                          tail("CryptAcquireContext Error!", {}) },
        ProviderFault { "CreateHash", true, "pw", "createHash", 1, 12,
            tail("CryptCreateHash Error!", { "releaseContext" }) },
        ProviderFault { "HashData", true, "pw", "hashData", 1, 12,
            tail("CryptHashData Error!", { "destroyHash", "releaseContext" }) },
        ProviderFault { "DeriveKey", false, "pw", "deriveKey", 1, 12,
            tail("CryptDeriveKey Error!", { "destroyHash", "releaseContext" }) },
        ProviderFault {
            "GenKey", true, "", "genKey", 1, 12, tail("CryptGenKey Error!", { "releaseContext" }) },
        ProviderFault { "GetUserKey", true, "", "getUserKey", 1, 12,
            tail("CryptGetUserKey Error!", { "destroyKey", "releaseContext" }) },
        ProviderFault { "ExportLength", true, "", "exportKey", 1, 12,
            tail("CryptExportKey Error!", { "destroyKey", "destroyKey", "releaseContext" }) },
        ProviderFault { "ExportZero", true, "", "none", 1, 0,
            tail("メモリー割り当て Error!", { "destroyKey", "destroyKey", "releaseContext" }) },
        ProviderFault { "ExportBlob", true, "", "exportKey", 2, 12,
            tail("CryptExportKey Error!", { "destroyKey", "destroyKey", "releaseContext" }) },
        ProviderFault { "Import", false, "", "importKey", 1, 12,
            tail("CryptImportKey Error!", { "releaseContext" }) },
        ProviderFault { "EncryptSecondBlock", true, "pw", "encrypt", 2, 12,
            [] {
                auto t = tail("CryptEncrypt Error!", { "destroyKey", "releaseContext" });
                t.insert(t.begin(), "Crypting 1002");
                return t;
            }() },
        ProviderFault { "DecryptFirstBlock", false, "", "decrypt", 1, 12,
            tail("CryptDecrypt Error!", { "destroyKey", "releaseContext" }) }),
    [](const auto &info) { return std::string(info.param.name); });

/// Files of any size without the bytes: the input claims @c size bytes, reads
/// hand out untouched buffers and writes are only counted.
class HugeFiles final : public platform::FileStreams
{
public:
    std::uint64_t total = 0;
    std::uint64_t written = 0;
    std::uint64_t readAt = 0;
    bool listed(std::string_view path) override { return path == "in"; }
    platform::FileStreamHandle openRead(std::string_view) override { return 1; }
    platform::FileStreamHandle createTemporary(std::string_view, std::string &name) override
    {
        name = "temporary";
        return 2;
    }
    bool moveNew(std::string_view, std::string_view) override { return true; }
    bool read(platform::FileStreamHandle, std::uint8_t *, std::uint32_t want,
        std::uint32_t &done) override
    {
        done = static_cast<std::uint32_t>(std::min<std::uint64_t>(want, total - readAt));
        readAt += done;
        return true;
    }
    bool write(platform::FileStreamHandle, const std::uint8_t *, std::uint32_t n) override
    {
        written += n;
        return true;
    }
    bool size(platform::FileStreamHandle, std::uint64_t &bytes) override
    {
        bytes = total;
        return true;
    }
    bool flush(platform::FileStreamHandle) override { return true; }
    bool close(platform::FileStreamHandle) override { return true; }
    bool remove(std::string_view) override { return true; }

private:
    platform::ScopedSeam<platform::FileStreams> guard_ { *this };
};

TEST_F(CryptFileTest, CountsPastFourGibibytesStayExact)
{
    HugeFiles files;
    files.total = (std::uint64_t(5) << 30) + 7;
    fakes::ScriptedCrypto api;
    clsCryptFile file;
    file.InFile("in");
    file.OutFile("out");
    file.Password("pw");
    std::uint64_t count = 0;
    std::int64_t last = 0, total = 0;
    file.Crypting = [&](std::int64_t done, std::int64_t all) {
        ++count;
        last = done;
        total = all;
    };
    ASSERT_TRUE(file.Encrypt());
    EXPECT_EQ(count, files.total / 1002 + 1);
    EXPECT_EQ(std::uint64_t(last), files.total);
    EXPECT_EQ(std::uint64_t(total), files.total);
    EXPECT_EQ(files.written, files.total);
}

#ifndef _WIN32

// The key container: created for a new user, private to that user, and
// refused rather than used when others may read it.
TEST_F(CryptFileTest, ANewUserGetsAPrivateKeyContainer)
{
    writeFile(at("plain"), Bytes(100, 2));
    clsCryptFile enc = make("plain", "sealed", "");
    ASSERT_TRUE(enc.Encrypt());
    struct stat folder
    {
    }, key {};
    ASSERT_EQ(::stat(at("keys").c_str(), &folder), 0);
    ASSERT_EQ(::stat((at("keys") / "exchange-key.pem").c_str(), &key), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(key.st_mode & 0777, 0600u);

    // Another user's (here: a fresh) key cannot open the file.
    platform::linux_crypto::OpensslCrypto other { { (dir.path() / "other").string(), 1024 } };
    platform::ScopedSeam<platform::Crypto> otherGuard(other);
    clsCryptFile dec = make("sealed", "opened", "");
    EXPECT_FALSE(dec.Decrypt());
    EXPECT_FALSE(std::filesystem::exists(at("opened")));
}

// The stored blob is the key, PKCS #1 wrapped with the user's key and stored
// little-endian after the SIMPLEBLOB head: unwrapped here with OpenSSL alone.
TEST_F(CryptFileTest, TheStoredBlobIsTheKeyWrappedLittleEndian)
{
    Bytes input = randomBytes(64);
    writeFile(at("plain"), input);
    clsCryptFile enc = make("plain", "sealed", "");
    ASSERT_TRUE(enc.Encrypt());
    Bytes sealed = readFile(at("sealed"));
    std::size_t blob = le32(sealed);
    ASSERT_EQ(blob, 12u + 128u); // a 1024-bit key in this test
    Bytes wrapped(sealed.rbegin() + long(input.size()), sealed.rbegin() + long(input.size() + 128));

    FILE *pem = std::fopen((at("keys") / "exchange-key.pem").c_str(), "r");
    ASSERT_NE(pem, nullptr);
    EVP_PKEY *pkey = PEM_read_PrivateKey(pem, nullptr, nullptr, nullptr);
    std::fclose(pem);
    ASSERT_NE(pkey, nullptr);
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(pkey, nullptr);
    Bytes key(128);
    std::size_t keyLength = key.size();
    ASSERT_EQ(EVP_PKEY_decrypt_init(ctx), 1);
    ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING), 1);
    ASSERT_EQ(EVP_PKEY_decrypt(ctx, key.data(), &keyLength, wrapped.data(), wrapped.size()), 1);
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(pkey);
    ASSERT_EQ(keyLength, 16u);

    // RC4 with that key, written out here: the cipher text must match.
    std::uint8_t state[256];
    for (int i = 0; i < 256; ++i) {
        state[i] = static_cast<std::uint8_t>(i);
    }
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + state[i] + key[std::size_t(i) % 16]) & 255;
        std::swap(state[i], state[j]);
    }
    Bytes expected(input.size());
    for (std::size_t n = 0, i = 0, j = 0; n < input.size(); ++n) {
        i = (i + 1) & 255;
        j = (j + state[i]) & 255;
        std::swap(state[i], state[j]);
        expected[n] = input[n] ^ state[(state[i] + state[j]) & 255];
    }
    EXPECT_EQ(Bytes(sealed.begin() + 4 + long(blob), sealed.end()), expected);
}

// A kill -9 at any moment of an encryption leaves the output absent or whole,
// and the next encryption into that folder removes the dead writers' leftovers.
TEST_F(CryptFileTest, AKilledEncryptionNeverLeavesAPartialOutput)
{
    writeFile(at("plain"), randomBytes(std::size_t(4) << 20));
    clsCryptFile reference = make("plain", "reference", "pw");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(reference.Encrypt());
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    const Bytes whole = readFile(at("reference"));
    std::mt19937 gen(std::random_device {}());
    std::uniform_int_distribution<long> delay(0, long(took.count()) * 5 / 4);
    for (int round = 0; round < 10; ++round) {
        std::filesystem::remove(at("out"));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            clsCryptFile file = make("plain", "out", "pw");
            ::_exit(file.Encrypt() ? 0 : 1);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(gen)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (std::filesystem::exists(at("out"))) {
            EXPECT_TRUE(readFile(at("out")) == whole) << "round " << round << ": a partial output";
        }
    }
    std::filesystem::remove(at("out"));
    if (const auto reason = filetest::noWriterMarks(dir.path()); !reason.empty()) {
        GTEST_SKIP() << "leftovers unmarked, so kept: " << reason;
    }
    clsCryptFile again = make("plain", "out", "pw");
    ASSERT_TRUE(again.Encrypt());
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string> { "out", "plain", "reference" }));
}

TEST_F(CryptFileTest, AKeyStoreOthersCanReadIsRefused)
{
    if (fakes::rerunUnprivileged()) {
        return;
    }
    writeFile(at("plain"), Bytes(100, 2));
    clsCryptFile first = make("plain", "sealed", "");
    ASSERT_TRUE(first.Encrypt());
    std::filesystem::path key = at("keys") / "exchange-key.pem";
    Bytes stored = readFile(key);

    ::chmod(key.c_str(), 0644);
    clsCryptFile loose = make("plain", "sealed2", "");
    EXPECT_FALSE(loose.Encrypt());
    ::chmod(key.c_str(), 0600);
    ::chmod(at("keys").c_str(), 0750);
    clsCryptFile looseFolder = make("sealed", "opened", "");
    EXPECT_FALSE(looseFolder.Decrypt());
    EXPECT_EQ(readFile(key), stored); // never replaced
    std::vector<std::string> texts;
    for (const auto &box : boxes.shown) {
        texts.push_back(box.text);
    }
    EXPECT_EQ(texts,
        (std::vector<std::string> { "CryptGetUserKey Error!", "CryptAcquireContext Error!" }));
    EXPECT_FALSE(std::filesystem::exists(at("sealed2")));
    EXPECT_FALSE(std::filesystem::exists(at("opened")));
}

TEST_F(CryptFileTest, AReadOnlyOutputFolderFailsSilently)
{
    if (fakes::rerunUnprivileged()) {
        return;
    }
    fakes::WatchedFiles files;
    writeFile(at("plain"), Bytes(100, 2));
    std::filesystem::create_directory(at("locked"));
    ::chmod(at("locked").c_str(), 0555);
    clsCryptFile file = make("plain", "locked/out", "pw");
    EXPECT_FALSE(file.Encrypt());
    EXPECT_EQ(files.openHandles, 0);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(at("locked/out")));
}

#endif

#ifdef _WIN32

// A user without a default key container, or without a key-exchange key in it,
// gets them instead of a failure. Only in the test script's throw-away Wine
// prefix is the container deleted first; that prefix is such a user anyway.
TEST_F(CryptFileTest, ANewUserGetsAKeyContainerAndKey)
{
    if (!std::getenv("PORTPROBE_THROWAWAY_WINE_PREFIX")) {
        GTEST_SKIP() << "deletes the user's key container: throw-away Wine prefix only";
    }
    HCRYPTPROV prov = 0;
    ::CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
    ASSERT_FALSE(::CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, 0));
    ASSERT_EQ(::GetLastError(), DWORD(NTE_BAD_KEYSET));

    Bytes input = randomBytes(3000);
    writeFile(at("plain"), input);
    clsCryptFile enc = make("plain", "sealed", "");
    ASSERT_TRUE(enc.Encrypt());
    clsCryptFile dec = make("sealed", "opened", "");
    ASSERT_TRUE(dec.Decrypt());
    EXPECT_EQ(readFile(at("opened")), input);
    EXPECT_TRUE(boxes.shown.empty());

    // A container without a key-exchange key: a new one is made as well.
    ::CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
    ASSERT_TRUE(::CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    ::CryptReleaseContext(prov, 0);
    clsCryptFile again = make("plain", "sealed2", "");
    EXPECT_TRUE(again.Encrypt());
}

#endif

} // namespace
