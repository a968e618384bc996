// Le Ramaglin: entry point. The one argument is the service's parameter file;
// with options (--sans-fenetre, --apercu...) the service runs without windows.
#include <QApplication>
#include <QStringList>

#include "app/MessagesFenetre.h"
#include "app/SansFenetre.h"
#include "app/ShellBureau.h"
#include "app/frmPrincipal.h"

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
    fenetre.ArreteSurSignaux();
    return app.exec();
}
