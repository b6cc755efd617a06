// Serves one virtual board 1352/0100 as hidraw0 under the folder given, until
// its standard input closes (benchmarks start it, then run programs with the
// shim pointed at <folder>/sys and <folder>/dev).

#include "cli/socket_boards.h"

#include <cstdio>
#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: io_board_server FOLDER\n");
        return 2;
    }
    rigs::SocketBoards boards(argv[1]);
    boards.add();
    boards.with(0, [](auto &b) {
        b.setPort0(0xA6);
        return 0;
    });
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) { }
    return 0;
}
