#include "classlib/clsFileOperation.h"

#include "platform/shell_file_operation.h"
#include "platform/window_handles.h"

namespace {

void dropTrailingSeparator(std::string &path, PathGrammar grammar)
{
    const char separator = grammar == PathGrammar::Windows ? '\\' : '/';
    if (!path.empty() && path.back() == separator) {
        path.pop_back();
    }
}

} // namespace

bool clsFileOperation::mRun(
    const std::string &strFrom, const std::string &strTo, std::uint32_t function)
{
    platform::FileOperationRequest request;
    request.ownerWindow = mlngTarget;
    request.function = function;
    request.from = strFrom;
    request.to = strTo;
    request.flags = static_cast<std::uint16_t>(mlngFlags);
    return platform::shellFileOperation().run(request) == 0;
}

bool clsFileOperation::Delete(std::string strFrom)
{
    dropTrailingSeparator(strFrom, mGrammar);
    return mRun(strFrom, {}, platform::FoDelete);
}

bool clsFileOperation::Rename(const std::string &strFrom, const std::string &strTo)
{
    return mRun(strFrom, strTo, platform::FoRename);
}

bool clsFileOperation::Move(const std::string &strFrom, const std::string &strTo)
{
    return mRun(strFrom, strTo, platform::FoMove);
}

bool clsFileOperation::Copy(std::string strFrom, const std::string &strTo)
{
    dropTrailingSeparator(strFrom, mGrammar);
    mlngFlags = platform::FofSilent;
    return mRun(strFrom, strTo, platform::FoCopy);
}

void clsFileOperation::Target(std::int32_t lngNewWindow)
{
    mlngTarget = platform::windowHandles().isWindow(lngNewWindow) ? lngNewWindow : 0;
}

void clsFileOperation::mSetBit(std::uint32_t bit, bool on)
{
    mlngFlags = on ? (mlngFlags | bit) : (mlngFlags & ~bit);
}

bool clsFileOperation::RespondDialog() const
{
    return mBit(platform::FofNoConfirmation);
}
void clsFileOperation::RespondDialog(bool booRespond)
{
    mSetBit(platform::FofNoConfirmation, booRespond);
}
bool clsFileOperation::RenameOnCollision() const
{
    return mBit(platform::FofRenameOnCollision);
}
void clsFileOperation::RenameOnCollision(bool booRename)
{
    mSetBit(platform::FofRenameOnCollision, booRename);
}
bool clsFileOperation::SimpleProgress() const
{
    return mBit(platform::FofSimpleProgress);
}
void clsFileOperation::SimpleProgress(bool booSimple)
{
    mSetBit(platform::FofSimpleProgress, booSimple);
}
bool clsFileOperation::ConfirmMakeDir() const
{
    return !mBit(platform::FofNoConfirmMkDir);
}
void clsFileOperation::ConfirmMakeDir(bool booMakeDir)
{
    mSetBit(platform::FofNoConfirmMkDir, !booMakeDir);
}
bool clsFileOperation::ShowDialog() const
{
    return !mBit(platform::FofSilent);
}
void clsFileOperation::ShowDialog(bool booShowDialog)
{
    mSetBit(platform::FofSilent, !booShowDialog);
}
bool clsFileOperation::AllowUndo() const
{
    return mBit(platform::FofAllowUndo);
}
void clsFileOperation::AllowUndo(bool booUndo)
{
    mSetBit(platform::FofAllowUndo, booUndo);
}
bool clsFileOperation::Sielnt() const
{
    return mBit(platform::FofSilent);
}
void clsFileOperation::Sielnt(bool blnSilent)
{
    mSetBit(platform::FofSilent, blnSilent);
}

bool clsFileOperation::Trash(const std::string &strTarget)
{
    platform::FileOperationRequest request;
    request.ownerWindow = platform::windowHandles().desktopWindow();
    request.function = platform::FoDelete;
    request.from = strTarget;
    request.flags = platform::FofAllowUndo | platform::FofSilent;
    return platform::shellFileOperation().run(request) == 0;
}
