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

    // The bytes the GET's own response announces, once known (the probe's
    // length was a guess): the free-space steps follow it, and a length that
    // breaks a bound fails the fetch now rather than once the disk holds it.
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

    // The bytes kept for a resource of `taille` bytes whose validator is now
    // `validateur` (empty: the probe named none), with the validator they were
    // received under; 0 when nothing usable is kept (what was kept then goes).
    qint64 Existant(qint64 taille, const QString& validateur, QString& validateurGarde) {
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
            const qint64 total = l.value(3).toLongLong(&nombre);
            octets = QFileInfo(travail).size();
            if (l.size() != 5 || l[0] != Entete || QString::fromUtf8(l[1]) != adresse || !nombre ||
                total != taille || l[2].isEmpty() || (!validateur.isEmpty() && validateur != QString::fromUtf8(l[2])) ||
                octets <= 0 || octets >= total)
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

// One fetch: everything TelechargeFichier keeps while it waits. It lives on
// that call's stack, so nothing of a fetch outlives it.
struct Reception {
    Reception(Inet& i, SurfaceJauge* j) : inet(i), jauge(j), jaugeVivante(j ? j->Vie() : nullptr) {}

    // The gauge, unless the window that owns it is gone meanwhile.
    SurfaceJauge* Jauge() const { return jauge && *jaugeVivante ? jauge : nullptr; }

    // Receives the GET just started into `sortie` (opened), in chunks, with
    // progress. True when the body came whole by the GET's own framing (or up
    // to the size limit); with `totalExact`, only when the file then holds
    // exactly tailleServeur bytes. `recu` bytes are in the file already;
    // `premier`, when not empty, is the first chunk, read already.
    bool Recoit(SortieBornee& sortie, double recu = 0, QByteArray premier = {}, bool totalExact = false);
    // The same for a fetch that may resume: the GET (from byte `depuis` of the
    // work file when it is not 0) is started here, and `sortie` opened once
    // the answer says whether it continues the work file or starts it again.
    enum class Suite { Fini, Echec, DepuisZero };
    Suite RecoitAvecReprise(SortieBornee& sortie, const QString& adresse, qint64 depuis,
                            const QString& validateur, Reprise& reprise, bool& gardee);
    void MontreProgression(double recu, int& pourcentageTexte, QString& textePourcentage);

    Inet& inet;
    SurfaceJauge* jauge;
    std::shared_ptr<const bool> jaugeVivante;
    double tailleServeur = -1;
    double tailleMax = -1;
    double totalJauge = -1;  // what the gauge counts up to
    double tailleRecue = -1; // the size to tell the caller once Recoit succeeded
    QElapsedTimer debut;
    bool erreur = false; // the transfer object reported a failure
    QString raison;      // why the fetch failed, for the user
    bool passager = false; // the failure may pass with another try
    bool garderSiCoupe = false; // a cut keeps what came (a resumable work file)
    std::optional<SortieBornee> sortieReprise; // RecoitAvecReprise's output
    Hachage empreinte;         // the outputs compute a digest...
    QByteArray empreinteRecue; // ...which is this once complete
    QString cheminRecu;                        // the file it wrote
};

// The fetch in progress, if any (only ever one).
Reception* ReceptionEnCours = nullptr;

bool Reception::Recoit(SortieBornee& sortie, double recu, QByteArray premier, bool totalExact) {
    // A body is whole when it matches its own response's framing: libcurl
    // holds it to that response's Content-Length or last chunk, and fails a
    // body cut before that end (CURLE_PARTIAL_FILE, a failure that may pass).
    // The probe's length is only a guess, kept for the gauge until the GET's
    // headers come: a list generated on each request may change size between
    // the two. The rest of a resource (a 206) is the exception: its
    // Content-Range named the whole resource's size, which the work file
    // must then reach exactly.
    const bool parLimite = tailleMax != -1;
    double longueurGet = -1; // where the GET's own response says its body ends
    bool entetesVus = false;
    bool tronque = false;
    totalJauge = tailleServeur;
    int pourcentageTexte = 0;
    QString textePourcentage = QStringLiteral("0");
    bool complet = false;
    while (!ArretDemande) {
        Inet::Vide pourquoi = Inet::Vide::Aucun;
        QByteArray morceau = premier.isEmpty() ? inet.GetChunk(TailleLecture, &pourquoi) : std::move(premier);
        premier = QByteArray();
        if (morceau.isEmpty()) {
            switch (pourquoi) {
            case Inet::Vide::Fin:
                complet = !erreur && (!totalExact || recu == tailleServeur);
                if (!complet && !erreur) {
                    raison = QStringLiteral("%1 octets reçus sur les %2 annoncés")
                                 .arg(qint64(recu))
                                 .arg(qint64(tailleServeur));
                    passager = recu < tailleServeur; // the connection closed early
                }
                break;
            case Inet::Vide::Echec:
                raison = inet.RaisonEchec();
                passager = inet.EchecPassager();
                break;
            case Inet::Vide::Arret: break;
            case Inet::Vide::Remplacee:
            case Inet::Vide::Aucun:
                raison = QStringLiteral("transfert interrompu par une autre requête");
                break;
            }
            break;
        }
        if (!entetesVus) {
            // The GET's headers have come with its first bytes.
            entetesVus = true;
            if (const qint64 n = inet.LongueurCorps(); n >= 0 && !totalExact) {
                longueurGet = recu + double(n);
                totalJauge = longueurGet;
                if (!sortie.Annonce(parLimite ? std::min(double(n), tailleMax - recu) : double(n))) {
                    raison = sortie.raison;
                    break;
                }
            }
        }
        if (totalExact && recu + double(morceau.size()) > tailleServeur) {
            raison = QStringLiteral("le serveur envoie plus que les %1 octets annoncés")
                         .arg(qint64(tailleServeur));
            break;
        }
        if (parLimite && recu + double(morceau.size()) > tailleMax)
            morceau.truncate(qsizetype(tailleMax - recu));
        for (qsizetype fait = 0; fait < morceau.size();) {
            fait = std::min<qsizetype>(fait + TailleMorceau, morceau.size());
            MontreProgression(recu + double(fait), pourcentageTexte, textePourcentage);
        }
        recu += double(morceau.size());
        if (sortie.write(morceau) != morceau.size()) {
            raison = sortie.raison.isEmpty() ? QStringLiteral("écriture impossible dans le dossier")
                                             : sortie.raison;
            break;
        }
        if (parLimite && recu >= tailleMax) {
            inet.Cancel(); // the rest is not wanted
            complet = tronque = true;
            break;
        }
        CedeDeTempsEnTemps();
    }
    if (ArretDemande) {
        complet = false;
        raison = QStringLiteral("arrêt demandé");
    }
    if (complet && recu == 0) {
        complet = false;
        raison = QStringLiteral("fichier vide");
    }
    if (!complet) {
        if (garderSiCoupe && passager && !ArretDemande)
            sortie.fichier.Termine(); // what came stays, for the next try
        else
            sortie.fichier.Abandonne();
        return false;
    }
    if (!sortie.fichier.Termine()) {
        raison = QStringLiteral("écriture impossible dans le dossier");
        passager = false;
        return false;
    }
    empreinteRecue = sortie.fichier.Empreinte();
    // Cut at the limit, the resource's size is what its GET announced (or,
    // failing that, the probe); otherwise what came.
    tailleRecue = !tronque ? recu : longueurGet >= 0 ? longueurGet : tailleServeur;
    return true;
}

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

Reception::Suite Reception::RecoitAvecReprise(SortieBornee& temporaire, const QString& adresse, qint64 depuis,
                                              const QString& validateur, Reprise& reprise, bool& gardee) {
    gardee = false;
    if (depuis > 0)
        inet.ExecuteSuite(adresse, depuis, validateur);
    else
        inet.Execute(adresse, QStringLiteral("GET"));
    Inet::Vide pourquoi = Inet::Vide::Arret;
    QByteArray premier = ArretDemande ? QByteArray() : inet.GetChunk(TailleLecture, &pourquoi);
    if (premier.isEmpty()) {
        // Nothing came: what the work file holds is still good for later.
        switch (pourquoi) {
        case Inet::Vide::Echec:
            raison = inet.RaisonEchec();
            passager = inet.EchecPassager();
            break;
        case Inet::Vide::Fin:
            // An empty body by its own framing, as Recoit tells it.
            raison = QStringLiteral("fichier vide");
            break;
        case Inet::Vide::Arret: raison = QStringLiteral("arrêt demandé"); break;
        default: raison = QStringLiteral("transfert interrompu par une autre requête"); break;
        }
        gardee = depuis > 0 && passager && !ArretDemande;
        return Suite::Echec;
    }

    const long statut = inet.StatutReponse();
    bool ajout = false;
    if (statut == 206) {
        // Part of the resource: only ever the part asked for, right after the
        // bytes kept, or nothing of it is used.
        if (depuis == 0) {
            inet.Cancel();
            raison = QStringLiteral("le serveur n'envoie qu'une partie du fichier (206) à une demande du fichier "
                                    "entier");
            return Suite::Echec;
        }
        if (!PlageAttendue(inet.GetHeader(QStringLiteral("Content-Range")), depuis, qint64(tailleServeur))) {
            inet.Cancel();
            return Suite::DepuisZero;
        }
        ajout = true;
    } else {
        // The whole resource: its own length, when it gives one, is the size
        // a work file is kept for.
        if (const qint64 n = inet.LongueurCorps(); n > 0)
            tailleServeur = double(n);
        depuis = 0;
        const QString valide = Validateur(inet);
        garderSiCoupe = tailleServeur >= double(TailleMinReprise) && !valide.isEmpty() &&
                        reprise.Ecrit({adresse, valide, qint64(tailleServeur)});
        if (!garderSiCoupe)
            reprise.Oublie();
    }
    if (ajout)
        garderSiCoupe = true;

    SortieBornee* sortie = &temporaire;
    if (garderSiCoupe) {
        sortieReprise.emplace(reprise.travail, BornesTransfert{}, tailleServeur);
        sortieReprise->empreinte = empreinte;
        sortie = &*sortieReprise;
        // The work file beside the destination is not needed: a program
        // killed from here on leaves only the one that can be resumed.
        QFile::remove(temporaire.chemin);
    }
    if (!sortie->Ouvre(ajout)) {
        inet.Cancel();
        raison = QStringLiteral("dossier non modifiable");
        return Suite::Echec;
    }
    cheminRecu = garderSiCoupe ? reprise.travail : QString();
    const bool fini = Recoit(*sortie, double(depuis), std::move(premier), ajout);
    gardee = !fini && garderSiCoupe && passager && !ArretDemande;
    return fini ? Suite::Fini : Suite::Echec;
}

void Reception::MontreProgression(double recu, int& pourcentageTexte, QString& textePourcentage) {
    SurfaceJauge* j = Jauge();
    if (!j)
        return;
    // A guess of the probe that the body outgrows stops at 100 %.
    const double total = std::max(tailleMax != -1 ? std::min(tailleMax, totalJauge) : totalJauge, recu);
    const int pourcentage = PourcentageBorne(recu / total * 100);
    // The gauge only redraws a new percentage: build its caption only then
    // (this runs for every kilobyte: no text is made for nothing).
    if (pourcentage != pourcentageTexte) {
        pourcentageTexte = pourcentage;
        textePourcentage = QString::number(pourcentage);
    }
    if (textePourcentage == j->Tag)
        return;
    QString legende = textePourcentage + QStringLiteral(" % (") + FormateTaille(recu, true) +
                      QStringLiteral(" sur ") + FormateTaille(total, false) + QLatin1Char(')');
    const qint64 secondes = debut.elapsed() / 1000;
    if (secondes >= 1)
        legende += QStringLiteral(" - ") + FormateTaille(recu / double(secondes), true) +
                   QStringLiteral("/sec");
    AfficheJauge(*j, pourcentage, legende);
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

void InterrogeEnTete(Inet& inet, QString& adresse, double& taille, bool& redirige,
                     QString& dateModification, bool lectureSuit) {
    ArretDemande = false;
    redirige = false;
    taille = -1;

    if (lectureSuit)
        inet.ExecuteTeteEtLecture(adresse);
    else
        inet.Execute(adresse, QStringLiteral("HEAD"));
    while (inet.StillExecuting() && !ArretDemande)
        PatienteUnPeu();
    if (ArretDemande) {
        inet.Cancel();
        return;
    }

    const QString longueur = inet.GetHeader(QStringLiteral("Content-length"));
    QString location = inet.GetHeader(QStringLiteral("Location"));
    if (!location.isEmpty()) {
        // A relative Location is relative to the address probed.
        const QUrl cible(location);
        if (cible.isRelative())
            location = QUrl(adresse).resolved(cible).toString();
    }
    if (!location.isEmpty() && location != adresse) {
        adresse = location;
        redirige = true;
    }
    dateModification = inet.GetHeader(QStringLiteral("Last-modified")).left(30);
    if (EstNombre(longueur) && !ArretDemande) {
        taille = ValeurNombre(longueur);
        if (taille <= 0)
            taille = -1;
    }
}

namespace {

bool EstChiffree(const QString& adresse) {
    return adresse.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
           adresse.startsWith(QLatin1String("ftps://"), Qt::CaseInsensitive);
}

bool Occupe(long statut) { return statut == 429 || statut == 503; }

// The fetch, for both entry points.
bool Telecharge(Inet& inet, QString& adresse, const QString& destination, bool verifierPage, qint32 tailleMax,
                SurfaceJauge* jauge, double& taille, bool& redirige, const BornesTransfert* bornes,
                const OptionsTransfert& options, IssueTransfert& issue, HachageEnRoute* hachage = nullptr) {
    issue = IssueTransfert{};
    // One fetch at a time: one started from a nested turn of the event loop
    // (a timer, a click) would share the transfer object with this one.
    if (ReceptionEnCours) {
        issue.raison = QStringLiteral("un autre téléchargement est en cours");
        return false;
    }
    Reception r(inet, jauge);
    ReceptionEnCours = &r;
    const struct Fin {
        ~Fin() { ReceptionEnCours = nullptr; }
    } fin;

    ArretDemande = false;
    r.tailleMax = tailleMax;
    if (!options.empreinte.isEmpty())
        r.empreinte.algorithme = EVP_sha256();
    else if (hachage)
        r.empreinte = {EVP_sha512(), hachage->prefixe};
    r.debut.start();
    if (SurfaceJauge* j = r.Jauge())
        InitialiseJauge(*j);

    // Whatever happens, an earlier file at the destination stays until the
    // new one is complete.
    const QString temporaire = CreeFichierTemporaire(destination);
    const QString adresseDemandee = adresse;
    Reprise reprise(adresseDemandee, destination);
    const bool avecReprise = options.reprise && tailleMax == -1 && !bornes && !verifierPage;
    QString recu = temporaire; // the file that takes the destination's place
    bool resultat = false;
    bool occupe = false;

    if (temporaire.isEmpty()) {
        r.raison = QStringLiteral("dossier non modifiable");
    } else {
        QString dateModification;
        // The GET follows at once when nothing can stop it after the probe but
        // the probe's own answer: no bounds to check against the size, no work
        // file to continue with a range.
        const bool lectureSuit = !bornes && !(avecReprise && reprise.PeutExister());
        InterrogeEnTete(inet, adresse, r.tailleServeur, redirige, dateModification, lectureSuit);
        const long statutTete = inet.StatutReponse();
        const QString validateurTete = Validateur(inet);
        CedeDeTempsEnTemps();
        taille = r.tailleServeur;

        // What the fetch will write when the size is known: the bounds are
        // checked against it before anything is asked of the server.
        const double attendu = r.tailleServeur != -1 && tailleMax != -1 && tailleMax <= r.tailleServeur
                                   ? double(tailleMax)
                                   : r.tailleServeur;
        const BornesTransfert limites = bornes ? *bornes : BornesTransfert{};
        const qint64 libre = limites.espaceLibreMin >= 0 && attendu > 0
                                 ? EspaceLibre(QFileInfo(temporaire).absolutePath())
                                 : -1;
        if (ArretDemande) {
            // Said during the probe: no request starts after a stop.
            r.raison = QStringLiteral("arrêt demandé");
        } else if (Occupe(statutTete)) {
            // The server asks to come back later: a GET now would get the same.
            occupe = true;
            r.raison = inet.RaisonEchec();
            issue.attenteServeur = inet.AttenteDemandee();
        } else if (redirige && EstChiffree(adresseDemandee) && !EstChiffree(adresse)) {
            // Not followed: the caller keeps the address it asked for.
            r.raison = QStringLiteral("redirection refusée d'une adresse chiffrée vers une adresse en clair");
            adresse = adresseDemandee;
            redirige = false;
        } else if (limites.tailleMax >= 0 && attendu > double(limites.tailleMax)) {
            r.raison = RaisonTaille(limites.tailleMax);
        } else if (libre >= 0 && double(libre) - attendu < double(limites.espaceLibreMin)) {
            r.raison = RaisonEspace(limites.espaceLibreMin);
        } else if (r.tailleServeur == -1) {
            // Size unknown: the whole resource, without progress.
            inet.Cancel();
            // A server that answers without a size: nothing to compare a work
            // file with. A probe that got no answer at all (the network
            // still down) leaves it for a later try.
            if (avecReprise && statutTete > 0)
                reprise.Oublie();
            if (SurfaceJauge* j = r.Jauge())
                MasqueJauge(*j);
            SortieBornee sortie(temporaire, limites, -1);
            sortie.empreinte = r.empreinte;
            if (!sortie.Ouvre()) {
                r.raison = QStringLiteral("dossier non modifiable");
            } else if (inet.OpenURL(adresse, sortie) && !ArretDemande && sortie.fichier.Termine()) {
                r.empreinteRecue = sortie.fichier.Empreinte();
                const qint64 longueur = QFileInfo(temporaire).size();
                taille = double(longueur);
                resultat = longueur > 0;
                if (!resultat)
                    r.raison = QStringLiteral("fichier vide");
                else if (tailleMax != -1 && longueur > tailleMax)
                    resultat = QFile::resize(temporaire, std::max<qint64>(tailleMax, 0));
            } else {
                sortie.fichier.Abandonne();
                r.raison = ArretDemande             ? QStringLiteral("arrêt demandé")
                           : !sortie.raison.isEmpty() ? sortie.raison
                                                      : inet.RaisonEchec();
                if (r.raison.isEmpty())
                    r.raison = QStringLiteral("écriture impossible dans le dossier");
                if (!ArretDemande && sortie.raison.isEmpty()) {
                    r.passager = inet.EchecPassager();
                    occupe = Occupe(inet.StatutReponse());
                    if (occupe)
                        issue.attenteServeur = inet.AttenteDemandee();
                }
            }
        } else if (avecReprise) {
            // What a cut left is continued when the server still describes
            // the same resource; otherwise it goes and the fetch starts over.
            QString validateur;
            qint64 depuis = reprise.Existant(qint64(r.tailleServeur), validateurTete, validateur);
            SortieBornee sortie(temporaire, limites, attendu);
            sortie.empreinte = r.empreinte;
            for (;;) {
                bool gardee = false;
                const Reception::Suite suite =
                    r.RecoitAvecReprise(sortie, adresse, depuis, validateur, reprise, gardee);
                if (suite == Reception::Suite::DepuisZero && depuis > 0) {
                    reprise.Oublie();
                    depuis = 0;
                    continue;
                }
                resultat = suite == Reception::Suite::Fini;
                issue.repriseGardee = gardee;
                break;
            }
            taille = resultat ? r.tailleRecue : r.tailleServeur;
            if (resultat && !r.cheminRecu.isEmpty())
                recu = r.cheminRecu;
            if (!resultat && !issue.repriseGardee)
                reprise.Oublie();
            if (!resultat && !ArretDemande) {
                occupe = Occupe(inet.StatutReponse()) && !r.passager;
                if (occupe)
                    issue.attenteServeur = inet.AttenteDemandee();
            }
        } else {
            // Written by a thread of its own, so that a stalling disk does not
            // stop the event loop.
            SortieBornee sortie(temporaire, limites, attendu);
            sortie.empreinte = r.empreinte;
            if (!sortie.Ouvre()) {
                r.raison = QStringLiteral("dossier non modifiable");
            } else {
                inet.Execute(adresse, QStringLiteral("GET"));
                resultat = r.Recoit(sortie);
                if (resultat)
                    taille = r.tailleRecue;
            }
            if (resultat && verifierPage && !FichierSansErreur(temporaire)) {
                resultat = false;
                r.raison = QStringLiteral("le serveur a renvoyé une page d'erreur");
            }
            if (!resultat && !ArretDemande) {
                occupe = Occupe(inet.StatutReponse()) && !r.passager;
                if (occupe)
                    issue.attenteServeur = inet.AttenteDemandee();
            }
        }
    }

    if (resultat && !options.empreinte.isEmpty() &&
        QString::fromLatin1(r.empreinteRecue.toHex()) != options.empreinte.trimmed().toLower()) {
        // Not the file the service published: the old one stays.
        resultat = false;
        r.passager = false;
        r.raison = QStringLiteral("empreinte SHA-256 différente");
        if (recu != temporaire)
            QFile::remove(recu);
        reprise.Oublie();
    }
    if (resultat && !RemplaceDestination(recu, destination)) {
        resultat = false;
        r.raison = QStringLiteral("le fichier ne peut pas prendre sa place dans le dossier");
    }
    if (resultat && avecReprise)
        reprise.Oublie();
    if (!resultat)
        inet.Cancel();
    if (!temporaire.isEmpty() && (!resultat || recu != temporaire))
        QFile::remove(temporaire);
    if (SurfaceJauge* j = r.Jauge())
        MasqueJauge(*j);

    issue.genre = resultat       ? IssueTransfert::Genre::Reussi
                  : ArretDemande ? IssueTransfert::Genre::Arret
                  : occupe       ? IssueTransfert::Genre::Occupe
                  : r.passager   ? IssueTransfert::Genre::Passager
                                 : IssueTransfert::Genre::Definitif;
    if (issue.genre == IssueTransfert::Genre::Arret && avecReprise)
        reprise.Oublie();
    issue.raison = resultat ? QString() : r.raison;
    if (hachage)
        hachage->resultat = resultat ? r.empreinteRecue : QByteArray();
    if (issue.genre != IssueTransfert::Genre::Occupe)
        issue.attenteServeur.clear();
    return resultat;
}

} // namespace

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

void OublieReprise(const QString& adresse, const QString& destination) {
    Reprise(adresse, destination).Oublie();
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

void GereEtatTransfert(Inet& inet, int etat) {
    // Only recorded: the fetch reads the data in its own loop.
    if (ReceptionEnCours && &ReceptionEnCours->inet == &inet && etat == Inet::EtatErreur)
        ReceptionEnCours->erreur = true;
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
