// Writing extracted entries: destination path, folders, replacement of an
// existing file, the bytes, then the entry's date.
#include "zip/Archives_Ecriture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <limits>

#include "util/Fonctions_Messages.h"
#include "util/NomsFichiers.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Folders created for entries get capitals only where names ignore case: on a
// case-sensitive system the file written after them would not be found.
QString Capitales(const QString& chemin) {
#ifdef Q_OS_WIN
    return chemin.toUpper();
#else
    return chemin;
#endif
}

bool AppliqueDates(QFile& fichier, const QDateTime& creation, const QDateTime& ecriture,
                   const QDateTime& acces) {
    fichier.flush();
    // Not every file system keeps a creation time that can be set: not an error.
    if (creation.isValid())
        fichier.setFileTime(creation, QFileDevice::FileBirthTime);
    const bool ok = !ecriture.isValid() || fichier.setFileTime(ecriture, QFileDevice::FileModificationTime);
    if (acces.isValid())
        fichier.setFileTime(acces, QFileDevice::FileAccessTime);
    return ok;
}

} // namespace

QString PathSeparator() {
    static const QString separateur =
        QDir::toNativeSeparators(QDir::currentPath()).contains(QLatin1Char('\\'))
            ? QStringLiteral("\\")
            : QStringLiteral("/");
    return separateur;
}

QString NormaliseSeparateurs(const QString& Path) {
    QString r = Path;
    const QChar sep = PathSeparator().at(0);
    for (QChar& c : r)
        if (c == QLatin1Char('\\') || c == QLatin1Char('/'))
            c = sep;
    return r;
}

bool NomHorsDestination(const QString& EntryName) {
    if (EntryName.contains(QChar(0)))
        return true; // no file system takes it; refused before it is cut short
    if (EntryName.startsWith(QLatin1Char('/')) || EntryName.startsWith(QLatin1Char('\\')))
        return true;
    if (EntryName.size() >= 2 && EntryName.at(1) == QLatin1Char(':'))
        return true;
    return !ElementsAcceptables(EntryName);
}

QString TargetDirectory(const QString& Path) {
    const QString sep = PathSeparator();
    const QString chemin = NormaliseSeparateurs(Path);
    QString dossier;
    const qsizetype dernier = chemin.lastIndexOf(sep);
    if (dernier >= 0)
        dossier = chemin.left(dernier + 1);
    else
        dossier = NormaliseSeparateurs(QDir::currentPath());
    if (!dossier.endsWith(sep))
        dossier += sep;
    return Capitales(dossier);
}

bool CreateDirectories(const QString& DirPath) {
    const QString sep = PathSeparator();
    QString chemin = NormaliseSeparateurs(DirPath);
    if (!chemin.endsWith(sep))
        chemin += sep;
    const QString sansFin = chemin.left(chemin.size() - 1);
    if (sansFin.isEmpty() || QFileInfo::exists(sansFin))
        return true;

    // Walk the path from its root (or from the current folder for a relative
    // path), creating each missing element.
    QString courant;
    qsizetype debut = 0;
    if (chemin.startsWith(sep)) {
        courant = sep;
        debut = 1;
    } else if (chemin.size() >= 3 && chemin.at(1) == QLatin1Char(':')) {
        courant = chemin.left(3);
        debut = 3;
    }
    bool ok = true;
    if (!courant.isEmpty() && !QFileInfo(courant).isDir())
        ok = false;
    const QStringList elements = chemin.mid(debut).split(sep, Qt::SkipEmptyParts);
    for (const QString& element : elements) {
        if (!ok)
            break;
        courant += element;
        QFileInfo info(courant);
        if (!info.exists() && !QDir().mkdir(courant) && !QFileInfo(courant).isDir())
            ok = false;
        else if (!QFileInfo(courant).isDir())
            ok = false;
        courant += sep;
    }
    if (!ok) {
        // Wording and title kept from the installer this message first served.
        MsgBox(QStringLiteral("Error While Attempting to Create Directories on Destination Drive."),
               IconeMessage::Exclamation, BoutonsMessage::Ok, QStringLiteral("SETUP"));
        return false;
    }
    return true;
}

namespace {

// The path of an entry under DestDir (its name as stored, "/" separators).
QString CheminEntree(const QString& EntryName, const QString& DestDir) {
    QString chemin = DestDir;
    if (!chemin.endsWith(QLatin1Char('\\')) && !chemin.endsWith(QLatin1Char('/')))
        chemin += PathSeparator();
    return NormaliseSeparateurs(chemin + EntryName);
}

// Replaces an existing file (even a read-only one) by a new, empty one.
short OuvreRemplacant(const QString& chemin, QFile& fichier, QIODevice::OpenMode mode) {
    fichier.setFileName(chemin);
    if (QFileInfo(chemin).isFile() || QFileInfo(chemin).isSymLink()) {
        fichier.setPermissions(fichier.permissions() | QFileDevice::WriteOwner);
        if (!QFile::remove(chemin))
            return 2;
    }
    if (!fichier.open(QIODevice::WriteOnly | QIODevice::Truncate | mode))
        return 3;
    return 0;
}

} // namespace

short WriteEntryFile(const QString& EntryName, const QString& DestDir, const QByteArray& Data,
                     uint16_t DosDate, uint16_t DosTime) {
    if (NomHorsDestination(EntryName))
        return 1;
    const QString chemin = CheminEntree(EntryName, DestDir);
    CreateDirectories(TargetDirectory(chemin)); // a failure shows itself; the write below fails

    QFile fichier;
    if (const short r = OuvreRemplacant(chemin, fichier, {}))
        return r;
    if (!Data.isEmpty() && fichier.write(Data) != Data.size())
        return 4;
    return TermineFichierEntree(fichier, DosDate, DosTime);
}

short OuvreFichierEntree(const QString& EntryName, const QString& DestDir, QFile& Fichier) {
    if (NomHorsDestination(EntryName))
        return 1;
    const QString chemin = CheminEntree(EntryName, DestDir);
    if (!QDir().mkpath(TargetDirectory(chemin)))
        return 3;
    return OuvreRemplacant(chemin, Fichier, QIODevice::Unbuffered);
}

short TermineFichierEntree(QFile& Fichier, uint16_t DosDate, uint16_t DosTime) {
    if (DosDate != 0 || DosTime != 0) {
        const QDateTime date = DosDateTimeToDate(DosDate, DosTime);
        if (date.isValid())
            AppliqueDates(Fichier, date, date, QDateTime::currentDateTime());
    }
    Fichier.close();
    return Fichier.error() == QFileDevice::NoError ? 0 : 5;
}

bool SetEntryFileTimes(const QString& Path, uint16_t DosDate, uint16_t DosTime) {
    const QDateTime date = DosDateTimeToDate(DosDate, DosTime);
    if (!date.isValid())
        return false;
    return SetFileTimes(Path, date, date, QDateTime::currentDateTime());
}

bool SetFileTimes(const QString& Path, const QDateTime& Creation, const QDateTime& LastWrite,
                  const QDateTime& LastAccess) {
    QFile fichier(Path);
    if (!QFileInfo(Path).isFile() || !fichier.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return AppliqueDates(fichier, Creation, LastWrite, LastAccess);
}

QDateTime DosDateTimeToDate(uint16_t DosDate, uint16_t DosTime) {
    const QDate jour(1980 + (DosDate >> 9), (DosDate >> 5) & 0x0F, DosDate & 0x1F);
    const QTime heure(DosTime >> 11, (DosTime >> 5) & 0x3F, (DosTime & 0x1F) * 2);
    if (!jour.isValid() || !heure.isValid())
        return QDateTime();
    return QDateTime(jour, heure, Qt::LocalTime);
}

// ---------------------------------------------------------------------------
// EcrivainEntrees
// ---------------------------------------------------------------------------

EcrivainEntrees::EcrivainEntrees(QString DestDir) : dest_(std::move(DestDir)) {}

EcrivainEntrees::~EcrivainEntrees() {
    FermeCourant();
#ifdef Q_OS_UNIX
    if (racine_ >= 0)
        ::close(racine_);
#endif
}

short EcrivainEntrees::Ecrit(const QString& EntryName, const QByteArray& Data, uint16_t DosDate,
                             uint16_t DosTime) {
    if (NomHorsDestination(EntryName))
        return 1;
#ifdef Q_OS_UNIX
    const short r = EcritRelatif(EntryName, Data, DosDate, DosTime);
    if (r >= 0)
        return r;
    // The general path makes what was missing and shows what went wrong; the
    // folders it may have made are looked up afresh for the next entry.
    FermeCourant();
#endif
    return WriteEntryFile(EntryName, dest_, Data, DosDate, DosTime);
}

void EcrivainEntrees::FermeCourant() {
#ifdef Q_OS_UNIX
    if (courant_ >= 0 && courant_ != racine_)
        ::close(courant_);
#endif
    courant_ = -1;
    relatifCourant_.clear();
}

#ifdef Q_OS_UNIX

namespace {

int Ouvre(int dossier, const char* nom, int drapeaux, mode_t mode = 0) {
    int fd;
    do
        fd = ::openat(dossier, nom, drapeaux | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

// The descriptor of a folder under the destination ("a/b", or empty for the
// destination itself), made when missing; -1 when it cannot be had that way.
int EcrivainEntrees::Dossier(const QByteArray& relatif) {
    if (courant_ >= 0 && relatif == relatifCourant_)
        return courant_;
    FermeCourant();
    if (!racineVue_) {
        racineVue_ = true;
        const QByteArray chemin = QFile::encodeName(dest_.isEmpty() ? QStringLiteral(".") : dest_);
        racine_ = Ouvre(AT_FDCWD, chemin.constData(), O_RDONLY | O_DIRECTORY);
        if (racine_ < 0 && errno == ENOENT && QDir().mkpath(dest_))
            racine_ = Ouvre(AT_FDCWD, chemin.constData(), O_RDONLY | O_DIRECTORY);
    }
    if (racine_ < 0)
        return -1;
    int fd = racine_;
    if (!relatif.isEmpty()) {
        fd = Ouvre(racine_, relatif.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 && errno == ENOENT) {
            // Each missing element in turn; one that exists already is no error.
            for (qsizetype i = relatif.indexOf('/'); ; i = relatif.indexOf('/', i + 1)) {
                const QByteArray partie = i < 0 ? relatif : relatif.left(i);
                if (::mkdirat(racine_, partie.constData(), 0777) != 0 && errno != EEXIST)
                    return -1;
                if (i < 0)
                    break;
            }
            fd = Ouvre(racine_, relatif.constData(), O_RDONLY | O_DIRECTORY);
        }
        if (fd < 0)
            return -1;
    }
    courant_ = fd;
    relatifCourant_ = relatif;
    return fd;
}

// WriteEntryFile's codes, or -1 where the general path must take over before
// anything was written.
short EcrivainEntrees::EcritRelatif(const QString& EntryName, const QByteArray& Data, uint16_t DosDate,
                                    uint16_t DosTime) {
    QByteArray nom = QFile::encodeName(EntryName);
    nom.replace('\\', '/');
    const qsizetype barre = nom.lastIndexOf('/');
    const QByteArray base = nom.mid(barre + 1);
    if (base.isEmpty() || base == "." || base == "..")
        return -1;
    const int dossier = Dossier(barre < 0 ? QByteArray() : nom.left(barre));
    if (dossier < 0)
        return -1;
    // A new file; a file already there (even read-only, or a link) is removed
    // first, so that nothing is written through it.
    constexpr int kDrapeaux = O_WRONLY | O_CREAT | O_EXCL;
    int fd = Ouvre(dossier, base.constData(), kDrapeaux, 0666);
    if (fd < 0 && errno == EEXIST && ::unlinkat(dossier, base.constData(), 0) == 0)
        fd = Ouvre(dossier, base.constData(), kDrapeaux, 0666);
    if (fd < 0)
        return -1;
    const char* p = Data.constData();
    size_t reste = size_t(Data.size());
    while (reste > 0) {
        const ssize_t n = ::write(fd, p, reste);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return 4;
        }
        p += n;
        reste -= size_t(n);
    }
    if (DosDate != 0 || DosTime != 0) {
        const uint32_t cle = (uint32_t(DosDate) << 16) | DosTime;
        if (cle != cleDate_) {
            const QDateTime date = DosDateTimeToDate(DosDate, DosTime);
            secondes_ = date.isValid() ? date.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
            cleDate_ = cle;
        }
        if (secondes_ != std::numeric_limits<qint64>::min()) {
            struct timespec temps[2] = {{0, UTIME_NOW}, {time_t(secondes_), 0}};
            ::futimens(fd, temps);
        }
    }
    return ::close(fd) == 0 ? 0 : 5;
}

#else

short EcrivainEntrees::EcritRelatif(const QString&, const QByteArray&, uint16_t, uint16_t) { return -1; }
int EcrivainEntrees::Dossier(const QByteArray&) { return -1; }

#endif
