// The test that tells a server's error page from real content.
#include "net/Fonctions_Internet_INET.h"

#include <QFile>

bool FichierSansErreur(const QString& chemin) {
    QFile fichier(chemin);
    if (!fichier.exists() || fichier.size() < 5 || !fichier.open(QIODevice::ReadOnly))
        return false;
    const QByteArray debut = fichier.read(1000);
    if (debut.contains("An error has occurred..."))
        return false;
    const QByteArray entete = debut.left(200);
    if (entete.contains(">404 ") || entete.contains("404 "))
        return false;
    const QByteArray minuscules = entete.toLower();
    return !minuscules.contains("error") && !minuscules.contains("erreur");
}
