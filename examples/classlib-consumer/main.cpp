// Uses the installed class library: byte-counted strings in the ANSI code page,
// a path taken apart, and a registry value read with a default.
#include <portprobe/classlib/cPath.h>
#include <portprobe/classlib/cUnicode.h>
#include <portprobe/classlib/clsRegEdit.h>

#include <cstdio>

int main()
{
    const cUnicode unicode;
    const std::int32_t bytes = unicode.UniLenB(u"日本a");
    std::printf("UniLenB: %d\n", static_cast<int>(bytes));

    cPath path(PathGrammar::Windows);
    path.FileName("C:\\Data\\REPORT.TXT");
    std::printf("GetCleanFileName: %s\n", path.GetCleanFileName().c_str());

    clsRegEdit reg;
    reg.RegKey(clsRegEdit::CurrentUser);
    reg.SubKey("Software\\PORTPROBE example");
    std::printf("GetString: %s\n", reg.GetString("Greeting", "(none)").c_str());

    return bytes == 5 && path.GetCleanFileName() == "Report.Txt" ? 0 : 1;
}
