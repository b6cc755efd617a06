#include "classlib/clsDrive.h"

#include "platform/codepage.h"
#include "platform/drive.h"
#include "platform/runtime/runtime_error.h"

#include <limits>

namespace {

std::string upper(const std::string &text)
{
    return platform::upperCase(text);
}

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size()
        && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Multiplies as 32-bit signed arithmetic does, raising overflow beyond its range.
std::int32_t multiply32(std::int32_t a, std::int32_t b)
{
    std::int64_t product = std::int64_t(a) * b;
    if (product > std::numeric_limits<std::int32_t>::max()
        || product < std::numeric_limits<std::int32_t>::min()) {
        throw RuntimeError(vberr::Overflow);
    }
    return static_cast<std::int32_t>(product);
}

} // namespace

void clsDrive::Drive(const std::string &strNewDrive)
{
    if (mGrammar == PathGrammar::Windows) {
        if (endsWith(strNewDrive, ":\\")) {
            mstrDrive = upper(strNewDrive);
        } else if (endsWith(strNewDrive, ":")) {
            mstrDrive = upper(strNewDrive + "\\");
        } else {
            mstrDrive = upper(strNewDrive + ":\\");
        }
        return;
    }
    // A mount point: absolute, separators single, one at the end. An empty
    // text names no drive and stays empty.
    std::string drive;
    for (char c : strNewDrive) {
        if (c != '/' || drive.empty() || drive.back() != '/') {
            drive += c;
        }
    }
    if (!drive.empty() && drive.front() != '/') {
        drive.insert(drive.begin(), '/');
    }
    if (!drive.empty() && drive.back() != '/') {
        drive += '/';
    }
    mstrDrive = drive;
}

std::int32_t clsDrive::SectorByte()
{
    mGetDiskFreeSpace();
    return mlngBytesPerSector;
}

std::int32_t clsDrive::ClusterSector()
{
    mGetDiskFreeSpace();
    return mlngSectorsPerCluster;
}

double clsDrive::FreeSpace()
{
    return mSpace(true);
}

double clsDrive::AllSpace()
{
    return mSpace(false);
}

double clsDrive::mSpace(bool booFree)
{
    if (mIsNT() || mIsSubVersion()) {
        platform::DiskSpace space;
        platform::drives().diskFreeSpaceEx(mstrDrive, space);
        // All free bytes, not only those the caller may use.
        return static_cast<double>(booFree ? space.totalFreeBytes : space.totalBytes);
    }
    mGetDiskFreeSpace();
    std::int32_t clusters = booFree ? mlngFreeClusters : mlngTotalClusters;
    return multiply32(multiply32(clusters, mlngSectorsPerCluster), mlngBytesPerSector);
}

bool clsDrive::mIsNT()
{
    return platform::drives().ntPlatform();
}

bool clsDrive::mIsSubVersion()
{
    // Windows 98 Second Edition reports " B"; the first edition " a".
    return platform::drives().subVersionNumber() == " B";
}

std::int32_t clsDrive::MediaType()
{
    std::uint32_t type = platform::drives().driveType(mstrDrive);
    return type >= 1 && type <= 6 ? static_cast<std::int32_t>(type) : 0;
}

void clsDrive::mGetDiskFreeSpace()
{
    platform::DiskGeometry geometry;
    if (platform::drives().diskFreeSpace(mstrDrive, geometry)) {
        mlngSectorsPerCluster = geometry.sectorsPerCluster;
        mlngBytesPerSector = geometry.bytesPerSector;
        mlngFreeClusters = geometry.freeClusters;
        mlngTotalClusters = geometry.totalClusters;
    }
}

void clsDrive::mGetVolumeInformation()
{
    platform::VolumeInformation info;
    if (platform::drives().volumeInformation(mstrDrive, info)) {
        mstrVolumeName = info.volumeName;
        mstrFileSystemName = info.fileSystemName;
        mlngVolSerial = info.serialNumber;
        mlngMaxFileName = info.maxComponentLength;
        mlngFileSystemFlags = info.fileSystemFlags;
    }
}

std::string clsDrive::Volume()
{
    mGetVolumeInformation();
    return mstrVolumeName.substr(0, mstrVolumeName.find('\0'));
}

void clsDrive::Volume(const std::string &strNewVolume)
{
    platform::drives().setVolumeLabel(mstrDrive, strNewVolume);
}

std::string clsDrive::FileSystem()
{
    mGetVolumeInformation();
    return mstrFileSystemName.substr(0, mstrFileSystemName.find('\0'));
}

std::int32_t clsDrive::MaxFileName()
{
    mGetVolumeInformation();
    return static_cast<std::int32_t>(mlngMaxFileName);
}

std::int32_t clsDrive::VolSerial()
{
    mGetVolumeInformation();
    return static_cast<std::int32_t>(mlngVolSerial);
}

bool clsDrive::MediaCondition()
{
    // A drive without a medium answers False without any message.
    try {
        return platform::drives().listRoot(mstrDrive);
    } catch (...) {
        return false;
    }
}

bool clsDrive::Enabled()
{
    // An empty drive (never set, or ":\" from an empty text) is no drive.
    if (mstrDrive.empty() || mstrDrive == ":\\") {
        return false;
    }
    for (std::string root : platform::drives().logicalDrives()) {
        if (mGrammar == PathGrammar::Windows) {
            root = upper(root);
        }
        if (root == mstrDrive) {
            return true;
        }
    }
    return false;
}

bool clsDrive::mFlag(std::uint32_t lngBit)
{
    mGetVolumeInformation();
    return (mlngFileSystemFlags & lngBit) != 0;
}

bool clsDrive::ACLs()
{
    return mFlag(platform::FilePersistentAcls);
}

bool clsDrive::Unicode()
{
    return mFlag(platform::FileUnicodeOnDisk);
}

bool clsDrive::FileCompress()
{
    return mFlag(platform::FileFileCompression);
}

bool clsDrive::VolCompress()
{
    return mFlag(platform::FileVolumeIsCompressed);
}

bool clsDrive::CaseSensitive()
{
    return mFlag(platform::FileCaseSensitiveSearch);
}

bool clsDrive::CasePreserved()
{
    return mFlag(platform::FileCasePreservedNames);
}

std::int32_t clsDrive::ShowFormat(std::int32_t lngHWnd, std::int32_t lngDrive, std::int32_t lngType)
{
    // The NT format dialog numbers its two types the other way round.
    std::int32_t lngOptions = lngType;
    if (mIsNT()) {
        lngOptions = lngType == 0 ? 1 : lngType == 1 ? 0 : lngType;
    }
    constexpr std::uint32_t ShfmtIdDefault = 65535;
    return platform::drives().formatDrive(lngHWnd, static_cast<std::uint32_t>(lngDrive),
        ShfmtIdDefault, static_cast<std::uint32_t>(lngOptions), mstrDrive);
}
