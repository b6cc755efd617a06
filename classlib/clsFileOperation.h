#pragma once
// The shell's file operations (copy, move, rename, delete, recycle) with an
// owner window and option properties, each one bit of the shell's flags.
// Failures come back only as false.

#include "classlib/cPath.h"

#include <cstdint>
#include <string>

class clsFileOperation
{
public:
    /// @p grammar decides the separator Delete and Copy drop from a source's
    /// end (backslash Windows, "/" POSIX); paths themselves reach the system unchanged.
    explicit clsFileOperation(PathGrammar grammar = PathGrammar::Native) : mGrammar(grammar) { }
    PathGrammar Grammar() const noexcept { return mGrammar; }

    bool Delete(std::string strFrom);
    bool Rename(const std::string &strFrom, const std::string &strTo);
    bool Move(const std::string &strFrom, const std::string &strTo);
    /// Also resets the options to silent alone, and keeps that setting.
    bool Copy(std::string strFrom, const std::string &strTo);

    /// Owner window; only a handle the platform confirms as a window is kept, else 0.
    std::int32_t Target() const { return mlngTarget; }
    void Target(std::int32_t lngNewWindow);

    bool RespondDialog() const;
    void RespondDialog(bool booRespond);
    bool RenameOnCollision() const;
    void RenameOnCollision(bool booRename);
    bool SimpleProgress() const;
    void SimpleProgress(bool booSimple);
    /// Inverted: true while the no-confirmation-to-make-folders bit is clear.
    bool ConfirmMakeDir() const;
    void ConfirmMakeDir(bool booMakeDir);
    /// Inverted view of the silent bit that Sielnt shows.
    bool ShowDialog() const;
    void ShowDialog(bool booShowDialog);
    bool AllowUndo() const;
    void AllowUndo(bool booUndo);
    bool Sielnt() const;
    void Sielnt(bool blnSilent);

    /// To the recycle bin, whatever Target and the options say.
    bool Trash(const std::string &strTarget);

private:
    bool mRun(const std::string &strFrom, const std::string &strTo, std::uint32_t function);
    bool mBit(std::uint32_t bit) const { return (mlngFlags & bit) != 0; }
    void mSetBit(std::uint32_t bit, bool on);

    PathGrammar mGrammar;
    std::int32_t mlngTarget = 0;
    std::uint32_t mlngFlags = 0;
};
