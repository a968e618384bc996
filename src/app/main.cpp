// Le Ramaglin: entry point. The one argument is the service's parameter file;
// with options (--sans-fenetre, --apercu...) the service runs without windows.
#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

#include "app/MessagesFenetre.h"
#include "app/SansFenetre.h"
#include "app/ShellBureau.h"
#include "app/frmPrincipal.h"

namespace {

#ifndef _WIN32
int gTubeSignal[2] = {-1, -1};

void SurSignal(int) {
    const char octet = 1;
    [[maybe_unused]] const ssize_t n = ::write(gTubeSignal[1], &octet, 1);
}

// SIGTERM (a session that ends, a service manager) and SIGINT close the window
// the way its close button does, so the connection settings are saved. The
// handler goes after the first signal: a second one ends the program at once.
void FermeSurSignal(frmPrincipal& fenetre) {
    if (::pipe2(gTubeSignal, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notificateur = new QSocketNotifier(gTubeSignal[0], QSocketNotifier::Read, &fenetre);
    QObject::connect(notificateur, &QSocketNotifier::activated, &fenetre, [&fenetre] {
        char octet;
        while (::read(gTubeSignal[0], &octet, 1) > 0) {
        }
        fenetre.close();
    });
    struct sigaction action {};
    action.sa_handler = SurSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
#else
// Windows ends a program with neither signal: its window gets a close event.
void FermeSurSignal(frmPrincipal&) {}
#endif

} // namespace

int main(int argc, char** argv) {
    // Read before any application object exists: a run without windows must
    // not load the platform plugin, which needs a display.
    const OptionsLigneCommande options = LitLigneCommande(argc, argv);
    if (options.mode != OptionsLigneCommande::Mode::Fenetre)
        return LanceSansFenetre(argc, argv, options);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ramaglin"));
    QApplication::setOrganizationName(QStringLiteral("Ramaglin"));
    MessagesFenetre messages;
    InstalleGestionnaireMessages(&messages);
    ShellBureau shell;
    InstalleGestionnaireShell(&shell);

    // The start-up reads a command line the way the user typed it: arguments with
    // spaces come back in quotes.
    QStringList morceaux;
    for (const QString& argument : app.arguments().mid(1)) {
        if (argument.contains(QLatin1Char(' ')) && !argument.trimmed().isEmpty())
            morceaux << QLatin1Char('"') + argument + QLatin1Char('"');
        else
            morceaux << argument;
    }

    frmPrincipal::DefinitPremierRegard(true);
    frmPrincipal fenetre;
    switch (fenetre.Form_Load(morceaux.join(QLatin1Char(' ')))) {
    case frmPrincipal::Demarrage::Terminer: return 1;
    case frmPrincipal::Demarrage::DeuxiemeInstance:
    case frmPrincipal::Demarrage::Refuse: return 0;
    case frmPrincipal::Demarrage::Afficher: break;
    }
    fenetre.show();
    FermeSurSignal(fenetre);
    return app.exec();
}
