// The run without windows: a service searched and downloaded from a terminal,
// cron or a systemd timer (--sans-fenetre), or only looked at (--apercu). The
// report goes to standard output, everything else to standard error, and the
// exit status tells a script how the run went.
#pragma once

#include <QString>
#include <QStringList>

struct OptionsLigneCommande {
    enum class Mode {
        Fenetre,     // no option: the window, with the command line as it always was
        SansFenetre, // --sans-fenetre FICHIER
        Apercu,      // --apercu FICHIER
        Aide,        // --aide
        Version,     // --version
        Erreur,      // an option or argument that does not fit (erreur says which)
        Notification, // the end of a run told to the desktop, from a process of its own
    };
    Mode mode = Mode::Fenetre;
    QString fichier;    // the service's parameter file
    bool avecMotDePasse = false;
    bool notifier = true; // --sans-notification: nothing told to the desktop
    QString motDePasse; // --mot-de-passe: the answer to the ZIP archives' question
    QString erreur;
    QStringList notification; // Mode::Notification: summary, body, folder
};

// Reads the command line before any application object exists: which object
// to build depends on it (a run without windows must not need a display).
OptionsLigneCommande LitLigneCommande(int argc, char** argv);

// Everything but Mode::Fenetre; builds its own QCoreApplication when it needs
// one. Returns the exit status: 0 every chosen file arrived (or nothing was
// new), 1 at least one failed, 2 the configuration or the search failed,
// 128 + the signal's number when SIGINT or SIGTERM stopped the run.
int LanceSansFenetre(int argc, char** argv, const OptionsLigneCommande& options);
