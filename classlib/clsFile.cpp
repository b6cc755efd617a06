#include "classlib/clsFile.h"

#include "platform/file_system.h"
#include "platform/msgbox.h"
#include "platform/runtime/runtime_error.h"
#include "platform/shell.h"
#include "platform/shell_file_operation.h"
#include "platform/window_handles.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<const char *, 7> DayOfWeekTexts = {
    " 日曜日 ",
    " 月曜日 ",
    " 火曜日 ",
    " 水曜日 ",
    " 木曜日 ",
    " 金曜日 ",
    " 土曜日 ",
};

std::string textOf(const std::optional<platform::CalendarTime> &t)
{
    if (!t) {
        return {};
    }
    return gFormatFileTime(t->year, t->month, t->day, t->dayOfWeek, t->hour, t->minute, t->second);
}

/// Remove-blanks step: every blank goes.
std::string withoutBlanks(std::string text)
{
    std::erase(text, ' ');
    return text;
}

/// "hi.lo.hi.lo" of two version words, each half an unsigned decimal.
std::string versionText(std::uint32_t ms, std::uint32_t ls)
{
    // Built with blanks around each number, then every blank removed.
    std::string text;
    const std::uint32_t halves[] = { ms >> 16, ms & 0xFFFFu, ls >> 16, ls & 0xFFFFu };
    for (std::size_t i = 0; i < std::size(halves); ++i) {
        text += i == 0 ? " " : ". ";
        text += std::to_string(halves[i]);
        text += ' ';
    }
    return withoutBlanks(text);
}

constexpr std::string_view Unknown = "不明";

} // namespace

std::string gFormatFileTime(
    int year, int month, int day, int dayOfWeek, int hour, int minute, int second)
{
    std::string weekday = dayOfWeek >= 0 && dayOfWeek < 7 ? DayOfWeekTexts[dayOfWeek] : "";
    // Padded with blanks to 8 characters (each day text is 5).
    if (!weekday.empty()) {
        weekday += "   ";
    } else {
        weekday = std::string(8, ' ');
    }
    return std::to_string(year) + "年" + std::to_string(month) + "月" + std::to_string(day) + "日"
        + weekday + std::to_string(hour) + ":" + std::to_string(minute) + ":"
        + std::to_string(second);
}

bool clsFile::Enabled() const
{
    if (mstrFileName.empty()) {
        return false;
    }
    try {
        return platform::fileSystem().canOpenForReading(mstrFileName);
    } catch (...) {
        return false;
    }
}

void clsFile::mRequireEnabled() const
{
    if (!Enabled()) {
        throw RuntimeError(vberr::FileNotFound, "clsFile");
    }
}

std::int64_t clsFile::Size() const
{
    mRequireEnabled();
    auto length = platform::fileSystem().length(mstrFileName);
    if (!length) {
        throw RuntimeError(vberr::FileNotFound, "clsFile");
    }
    return *length;
}

void clsFile::Execute() const
{
    mRequireEnabled();
    platform::shell().open(mstrFileName, platform::SwShowNormal);
}

bool clsFile::mTestAttribute(std::uint32_t bit) const
{
    mRequireEnabled();
    auto bits = platform::fileSystem().attributes(mstrFileName);
    if (!bits) {
        throw RuntimeError(vberr::FileNotFound, "clsFile");
    }
    return (*bits & bit) != 0;
}

void clsFile::mSetAttribute(std::uint32_t bit, bool value)
{
    mRequireEnabled();
    auto &files = platform::fileSystem();
    auto bits = files.attributes(mstrFileName);
    if (!bits) {
        throw RuntimeError(vberr::FileNotFound, "clsFile");
    }
    if (value && (*bits & bit) != 0) {
        return;
    }
    const std::uint32_t next = value ? (*bits | bit) : (*bits & ~bit);
    if (!files.setAttributes(mstrFileName, next)) {
        throw RuntimeError(vberr::PathFileAccessError, "clsFile");
    }
}

bool clsFile::Archive() const
{
    return mTestAttribute(platform::AttrArchive);
}
void clsFile::Archive(bool vNewValue)
{
    mSetAttribute(platform::AttrArchive, vNewValue);
}
bool clsFile::Hidden() const
{
    return mTestAttribute(platform::AttrHidden);
}
void clsFile::Hidden(bool vNewValue)
{
    mSetAttribute(platform::AttrHidden, vNewValue);
}
bool clsFile::System() const
{
    return mTestAttribute(platform::AttrSystem);
}
void clsFile::System(bool vNewValue)
{
    mSetAttribute(platform::AttrSystem, vNewValue);
}
bool clsFile::Directory() const
{
    return mTestAttribute(platform::AttrDirectory);
}
bool clsFile::ReadOnly() const
{
    return mTestAttribute(platform::AttrReadOnly);
}
void clsFile::ReadOnly(bool vNewValue)
{
    mSetAttribute(platform::AttrReadOnly, vNewValue);
}

bool clsFile::Executable() const
{
    mRequireEnabled();
    return platform::fileSystem().isExecutable(mstrFileName);
}

std::string clsFile::ShortPathName() const
{
    return platform::fileSystem().shortPathName(mstrFileName);
}

void clsFile::mReadFileInformation()
{
    mRequireEnabled();
    auto info = platform::fileSystem().information(mstrFileName);
    if (!info) {
        return;
    }
    mlngLinks = static_cast<std::int32_t>(info->links);
    mstrCreationTime = textOf(info->creation);
    mstrLastAccessTime = textOf(info->lastAccess);
    mstrLastWriteTime = textOf(info->lastWrite);
}

std::string clsFile::CreationTime()
{
    mstrCreationTime.clear();
    mReadFileInformation();
    return mstrCreationTime;
}

std::string clsFile::LastAccessTime()
{
    mstrLastAccessTime.clear();
    mReadFileInformation();
    return mstrLastAccessTime;
}

std::string clsFile::LastWriteTime()
{
    mstrLastWriteTime.clear();
    mReadFileInformation();
    return mstrLastWriteTime;
}

std::int32_t clsFile::Links()
{
    mlngLinks = 0;
    mReadFileInformation();
    return mlngLinks;
}

void clsFile::mShellOperation(std::uint32_t function, const std::string &to) const
{
    mRequireEnabled();
    platform::FileOperationRequest request;
    request.ownerWindow = platform::windowHandles().desktopWindow();
    request.function = function;
    request.from = mstrFileName;
    request.to = to;
    request.flags = platform::FofAllowUndo | platform::FofSilent;
    // The shell's answer is not reported; a refused operation leaves the file as it was.
    platform::shellFileOperation().run(request);
}

void clsFile::Trash() const
{
    mShellOperation(platform::FoDelete, {});
}
void clsFile::FileCopy(const std::string &strToPath) const
{
    mShellOperation(platform::FoCopy, strToPath);
}
void clsFile::Move(const std::string &strToPath) const
{
    mShellOperation(platform::FoMove, strToPath);
}
void clsFile::Rename(const std::string &strToPath) const
{
    mShellOperation(platform::FoRename, strToPath);
}

void clsFile::mReadVersionInformation()
{
    mRequireEnabled();
    auto fixed = platform::fileSystem().versionInfo(mstrFileName);
    if (!fixed) {
        return;
    }
    mstrFileVersion = versionText(fixed->fileVersionMS, fixed->fileVersionLS);
    mstrProductVersion = versionText(fixed->productVersionMS, fixed->productVersionLS);
    mlngFileType = fixed->fileType;
    mlngFileSubtype = fixed->fileSubtype;
    mlngFileOS = fixed->fileOS;
    mlngFileFlags = fixed->fileFlags;
}

std::string clsFile::FileVersion()
{
    mstrFileVersion.clear();
    mReadVersionInformation();
    return mstrFileVersion;
}

std::string clsFile::ProductVersion()
{
    mstrProductVersion.clear();
    mReadVersionInformation();
    return mstrProductVersion;
}

std::string clsFile::FileType()
{
    mlngFileType = 0;
    mReadVersionInformation();
    switch (mlngFileType) {
    case 0:
        return std::string(Unknown);
    case 1:
        return "ｱﾌﾟﾘｹｰｼｮﾝ";
    case 2:
        return "ﾀﾞｲﾅﾐｯｸﾘﾝｸﾗｲﾌﾞﾗﾘ";
    case 3:
        return "ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ";
    case 4:
        return "ﾌｫﾝﾄ";
    case 5:
        return "仮想ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ";
    case 7:
        return "ｽﾀﾃｲｯｸﾗｲﾌﾞﾗﾘ";
    default:
        return {};
    }
}

std::string clsFile::FileSubtype()
{
    mlngFileType = 0;
    mlngFileSubtype = 0;
    mReadVersionInformation();
    if (mlngFileType == 3) {
        static constexpr std::array<const char *, 12> Drivers = {
            "不明",
            "ﾌﾟﾘﾝﾀﾄﾞﾗｲﾊﾞ",
            "ｷｰﾎﾞｰﾄﾞﾄﾞﾗｲﾊﾞ",
            "言語ﾄﾞﾗｲﾊﾞ",
            "ﾃﾞｨｽﾌﾟﾚｲﾄﾞﾗｲﾊﾞ",
            "ﾏｳｽﾄﾞﾗｲﾊﾞ",
            "ﾈｯﾄﾜｰｸﾄﾞﾗｲﾊﾞ",
            "ｼｽﾃﾑﾄﾞﾗｲﾊﾞ",
            "ｲﾝｽﾄｰﾙﾄﾞﾗｲﾊﾞ",
            "ｻｳﾝﾄﾞﾄﾞﾗｲﾊﾞ",
            "通信ﾄﾞﾗｲﾊﾞ",
            "IMEﾄﾞﾗｲﾊﾞ",
        };
        return mlngFileSubtype < Drivers.size() ? Drivers[mlngFileSubtype] : "";
    }
    if (mlngFileType == 4) {
        switch (mlngFileSubtype) {
        case 1:
            return "ﾗｽﾀｰﾌｫﾝﾄ";
        case 2:
            return "ﾍﾞｸﾀｰﾌｫﾝﾄ";
        case 3:
            return "ﾄｩﾙｰﾀｲﾌﾟﾌｫﾝﾄ";
        default:
            return {};
        }
    }
    return std::string(Unknown);
}

std::string clsFile::FileOS()
{
    mlngFileOS = 0;
    mReadVersionInformation();
    switch (mlngFileOS) {
    case 0x0:
        return std::string(Unknown);
    case 0x1:
        return "16bit Windows";
    case 0x2:
        return "16bit Presentation Manager";
    case 0x3:
        return "32bit Presentation Manager";
    case 0x4:
        return "32bit Windows";
    case 0x10000:
        return "DOS";
    case 0x10001:
        return "DOS上の16bit Windows";
    case 0x10004:
        return "DOS上の32bit Windows";
    case 0x20000:
        return "16bit OS/2";
    case 0x20002:
        return "16bit OS/2上のPresentation Manager";
    case 0x30000:
        return "32bit OS/2";
    case 0x30003:
        return "32bit OS/2上のPresentation Manager";
    case 0x40000:
        return "Windows NT";
    case 0x40004:
        return "32bit Windows NT";
    default:
        return {};
    }
}

std::string clsFile::BuildType()
{
    mlngFileFlags = 0;
    mReadVersionInformation();
    switch (mlngFileFlags) {
    case 1:
        return "ﾃﾞﾊﾞｯｸﾞﾋﾞﾙﾄﾞ";
    case 2:
        return "ﾌﾟﾚﾘﾘｰｽﾋﾞﾙﾄﾞ";
    case 4:
        return "ﾊﾟｯﾁﾋﾞﾙﾄﾞ";
    case 8:
        return "ﾌﾟﾗｲﾍﾞｰﾄﾋﾞﾙﾄﾞ";
    case 16:
        return {};
    case 32:
        return "ｽﾍﾟｼｬﾙﾋﾞﾙﾄﾞ";
    default:
        return std::string(Unknown);
    }
}

std::int64_t clsFile::CompressedSize() const
{
    return platform::fileSystem().compressedSize(mstrFileName);
}

void clsFile::FilePrint() const
{
    mRequireEnabled();
    platform::fileSystem().print(mstrFileName);
}

void clsFile::FirstMove(const std::string &strToPath) const
{
    mRequireEnabled();
    auto &files = platform::fileSystem();
    if (!files.sameDrive(mstrFileName, strToPath)) {
        platform::MessageBoxRequest box;
        box.text = "移動元と移動先のﾄﾞﾗｲﾌﾞは同じである必用があります";
        box.caption = "ﾌｧｲﾙ制御ｸﾗｽﾗｲﾌﾞﾗﾘ";
        box.buttons = platform::MbOkOnly;
        platform::messageBox().show(box);
        return;
    }
    files.moveFile(mstrFileName, strToPath);
}
