// The connection settings file.
#include "config/ReglagesConnexion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>

#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Texte.h"

QString CheminRamagIni(const QString& cheminApplication, bool pourEcrire) {
    const QString aCote = cheminApplication + QStringLiteral("Ramag.ini");
    const QString config = QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
                               .filePath(QStringLiteral("Ramag.ini"));
    const QFileInfo dossier(cheminApplication);
    const bool ecrivable = dossier.isDir() && dossier.isWritable();
    if (pourEcrire)
        return ecrivable ? aCote : config;
    return FichierExiste(aCote) || ecrivable ? aCote : config;
}

bool LitRamagIni(const QString& chemin, ReglagesConnexion& reglages) {
    if (!FichierExiste(chemin))
        return false;
    QStringList lignes;
    if (!LitLignesFichier(chemin, lignes))
        return false;
    // A short file leaves the missing fields as they are.
    reglages.particulier = !lignes.isEmpty() && NombreSouple(lignes[0]) == 1;
    QString* const champs[] = {&reglages.adresseProxy, &reglages.portHTTP, &reglages.portFTP};
    for (int i = 0; i < 3 && i + 1 < lignes.size(); ++i)
        *champs[i] = lignes[i + 1];
    return true;
}

bool EcritRamagIni(const QString& chemin, const ReglagesConnexion& reglages) {
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    const QString contenu = (reglages.particulier ? QStringLiteral(" 1 ") : QStringLiteral(" 0 ")) +
                            QStringLiteral("\r\n") + reglages.adresseProxy + QStringLiteral("\r\n") +
                            reglages.portHTTP + QStringLiteral("\r\n") + reglages.portFTP +
                            QStringLiteral("\r\n");
    return RemplaceParFichierTravail(chemin, contenu.toUtf8(), chemin + QStringLiteral(".tmp"));
}
