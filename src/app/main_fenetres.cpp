// Le Ramaglin's windows, started by the program (ramaglin) in its own place
// when the command line asks for no run without windows.
#include "app/LanceFenetres.h"

int main(int argc, char** argv) {
    return LanceFenetres(argc, argv);
}
