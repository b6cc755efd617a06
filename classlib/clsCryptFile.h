#pragma once
// Encrypts one file into another with RC4, and back: with a password (the
// key derived from its hash) or without one (a random key, stored wrapped
// with the user's key-exchange key at the head of the encrypted file).
// RC4 is kept because stored files depend on it; it does not protect secrets.

#include <cstdint>
#include <functional>
#include <string>

class clsCryptFile
{
public:
    /// Bytes processed so far and the input's size, after every block written.
    std::function<void(std::int64_t CryptBytes, std::int64_t FileBytes)> Crypting;
    /// Once at the end of every Encrypt or Decrypt, whatever the outcome.
    std::function<void()> Crypted;

    bool Decrypt();
    bool Encrypt();

    const std::string &InFile() const { return mstrInFile; }
    void InFile(const std::string &vNewValue) { mstrInFile = vNewValue; }
    const std::string &OutFile() const { return mstrOutFile; }
    void OutFile(const std::string &vNewValue) { mstrOutFile = vNewValue; }
    const std::string &Password() const { return mstrPassword; }
    void Password(const std::string &vNewValue) { mstrPassword = vNewValue; }

    /// Bytes in one block: every block is encrypted on its own and reported.
    static constexpr std::uint32_t BlockBytes = 1002;

private:
    bool mEncryptFile(const std::string &strInFile, const std::string &strOutFile,
        const std::string &strPassword);
    bool mDecryptFile(const std::string &strInFile, const std::string &strOutFile,
        const std::string &strPassword);
    bool mCryptFile(bool booEncrypt, const std::string &strInFile, const std::string &strOutFile,
        const std::string &strPassword);

    std::string mstrInFile;
    std::string mstrOutFile;
    std::string mstrPassword;
};
