// portprobe-demo: the console wired to a virtual board (IDs 1352/0100, the
// defaults), for trying it without hardware.

#include "app/ProgramStart.h"
#include "platform/hid.h"
#include "platform/sim/sim_board.h"

int main(int argc, char **argv)
{
    // Real time: a read that gets no answer waits as long as on a real board.
    static platform::sim::SimHid hid(platform::sim::SimTime::Real);
    hid.addBoard();
    platform::Seam<platform::HidApi>::install(&hid);
    return gRunProgram(argc, argv);
}
