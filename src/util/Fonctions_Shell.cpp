#include "util/Fonctions_Shell.h"

#include <QProcess>

namespace {

// Without a desktop (tools, tests that did not install one) only programs can be
// started; documents and addresses cannot be opened.
class ShellSansBureau final : public GestionnaireShell {
public:
    bool Ouvre(const QString&, const QString&, const QString&, const QString&, int) override {
        return false;
    }
    qint64 Lance(const QString& ligneCommande, bool attendre) override {
        return LanceProgramme(ligneCommande, attendre);
    }
};

ShellSansBureau gSansBureau;
GestionnaireShell* gShell = &gSansBureau;

} // namespace

qint64 LanceProgramme(const QString& ligneCommande, bool attendre) {
    QStringList morceaux = QProcess::splitCommand(ligneCommande);
    if (morceaux.isEmpty())
        return 0;
    const QString programme = morceaux.takeFirst();
    if (attendre) {
        QProcess p;
        p.start(programme, morceaux);
        if (!p.waitForStarted())
            return 0;
        const qint64 pid = p.processId();
        p.waitForFinished(-1);
        return pid;
    }
    qint64 pid = 0;
    return QProcess::startDetached(programme, morceaux, QString(), &pid) ? pid : 0;
}

GestionnaireShell* InstalleGestionnaireShell(GestionnaireShell* gestionnaire) {
    GestionnaireShell* ancien = gShell;
    gShell = gestionnaire ? gestionnaire : &gSansBureau;
    return ancien == &gSansBureau ? nullptr : ancien;
}

GestionnaireShell& Shell() { return *gShell; }
