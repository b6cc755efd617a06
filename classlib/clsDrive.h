#pragma once
// One drive root and what the system says about it: geometry, free and total
// space, drive type, label, serial, file system and its flags, whether it
// exists and holds a medium; it can relabel the drive and open the format
// dialog. In the Windows grammar a drive is "C:\"; in the POSIX grammar (the
// default outside Windows) it is a mount point, held as an absolute path with
// one trailing "/".

#include "classlib/cPath.h"

#include <cstdint>
#include <string>

class clsDrive
{
public:
    explicit clsDrive(PathGrammar grammar = PathGrammar::Native) : mGrammar(grammar) { }

    std::int32_t SectorByte();
    std::int32_t ClusterSector();
    double FreeSpace();
    double AllSpace();
    std::int32_t MediaType();
    const std::string &Drive() const { return mstrDrive; }
    void Drive(const std::string &strNewDrive);
    std::string Volume();
    void Volume(const std::string &strNewVolume);
    std::string FileSystem();
    std::int32_t MaxFileName();
    std::int32_t VolSerial();
    bool MediaCondition();
    bool Enabled();
    bool ACLs();
    bool Unicode();
    bool FileCompress();
    bool VolCompress();
    bool CaseSensitive();
    bool CasePreserved();
    std::int32_t ShowFormat(std::int32_t lngHWnd, std::int32_t lngDrive, std::int32_t lngType);

    PathGrammar Grammar() const { return mGrammar; }

private:
    void mGetDiskFreeSpace();
    void mGetVolumeInformation();
    bool mIsSubVersion();
    bool mIsNT();
    double mSpace(bool booFree);
    bool mFlag(std::uint32_t lngBit);

    PathGrammar mGrammar;
    std::string mstrDrive;
    std::int32_t mlngSectorsPerCluster = 0;
    std::int32_t mlngBytesPerSector = 0;
    std::int32_t mlngFreeClusters = 0;
    std::int32_t mlngTotalClusters = 0;
    std::string mstrVolumeName;
    std::string mstrFileSystemName;
    std::uint32_t mlngVolSerial = 0;
    std::uint32_t mlngMaxFileName = 0;
    std::uint32_t mlngFileSystemFlags = 0;
};
