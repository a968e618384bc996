// The highest accepted version of each service's signed list, kept on disk.
//
// The folder is the user's own, but what it holds decides whether a list is
// refused, so it is handled without trusting it: a service's file is opened
// without following a link and read only when it is a small regular file, and
// it is never rewritten in place. A new content goes to a work file created
// exclusively under a random name beside it, then is renamed over it, which
// replaces a link rather than writing where it leads. The read, the
// comparison and the rename happen under a lock on the folder, so that two
// searches ending together cannot lower the version one of them kept.
#include "search/FraicheurListe.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include "search/TraitementListe.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray EnteteEtat = QByteArrayLiteral("Le Ramaglin version de liste 1\n");
// The header, 18 digits and a line end, with room to spare: anything larger is
// not one of ours and is not even read.
constexpr qsizetype TailleMaxEtat = 128;

bool Chiffre(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The line of `texte` starting at `debut`, without its end; `debut` moves past
// that end (CR LF, a lone LF or a lone CR).
QByteArrayView LigneSuivante(QByteArrayView texte, qsizetype& debut) {
    qsizetype fin = debut;
    while (fin < texte.size() && texte[fin] != '\r' && texte[fin] != '\n')
        ++fin;
    const QByteArrayView ligne = texte.sliced(debut, fin - debut);
    if (fin < texte.size())
        fin += (texte[fin] == '\r' && fin + 1 < texte.size() && texte[fin + 1] == '\n') ? 2 : 1;
    debut = fin;
    return ligne;
}

QByteArray NomEtat(const QString& cleService) {
    return QCryptographicHash::hash(cleService.toUtf8(), QCryptographicHash::Sha256).toHex();
}

// Closes a descriptor when it goes.
class Descripteur final {
public:
    explicit Descripteur(int fd = -1) : fd_(fd) {}
    ~Descripteur() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descripteur(const Descripteur&) = delete;
    Descripteur& operator=(const Descripteur&) = delete;
    int fd() const { return fd_; }
    // Closes now, for the callers that must know it went well.
    bool Ferme() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

int OuvreDossier(const QString& chemin) {
    return ::open(QFile::encodeName(chemin).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The folder and the missing ones above it, each created for its owner only:
// the versions say which services the user follows.
bool CreeDossier(const QString& chemin) {
    const QByteArray natif = QFile::encodeName(QDir::cleanPath(chemin));
    for (qsizetype barre = natif.indexOf('/', 1);; barre = natif.indexOf('/', barre + 1)) {
        const QByteArray partie = barre < 0 ? natif : natif.left(barre);
        if (::mkdir(partie.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (barre < 0)
            break;
    }
    struct stat etat;
    return ::stat(natif.constData(), &etat) == 0 && S_ISDIR(etat.st_mode);
}

// The content of the file `nom` of the folder `dossier`, when it is a regular
// file of at most `tailleMax` bytes; false otherwise (a link, a device, a
// pipe, a larger file: nothing this program wrote, nothing to trust).
bool LitPetitFichier(int dossier, const QByteArray& nom, qsizetype tailleMax, QByteArray& contenu) {
    // Without waiting: a pipe planted there would otherwise block the open.
    Descripteur fichier(
        ::openat(dossier, nom.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat etat;
    if (fichier.fd() < 0 || ::fstat(fichier.fd(), &etat) != 0 || !S_ISREG(etat.st_mode) ||
        etat.st_size > tailleMax)
        return false;
    contenu.resize(tailleMax + 1);
    qsizetype lus = 0;
    for (;;) {
        const ssize_t n = ::read(fichier.fd(), contenu.data() + lus, size_t(contenu.size() - lus));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        lus += n;
        if (lus > tailleMax)
            return false;
    }
    contenu.truncate(lus);
    return true;
}

// The version kept in the file `nom` of the folder `dossier`; 0 when there is
// none, or when the file is not one this program wrote.
quint64 LitVersionRetenue(int dossier, const QByteArray& nom) {
    QByteArray contenu;
    if (!LitPetitFichier(dossier, nom, TailleMaxEtat, contenu))
        return 0;
    quint64 version = 0;
    if (contenu.size() < EnteteEtat.size() + 2 || !contenu.startsWith(EnteteEtat) ||
        !contenu.endsWith('\n') ||
        !LitVersionListe(QString::fromLatin1(contenu.sliced(EnteteEtat.size()).chopped(1)),
                         version))
        return 0;
    return version;
}

bool EcritTout(int fd, QByteArrayView octets) {
    while (!octets.isEmpty()) {
        const ssize_t n = ::write(fd, octets.data(), size_t(octets.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        octets = octets.sliced(n);
    }
    return true;
}

// Puts `contenu` in the place of `nom`, in one step, through a work file of
// the same folder.
bool RemplaceEtat(int dossier, const QByteArray& nom, QByteArrayView contenu) {
    // Hidden, random and created exclusively without following a link: a name
    // no one can prepare in advance, and never an existing file.
    QByteArray travail;
    int fd = -1;
    for (int essai = 0; essai < 8 && fd < 0; ++essai) {
        travail =
            '.' + nom + '.' + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
        fd = ::openat(dossier, travail.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    Descripteur fichier(fd);
    if (fd < 0)
        return false;
    // On the disk before the rename: a crash must not leave the name on an
    // empty file.
    if (!EcritTout(fichier.fd(), contenu) || ::fsync(fichier.fd()) != 0 || !fichier.Ferme() ||
        ::renameat(dossier, travail.constData(), dossier, nom.constData()) != 0) {
        ::unlinkat(dossier, travail.constData(), 0);
        return false;
    }
    ::fsync(dossier); // the rename itself; it happened whatever this says
    return true;
}

} // namespace

bool LitVersionListe(QStringView texte, quint64& version) {
    if (texte.isEmpty() || texte.size() > 18 || !std::all_of(texte.begin(), texte.end(), Chiffre))
        return false;
    version = texte.toULongLong();
    return true;
}

bool LitExpirationListe(QStringView texte, QDate& date) {
    if (texte.size() != 10 || texte[4] != QLatin1Char('-') || texte[7] != QLatin1Char('-'))
        return false;
    for (qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!Chiffre(texte[i]))
            return false;
    const QDate d(texte.first(4).toInt(), texte.sliced(5, 2).toInt(), texte.sliced(8, 2).toInt());
    if (!d.isValid())
        return false;
    date = d;
    return true;
}

FraicheurListe LitFraicheurListe(QByteArrayView liste) {
    FraicheurListe fraicheur;
    if (liste.startsWith("\xEF\xBB\xBF")) // a BOM, which the search drops too
        liste = liste.sliced(3);
    qsizetype position = 0;
    if (LigneSuivante(liste, position) != MarqueurListe.toLatin1() ||
        LigneSuivante(liste, position) != DebutParametres.toLatin1())
        return fraicheur;
    const QByteArray fin = FinParametres.toLatin1();
    while (position < liste.size()) {
        const QByteArrayView ligne = LigneSuivante(liste, position);
        if (ligne == fin)
            break;
        if (ligne.startsWith("VERSION_LISTE="))
            fraicheur.version = QString::fromUtf8(ligne.sliced(14));
        else if (ligne.startsWith("EXPIRE_LISTE="))
            fraicheur.expire = QString::fromUtf8(ligne.sliced(13));
    }
    return fraicheur;
}

QString ControleFraicheur(const QString& cleService, const FraicheurListe& fraicheur,
                          const QDate& aujourdhui) {
    quint64 version = 0;
    if (!fraicheur.version.isEmpty() && !LitVersionListe(fraicheur.version, version))
        return QStringLiteral("version de liste illisible (VERSION_LISTE)");
    QDate expire;
    if (!fraicheur.expire.isEmpty() && !LitExpirationListe(fraicheur.expire, expire))
        return QStringLiteral("date d'expiration de liste illisible (EXPIRE_LISTE)");
    // The last day is still a valid one.
    if (expire.isValid() && aujourdhui > expire)
        return QStringLiteral("liste expirée depuis le ") +
               expire.toString(QStringLiteral("dd/MM/yyyy"));
    const Descripteur dossier(OuvreDossier(DossierFraicheur()));
    if (dossier.fd() >= 0 && version < LitVersionRetenue(dossier.fd(), NomEtat(cleService)))
        return QStringLiteral("liste plus ancienne que la dernière acceptée");
    return QString();
}

bool RetientVersionListe(const QString& cleService, const FraicheurListe& fraicheur) {
    quint64 version = 0;
    if (!fraicheur.version.isEmpty() && !LitVersionListe(fraicheur.version, version))
        return false;
    // Every kept version is at least 0: a list without one never has anything
    // to record, and a service that does not number its lists never needs
    // the folder.
    if (version == 0)
        return true;
    const QString chemin = DossierFraicheur();
    if (!CreeDossier(chemin))
        return false;
    const Descripteur dossier(OuvreDossier(chemin));
    if (dossier.fd() < 0)
        return false;
    // Held until the descriptor closes, after the rename.
    while (::flock(dossier.fd(), LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    const QByteArray nom = NomEtat(cleService);
    if (version <= LitVersionRetenue(dossier.fd(), nom))
        return true;
    return RemplaceEtat(dossier.fd(), nom, EnteteEtat + QByteArray::number(version) + '\n');
}

QString DossierFraicheur() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/ramaglin");
}

bool CreeDossierEtat(const QString& chemin) {
    return CreeDossier(chemin);
}

QByteArray LitFichierEtat(const QString& dossier, const QByteArray& nom, qsizetype tailleMax) {
    const Descripteur d(OuvreDossier(dossier));
    QByteArray contenu;
    if (d.fd() < 0 || !LitPetitFichier(d.fd(), nom, tailleMax, contenu))
        return QByteArray();
    return contenu;
}

bool EcritFichierEtat(const QString& dossier, const QByteArray& nom, QByteArrayView contenu) {
    if (!CreeDossier(dossier))
        return false;
    const Descripteur d(OuvreDossier(dossier));
    return d.fd() >= 0 && RemplaceEtat(d.fd(), nom, contenu);
}
