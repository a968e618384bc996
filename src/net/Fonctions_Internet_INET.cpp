// The transfer layer over the Inet transfer object.
#include "net/Fonctions_Internet_INET.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTimeZone>
#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#ifdef _WIN32
#include <QStorageInfo>
#else
#include <sys/statvfs.h>
#endif

#include "net/Attente.h"
#include "net/FichierEnFond.h"
#include "net/Inet.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/ModuleRamaglin.h"

namespace {

// An empty work file beside `destination`, so that the final rename stays on
// the same file system; empty text when the folder does not take it. Made with
// an exclusive creation under a random name: cheaper than a temporary-file
// object, which on some file systems first makes an unnamed file and then
// gives it a name, for each of thousands of small files.
QString CreeFichierTemporaire(const QString& destination) {
    const QString dossier = QFileInfo(destination).absolutePath() + QLatin1Char('/');
    const QString nom = QFileInfo(destination).fileName();
    for (int essai = 0; essai < 8; ++essai) {
        const QString hasard =
            QString::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFull, 36);
        // Named after the destination when the name leaves room for the
        // suffix, with a short name of its own otherwise.
        const QString chemin = nom.toUtf8().size() + 20 <= 255
                                   ? dossier + nom + QLatin1Char('.') + hasard + QStringLiteral(".part")
                                   : dossier + QStringLiteral(".ramaglin-") + hasard + QStringLiteral(".part");
        QFile fichier(chemin);
        if (fichier.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return chemin;
        if (fichier.error() != QFileDevice::OpenError || QFile::exists(chemin) == false)
            if (!QFileInfo(dossier).isDir() || !QFileInfo(dossier).isWritable())
                return QString();
    }
    return QString();
}

// Puts the work file in the destination's place (replacing an older file).
bool RemplaceDestination(const QString& temporaire, const QString& destination) {
    std::error_code erreur;
    std::filesystem::rename(CheminNatif(temporaire), CheminNatif(destination), erreur);
    return !erreur;
}

int PourcentageBorne(double valeur) {
    if (std::isnan(valeur))
        return 0;
    return int(std::clamp(std::nearbyint(valeur), 0.0, 100.0));
}

// The gauge moves by kilobyte; what has come is read in larger blocks (a
// small file at once), each taken kilobyte by kilobyte for the gauge.
constexpr int TailleMorceau = 1024;
constexpr int TailleLecture = 64 * 1024;

// Free bytes on the file system that holds `dossier`, for a writer without
// privileges; -1 when the system does not say.
qint64 EspaceLibre(const QString& dossier) {
#ifdef _WIN32
    const QStorageInfo info(dossier);
    return info.isValid() ? info.bytesAvailable() : -1;
#else
    struct statvfs etat;
    if (::statvfs(QFile::encodeName(dossier).constData(), &etat) != 0)
        return -1;
    return qint64(etat.f_bavail) * qint64(etat.f_frsize);
#endif
}

QString RaisonTaille(qint64 tailleMax) {
    return QStringLiteral("le fichier dépasse ") + FormateTaille(double(tailleMax), false);
}

QString RaisonEspace(qint64 espaceLibreMin) {
    return QStringLiteral("il resterait moins de ") + FormateTaille(double(espaceLibreMin), false) +
           QStringLiteral(" d'espace libre dans le dossier");
}

// A digest computed on the way: SHA-256 of a file the list gives the
// digest of, SHA-512 of a signed list (after the prefix its check needs).
struct Hachage {
    const EVP_MD* algorithme = nullptr; // none
    QByteArray prefixe;
};

// The work file of a fetch, with the fetch's bounds checked before any byte
// reaches it, on both receive paths. A write that would break a bound fails
// and says why in `raison`; the fetch then drops the file.
class SortieBornee final : public QIODevice {
public:
    // `attendu`: the bytes the fetch expects, -1 when unknown.
    SortieBornee(const QString& temporaire, const BornesTransfert& bornes, double attendu)
        : fichier(temporaire), chemin(temporaire), bornes_(bornes), dossier_(QFileInfo(temporaire).absolutePath()),
          attendu_(attendu) {}

    // The bytes the GET's own response announces, once known: the
    // free-space steps follow it, and a length that breaks a bound fails the
    // fetch now rather than once the disk holds it.
    bool Annonce(double longueur) {
        attendu_ = longueur;
        if (bornes_.tailleMax >= 0 && longueur > double(bornes_.tailleMax)) {
            Refuse(RaisonTaille(bornes_.tailleMax));
            return false;
        }
        if (bornes_.espaceLibreMin >= 0) {
            const qint64 libre = EspaceLibre(dossier_);
            if (libre >= 0 && double(libre - fichier.EnAttente()) - (longueur - double(ecrits_)) <
                                  double(bornes_.espaceLibreMin)) {
                Refuse(RaisonEspace(bornes_.espaceLibreMin));
                return false;
            }
        }
        return true;
    }

    bool Ouvre(bool ajout = false) {
        if (empreinte.algorithme)
            fichier.CalculeEmpreinte(empreinte.algorithme, empreinte.prefixe);
        if (!fichier.Ouvre(ajout))
            return false;
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        return true;
    }

    FichierEnFond fichier;
    const QString chemin;
    QString raison;
    Hachage empreinte; // computed on the way

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* donnees, qint64 taille) override {
        if (!raison.isEmpty())
            return -1;
        if (bornes_.tailleMax >= 0 && ecrits_ + taille > bornes_.tailleMax)
            return Refuse(RaisonTaille(bornes_.tailleMax));
        if (bornes_.espaceLibreMin >= 0 && ecrits_ + taille > controleJusqua_) {
            // Asked every few megabytes, for the next few: what is still on
            // its way to the disk counts as taken already.
            qint64 pas = std::max(taille, PasEspace);
            if (attendu_ >= 0)
                pas = std::max(taille, std::min(pas, qint64(attendu_) - ecrits_));
            const qint64 libre = EspaceLibre(dossier_);
            if (libre >= 0 && libre - fichier.EnAttente() - pas < bornes_.espaceLibreMin)
                return Refuse(RaisonEspace(bornes_.espaceLibreMin));
            controleJusqua_ = ecrits_ + pas;
        }
        const qint64 ecrit = fichier.write(donnees, taille);
        if (ecrit > 0)
            ecrits_ += ecrit;
        return ecrit;
    }

private:
    static constexpr qint64 PasEspace = 2 * 1024 * 1024;

    qint64 Refuse(const QString& pourquoi) {
        raison = pourquoi;
        setErrorString(pourquoi);
        return -1;
    }

    const BornesTransfert bornes_;
    const QString dossier_;
    double attendu_;
    qint64 ecrits_ = 0;
    qint64 controleJusqua_ = 0; // bytes up to which the free space was checked
};

// The work file of a cut transfer and, beside it, what the server said of the
// bytes it holds: the address, their validator (for If-Range) and the size of
// the whole resource.
// Another copy of the program (a scheduled run without windows beside the
// window, or two scheduled runs that overlap) may fetch the same address into
// the same folder: whoever first touches the work file holds a lock on it
// until its fetch ends, and the other fetches from zero into a file of its
// own, without reading, writing or removing that work file. Two fetches
// appending to one file would splice a wrong file of the right size.
struct Reprise {
    struct Info {
        QString adresse, validateur;
        qint64 taille = -1;
    };

    Reprise(const QString& adresse_, const QString& destination_)
        : adresse(adresse_), destination(destination_),
          dossier(QFileInfo(destination).absolutePath() + QLatin1Char('/') + QLatin1String(DossierReprise) +
                  QLatin1Char('/')) {}
    ~Reprise() {
        if (!verrou || !verrou->isLocked())
            return;
        verrou->unlock();
        if (dossierPresent < 0)
            QDir().rmdir(dossier); // only when empty: Oublie left it for the lock
    }
    Reprise(const Reprise&) = delete;
    Reprise& operator=(const Reprise&) = delete;

    // The work file is this fetch's (locked from the first call on), or
    // another program's, which is then left alone.
    bool Tient() {
        if (!verrou) {
            Chemins();
            verrou = std::make_unique<QLockFile>(dossier + cle + QStringLiteral(".verrou"));
            // A lock whose program is gone (killed during its transfer) is
            // taken over whatever its age.
            verrou->setStaleLockTime(0);
        }
        // Held by another program: left to it for this whole fetch. Any other
        // failure (the folder just went) may pass once the folder is made.
        if (!verrou->isLocked() && verrou->error() != QLockFile::LockFailedError)
            verrou->tryLock(0);
        return verrou->isLocked();
    }

    // False when the folder of work files is known to be absent, so that
    // there is nothing to read or remove. Most fetches of a run are of small
    // files that never make one: asked once, rather than three failed
    // removals twice per file.
    bool PeutExister() const {
        if (dossierPresent < 0)
            dossierPresent = QFileInfo::exists(dossier) ? 1 : 0;
        return dossierPresent > 0;
    }

    // The bytes kept for this address and destination, with the validator
    // they were received under and the size of the whole resource; 0 when
    // nothing usable is kept (what was kept then goes). Whether the server
    // still serves the same resource is its answer to If-Range.
    qint64 Gardee(QString& validateurGarde, qint64& total) {
        if (!PeutExister())
            return 0;
        Chemins();
        QFile f(info);
        if (!f.exists() || !Tient())
            return 0;
        Nettoie(dossier);
        qint64 octets = 0;
        if (f.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> l = f.readAll().split('\n');
            bool nombre = false;
            total = l.value(3).toLongLong(&nombre);
            octets = QFileInfo(travail).size();
            if (l.size() != 5 || l[0] != Entete || QString::fromUtf8(l[1]) != adresse || !nombre ||
                l[2].isEmpty() || octets <= 0 || octets >= total)
                octets = 0;
            else
                validateurGarde = QString::fromUtf8(l[2]);
        }
        if (octets == 0)
            Oublie();
        return octets;
    }

    // Records the bytes of the work file as coming from the resource `i`.
    bool Ecrit(const Info& i) {
        if (!QDir().mkpath(dossier))
            return false;
        dossierPresent = 1;
        if (!Tient())
            return false;
        Nettoie(dossier);
        QFile f(info);
        const QByteArray texte = Entete + '\n' + i.adresse.toUtf8() + '\n' + i.validateur.toUtf8() + '\n' +
                                 QByteArray::number(i.taille) + '\n';
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(texte) == texte.size();
    }

    void Oublie() {
        if (!PeutExister() || !Tient())
            return;
        QFile::remove(travail);
        QFile::remove(info);
        QDir().rmdir(dossier); // only when empty
        dossierPresent = -1;
    }

    // Removes the work files left for more than a week (once per folder and
    // run of the program).
    static void Nettoie(const QString& dossier) {
        static QSet<QString> faits;
        if (faits.contains(dossier))
            return;
        faits.insert(dossier);
        const QDateTime limite = QDateTime::currentDateTimeUtc().addDays(-DureeVieRepriseJours);
        for (const QFileInfo& f : QDir(dossier).entryInfoList(QDir::Files | QDir::Hidden))
            if (f.lastModified().toUTC() < limite)
                QFile::remove(f.filePath());
    }

    // The names of the work file and of its description, made of a digest of
    // the address and the destination's name (worked out when first needed).
    void Chemins() {
        if (!travail.isEmpty())
            return;
        cle = QString::fromLatin1(
            QCryptographicHash::hash((adresse + QLatin1Char('\n') + QFileInfo(destination).fileName()).toUtf8(),
                                     QCryptographicHash::Sha256)
                .toHex()
                .left(32));
        travail = dossier + cle + QStringLiteral(".part");
        info = dossier + cle + QStringLiteral(".info");
    }

    static inline const QByteArray Entete = QByteArrayLiteral("Le Ramaglin reprise 1");
    QString adresse, destination, dossier, cle, travail, info;
    std::unique_ptr<QLockFile> verrou;
    mutable int dossierPresent = -1; // -1: not asked yet
};

// The validator that If-Range may name: a strong ETag, else Last-Modified.
QString Validateur(const Inet& inet) {
    const QString etiquette = inet.GetHeader(QStringLiteral("ETag"));
    if (!etiquette.isEmpty() && !etiquette.startsWith(QLatin1String("W/")))
        return etiquette;
    return inet.GetHeader(QStringLiteral("Last-Modified"));
}

// "bytes A-B/T" of a 206: true when it is exactly bytes `depuis` to the end
// of a resource of `total` bytes.
bool PlageAttendue(const QString& texte, qint64 depuis, qint64 total) {
    static const QRegularExpression forme(QStringLiteral(R"(^\s*bytes\s+(\d+)-(\d+)/(\d+)\s*$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = forme.match(texte);
    return m.hasMatch() && m.captured(1).toLongLong() == depuis && m.captured(2).toLongLong() == total - 1 &&
           m.captured(3).toLongLong() == total;
}

bool Occupe(long statut) { return statut == 429 || statut == 503; }

} // namespace

// One fetch, from its GET to its file in the destination's place, taken a
// step at a time: everything it keeps between two steps.
struct EtatTransfert {
    EtatTransfert(Inet& i, const QString& adresse_, const QString& destination_, SurfaceJauge* j,
                  bool verifierPage_, qint32 tailleMax_, const BornesTransfert* bornes_,
                  const OptionsTransfert& options_, HachageEnRoute* hachage_)
        : inet(i), jauge(j), jaugeVivante(j ? j->Vie() : nullptr), adresseDemandee(adresse_), adresse(adresse_),
          destination(destination_), verifierPage(verifierPage_), tailleMax(tailleMax_), options(options_),
          hachage(hachage_), reprise(adresse_, destination_) {
        avecReprise = options.reprise && tailleMax == -1 && !bornes_ && !verifierPage;
        if (!options.empreinte.isEmpty())
            empreinte.algorithme = EVP_sha256();
        else if (hachage)
            empreinte = {EVP_sha512(), hachage->prefixe};
        debut.start();
        if (SurfaceJauge* g = Jauge())
            InitialiseJauge(*g);
        // Whatever happens, an earlier file at the destination stays until the
        // new one is complete.
        temporaire = CreeFichierTemporaire(destination);
        recu = temporaire;
        if (temporaire.isEmpty()) {
            raison = QStringLiteral("dossier non modifiable");
            Conclut();
            return;
        }
        // One request: the GET's own headers say what a probe would have.
        // What a cut left is asked for again from where it stopped, while the
        // server still describes the same resource (If-Range); otherwise it
        // goes and the fetch starts over.
        depuis = avecReprise ? reprise.Gardee(validateur, total) : 0;
        sortieTemporaire.emplace(temporaire, bornes_ ? *bornes_ : BornesTransfert{}, -1);
        sortieTemporaire->empreinte = empreinte;
        Lance();
    }
    ~EtatTransfert() {
        if (phase != Phase::Fini) { // dropped unfinished: nothing of it stays
            arret = true;
            Avance();
        }
    }

    SurfaceJauge* Jauge() const { return jauge && *jaugeVivante ? jauge : nullptr; }

    bool Avance();
    void Lance();
    enum class Entete { Corps, Relance, Echec };
    Entete LitEntete();
    bool Morceau(QByteArray morceau);
    void FinCorps(bool complet);
    void Conclut();
    void MontreProgression(double octets);

    Inet& inet;
    SurfaceJauge* jauge;
    std::shared_ptr<const bool> jaugeVivante;
    const QString adresseDemandee;
    QString adresse; // after the redirections
    const QString destination;
    const bool verifierPage;
    const double tailleMax;
    const OptionsTransfert options;
    HachageEnRoute* const hachage;
    Reprise reprise;
    bool avecReprise = false;

    enum class Phase { Entete, Corps, Fini };
    Phase phase = Phase::Entete;
    bool arret = false;
    QString temporaire;
    QString recu; // the file that takes the destination's place
    std::optional<SortieBornee> sortieTemporaire, sortieReprise;
    SortieBornee* sortie = nullptr; // the one being written, once opened
    QString validateur;
    qint64 total = -1;  // of the resource whose start the work file holds
    qint64 depuis = 0;  // bytes of the work file continued
    double tailleServeur = -1; // the resource's size, when its response says
    double totalJauge = -1;    // what the gauge counts up to (-1: no progress)
    double tailleRecue = -1;   // the size told once the body came whole
    double recus = 0;          // bytes in the file
    double longueurGet = -1;   // where the GET's own response says its body ends
    double ecartes = 0;        // past the limit of a body of unknown length: counted, not kept
    bool entetesVus = false;
    bool totalExact = false;   // a 206: the file must end exactly at the resource's size
    bool garderSiCoupe = false; // a cut keeps what came (a resumable work file)
    int pourcentageTexte = 0;
    QString textePourcentage = QStringLiteral("0");
    QElapsedTimer debut;
    QString raison;          // why the fetch failed, for the user
    bool passager = false;   // the failure may pass with another try
    bool gardee = false;     // a work file waits for the next try
    bool resultat = false;
    bool redirige = false;
    double taille = -1;
    Hachage empreinte;         // the outputs compute a digest...
    QByteArray empreinteRecue; // ...which is this once complete
    IssueTransfert issue;
};

void EtatTransfert::Lance() {
    phase = Phase::Entete;
    if (depuis > 0)
        inet.ExecuteSuite(adresseDemandee, depuis, validateur);
    else
        inet.Execute(adresseDemandee, QStringLiteral("GET"));
}

bool EtatTransfert::Avance() {
    // A few blocks at a time: the other fetches in flight get their turn.
    for (int blocs = 0; blocs < 16 && phase != Phase::Fini; ++blocs) {
        if (arret) {
            raison = QStringLiteral("arrêt demandé");
            FinCorps(false);
            break;
        }
        Inet::Vide pourquoi = Inet::Vide::Aucun;
        QByteArray morceau = inet.LitDisponible(TailleLecture, &pourquoi);
        if (morceau.isEmpty()) {
            if (pourquoi == Inet::Vide::Attente)
                return false;
            bool complet = false;
            switch (pourquoi) {
            case Inet::Vide::Fin:
                if (phase == Phase::Entete) {
                    raison = QStringLiteral("fichier vide"); // empty by its own framing
                    break;
                }
                complet = !totalExact || recus == tailleServeur;
                if (!complet) {
                    raison = QStringLiteral("%1 octets reçus sur les %2 annoncés")
                                 .arg(qint64(recus))
                                 .arg(qint64(tailleServeur));
                    passager = recus < tailleServeur; // the connection closed early
                }
                break;
            case Inet::Vide::Echec:
                raison = inet.RaisonEchec();
                passager = inet.EchecPassager();
                break;
            default: raison = QStringLiteral("transfert interrompu par une autre requête"); break;
            }
            FinCorps(complet);
            break;
        }
        if (phase == Phase::Entete) {
            switch (LitEntete()) {
            case Entete::Relance:
                Lance();
                return false;
            case Entete::Echec:
                FinCorps(false);
                return true;
            case Entete::Corps: phase = Phase::Corps; break;
            }
        }
        if (!Morceau(std::move(morceau)))
            break;
        CedeDeTempsEnTemps();
    }
    return phase == Phase::Fini;
}

// The response's own headers, with its first bytes: a part that continues
// the work file, or the whole resource, whose size and validator decide
// whether a cut would keep it.
EtatTransfert::Entete EtatTransfert::LitEntete() {
    const long statut = inet.StatutReponse();
    bool ajout = false;
    if (statut == 206) {
        // Part of the resource: only ever the part asked for, right after the
        // bytes kept, or nothing of it is used.
        if (depuis == 0) {
            inet.Cancel();
            raison = QStringLiteral("le serveur n'envoie qu'une partie du fichier (206) à une demande du fichier "
                                    "entier");
            return Entete::Echec;
        }
        if (!PlageAttendue(inet.GetHeader(QStringLiteral("Content-Range")), depuis, total)) {
            inet.Cancel();
            reprise.Oublie();
            depuis = 0;
            return Entete::Relance;
        }
        tailleServeur = double(total);
        ajout = garderSiCoupe = totalExact = true;
    } else {
        // The whole resource: its own length, when it gives one, is its size
        // and the size a work file is kept for.
        if (const qint64 n = inet.LongueurCorps(); n > 0)
            tailleServeur = double(n);
        depuis = 0;
        if (avecReprise) {
            const QString valide = Validateur(inet);
            garderSiCoupe = tailleServeur >= double(TailleMinReprise) && !valide.isEmpty() &&
                            reprise.Ecrit({adresseDemandee, valide, qint64(tailleServeur)});
            if (!garderSiCoupe)
                reprise.Oublie();
        }
    }
    sortie = &*sortieTemporaire;
    if (garderSiCoupe) {
        sortieReprise.emplace(reprise.travail, BornesTransfert{}, tailleServeur);
        sortieReprise->empreinte = empreinte;
        sortie = &*sortieReprise;
        // The work file beside the destination is not needed: a program
        // killed from here on leaves only the one that can be resumed.
        QFile::remove(temporaire);
    }
    if (!sortie->Ouvre(ajout)) {
        inet.Cancel();
        sortie = nullptr;
        raison = QStringLiteral("dossier non modifiable");
        return Entete::Echec;
    }
    recus = double(depuis);
    totalJauge = tailleServeur;
    return Entete::Corps;
}

// One block of the body: written, with progress. False when the fetch has
// ended with it.
bool EtatTransfert::Morceau(QByteArray morceau) {
    // A body is whole when it matches its own response's framing: libcurl
    // holds it to that response's Content-Length or last chunk, and fails a
    // body cut before that end (CURLE_PARTIAL_FILE, a failure that may pass).
    // The rest of a resource (a 206) is the exception: its Content-Range
    // named the whole resource's size, which the work file must then reach
    // exactly.
    const bool parLimite = tailleMax != -1;
    if (!entetesVus && !totalExact) {
        // The first block: the GET's headers came with it.
        entetesVus = true;
        if (const qint64 n = inet.LongueurCorps(); n >= 0) {
            longueurGet = recus + double(n);
            totalJauge = longueurGet;
            if (!sortie->Annonce(parLimite ? std::min(double(n), tailleMax - recus) : double(n))) {
                raison = sortie->raison;
                FinCorps(false);
                return false;
            }
        } else {
            // No size said: nothing to draw a progress against.
            totalJauge = -1;
            if (SurfaceJauge* j = Jauge())
                MasqueJauge(*j);
        }
    }
    if (ecartes > 0 || (parLimite && recus >= tailleMax && longueurGet < 0)) {
        // Cut at the limit, a body of unknown length is still read to its end
        // for its size.
        ecartes += double(morceau.size());
        return true;
    }
    if (totalExact && recus + double(morceau.size()) > tailleServeur) {
        raison = QStringLiteral("le serveur envoie plus que les %1 octets annoncés").arg(qint64(tailleServeur));
        FinCorps(false);
        return false;
    }
    if (parLimite && recus + double(morceau.size()) > tailleMax) {
        if (longueurGet < 0)
            ecartes += recus + double(morceau.size()) - tailleMax;
        morceau.truncate(qsizetype(tailleMax - recus));
    }
    for (qsizetype fait = 0; fait < morceau.size();) {
        fait = std::min<qsizetype>(fait + TailleMorceau, morceau.size());
        MontreProgression(recus + double(fait));
    }
    recus += double(morceau.size());
    if (sortie->write(morceau) != morceau.size()) {
        raison = sortie->raison.isEmpty() ? QStringLiteral("écriture impossible dans le dossier") : sortie->raison;
        FinCorps(false);
        return false;
    }
    if (parLimite && recus >= tailleMax && longueurGet >= 0) {
        inet.Cancel(); // the rest is not wanted
        FinCorps(true);
        return false;
    }
    return true;
}

// The body has ended (`complet`: whole by its framing, or up to the limit),
// or the fetch failed or was stopped before or during it.
void EtatTransfert::FinCorps(bool complet) {
    if (arret) {
        complet = false;
        raison = QStringLiteral("arrêt demandé");
    }
    if (complet && recus == 0) {
        complet = false;
        raison = QStringLiteral("fichier vide");
    }
    if (!sortie) {
        // Nothing came, or no proper answer, or the user stopped: what the
        // work file holds is still good for later.
        gardee = depuis > 0 && (arret || passager || inet.StatutReponse() == 0);
    } else if (!complet) {
        // Cut, or stopped by the user: what came stays in the hidden work
        // file, for the next try or the next run.
        gardee = garderSiCoupe && (passager || arret);
        if (gardee)
            sortie->fichier.Termine();
        else
            sortie->fichier.Abandonne();
    } else if (!sortie->fichier.Termine()) {
        raison = QStringLiteral("écriture impossible dans le dossier");
        passager = false;
    } else {
        empreinteRecue = sortie->fichier.Empreinte();
        // Cut at the limit, the resource's size is what its GET announced
        // (or, failing that, what came in all); otherwise what came.
        const bool tronque = tailleMax != -1 && (ecartes > 0 || recus >= tailleMax);
        tailleRecue = !tronque ? recus : longueurGet >= 0 ? longueurGet : recus + ecartes;
        resultat = true;
        if (garderSiCoupe)
            recu = reprise.travail;
    }
    Conclut();
}

// The fetch's end: the file in the destination's place, or nothing left.
void EtatTransfert::Conclut() {
    // After a redirection, the address the file came from.
    if (const QString finale = inet.AdresseFinale(); resultat && !finale.isEmpty() && finale != adresse) {
        adresse = finale;
        redirige = true;
    }
    taille = resultat ? tailleRecue : tailleServeur;
    bool occupe = false;
    if (!temporaire.isEmpty()) {
        if (avecReprise && !resultat && !gardee)
            reprise.Oublie();
        if (resultat && verifierPage && !FichierSansErreur(recu)) {
            resultat = false;
            raison = QStringLiteral("le serveur a renvoyé une page d'erreur");
        }
        if (!resultat && !arret) {
            occupe = Occupe(inet.StatutReponse()) && !passager;
            if (occupe)
                issue.attenteServeur = inet.AttenteDemandee();
        }
    }
    if (resultat && !options.empreinte.isEmpty() &&
        QString::fromLatin1(empreinteRecue.toHex()) != options.empreinte.trimmed().toLower()) {
        // Not the file the service published: the old one stays.
        resultat = false;
        passager = false;
        raison = QStringLiteral("empreinte SHA-256 différente");
        if (recu != temporaire)
            QFile::remove(recu);
        reprise.Oublie();
    }
    if (resultat && !RemplaceDestination(recu, destination)) {
        resultat = false;
        raison = QStringLiteral("le fichier ne peut pas prendre sa place dans le dossier");
    }
    if (resultat && avecReprise)
        reprise.Oublie();
    if (!resultat)
        inet.Cancel();
    if (!temporaire.isEmpty() && (!resultat || recu != temporaire))
        QFile::remove(temporaire);
    if (SurfaceJauge* j = Jauge())
        MasqueJauge(*j);

    issue.genre = resultat  ? IssueTransfert::Genre::Reussi
                  : arret   ? IssueTransfert::Genre::Arret
                  : occupe  ? IssueTransfert::Genre::Occupe
                  : passager ? IssueTransfert::Genre::Passager
                             : IssueTransfert::Genre::Definitif;
    issue.raison = resultat ? QString() : raison;
    issue.repriseGardee = gardee && !resultat;
    if (hachage)
        hachage->resultat = resultat ? empreinteRecue : QByteArray();
    if (issue.genre != IssueTransfert::Genre::Occupe)
        issue.attenteServeur.clear();
    phase = Phase::Fini;
}

void EtatTransfert::MontreProgression(double octets) {
    SurfaceJauge* j = Jauge();
    if (!j || totalJauge < 0)
        return;
    // A body that outgrows the length it announced stops at 100 %.
    const double reference = std::max(tailleMax != -1 ? std::min(tailleMax, totalJauge) : totalJauge, octets);
    const int pourcentage = PourcentageBorne(octets / reference * 100);
    // The gauge only redraws a new percentage: build its caption only then
    // (this runs for every kilobyte: no text is made for nothing).
    if (pourcentage != pourcentageTexte) {
        pourcentageTexte = pourcentage;
        textePourcentage = QString::number(pourcentage);
    }
    if (textePourcentage == j->Tag)
        return;
    QString legende = textePourcentage + QStringLiteral(" % (") + FormateTaille(octets, true) +
                      QStringLiteral(" sur ") + FormateTaille(reference, false) + QLatin1Char(')');
    const qint64 secondes = debut.elapsed() / 1000;
    if (secondes >= 1)
        legende += QStringLiteral(" - ") + FormateTaille(octets / double(secondes), true) + QStringLiteral("/sec");
    AfficheJauge(*j, pourcentage, legende);
}

TransfertFichier::TransfertFichier(Inet& inet, const QString& adresse, const QString& destination,
                                   SurfaceJauge* jauge, const OptionsTransfert& options)
    : d(std::make_unique<EtatTransfert>(inet, adresse, destination, jauge, false, -1, nullptr, options, nullptr)) {}

TransfertFichier::~TransfertFichier() = default;

bool TransfertFichier::Avance() { return d->Avance(); }
void TransfertFichier::Arrete() {
    if (d->phase != EtatTransfert::Phase::Fini) {
        d->arret = true;
        d->Avance();
    }
}
bool TransfertFichier::Fini() const { return d->phase == EtatTransfert::Phase::Fini; }
const IssueTransfert& TransfertFichier::Issue() const { return d->issue; }
QString TransfertFichier::Adresse() const { return d->adresse; }
double TransfertFichier::Recus() const { return d->recus; }
double TransfertFichier::Total() const { return d->totalJauge; }

namespace {

// The fetch of the calls that wait for their end, the event loop turning.
bool Telecharge(Inet& inet, QString& adresse, const QString& destination, bool verifierPage, qint32 tailleMax,
                SurfaceJauge* jauge, double& taille, bool& redirige, const BornesTransfert* bornes,
                const OptionsTransfert& options, IssueTransfert& issue, HachageEnRoute* hachage = nullptr) {
    issue = IssueTransfert{};
    // One fetch at a time on a transfer object: one started from a nested
    // turn of the event loop (a timer, a click) would share it with this one.
    if (inet.EnService) {
        issue.raison = QStringLiteral("un autre téléchargement est en cours");
        return false;
    }
    inet.EnService = true;
    const struct Fin {
        Inet& inet;
        ~Fin() { inet.EnService = false; }
    } fin{inet};

    ArretDemande = false;
    EtatTransfert t(inet, adresse, destination, jauge, verifierPage, tailleMax, bornes, options, hachage);
    for (;;) {
        t.arret = t.arret || ArretDemande;
        if (t.Avance())
            break;
        PatienteUnPeu();
    }
    adresse = t.adresse;
    redirige = t.redirige;
    taille = t.taille;
    issue = t.issue;
    return t.resultat;
}

} // namespace

void ParametreConnexion(Inet& inet, bool http, const QString& adresseProxy,
                        const QString& portHTTP, const QString& portFTP,
                        const QString& utilisateur, const QString& motDePasse) {
    inet.Cancel();
    if (!adresseProxy.isEmpty()) {
        inet.UserName = utilisateur;
        inet.Password = motDePasse;
        // An address typed with its own port ("http://proxy:3128",
        // "proxy:3128", "[::1]:3128") keeps it: the port field is for an
        // address that names none.
        QString adresse = adresseProxy.trimmed();
        while (adresse.endsWith(QLatin1Char('/')))
            adresse.chop(1);
        const QString hote = adresse.section(QLatin1String("://"), -1);
        const qsizetype deux = hote.lastIndexOf(QLatin1Char(':'));
        const QString sonPort = deux > hote.lastIndexOf(QLatin1Char(']')) ? hote.mid(deux + 1) : QString();
        const bool aSonPort = !sonPort.isEmpty() && std::all_of(sonPort.begin(), sonPort.end(),
                                                               [](QChar c) { return c.isDigit(); });
        QString port = aSonPort ? sonPort : http ? portHTTP : portFTP;
        if (port.isEmpty())
            port = http ? QStringLiteral("80") : QStringLiteral("21");
        inet.RemotePort = int(std::clamp(std::nearbyint(NombreSouple(port)), 0.0, 65535.0));
        inet.AccessType = Inet::AccesProxy;
        inet.Proxy = aSonPort ? adresse : adresse + QLatin1Char(':') + port;
    } else {
        inet.AccessType = Inet::AccesSysteme;
    }
    inet.Protocol = http ? Inet::ProtocoleHTTP : Inet::ProtocoleFTP;
    inet.RequestTimeout = 60;
}

bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination,
                       bool verifierPage, qint32 tailleMax, SurfaceJauge* jauge,
                       double& taille, bool& redirige, QString* raison,
                       const BornesTransfert* bornes, HachageEnRoute* hachage) {
    IssueTransfert issue;
    const bool resultat = Telecharge(inet, adresse, destination, verifierPage, tailleMax, jauge, taille, redirige,
                                     bornes, OptionsTransfert{}, issue, hachage);
    // A call made while another fetch runs touches nothing, not even `raison`
    // of the other.
    if (raison)
        *raison = issue.raison;
    return resultat;
}

bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination, SurfaceJauge* jauge,
                       double& taille, bool& redirige, const OptionsTransfert& options,
                       IssueTransfert& issue) {
    return Telecharge(inet, adresse, destination, false, -1, jauge, taille, redirige, nullptr, options, issue);
}

bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination, SurfaceJauge* jauge,
                       const BornesTransfert& bornes, IssueTransfert& issue) {
    double taille = 0;
    bool redirige = false;
    return Telecharge(inet, adresse, destination, false, -1, jauge, taille, redirige, &bornes, OptionsTransfert{},
                      issue);
}

qint64 SecondesRetryAfter(const QString& texte, const QDateTime& maintenant) {
    constexpr qint64 UnJour = 24 * 3600;
    const QString t = texte.trimmed();
    if (t.isEmpty())
        return -1;
    if (std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); })) {
        bool ok = false;
        const qint64 n = t.toLongLong(&ok);
        return ok && n <= UnJour ? n : -1;
    }
    // HTTP dates, always in GMT: the IMF form, and the two obsolete ones
    // servers still send (RFC 850 with a two-digit year, and asctime's).
    static const QRegularExpression formes[] = {
        QRegularExpression(QStringLiteral(R"(^[A-Za-z]{3}, (\d{1,2}) ([A-Za-z]{3}) (\d{4}) (\d\d):(\d\d):(\d\d) GMT$)")),
        QRegularExpression(QStringLiteral(R"(^[A-Za-z]+, (\d{1,2})-([A-Za-z]{3})-(\d\d) (\d\d):(\d\d):(\d\d) GMT$)")),
        QRegularExpression(QStringLiteral(R"(^[A-Za-z]{3} ([A-Za-z]{3}) +(\d{1,2}) (\d\d):(\d\d):(\d\d) (\d{4})$)")),
    };
    static const QStringList mois = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};
    QDateTime date;
    for (int f = 0; f < 3 && !date.isValid(); ++f) {
        const QRegularExpressionMatch m = formes[f].match(t);
        if (!m.hasMatch())
            continue;
        const auto n = [&](int i) { return m.captured(i).toInt(); };
        const bool asc = f == 2;
        const int jour = asc ? n(2) : n(1);
        const int numeroMois = int(mois.indexOf(m.captured(asc ? 1 : 2).toLower())) + 1;
        int annee = asc ? n(6) : n(3);
        if (f == 1)
            annee += 2000;
        date = QDateTime(QDate(annee, numeroMois, jour), QTime(n(asc ? 3 : 4), n(asc ? 4 : 5), n(asc ? 5 : 6)),
                         QTimeZone::utc());
    }
    if (!date.isValid())
        return -1;
    const qint64 ecart = maintenant.secsTo(date);
    if (ecart > UnJour)
        return -1;
    return std::max<qint64>(ecart, 0);
}

void GereEtatTransfert(Inet&, int) {
    // Nothing to record: the fetch learns its outcome from its own reads.
}

namespace {

// True when the block holds a LF without its CR (`precedent`: the byte
// before the block).
bool AUnLFSeul(const char* debut, const char* fin, char precedent) {
    for (const char* p = debut; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(fin - p))));
         ++p)
        if ((p == debut ? precedent : p[-1]) != '\r')
            return true;
    return false;
}

// Copies the block to `sortie` with a CR put before each LF that lacks one;
// returns the end of what was written (`sortie` holds twice the block).
char* AjouteLesCR(const char* debut, const char* fin, char precedent, char* sortie) {
    const char* morceau = debut;
    for (const char* p; (p = static_cast<const char*>(std::memchr(morceau, '\n', size_t(fin - morceau))));
         morceau = p + 1) {
        std::memcpy(sortie, morceau, size_t(p - morceau));
        sortie += p - morceau;
        if ((p == debut ? precedent : p[-1]) != '\r')
            *sortie++ = '\r';
        *sortie++ = '\n';
    }
    std::memcpy(sortie, morceau, size_t(fin - morceau));
    return sortie + (fin - morceau);
}

} // namespace

bool ConvertitFinsDeLigne(const QString& source, const QString& temporaire) {
    // Large blocks scanned with memchr: a list of a million lines is repaired
    // at the speed of the disk. A list whose lines already end in CR LF is
    // only read: the work file is started at the first LF that lacks its CR,
    // with the bytes before its block copied as they are.
    constexpr qint64 Bloc = 64 * 1024;
    QFile entree(source);
    if (!entree.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    QByteArray bloc(Bloc, Qt::Uninitialized);
    QByteArray converti(2 * Bloc, Qt::Uninitialized);
    std::unique_ptr<FichierTravail> sortie;
    char precedent = 0; // last byte of the previous block
    qint64 position = 0; // of the block in the source
    for (;;) {
        const qint64 lus = entree.read(bloc.data(), Bloc);
        if (lus < 0)
            return false;
        if (lus == 0)
            break;
        const char* debut = bloc.constData();
        if (!sortie) {
            if (!AUnLFSeul(debut, debut + lus, precedent)) {
                precedent = debut[lus - 1];
                position += lus;
                continue;
            }
            sortie = std::make_unique<FichierTravail>(source, temporaire);
            if (!sortie->Ouvre() || !entree.seek(0))
                return false;
            for (qint64 copie = 0; copie < position;) {
                const qint64 n = entree.read(converti.data(), std::min(Bloc, position - copie));
                if (n <= 0 || !sortie->Ecrit(QByteArrayView(converti.constData(), n)))
                    return false;
                copie += n;
            }
            if (!entree.seek(position + lus))
                return false;
        }
        const char* fin = AjouteLesCR(debut, debut + lus, precedent, converti.data());
        if (!sortie->Ecrit(QByteArrayView(converti.constData(), fin - converti.constData())))
            return false;
        precedent = debut[lus - 1];
        position += lus;
    }
    entree.close(); // some systems refuse to replace a file that is open
    return !sortie || sortie->Remplace();
}

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
