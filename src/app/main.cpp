// Le Ramaglin: entry point. The one argument is the service's parameter file;
// with options (--sans-fenetre, --apercu...) the service runs without windows.
//
// On Linux the windows are a program of their own, ramaglin-fenetres, beside
// this one's real executable, which takes this process's place (same process,
// same arguments): this program loads the core's libraries only, and a run
// without windows, the one scheduled checks make, starts without the display
// libraries (a third of its start-up, most of it their relocations).
#include "app/SansFenetre.h"

#ifdef RAMAGLIN_FENETRES_A_PART
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

// The window program in the folder of this executable, links followed
// (bin/ramaglin is a link to lib/ramaglin/ramaglin).
std::string ProgrammeFenetres() {
    char chemin[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", chemin, sizeof chemin - 1);
    if (n <= 0)
        return {};
    const std::string executable(chemin, size_t(n));
    return executable.substr(0, executable.rfind('/') + 1) + "ramaglin-fenetres";
}

} // namespace
#else
#include "app/LanceFenetres.h"
#endif

int main(int argc, char** argv) {
    // Read before any application object exists: a run without windows must
    // not load the platform plugin, which needs a display.
    const OptionsLigneCommande options = LitLigneCommande(argc, argv);
    if (options.mode != OptionsLigneCommande::Mode::Fenetre)
        return LanceSansFenetre(argc, argv, options);
#ifdef RAMAGLIN_FENETRES_A_PART
    const std::string fenetres = ProgrammeFenetres();
    execv(fenetres.c_str(), argv);
    std::fprintf(stderr, "ramaglin : impossible de lancer les fenêtres (%s) : %s\n", fenetres.c_str(),
                 std::strerror(errno));
    return 1;
#else
    return LanceFenetres(argc, argv);
#endif
}
