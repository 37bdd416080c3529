// Starts the command line it is given and never ends, so a test can kill this owner and see
// whether the program it started lives on.
#include <chrono>
#include <thread>

#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    ka::platform::Process process;
    if (!process.Start(argv[1])) {
        return 1;
    }
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}
