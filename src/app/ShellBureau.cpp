#include "app/ShellBureau.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "html/Fonctions_Chemin.h"

bool ShellBureau::Ouvre(const QString& verbe, const QString& cible, const QString& parametres,
                        const QString&, int) {
    if (!parametres.isEmpty()) {
        // A program with its arguments.
        return QProcess::startDetached(cible, QProcess::splitCommand(parametres));
    }
    return QDesktopServices::openUrl(AdresseBureau(verbe, cible));
}

QUrl ShellBureau::AdresseBureau(const QString& verbe, const QString& cible) {
    // Only an address is read as one: any other text names a local file, even
    // a relative one that would pass for a host name.
    if (EstAdresseInternet(cible))
        return QUrl::fromUserInput(cible);
    const QFileInfo fichier(cible);
    if (verbe == QLatin1String("explore") && !fichier.isDir())
        return QUrl::fromLocalFile(fichier.absolutePath());
    return QUrl::fromLocalFile(fichier.absoluteFilePath());
}

qint64 ShellBureau::Lance(const QString& ligneCommande, bool attendre) {
    return LanceProgramme(ligneCommande, attendre);
}
