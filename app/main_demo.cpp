// portprobe-demo: the console wired to a virtual board, for trying it
// without hardware.

#include "app/ProgramStart.h"

int main(int argc, char **argv)
{
    return gRunProgram(argc, argv);
}
