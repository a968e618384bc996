// Loading a service's configuration.
#include "config/Service.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef _WIN32
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Messages.h"

namespace {

#ifndef _WIN32
// A folder that only this user can write into: a list copied there cannot be
// changed or replaced by anyone else between two steps of a search.
bool DossierAMoi(const QString& dossier) {
    struct stat etat;
    return ::stat(QFile::encodeName(dossier).constData(), &etat) == 0 && S_ISDIR(etat.st_mode) &&
           etat.st_uid == ::geteuid() && (etat.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Makes `dossier` (its parent existing) as a folder of this user alone; true
// when it is one, made now (`cree`) or before.
bool CreeDossierPrive(const QString& dossier, bool& cree) {
    cree = ::mkdir(QFile::encodeName(dossier).constData(), 0700) == 0;
    if (!cree && errno != EEXIST)
        return false;
    struct stat etat;
    return ::lstat(QFile::encodeName(dossier).constData(), &etat) == 0 && S_ISDIR(etat.st_mode) &&
           etat.st_uid == ::geteuid() && (etat.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
#endif

} // namespace

QString DossierTemporairePrive(const QString& fichierParametres) {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    // Named after the parameter file, and told apart from another service's
    // file of the same name by a digest of its full path.
    const QFileInfo info(fichierParametres);
    QString nom = info.completeBaseName();
    for (QChar& c : nom)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    const QByteArray condense =
        QCryptographicHash::hash(info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
    return cache + QStringLiteral("/ramaglin/") + nom.left(40) + QLatin1Char('-') + QString::fromLatin1(condense) +
           QLatin1Char('/');
}

QString ChoisitDossierTemporaire(const QString& repTmp, const QString& fichierParametres) {
#ifdef _WIN32
    Q_UNUSED(fichierParametres);
    return repTmp;
#else
    if (!repTmp.isEmpty() && (!QFileInfo::exists(repTmp) || DossierAMoi(repTmp)))
        return repTmp; // a folder missing is told when the search needs it
    const QString prive = DossierTemporairePrive(fichierParametres);
    bool cree = false, inutile = false;
    const QString service = QDir::cleanPath(prive);
    const QString programme = QFileInfo(service).absolutePath(); // .../ramaglin
    QDir().mkpath(QFileInfo(programme).absolutePath());           // ~/.cache, as it usually is
    if (!CreeDossierPrive(programme, inutile) || !CreeDossierPrive(service, cree)) {
        MsgBox(QStringLiteral("Le dossier temporaire du service (") + prive +
                   QStringLiteral(") n'a pas pu être créé pour cet utilisateur seul : aucune recherche ne pourra "
                                  "copier la liste."),
               IconeMessage::Critique);
        return prive;
    }
    if (cree)
        MsgBox((repTmp.isEmpty() ? QStringLiteral("Le fichier paramètre ne nomme pas de dossier temporaire (REP_TMP)")
                                 : QStringLiteral("Le dossier temporaire ") + repTmp +
                                       QStringLiteral(" n'appartient pas à l'utilisateur ou d'autres peuvent y "
                                                      "écrire")) +
                   QStringLiteral(" : la liste de ce service sera copiée dans ") + prive + QLatin1Char('.'),
               IconeMessage::Information);
    return prive;
#endif
}

bool ChargeService(const QString& cheminApplication, const QString& fichierParametres,
                   const std::function<bool()>& accepte) {
    if (fichierParametres.isEmpty()) {
        MsgBox(QStringLiteral("Fichier paramètre non précisé"), IconeMessage::Critique);
        return false;
    }
    if (!FichierExiste(fichierParametres)) {
        MsgBox(QStringLiteral("Fichier paramètre inexistant : ") + fichierParametres,
               IconeMessage::Critique);
        return false;
    }
    ChargeListeOptions(cheminApplication + QStringLiteral("Ramag-ListeOptions.dat"), 1, nullptr, true);
    LitFichierParametres(fichierParametres, 1);
    if (accepte && !accepte())
        return false;
    if (LitVariable(QStringLiteral("FICHIER_CONFIG_SUPPR")) == QLatin1String("O"))
        EffaceFichier(fichierParametres, false);
    QString repTmp = ChoisitDossierTemporaire(LitVariable(QStringLiteral("REP_TMP")), fichierParametres);
    if (!repTmp.endsWith(SeparateurDossier()))
        repTmp += SeparateurDossier();
    AffecteVariable(QStringLiteral("REP_TMP"), repTmp);
    return true;
}
