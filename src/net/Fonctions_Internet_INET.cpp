// The transfer layer over the Inet transfer object.
#include "net/Fonctions_Internet_INET.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
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

constexpr int TailleMorceau = 1024;

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

// The work file of a fetch, with the fetch's bounds checked before any byte
// reaches it, on both receive paths. A write that would break a bound fails
// and says why in `raison`; the fetch then drops the file.
class SortieBornee final : public QIODevice {
public:
    // `attendu`: the bytes the fetch expects, -1 when unknown.
    SortieBornee(const QString& temporaire, const BornesTransfert& bornes, double attendu)
        : fichier(temporaire), bornes_(bornes), dossier_(QFileInfo(temporaire).absolutePath()),
          attendu_(attendu) {}

    bool Ouvre() {
        if (!fichier.Ouvre())
            return false;
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        return true;
    }

    FichierEnFond fichier;
    QString raison;

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
    const double attendu_;
    qint64 ecrits_ = 0;
    qint64 controleJusqua_ = 0; // bytes up to which the free space was checked
};

// One fetch: everything TelechargeFichier keeps while it waits. It lives on
// that call's stack, so nothing of a fetch outlives it.
struct Reception {
    Reception(Inet& i, SurfaceJauge* j) : inet(i), jauge(j), jaugeVivante(j ? j->Vie() : nullptr) {}

    // The gauge, unless the window that owns it is gone meanwhile.
    SurfaceJauge* Jauge() const { return jauge && *jaugeVivante ? jauge : nullptr; }

    // Receives the GET just started into `sortie` (opened), in chunks, with
    // progress. True when exactly the announced size (or the size limit) came.
    bool Recoit(SortieBornee& sortie);
    void MontreProgression(double recu, int& pourcentageTexte, QString& textePourcentage);

    Inet& inet;
    SurfaceJauge* jauge;
    std::shared_ptr<const bool> jaugeVivante;
    double tailleServeur = -1;
    double tailleMax = -1;
    QElapsedTimer debut;
    bool erreur = false; // the transfer object reported a failure
    QString raison;      // why the fetch failed, for the user
};

// The fetch in progress, if any (only ever one).
Reception* ReceptionEnCours = nullptr;

bool Reception::Recoit(SortieBornee& sortie) {
    const bool parLimite = tailleMax != -1 && tailleMax <= tailleServeur;
    const double attendu = parLimite ? tailleMax : tailleServeur;
    double recu = 0;
    int pourcentageTexte = 0;
    QString textePourcentage = QStringLiteral("0");
    bool complet = false;
    while (!ArretDemande) {
        Inet::Vide pourquoi = Inet::Vide::Aucun;
        QByteArray morceau = inet.GetChunk(TailleMorceau, &pourquoi);
        if (morceau.isEmpty()) {
            switch (pourquoi) {
            case Inet::Vide::Fin:
                complet = !erreur && recu == attendu;
                if (!complet && !erreur)
                    raison = QStringLiteral("%1 octets reçus sur les %2 annoncés")
                                 .arg(qint64(recu))
                                 .arg(qint64(tailleServeur));
                break;
            case Inet::Vide::Echec: raison = inet.RaisonEchec(); break;
            case Inet::Vide::Arret: break;
            case Inet::Vide::Remplacee:
            case Inet::Vide::Aucun:
                raison = QStringLiteral("transfert interrompu par une autre requête");
                break;
            }
            break;
        }
        if (recu + double(morceau.size()) > attendu) {
            if (!parLimite) {
                raison = QStringLiteral("le serveur envoie plus que les %1 octets annoncés")
                             .arg(qint64(tailleServeur));
                break;
            }
            morceau.truncate(qsizetype(attendu - recu));
        }
        recu += double(morceau.size());
        MontreProgression(recu, pourcentageTexte, textePourcentage);
        if (sortie.write(morceau) != morceau.size()) {
            raison = sortie.raison.isEmpty() ? QStringLiteral("écriture impossible dans le dossier")
                                             : sortie.raison;
            break;
        }
        if (parLimite && recu >= attendu) {
            inet.Cancel(); // the rest is not wanted
            complet = true;
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
        sortie.fichier.Abandonne();
        return false;
    }
    if (!sortie.fichier.Termine()) {
        raison = QStringLiteral("écriture impossible dans le dossier");
        return false;
    }
    return true;
}

void Reception::MontreProgression(double recu, int& pourcentageTexte, QString& textePourcentage) {
    SurfaceJauge* j = Jauge();
    if (!j)
        return;
    const bool parLimite = tailleMax != -1 && tailleMax <= tailleServeur;
    const double total = parLimite ? tailleMax : tailleServeur;
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
        QString port = http ? portHTTP : portFTP;
        if (port.isEmpty())
            port = http ? QStringLiteral("80") : QStringLiteral("21");
        inet.RemotePort = int(std::clamp(std::nearbyint(NombreSouple(port)), 0.0, 65535.0));
        inet.AccessType = Inet::AccesProxy;
        inet.Proxy = adresseProxy + QLatin1Char(':') + port;
    } else {
        inet.AccessType = Inet::AccesSysteme;
    }
    inet.Protocol = http ? Inet::ProtocoleHTTP : Inet::ProtocoleFTP;
    inet.RequestTimeout = 60;
}

void InterrogeEnTete(Inet& inet, QString& adresse, double& taille, bool& redirige,
                     QString& dateModification) {
    ArretDemande = false;
    redirige = false;
    taille = -1;

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

bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination,
                       bool verifierPage, qint32 tailleMax, SurfaceJauge* jauge,
                       double& taille, bool& redirige, QString* raison,
                       const BornesTransfert* bornes) {
    // One fetch at a time: one started from a nested turn of the event loop
    // (a timer, a click) would share the transfer object with this one.
    if (ReceptionEnCours) {
        if (raison)
            *raison = QStringLiteral("un autre téléchargement est en cours");
        return false;
    }
    Reception r(inet, jauge);
    ReceptionEnCours = &r;
    const struct Fin {
        ~Fin() { ReceptionEnCours = nullptr; }
    } fin;

    ArretDemande = false;
    r.tailleMax = tailleMax;
    r.debut.start();
    if (SurfaceJauge* j = r.Jauge())
        InitialiseJauge(*j);

    // Whatever happens, an earlier file at the destination stays until the
    // new one is complete.
    const QString temporaire = CreeFichierTemporaire(destination);
    bool resultat = false;

    if (temporaire.isEmpty()) {
        r.raison = QStringLiteral("dossier non modifiable");
    } else {
        QString dateModification;
        InterrogeEnTete(inet, adresse, r.tailleServeur, redirige, dateModification);
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
        } else if (limites.tailleMax >= 0 && attendu > double(limites.tailleMax)) {
            r.raison = RaisonTaille(limites.tailleMax);
        } else if (libre >= 0 && double(libre) - attendu < double(limites.espaceLibreMin)) {
            r.raison = RaisonEspace(limites.espaceLibreMin);
        } else if (r.tailleServeur == -1) {
            // Size unknown: the whole resource, without progress.
            inet.Cancel();
            if (SurfaceJauge* j = r.Jauge())
                MasqueJauge(*j);
            SortieBornee sortie(temporaire, limites, -1);
            if (!sortie.Ouvre()) {
                r.raison = QStringLiteral("dossier non modifiable");
            } else if (inet.OpenURL(adresse, sortie) && !ArretDemande && sortie.fichier.Termine()) {
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
            }
        } else {
            // Written by a thread of its own, so that a stalling disk does not
            // stop the event loop.
            SortieBornee sortie(temporaire, limites, attendu);
            if (!sortie.Ouvre()) {
                r.raison = QStringLiteral("dossier non modifiable");
            } else {
                inet.Execute(adresse, QStringLiteral("GET"));
                resultat = r.Recoit(sortie);
            }
            if (resultat && verifierPage && !FichierSansErreur(temporaire)) {
                resultat = false;
                r.raison = QStringLiteral("le serveur a renvoyé une page d'erreur");
            }
        }
    }

    if (resultat && !RemplaceDestination(temporaire, destination)) {
        resultat = false;
        r.raison = QStringLiteral("le fichier ne peut pas prendre sa place dans le dossier");
    }
    if (!resultat) {
        inet.Cancel();
        if (!temporaire.isEmpty())
            QFile::remove(temporaire);
    }
    if (SurfaceJauge* j = r.Jauge())
        MasqueJauge(*j);
    if (raison)
        *raison = resultat ? QString() : r.raison;
    return resultat;
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
