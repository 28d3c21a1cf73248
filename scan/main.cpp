// main.cpp - glotta-scan.
#include <stdio.h>
#include <unistd.h>

#include "scan/scan.h"

int main(int argc, char **argv) {
    const int status = scan::Main(argc, argv);
    if (scan::ReaderStillRunning()) {
        fflush(stdout);
        fflush(stderr);
        _exit(status);
    }
    return status;
}
