// The connection settings file.
#include "config/ReglagesConnexion.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Texte.h"

namespace {

// An installed program's folder belongs to the system, even for root.
bool DossierSysteme(const QString& dossier) {
    return dossier.startsWith(QLatin1String("/usr/"));
}

} // namespace

QString CheminRamagIni(const QString& cheminApplication, bool pourEcrire) {
    const QString aCote = cheminApplication + QStringLiteral("Ramag.ini");
    const QFileInfo dossier(cheminApplication);
    if (dossier.isDir() && dossier.isWritable() && !DossierSysteme(dossier.absoluteFilePath()))
        return aCote;
    const QString utilisateur =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
            .filePath(QStringLiteral("ramaglin/Ramag.ini"));
    if (pourEcrire || FichierExiste(utilisateur) || !FichierExiste(aCote))
        return utilisateur;
    return aCote;
}

QString CheminVerrouInstance() {
    const QString execution = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!execution.isEmpty() && QFileInfo(execution).isDir() && QFileInfo(execution).isWritable())
        return QDir(execution).filePath(QStringLiteral("ramaglin.lock"));
    QString utilisateur = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    if (utilisateur.isEmpty())
        utilisateur = QDir::home().dirName();
    return QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
        .filePath(QStringLiteral("ramaglin-%1.lock").arg(utilisateur));
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
    // Then named lines, wherever they stand after the four: the proxy's user,
    // and the limits, where a value that is not a whole number above 0 is no
    // limit.
    for (qsizetype i = 4; i < lignes.size(); ++i) {
        const QString cle = lignes[i].section(QLatin1Char('='), 0, 0).trimmed();
        if (cle.compare(QLatin1String("UtilisateurProxy"), Qt::CaseInsensitive) == 0) {
            reglages.utilisateurProxy = lignes[i].section(QLatin1Char('='), 1);
            continue;
        }
        bool nombre = false;
        const qint64 valeur = lignes[i].section(QLatin1Char('='), 1).trimmed().toLongLong(&nombre);
        const qint64 garde = nombre && valeur > 0 ? valeur : 0;
        if (cle.compare(QLatin1String("TransfertsSimultanes"), Qt::CaseInsensitive) == 0)
            reglages.transfertsSimultanes = int(std::min<qint64>(garde, 1000));
        else if (cle.compare(QLatin1String("DebitMaxKio"), Qt::CaseInsensitive) == 0)
            reglages.debitMaxKio = std::min<qint64>(garde, qint64(1) << 40);
    }
    return true;
}

bool EcritRamagIni(const QString& chemin, const ReglagesConnexion& reglages) {
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    const QString contenu = (reglages.particulier ? QStringLiteral(" 1 ") : QStringLiteral(" 0 ")) +
                            QStringLiteral("\r\n") + reglages.adresseProxy + QStringLiteral("\r\n") +
                            reglages.portHTTP + QStringLiteral("\r\n") + reglages.portFTP +
                            QStringLiteral("\r\n") +
                            (reglages.utilisateurProxy.isEmpty()
                                 ? QString()
                                 : QStringLiteral("UtilisateurProxy=") + reglages.utilisateurProxy +
                                       QStringLiteral("\r\n")) +
                            (reglages.transfertsSimultanes > 0
                                 ? QStringLiteral("TransfertsSimultanes=%1\r\n").arg(reglages.transfertsSimultanes)
                                 : QString()) +
                            (reglages.debitMaxKio > 0
                                 ? QStringLiteral("DebitMaxKio=%1\r\n").arg(reglages.debitMaxKio)
                                 : QString());
    return RemplaceParFichierTravail(chemin, contenu.toUtf8(), chemin + QStringLiteral(".tmp"));
}

bool SepareIdentifiantsProxy(QString& adresse, QString& utilisateur, QString& motDePasse) {
    // The credentials end at the last "@" before the host: a password may
    // hold one, typed as is.
    const QString texte = adresse.trimmed();
    const qsizetype schema = texte.indexOf(QLatin1String("://"));
    const qsizetype debut = schema < 0 ? 0 : schema + 3;
    const qsizetype finHote = texte.indexOf(QLatin1Char('/'), debut);
    const qsizetype arobase = texte.lastIndexOf(QLatin1Char('@'), finHote < 0 ? -1 : finHote);
    if (arobase < debut)
        return false;
    const QString identifiants = texte.mid(debut, arobase - debut);
    const qsizetype deux = identifiants.indexOf(QLatin1Char(':'));
    const auto decode = [](const QString& t) { return QUrl::fromPercentEncoding(t.toUtf8()); };
    utilisateur = decode(identifiants.left(deux < 0 ? identifiants.size() : deux));
    if (deux >= 0)
        motDePasse = decode(identifiants.mid(deux + 1));
    adresse = texte.left(debut) + texte.mid(arobase + 1);
    return true;
}
