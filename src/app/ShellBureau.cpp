#include "app/ShellBureau.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

bool ShellBureau::Ouvre(const QString& verbe, const QString& cible, const QString& parametres,
                        const QString&, int) {
    if (!parametres.isEmpty()) {
        // A program with its arguments.
        return QProcess::startDetached(cible, QProcess::splitCommand(parametres));
    }
    QUrl url = QUrl::fromUserInput(cible);
    if (verbe == QLatin1String("explore") && url.isLocalFile() && !QFileInfo(cible).isDir())
        url = QUrl::fromLocalFile(QFileInfo(cible).absolutePath());
    return QDesktopServices::openUrl(url);
}

qint64 ShellBureau::Lance(const QString& ligneCommande, bool attendre) {
    return LanceProgramme(ligneCommande, attendre);
}
