// kestrune, the show's entry point.
#include <cstdio>

#include "archive/archive.h"

int main() {
    kestrune::setDefaultArchiveName("krv.dat");
    std::puts("kestrune: the options window is not built yet.");
    return 0;
}
