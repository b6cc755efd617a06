// One virtual board 1352/0100 as hidraw0 under the folder given, its Port0
// wired to Port1, for the Python tests (run with the preloaded hidraw shim).
// Standard input takes "unplug"; each command is answered with a line once
// done. Ends when standard input closes.

#include "cli/socket_boards.h"

#include <cstdio>
#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: python_board_server FOLDER\n");
        return 2;
    }
    rigs::SocketBoards boards(argv[1]);
    boards.add({}, true);
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "unplug") {
            boards.unplug(0);
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return 0;
}
