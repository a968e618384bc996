// The desktop's shell: documents, folders and addresses open in their
// applications; programs start through QProcess.
#pragma once

#include <QUrl>

#include "util/Fonctions_Shell.h"

class ShellBureau final : public GestionnaireShell {
public:
    bool Ouvre(const QString& verbe, const QString& cible, const QString& parametres,
               const QString& dossier, int modeAffichage) override;
    qint64 Lance(const QString& ligneCommande, bool attendre) override;

    // What the desktop is handed: an address as it is, anything else as a
    // local file made absolute ("explore" of a file: its folder).
    static QUrl AdresseBureau(const QString& verbe, const QString& cible);
};
