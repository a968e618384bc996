// The program with its windows: the application object, the message boxes and
// the desktop's shell, then the main window.
#include "app/LanceFenetres.h"

#include <QApplication>
#include <QStringList>

#include "app/MessagesFenetre.h"
#include "app/ShellBureau.h"
#include "app/frmPrincipal.h"

int LanceFenetres(int argc, char** argv) {
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
