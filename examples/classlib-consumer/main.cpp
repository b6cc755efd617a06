// Uses the installed class library: byte-counted strings in the ANSI code page.
#include <portprobe/classlib/cUnicode.h>

#include <cstdio>

int main()
{
    const cUnicode unicode;
    const UniString text = u"日本a";
    const std::int32_t bytes = unicode.UniLenB(text);
    std::printf("UniLenB: %d\n", static_cast<int>(bytes));
    return bytes == 5 ? 0 : 1;
}
