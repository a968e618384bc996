// The work file of a fetch.
#include "net/NomsTravail.h"

#include <filesystem>
#include <system_error>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "net/Fonctions_Internet_INET.h"
#include "util/Fonctions_Fichier.h"

namespace DetailTransfert {

namespace {

const QString PrefixeTravail = QStringLiteral("en-cours-");

QString Hasard() {
    return QString::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFull, 36);
}

// The work files that a killed program left in `dossier`: those that nobody
// holds any more go (once per folder and run of the program). Where files
// cannot be locked, one still open cannot be removed either.
void RetireAbandonnes(const QString& dossier) {
    static QSet<QString> faits;
    if (faits.contains(dossier))
        return;
    faits.insert(dossier);
    const QStringList noms = QDir(dossier).entryList({PrefixeTravail + QStringLiteral("*.part")},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& nom : noms) {
        const QString chemin = dossier + nom;
#ifdef Q_OS_UNIX
        const int fd = ::open(QFile::encodeName(chemin).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            QFile::remove(chemin);
        ::close(fd);
#else
        QFile::remove(chemin);
#endif
    }
}

} // namespace

// Made with an exclusive creation under a random name: cheaper than a
// temporary-file object, which on some file systems first makes an unnamed
// file and then gives it a name, for each of thousands of small files.
bool FichierNonRepris::Cree(const QString& destination) {
    Libere();
    const QString parent = QFileInfo(destination).absolutePath() + QLatin1Char('/');
    dossier_ = parent + QLatin1String(DossierReprise) + QLatin1Char('/');
    // The folder of work files, never through a link: one that is not a
    // folder of its own leaves the work file beside the destination, hidden.
#ifdef Q_OS_UNIX
    // One look, without following a link (two with QFileInfo, for each of
    // thousands of small files).
    struct stat etat;
    const bool dossierSur = ::lstat(QFile::encodeName(dossier_).constData(), &etat) == 0
                                ? S_ISDIR(etat.st_mode)
                                : errno == ENOENT && QDir().mkdir(dossier_);
#else
    const QFileInfo infoDossier(dossier_);
    const bool dossierSur = (infoDossier.isDir() && !infoDossier.isSymLink()) ||
                            (!infoDossier.exists() && !infoDossier.isSymLink() && QDir().mkdir(dossier_));
#endif
    if (!dossierSur)
        dossier_.clear();
    else
        RetireAbandonnes(dossier_);
    for (int essai = 0; essai < 8; ++essai) {
        const QString chemin = dossierSur ? dossier_ + PrefixeTravail + Hasard() + QStringLiteral(".part")
                                          : parent + QStringLiteral(".ramaglin-") + Hasard() + QStringLiteral(".part");
#ifdef Q_OS_UNIX
        const int fd = ::open(QFile::encodeName(chemin).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Held from now on; a cleanup that took the file in the instant
            // between its creation and the lock has removed it: another name.
            struct stat a, b;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &a) == 0 &&
                ::lstat(QFile::encodeName(chemin).constData(), &b) == 0 && a.st_ino == b.st_ino &&
                a.st_dev == b.st_dev) {
                chemin_ = chemin;
                verrou_ = fd;
                return true;
            }
            ::close(fd);
            continue;
        }
        if (errno == EEXIST)
            continue;
        if (dossierSur && errno == ENOENT && QDir().mkdir(dossier_)) // the folder just went (another fetch's end)
            continue;
        break;
#else
        QFile fichier(chemin);
        if (fichier.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            chemin_ = chemin;
            return true;
        }
        if (!QFileInfo::exists(chemin) && !(dossierSur && QDir().mkpath(dossier_)))
            break;
#endif
    }
    return false;
}

void FichierNonRepris::Libere() {
#ifdef Q_OS_UNIX
    if (verrou_ >= 0)
        ::close(verrou_);
#endif
    verrou_ = -1;
    if (!chemin_.isEmpty() && !dossier_.isEmpty())
        QDir().rmdir(dossier_); // only when empty
    chemin_.clear();
}

// Puts the work file in the destination's place (replacing an older file).
bool RemplaceDestination(const QString& temporaire, const QString& destination) {
    std::error_code erreur;
    std::filesystem::rename(CheminNatif(temporaire), CheminNatif(destination), erreur);
    return !erreur;
}

} // namespace DetailTransfert
