#include "classlib/clsCryptFile.h"

#include "platform/codepage.h"
#include "platform/crypto.h"
#include "platform/file_stream.h"
#include "platform/msgbox.h"

#include <algorithm>
#include <cstring>
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
    platform::FileStreams &files = platform::fileStreams();
    platform::Crypto &api = platform::crypto();

    bool result = false;
    platform::FileStreamHandle hInFile = platform::InvalidFileStream;
    platform::FileStreamHandle hOutFile = platform::InvalidFileStream;
    // The output is written under this hidden name beside OutFile and gets
    // OutFile's name only when complete: a kill never leaves a prefix there
    // (which would decrypt to a clean, shorter file).
    std::string strTempFile;
    platform::CryptHandle hProv = 0;
    platform::CryptHandle hKey = 0;
    platform::CryptHandle hUserKey = 0;
    platform::CryptHandle hHash = 0;

    auto cleanUp = [&] {
        if (hInFile != platform::InvalidFileStream) {
            files.close(hInFile);
        }
        if (hOutFile != platform::InvalidFileStream) {
            files.close(hOutFile);
        }
        // What a failed step wrote is no finished file; it held nothing of the user's.
        if (!result && !strTempFile.empty()) {
            files.remove(strTempFile);
        }
        if (hKey) {
            api.destroyKey(hKey);
        }
        if (booEncrypt && hUserKey) {
            api.destroyKey(hUserKey);
        }
        if (hHash) {
            api.destroyHash(hHash);
        }
        if (hProv) {
            api.releaseContext(hProv);
        }
    };

    try {
        [&] {
            if (!files.listed(strInFile)) {
                return;
            }
            hInFile = files.openRead(strInFile);
            if (hInFile == platform::InvalidFileStream) {
                return;
            }
            if (files.listed(strOutFile)) {
                return;
            }
            // The key comes from the password's code-page bytes: characters the
            // code page cannot hold would all become "?", and "??" would open
            // what "😀😀" sealed.
            std::string bytes = platform::toAnsi(strPassword);
            if (platform::fromAnsi(bytes) != strPassword) {
                showError("Password Error!");
                return;
            }
            hOutFile = files.createTemporary(strOutFile, strTempFile);
            if (hOutFile == platform::InvalidFileStream) {
                strTempFile.clear();
                return;
            }

            if (!acquireContext(api, hProv)) {
                hProv = 0;
                showError("CryptAcquireContext Error!");
                return;
            }

            std::uint64_t curFileSize = 0;
            if (!files.size(hInFile, curFileSize)) {
                return;
            }

            if (!strPassword.empty()) {
                if (!api.createHash(hProv, PasswordHashAlg, hHash)) {
                    hHash = 0;
                    showError("CryptCreateHash Error!");
                    return;
                }
                if (!api.hashData(hHash, reinterpret_cast<const std::uint8_t *>(bytes.data()),
                        static_cast<std::uint32_t>(bytes.size()))) {
                    showError("CryptHashData Error!");
                    return;
                }
                if (!api.deriveKey(hProv, platform::CalgRc4, hHash, 0, hKey)) {
                    hKey = 0;
                    showError("CryptDeriveKey Error!");
                    return;
                }
                api.destroyHash(hHash);
                hHash = 0;
            } else if (booEncrypt) {
                if (!api.genKey(hProv, platform::CalgRc4, platform::CryptExportable, hKey)) {
                    hKey = 0;
                    showError("CryptGenKey Error!");
                    return;
                }
                if (!getUserKey(api, hProv, hUserKey)) {
                    hUserKey = 0;
                    showError("CryptGetUserKey Error!");
                    return;
                }
                std::uint32_t lngBlobLen = 0;
                if (!api.exportKey(hKey, hUserKey, platform::SimpleBlob, 0, nullptr, lngBlobLen)) {
                    showError("CryptExportKey Error!");
                    return;
                }
                if (lngBlobLen == 0) {
                    showError("メモリー割り当て Error!");
                    return;
                }
                std::vector<std::uint8_t> blob(4 + std::size_t(lngBlobLen));
                if (!api.exportKey(
                        hKey, hUserKey, platform::SimpleBlob, 0, blob.data() + 4, lngBlobLen)) {
                    showError("CryptExportKey Error!");
                    return;
                }
                api.destroyKey(hUserKey);
                hUserKey = 0;
                for (int i = 0; i < 4; ++i) {
                    blob[i] = static_cast<std::uint8_t>(lngBlobLen >> (8 * i));
                }
                if (!files.write(hOutFile, blob.data(), 4 + lngBlobLen)) {
                    return;
                }
            } else {
                // The stored length must leave room for its blob in the file;
                // a damaged head cannot be imported and is reported as such.
                std::uint8_t head[4] = {};
                std::uint32_t got = 0;
                std::int32_t lngBlobLen = 0;
                if (files.read(hInFile, head, 4, got) && got == 4) {
                    lngBlobLen = static_cast<std::int32_t>(std::uint32_t(head[0])
                        | std::uint32_t(head[1]) << 8 | std::uint32_t(head[2]) << 16
                        | std::uint32_t(head[3]) << 24);
                }
                if (lngBlobLen <= 0 || lngBlobLen > MaxBlobBytes
                    || std::uint64_t(lngBlobLen)
                        > curFileSize - std::min<std::uint64_t>(curFileSize, 4)) {
                    showError("CryptImportKey Error!");
                    return;
                }
                std::vector<std::uint8_t> blob(static_cast<std::size_t>(lngBlobLen));
                if (!files.read(hInFile, blob.data(), static_cast<std::uint32_t>(lngBlobLen), got)
                    || got != static_cast<std::uint32_t>(lngBlobLen)) {
                    showError("CryptImportKey Error!");
                    return;
                }
                if (!api.importKey(hProv, blob.data(), got, 0, 0, hKey)) {
                    hKey = 0;
                    showError("CryptImportKey Error!");
                    return;
                }
            }

            // Blocks are transferred many at a time; each is still encrypted
            // and reported on its own, after the bytes it gave were written.
            std::uint64_t blocksLeft = curFileSize / BlockBytes + 1;
            std::uint32_t transferBlocks =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(BlocksPerTransfer, blocksLeft));
            std::vector<std::uint8_t> buffer(std::size_t(transferBlocks) * BlockBytes);
            std::vector<std::uint32_t> written;
            written.reserve(transferBlocks);
            const auto fileBytes = static_cast<std::int64_t>(curFileSize);
            std::int64_t lngCryptBytes = 0;
            bool booFinal = false;
            while (!booFinal) {
                std::uint32_t got = 0;
                if (!files.read(
                        hInFile, buffer.data(), static_cast<std::uint32_t>(buffer.size()), got)) {
                    return;
                }
                written.clear();
                std::uint32_t outLength = 0;
                const char *failure = nullptr;
                for (std::uint32_t offset = 0;;) {
                    std::uint32_t length = std::min(BlockBytes, got - offset);
                    booFinal = length < BlockBytes;
                    std::uint8_t *block = buffer.data() + offset;
                    bool ok = booEncrypt ? api.encrypt(hKey, booFinal, block, length, BlockBytes)
                                         : api.decrypt(hKey, booFinal, block, length);
                    if (!ok) {
                        failure = booEncrypt ? "CryptEncrypt Error!" : "CryptDecrypt Error!";
                        break;
                    }
                    length = std::min(length, BlockBytes);
                    std::memmove(buffer.data() + outLength, block, length);
                    outLength += length;
                    written.push_back(length);
                    offset += std::min(BlockBytes, got - offset);
                    // A full transfer may end exactly at the end of the file: the
                    // next read then gives the empty final block.
                    if (booFinal || (offset == got && got == buffer.size())) {
                        break;
                    }
                }
                if (!files.write(hOutFile, buffer.data(), outLength)) {
                    return;
                }
                for (std::uint32_t length : written) {
                    lngCryptBytes += length;
                    if (Crypting) {
                        Crypting(lngCryptBytes, fileBytes);
                    }
                }
                if (failure) {
                    showError(failure);
                    return;
                }
            }
            // True only for a file that is on the disk whole under its name.
            bool closed = files.flush(hOutFile);
            closed = files.close(std::exchange(hOutFile, platform::InvalidFileStream)) && closed;
            if (!closed || !files.moveNew(strTempFile, strOutFile)) {
                return;
            }
            result = true;
        }();
    } catch (...) {
        result = false;
        cleanUp();
        throw;
    }
    cleanUp();
    if (Crypted) {
        Crypted();
    }
    return result;
}
