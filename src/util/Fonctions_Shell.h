// The shell: opening a document, folder or address with a verb, starting a
// program and waiting for it. The windows install the desktop's; tests install
// one that records the calls.
#pragma once

#include <QString>

class GestionnaireShell {
public:
    virtual ~GestionnaireShell() = default;
    // Opens `cible` (file, folder or address) with `verbe` ("open", "explore").
    // True when the desktop accepted it.
    virtual bool Ouvre(const QString& verbe, const QString& cible, const QString& parametres,
                       const QString& dossier, int modeAffichage) = 0;
    // Starts a command line; returns a process id (0 on failure). With `attendre`,
    // returns only once the program has ended.
    virtual qint64 Lance(const QString& ligneCommande, bool attendre) = 0;
};

// Starts a command line with QProcess (what both the desktop and the headless
// shells do for programs).
qint64 LanceProgramme(const QString& ligneCommande, bool attendre);

GestionnaireShell* InstalleGestionnaireShell(GestionnaireShell* gestionnaire);
GestionnaireShell& Shell();
