// Encrypts or decrypts one file with a password, for the check that files
// move between the Linux and the Windows build:
//   crypt_file_tool encrypt|decrypt <in> <out> <file holding the UTF-8 password>
// Exit status 0 when the class answered True.

#include "classlib/clsCryptFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s encrypt|decrypt IN OUT PASSWORD-FILE\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[4], std::ios::binary);
    std::string password((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    clsCryptFile file;
    file.InFile(argv[2]);
    file.OutFile(argv[3]);
    file.Password(password);
    std::string mode = argv[1];
    bool ok = mode == "encrypt" ? file.Encrypt() : mode == "decrypt" && file.Decrypt();
    return ok ? 0 : 1;
}
