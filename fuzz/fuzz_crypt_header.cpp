// The decrypt step of clsCryptFile in random-key mode on arbitrary file
// bytes: the stored blob length, the key blob and whatever follows. It must
// end with True or False and every handle closed, never crash.

#include "classlib/clsCryptFile.h"
#include "platform/file_stream.h"
#include "platform/linux/crypto_openssl.h"
#include "platform/msgbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

class QuietBox final : public platform::MessageBox
{
public:
    std::int32_t show(const platform::MessageBoxRequest &) override { return platform::IdOk; }
};

/// The input is the fuzzer's bytes; the output is discarded.
class MemoryFiles final : public platform::FileStreams
{
public:
    const std::uint8_t *data = nullptr;
    std::size_t length = 0;
    std::size_t at = 0;
    int open = 0;

    bool listed(std::string_view path) override { return path == "in"; }
    platform::FileStreamHandle openRead(std::string_view) override
    {
        ++open;
        at = 0;
        return 1;
    }
    platform::FileStreamHandle createTemporary(std::string_view, std::string &name) override
    {
        ++open;
        name = "temporary";
        return 2;
    }
    bool moveNew(std::string_view, std::string_view) override { return true; }
    bool flush(platform::FileStreamHandle) override { return true; }
    bool read(platform::FileStreamHandle, std::uint8_t *out, std::uint32_t want,
        std::uint32_t &done) override
    {
        done = static_cast<std::uint32_t>(std::min<std::size_t>(want, length - at));
        std::copy(data + at, data + at + done, out);
        at += done;
        return true;
    }
    bool write(platform::FileStreamHandle, const std::uint8_t *, std::uint32_t) override
    {
        return true;
    }
    bool size(platform::FileStreamHandle, std::uint64_t &bytes) override
    {
        bytes = length;
        return true;
    }
    bool close(platform::FileStreamHandle) override
    {
        --open;
        return true;
    }
    bool remove(std::string_view) override { return true; }
};

struct Rig
{
    QuietBox box;
    MemoryFiles files;
    platform::linux_crypto::OpensslCrypto provider;

    std::string folder;

    explicit Rig(const std::string &keys) : provider({ keys, 1024 }), folder(keys)
    {
        platform::Seam<platform::MessageBox>::install(&box);
        platform::Seam<platform::Crypto>::install(&provider);
        // One real encryption creates the user's key pair, so blobs reach the RSA step.
        std::string plain = keys + "-plain", sealed = keys + "-sealed";
        std::ofstream(plain).put('x');
        clsCryptFile seal;
        seal.InFile(plain);
        seal.OutFile(sealed);
        check(seal.Encrypt());
        std::filesystem::remove(plain);
        std::filesystem::remove(sealed);
        platform::Seam<platform::FileStreams>::install(&files);
    }
    ~Rig()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Rig &rig()
{
    static Rig instance(std::filesystem::temp_directory_path().string() + "/portprobe-fuzz-keys-"
        + std::to_string(::getpid()));
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Rig &r = rig();
    r.files.data = data;
    r.files.length = size;
    clsCryptFile file;
    file.InFile("in");
    file.OutFile("out");
    std::int64_t last = -1;
    file.Crypting = [&](std::int64_t done, std::int64_t total) {
        check(done >= last && done <= total && total == std::int64_t(size));
        last = done;
    };
    file.Decrypt();
    check(r.files.open == 0);
    return 0;
}
