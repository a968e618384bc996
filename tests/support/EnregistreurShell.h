// Records what the program asks the shell to open or start.
#pragma once

#include <QStringList>

#include "util/Fonctions_Shell.h"

class EnregistreurShell final : public GestionnaireShell {
public:
    EnregistreurShell() : precedent_(InstalleGestionnaireShell(this)) {}
    ~EnregistreurShell() override { InstalleGestionnaireShell(precedent_); }

    bool Ouvre(const QString& verbe, const QString& cible, const QString& parametres,
               const QString& dossier, int mode) override {
        appels << QStringLiteral("%1|%2|%3|%4|%5").arg(verbe, cible, parametres, dossier).arg(mode);
        return ouvre;
    }
    qint64 Lance(const QString& ligneCommande, bool attendre) override {
        appels << QStringLiteral("lance|%1|%2").arg(ligneCommande).arg(attendre);
        return pid;
    }

    QStringList appels;
    bool ouvre = true;  // what the desktop answers
    qint64 pid = 4242;  // the started program's identifier (0: failed to start)

private:
    GestionnaireShell* precedent_;
};
