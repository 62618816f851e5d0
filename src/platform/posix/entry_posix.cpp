// POSIX entry point: the arguments are the bytes the program was given.
#include "platform/platform.h"

int main(int argc, char** argv) {
    return velmora_main(argc, argv);
}

bool plat_argument_unsupported(int /*index*/) {
    return false;
}
