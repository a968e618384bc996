// The fetch of an address into a file: one GET, its response's headers read
// before its body, the body received into a bounded output with progress on
// a gauge, a resumable work file continued or started, and the end that puts
// the file in the destination's place or leaves nothing.
#include "net/Fonctions_Internet_INET.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include "net/Attente.h"
#include "net/Inet.h"
#include "net/NomsTravail.h"
#include "net/Reprise.h"
#include "net/SortieBornee.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/Arret.h"

using namespace DetailTransfert;

namespace {

int PourcentageBorne(double valeur) {
    if (std::isnan(valeur))
        return 0;
    return int(std::clamp(std::nearbyint(valeur), 0.0, 100.0));
}

// The gauge moves by kilobyte; what has come is read in larger blocks (a
// small file at once), each taken kilobyte by kilobyte for the gauge.
constexpr int TailleMorceau = 1024;
constexpr int TailleLecture = 64 * 1024;

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
                  const OptionsTransfert& options_)
        : inet(i), jauge(j), jaugeVivante(j ? j->Vie() : nullptr), adresseDemandee(adresse_), adresse(adresse_),
          destination(destination_), verifierPage(verifierPage_), tailleMax(tailleMax_), options(options_),
          reprise(adresse_, destination_) {
        avecReprise = options.reprise && tailleMax == -1 && !bornes_ && !verifierPage;
        if (!options.empreinte.isEmpty())
            empreinte.algorithme = EVP_sha256();
        debut.start();
        if (SurfaceJauge* g = Jauge())
            InitialiseJauge(*g);
        // Whatever happens, an earlier file at the destination stays until the
        // new one is complete.
        if (travail.Cree(destination))
            temporaire = travail.Chemin();
        if (travail.DansDossier())
            reprise.DossierPresent();
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
        sortieTemporaire->fichier.FixeArret(inet.Interruption);
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
    Reprise reprise;
    bool avecReprise = false;

    enum class Phase { Entete, Corps, Fini };
    Phase phase = Phase::Entete;
    bool arret = false;
    bool vide = false; // the last step took all that had come
    FichierNonRepris travail; // the work file when nothing can be resumed
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
    vide = false;
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
            if (pourquoi == Inet::Vide::Attente) {
                vide = true; // the worker wakes this thread when more comes
                return false;
            }
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
        sortieReprise->fichier.FixeArret(inet.Interruption);
        sortie = &*sortieReprise;
        // The other work file is not needed: a program killed from here on
        // leaves only the one that can be resumed.
        QFile::remove(temporaire);
        travail.Libere();
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
    travail.Libere();
    if (SurfaceJauge* j = Jauge())
        MasqueJauge(*j);

    issue.genre = resultat  ? IssueTransfert::Genre::Reussi
                  : arret   ? IssueTransfert::Genre::Arret
                  : occupe  ? IssueTransfert::Genre::Occupe
                  : passager ? IssueTransfert::Genre::Passager
                             : IssueTransfert::Genre::Definitif;
    issue.raison = resultat ? QString() : raison;
    issue.repriseGardee = gardee && !resultat;
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
    MontreOctetsSurJauge(*j, octets, reference, debut.elapsed());
}

void MontreOctetsSurJauge(SurfaceJauge& jauge, double octets, double reference, qint64 millisecondes,
                          double octetsDuDebit) {
    const int pourcentage = PourcentageBorne(octets / reference * 100);
    // The gauge only redraws a new percentage: build its caption only then
    // (this runs for every kilobyte: no text is made for nothing).
    bool dessine = false;
    if (jauge.Tag.toInt(&dessine) == pourcentage && dessine)
        return;
    QString legende = QString::number(pourcentage) + QStringLiteral(" % (") + FormateTaille(octets, true) +
                      QStringLiteral(" sur ") + FormateTaille(reference, false) + QLatin1Char(')');
    const qint64 secondes = millisecondes / 1000;
    if (secondes >= 1)
        legende += QStringLiteral(" - ") + FormateTaille((octetsDuDebit >= 0 ? octetsDuDebit : octets) / double(secondes), true) + QStringLiteral("/sec");
    jauge.Octets(octets, reference);
    AfficheJauge(jauge, pourcentage, legende);
}

TransfertFichier::TransfertFichier(Inet& inet, const QString& adresse, const QString& destination,
                                   SurfaceJauge* jauge, const OptionsTransfert& options)
    : d(std::make_unique<EtatTransfert>(inet, adresse, destination, jauge, false, -1, nullptr, options)) {}

TransfertFichier::~TransfertFichier() = default;

bool TransfertFichier::Avance() { return d->Avance(); }
void TransfertFichier::Arrete() {
    if (d->phase != EtatTransfert::Phase::Fini) {
        d->arret = true;
        d->Avance();
    }
}
bool TransfertFichier::Fini() const { return d->phase == EtatTransfert::Phase::Fini; }
bool TransfertFichier::AttendLeReseau() const { return d->vide; }
const IssueTransfert& TransfertFichier::Issue() const { return d->issue; }
QString TransfertFichier::Adresse() const { return d->adresse; }
double TransfertFichier::Recus() const { return d->recus; }
double TransfertFichier::Total() const { return d->totalJauge; }
bool TransfertFichier::EntetesLus() const { return d->phase != EtatTransfert::Phase::Entete; }

namespace {

// The fetch of the calls that wait for their end, the event loop turning.
bool Telecharge(Inet& inet, QString& adresse, const QString& destination, bool verifierPage, qint32 tailleMax,
                SurfaceJauge* jauge, double& taille, bool& redirige, const BornesTransfert* bornes,
                const OptionsTransfert& options, IssueTransfert& issue) {
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

    EtatTransfert t(inet, adresse, destination, jauge, verifierPage, tailleMax, bornes, options);
    for (;;) {
        t.arret = t.arret || (inet.Interruption && inet.Interruption->Demandee());
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

bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination,
                       bool verifierPage, qint32 tailleMax, SurfaceJauge* jauge,
                       double& taille, bool& redirige, QString* raison,
                       const BornesTransfert* bornes) {
    IssueTransfert issue;
    const bool resultat = Telecharge(inet, adresse, destination, verifierPage, tailleMax, jauge, taille, redirige,
                                     bornes, OptionsTransfert{}, issue);
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
