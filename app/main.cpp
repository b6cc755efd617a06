// portprobe: the console against real boards (hidraw on Linux, the HID class
// driver on Windows).

#include "app/ProgramStart.h"

int main(int argc, char **argv)
{
    return gRunProgram(argc, argv);
}
