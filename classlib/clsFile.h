#pragma once
// One file (FileName): existence, size, attributes, times, version resource,
// short name and link count, and the shell's open, print, recycle, copy, move
// and rename. Members that need the file raise run-time error 53 when it
// cannot be opened for reading; other platform errors reach the caller.

#include <cstdint>
#include <string>

class clsFile
{
public:
    std::string FileName() const { return mstrFileName; }
    void FileName(const std::string &vNewValue) { mstrFileName = vNewValue; }

    bool Enabled() const;
    /// Length in bytes (64-bit: files over 2 GiB are no error).
    std::int64_t Size() const;
    void Execute() const;

    bool Archive() const;
    void Archive(bool vNewValue);
    bool Hidden() const;
    void Hidden(bool vNewValue);
    bool System() const;
    void System(bool vNewValue);
    bool Directory() const;
    bool ReadOnly() const;
    void ReadOnly(bool vNewValue);

    bool Executable() const;
    std::string ShortPathName() const;

    std::string CreationTime();
    std::string LastAccessTime();
    std::string LastWriteTime();
    std::int32_t Links();

    void Trash() const;
    void FileCopy(const std::string &strToPath) const;
    void Move(const std::string &strToPath) const;
    void Rename(const std::string &strToPath) const;

    std::string FileVersion();
    std::string ProductVersion();
    std::string FileType();
    std::string FileSubtype();
    std::string FileOS();
    std::string BuildType();

    /// Space on disk (64-bit); -1 when it cannot be read.
    std::int64_t CompressedSize() const;
    void FilePrint() const;
    void FirstMove(const std::string &strToPath) const;

private:
    void mRequireEnabled() const;
    void mReadFileInformation();
    bool mTestAttribute(std::uint32_t bit) const;
    void mSetAttribute(std::uint32_t bit, bool value);
    void mReadVersionInformation();
    void mShellOperation(std::uint32_t function, const std::string &to) const;

    std::string mstrFileName;
    std::string mstrCreationTime;
    std::string mstrLastAccessTime;
    std::string mstrLastWriteTime;
    std::int32_t mlngLinks = 0;
    std::string mstrFileVersion;
    std::string mstrProductVersion;
    std::uint32_t mlngFileType = 0;
    std::uint32_t mlngFileSubtype = 0;
    std::uint32_t mlngFileOS = 0;
    std::uint32_t mlngFileFlags = 0;
};

/// One file time as the file class writes it: "2004年3月7日 日曜日    9:5:0".
std::string gFormatFileTime(
    int year, int month, int day, int dayOfWeek, int hour, int minute, int second);
