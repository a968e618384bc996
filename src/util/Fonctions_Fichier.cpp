// File helpers on Qt: existence, size, deletion, renaming, byte ranges,
// rewrites through a work file, and folder listings with the wildcard rules
// users of the service files expect.
#include "util/Fonctions_Fichier.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool FichierExiste(const QString& chemin) {
    if (chemin.isEmpty())
        return false;
    QFileInfo info(chemin);
    return info.exists() || info.isSymLink();
}

qint64 TailleFichier(const QString& chemin) {
    if (!FichierExiste(chemin))
        return 0;
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.size();
}

bool EstCheminReseau(const QString& chemin) { return chemin.startsWith(QLatin1String("\\\\")); }

int EnvoieCorbeille(const QStringList& fichiers) {
    int echecs = 0;
    for (const QString& f : fichiers)
        if (!QFile::moveToTrash(f))
            ++echecs;
    return echecs;
}

bool EffaceFichier(const QString& chemin, bool corbeille) {
    if (!FichierExiste(chemin))
        return true;
    if (corbeille && !EstCheminReseau(chemin))
        return EnvoieCorbeille({chemin}) == 0;
    QFile f(chemin);
    // Read-only files go too.
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    if (QFileInfo(chemin).isDir() && !QFileInfo(chemin).isSymLink())
        return QDir().rmdir(chemin);
    return f.remove();
}

bool RenommeFichier(const QString& ancien, const QString& nouveau) {
    if (ancien == nouveau)
        return true;
    return QFile::rename(ancien, nouveau);
}

bool CreeFichierVide(const QString& chemin) {
    if (!EffaceFichier(chemin, false))
        return false;
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.close();
    return true;
}

bool CopieBlocFichier(const QString& source, const QString& cible, qint64 debutSource,
                      qint64 finSource, qint64 debutCible) {
    if (debutSource > finSource || debutSource < 1 || debutCible < 1)
        return false;
    QFile entree(source);
    QFile sortie(cible);
    if (!entree.open(QIODevice::ReadOnly) || !sortie.open(QIODevice::ReadWrite))
        return false;
    qint64 reste = finSource - debutSource + 1;
    qint64 lecture = debutSource - 1;
    qint64 ecriture = debutCible - 1;
    while (reste >= 1) {
        const qint64 taille = std::min<qint64>(reste, 10000);
        if (!entree.seek(lecture))
            return false;
        const QByteArray bloc = entree.read(taille);
        if (bloc.size() != taille)
            return false; // past the end of the source
        if (!sortie.seek(ecriture) || sortie.write(bloc) != taille)
            return false;
        lecture += taille;
        ecriture += taille;
        reste -= taille;
    }
    return true;
}

bool RetireBlocFichier(const QString& chemin, const QString& temporaire, qint64 debut,
                       qint64 fin) {
    if (!FichierExiste(chemin))
        return false;
    if (!CreeFichierVide(temporaire))
        return false;
    if (debut > 1 && !CopieBlocFichier(chemin, temporaire, 1, debut - 1, 1)) {
        EffaceFichier(temporaire, false);
        return false;
    }
    bool resultat = true;
    if (fin > 0)
        resultat = CopieBlocFichier(chemin, temporaire, fin + 1, TailleFichier(chemin),
                                    std::max<qint64>(debut, 1));
    if (EffaceFichier(chemin, false))
        RenommeFichier(temporaire, chemin);
    return resultat;
}

// --- Rewrites through a work file -----------------------------------------

std::filesystem::path CheminNatif(const QString& chemin) {
#ifdef _WIN32
    return std::filesystem::path(chemin.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(chemin).toStdString());
#endif
}

namespace {

// Asks the system to put the file's data on the disk: without it, a crash
// right after the rename could leave the new name on an empty file.
bool EcritSurLeDisque(QFile& fichier) {
#ifdef _WIN32
    return _commit(fichier.handle()) == 0;
#else
    return ::fsync(fichier.handle()) == 0;
#endif
}

// A file reached through a symbolic link is rewritten where the link leads,
// its work file beside it there (named as the caller names it beside the
// link): renaming over the link itself would put a plain file in its place,
// and the file it pointed to would keep its old content. A dangling link
// leads to the file it names, which the rewrite then creates.
QString OuMeneLeLien(const QString& chemin) {
    const QFileInfo info(chemin);
    if (!info.isSymLink())
        return chemin;
    QString cible = info.canonicalFilePath();
    if (cible.isEmpty()) // dangling: the last link's own target
        cible = info.symLinkTarget();
    return cible.isEmpty() ? chemin : cible;
}

} // namespace

FichierTravail::FichierTravail(const QString& chemin, const QString& travail, bool suivreLien)
    : chemin_(suivreLien ? OuMeneLeLien(chemin) : chemin), travail_(travail) {
    if (chemin_ != chemin && travail.startsWith(chemin))
        travail_ = chemin_ + travail.mid(chemin.size());
}

FichierTravail::~FichierTravail() {
    if (ouvert_)
        Abandonne();
}

bool FichierTravail::Ouvre() {
    // A name no one can guess, created by this call alone: whatever already
    // bears a name (a file, a link planted to make us write elsewhere) is
    // never opened. Unbuffered: the callers hand over large pieces, which go
    // straight to the system without another copy.
    for (int essai = 0; essai < 8 && !ouvert_; ++essai) {
        fichier_.setFileName(travail_ + QLatin1Char('.') +
                             QString::number(QRandomGenerator::system()->generate64() & 0xFFFFFFFFFFFFull, 36));
        ouvert_ = fichier_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
        if (!ouvert_ && QFileInfo::exists(fichier_.fileName()) == false && !QFileInfo(fichier_.fileName()).isSymLink())
            break; // the folder refuses it: another name would not help
    }
    erreur_ = !ouvert_;
    return ouvert_;
}

bool FichierTravail::Ecrit(QByteArrayView octets) {
    if (!ouvert_ || erreur_)
        return false;
    if (!octets.isEmpty() && fichier_.write(octets.data(), octets.size()) != octets.size())
        erreur_ = true;
    return !erreur_;
}

bool FichierTravail::Remplace() {
    if (!ouvert_ || erreur_ || !fichier_.flush() || !EcritSurLeDisque(fichier_)) {
        Abandonne();
        return false;
    }
    // The new file takes the place of the old one, so it takes its rights
    // too (a list made read-only by its user stays so); not those of a file
    // that a link in its place leads to, since the link itself is replaced.
    if (const QFileInfo ancien(chemin_); ancien.exists() && !ancien.isSymLink())
        fichier_.setPermissions(ancien.permissions());
    fichier_.close();
    std::error_code erreur;
    std::filesystem::rename(CheminNatif(fichier_.fileName()), CheminNatif(chemin_), erreur);
    if (erreur) {
        Abandonne();
        return false;
    }
    ouvert_ = false;
    return true;
}

void FichierTravail::Abandonne() {
    if (!ouvert_)
        return; // never created: whatever bears its name is not ours
    fichier_.close();
    if (!fichier_.remove()) { // read-only by now, which some systems refuse to delete
        fichier_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        fichier_.remove();
    }
    ouvert_ = false;
    erreur_ = true;
}

bool LitFichierSansLien(const QString& chemin, QByteArray& octets, qint64 tailleMax) {
    octets.clear();
#ifdef _WIN32
    if (QFileInfo(chemin).isSymLink())
        return false;
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::ReadOnly) || (tailleMax >= 0 && fichier.size() > tailleMax))
        return false;
    octets = fichier.readAll();
    return fichier.error() == QFileDevice::NoError;
#else
    const int fd = ::open(QFile::encodeName(chemin).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat etat;
    bool ok = ::fstat(fd, &etat) == 0 && S_ISREG(etat.st_mode) && (tailleMax < 0 || etat.st_size <= tailleMax);
    if (ok) {
        octets.resize(qsizetype(etat.st_size));
        qsizetype lus = 0;
        while (ok && lus < octets.size()) {
            const ssize_t n = ::read(fd, octets.data() + lus, size_t(octets.size() - lus));
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            lus += n > 0 ? n : 0;
        }
    }
    ::close(fd);
    if (!ok)
        octets.clear();
    return ok;
#endif
}

bool RemplaceParFichierTravail(const QString& chemin, const QByteArray& contenu,
                               const QString& travail, bool suivreLien) {
    FichierTravail fichier(chemin, travail, suivreLien);
    return fichier.Ouvre() && fichier.Ecrit(contenu) && fichier.Remplace();
}

// --- Folder listings -------------------------------------------------------

namespace {

// Glob match with "*" and "?", case ignored; iterative with one backtrack point,
// so no pattern can make it exponential.
bool Glob(QStringView nom, QStringView motif) {
    qsizetype n = 0, m = 0, etoile = -1, reprise = 0;
    while (n < nom.size()) {
        if (m < motif.size() && motif[m] == QLatin1Char('*')) {
            etoile = m++;
            reprise = n;
        } else if (m < motif.size() &&
                   (motif[m] == QLatin1Char('?') ||
                    motif[m].toCaseFolded() == nom[n].toCaseFolded())) {
            ++m;
            ++n;
        } else if (etoile >= 0) {
            m = etoile + 1;
            n = ++reprise;
        } else {
            return false;
        }
    }
    while (m < motif.size() && motif[m] == QLatin1Char('*'))
        ++m;
    return m == motif.size();
}

void SepareMotif(const QString& motif, QString& dossier, QString& filtre) {
    const qsizetype sep =
        std::max(motif.lastIndexOf(QLatin1Char('/')), motif.lastIndexOf(QLatin1Char('\\')));
    dossier = sep < 0 ? QStringLiteral(".") : motif.left(sep + 1);
    if (dossier.isEmpty())
        dossier = QStringLiteral("/");
    filtre = motif.mid(sep + 1);
}

} // namespace

bool CorrespondMotif(const QString& nom, const QString& motif) {
    if (motif.isEmpty())
        return false;
    // "X.*" also matches "X" with no extension at all ("*.*" matches everything),
    // and "X." matches only names without an extension.
    if (motif.endsWith(QLatin1String(".*"))) {
        const QStringView base = QStringView(motif).chopped(2);
        if (Glob(nom, base))
            return true;
    }
    if (motif.endsWith(QLatin1Char('.')) && !motif.endsWith(QLatin1String("*.")) )
        return Glob(nom, QStringView(motif).chopped(1)) && !nom.contains(QLatin1Char('.'));
    if (motif.endsWith(QLatin1String("*.")))
        return !nom.contains(QLatin1Char('.')) && Glob(nom, QStringView(motif).chopped(1));
    return Glob(nom, motif);
}

class RechercheFichiers {
public:
    std::vector<DonneesFichier> entrees;
    size_t suivant = 0;
};

static std::vector<DonneesFichier> Liste(const QString& motif, bool details) {
    std::vector<DonneesFichier> resultat;
    QString dossier, filtre;
    SepareMotif(motif, dossier, filtre);
    QDirIterator it(dossier, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString nom = it.fileName();
        if (!CorrespondMotif(nom, filtre))
            continue;
        DonneesFichier d;
        d.nom = nom;
        if (details) {
            const QFileInfo info = it.fileInfo();
            d.dossier = info.isDir();
            d.taille = info.size();
            d.modification = info.lastModified();
        }
        resultat.push_back(std::move(d));
    }
    return resultat;
}

bool CherchePremierFichier(const QString& motif, DonneesFichier& donnees,
                           PoigneeRecherche& poignee, bool fermer) {
    poignee.reset();
    auto recherche = std::make_shared<RechercheFichiers>();
    recherche->entrees = Liste(motif, true);
    if (recherche->entrees.empty())
        return false;
    donnees = recherche->entrees[0];
    recherche->suivant = 1;
    if (!fermer)
        poignee = std::move(recherche);
    return true;
}

bool ChercheFichierSuivant(PoigneeRecherche& poignee, DonneesFichier& donnees) {
    if (!poignee)
        return false;
    if (poignee->suivant >= poignee->entrees.size()) {
        poignee.reset();
        return false;
    }
    donnees = poignee->entrees[poignee->suivant++];
    return true;
}

QStringList NomsFichiersMotif(const QString& motif, bool fichiersSeulement) {
    // The directory entries' own type is enough here: no stat() per file, which
    // is what makes a folder of 100,000 files quick to compare against.
    QStringList noms;
    QString dossier, filtre;
    SepareMotif(motif, dossier, filtre);
    if (filtre.isEmpty())
        return noms;
    const bool tout = filtre == QLatin1String("*.*") || filtre == QLatin1String("*");
    std::error_code erreur;
    std::filesystem::directory_iterator it(std::filesystem::path(dossier.toStdU16String()),
                                           std::filesystem::directory_options::skip_permission_denied,
                                           erreur);
    for (; !erreur && it != std::filesystem::directory_iterator(); it.increment(erreur)) {
        if (fichiersSeulement) {
            std::error_code e;
            if (it->is_directory(e))
                continue;
        }
        const QString nom = QString::fromStdU16String(it->path().filename().u16string());
        if (tout || CorrespondMotif(nom, filtre))
            noms.append(nom);
    }
    return noms;
}

QChar SeparateurDossier() {
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

QString AvecSeparateurFinal(const QString& chemin) {
    if (chemin.endsWith(QLatin1Char('/')) || chemin.endsWith(QLatin1Char('\\')))
        return chemin;
    return chemin + SeparateurDossier();
}
