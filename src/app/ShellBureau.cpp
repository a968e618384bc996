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
