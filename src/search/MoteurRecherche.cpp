// The search, from the list's address to the lines kept.
#include "search/MoteurRecherche.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <openssl/evp.h>

#include "config/Fonctions_Variables.h"
#include "net/Attente.h"
#include "net/EssaisTransfert.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/FraicheurListe.h"
#include "search/LignesListe.h"
#include "search/SignatureListe.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Messages.h"

namespace {

constexpr qint64 TailleMaxSignature = 4096;
// Every work file of a search is named after the list copy and this dot:
// what a killed search left is found by its name.
const QString PrefixeTravail = QStringLiteral("Liste.tmp.");

void ListeNonEcrite(const QString& dossier) {
    MsgBox(QStringLiteral("La liste des fichiers n'a pas pu être écrite dans le dossier temporaire ") + dossier +
               QStringLiteral(" (plein ou non modifiable) : la recherche est abandonnée."),
           IconeMessage::Critique);
}

// Removes what searches killed before their end left in the temporary folder
// (links included, never followed). The caller holds the service's lock, so
// no other search is using them.
void RetireTravauxAbandonnes(const QString& dossier) {
    const QFileInfoList restes = QDir(dossier).entryInfoList({PrefixeTravail + QLatin1Char('*')},
                                                             QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& f : restes)
        QFile::remove(f.filePath());
}

// The signature checked on the list's bytes in memory, by the strict check
// (a key outside the prime-order subgroup refused).
bool SignatureValide(const QByteArray& cle, const QByteArray& signature, const QByteArray& octets) {
    const QByteArray prefixe = PrefixeEd25519(cle, signature);
    QByteArray hachage(64, Qt::Uninitialized);
    unsigned int taille = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    const bool ok = ctx && EVP_DigestInit_ex(ctx, EVP_sha512(), nullptr) == 1 &&
                    EVP_DigestUpdate(ctx, prefixe.constData(), size_t(prefixe.size())) == 1 &&
                    EVP_DigestUpdate(ctx, octets.constData(), size_t(octets.size())) == 1 &&
                    EVP_DigestFinal_ex(ctx, reinterpret_cast<unsigned char*>(hachage.data()), &taille) == 1 &&
                    taille == 64;
    EVP_MD_CTX_free(ctx);
    return ok && ConclutEd25519(cle, signature, hachage);
}

} // namespace

MoteurRecherche::Resultat MoteurRecherche::Lance(const TableVariables& service, const ReglagesConnexion& reglages,
                                                 SurfaceJauge* jauge, bool& rechercheEffectuee) {
    Resultat r;
    const InterruptionPour arret(inet_, arret_);
    // Where the list comes from and whether it is trusted are decided from
    // the parameter file alone, before any block is read.
    const QString adresse = service.Lit(QStringLiteral("FICHIER_LISTE_NOM"));
    if (adresse.isEmpty()) {
        MsgBox(QStringLiteral("Aucun fichier liste spécifié !"), IconeMessage::Exclamation);
        return r;
    }
    // A key that cannot be read is the service's mistake: nothing is fetched.
    const QString texteCle = service.Lit(QStringLiteral("CLE_PUBLIQUE_LISTE"));
    QByteArray cle;
    if (!texteCle.isEmpty() && !DecodeClePublique(texteCle, cle)) {
        MsgBox(QStringLiteral("La clé publique de la liste (CLE_PUBLIQUE_LISTE) n'est pas une clé "
                              "Ed25519 valide : la recherche est abandonnée."),
               IconeMessage::Critique);
        return r;
    }
    if (reglages.particulier)
        ParametreConnexion(inet_, true, reglages.adresseProxy, reglages.portHTTP, reglages.portFTP,
                           QString(), QString());
    if (jauge)
        InitialiseJauge(*jauge);

    const QString dossier = service.Lit(QStringLiteral("REP_TMP"));
    const QString chemin = dossier + QStringLiteral("Liste.tmp");
    RetireTravauxAbandonnes(dossier);

    // A signed list: its signature first, so that a list refused costs no
    // more than its signature.
    QByteArray signature;
    QString raison;
    if (!cle.isEmpty()) {
        QByteArray texte;
        const BornesTransfert bornes{TailleMaxSignature, EspaceLibreMinListe};
        const bool recue = Recoit(adresse + QStringLiteral(".sig"), dossier, bornes, nullptr, texte, raison);
        if (!recue && arret_.Demandee())
            return r;
        if (!recue || !DecodeSignature(texte, signature)) {
            SignatureRefusee(adresse, true);
            // Nor the copy an earlier search left: nothing of this service's
            // list remains after a refusal.
            EffaceFichier(chemin, false);
            return r;
        }
    }

    // A list that never ends must not fill the disk, nor the memory.
    QByteArray octets;
    const BornesTransfert bornes{TailleMaxListe, EspaceLibreMinListe};
    if (!Recoit(adresse, dossier, bornes, jauge, octets, raison)) {
        // A search the user stopped is not a failure to report. The bounds
        // of the fetch are the program's own: their box says which; any
        // other failure keeps its classic box, and the reason goes with the
        // result for the front end to show beside it.
        if (!arret_.Demandee()) {
            r.raison = raison;
            if (raison.startsWith(QStringLiteral("le fichier dépasse")) ||
                raison.startsWith(QStringLiteral("il resterait moins de")))
                MsgBox(QStringLiteral("Echec lors de la recherche : ") + raison + QLatin1Char('.'),
                       IconeMessage::Critique);
            else
                MsgBox(QStringLiteral("Echec lors de la recherche !"), IconeMessage::Critique);
        }
        return r;
    }
    if (octets.isEmpty()) {
        MsgBox(QStringLiteral("Pas de données disponibles sur le site."), IconeMessage::Critique);
        return r;
    }
    // Checked on the very bytes that are processed next: no file in between
    // that someone could change.
    if (!cle.isEmpty() && !SignatureValide(cle, signature, octets)) {
        SignatureRefusee(adresse, false);
        EffaceFichier(chemin, false);
        return r;
    }
    // A signed list proves who wrote it, not when: an older one, or one past
    // its date, is refused.
    FraicheurListe fraicheur;
    const QString cleService = QString::fromLatin1(
        QCryptographicHash::hash((adresse + QLatin1Char('\n') + texteCle).toUtf8(), QCryptographicHash::Sha256)
            .toHex());
    if (!cle.isEmpty()) {
        fraicheur = LitFraicheurListe(octets);
        if (const QString refus = ControleFraicheur(cleService, fraicheur); !refus.isEmpty()) {
            MsgBox(QStringLiteral("La liste ") + adresse + QStringLiteral(" est refusée : ") + refus +
                       QStringLiteral(". Aucun fichier ne sera téléchargé."),
                   IconeMessage::Critique);
            EffaceFichier(chemin, false);
            return r;
        }
    }
    // What came in clear and unsigned could have been changed on the way.
    const bool listeSure = !cle.isEmpty() || adresse.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);

    auto copie = std::make_shared<TableVariables>(service);
    auto lignes = std::make_shared<LignesListe>();
    bool reponse = true;
    if (!TraitementFichier(std::move(octets), *lignes, *copie, listeSure, rechercheEffectuee, reponse)) {
        EffaceFichier(chemin, false);
        return r;
    }
    if (!cle.isEmpty() && !RetientVersionListe(cleService, fraicheur))
        MsgBox(QStringLiteral("La version de la liste n'a pas pu être retenue dans ") + DossierFraicheur() +
                   QStringLiteral(" : une liste plus ancienne ne pourrait pas être refusée à la prochaine recherche."),
               IconeMessage::Exclamation);
    if (!reponse) {
        EffaceFichier(chemin, false);
        r.issue = Issue::RienDeNouveau;
        return r;
    }
    // Written once, through a work file that takes its place whole; a link
    // put in its place is replaced, never followed.
    if (!RemplaceParFichierTravail(chemin, lignes->Texte(), chemin + QStringLiteral(".travail"), false)) {
        ListeNonEcrite(dossier);
        return r;
    }
    if (!rechercheEffectuee) {
        r.issue = Issue::RienDeNouveau;
        return r;
    }
    r.issue = Issue::Trouve;
    r.lignes = std::move(lignes);
    r.afficher = copie->Oui(QStringLiteral("AFFICHE_RESULTAT"));
    r.colonne = EntierSouple(copie->Lit(QStringLiteral("NUM_COLONNE_AFFICHEE")));
    r.reglages = std::move(copie);
    return r;
}

bool MoteurRecherche::Recoit(const QString& adresse, const QString& dossier, const BornesTransfert& bornes,
                             SurfaceJauge* jauge, QByteArray& octets, QString& raison) {
    octets.clear();
    raison.clear();
    // Named at random, created by the fetch alone, read back without
    // following a link, and gone before this returns.
    const QString recu = dossier + PrefixeTravail +
                         QString::number(QRandomGenerator::system()->generate64() & 0xFFFFFFFFFFFFull, 36) +
                         QStringLiteral(".recu");
    EssaisTransfert essais;
    for (;;) {
        essais.Debut();
        QString copie = adresse;
        IssueTransfert issue;
        const bool reussi = TelechargeFichier(inet_, copie, recu, jauge, bornes, issue);
        if (reussi) {
            const bool lu = LitFichierSansLien(recu, octets, bornes.tailleMax);
            QFile::remove(recu);
            if (!lu)
                raison = QStringLiteral("la liste reçue n'a pas pu être lue dans le dossier temporaire");
            return lu;
        }
        if (arret_.Demandee())
            return false;
        raison = issue.raison;
        const EssaisTransfert::Suite suite = essais.ApresEchec(issue, raison);
        if (suite.genre == EssaisTransfert::Suite::Genre::Nouvel) {
            if (!AttendSurJauge(suite.millisecondes,
                        QStringLiteral("Nouvel essai dans %1 s (essai %2 sur %3)")
                            .arg(QStringLiteral("%1"))
                            .arg(essais.Essais() + 1)
                            .arg(EssaisTransfert::EssaisMaxPassagers),
                        jauge, arret_))
                return false;
            continue;
        }
        if (suite.genre == EssaisTransfert::Suite::Genre::AttenteServeur) {
            if (!AttendSurJauge(qint64(suite.secondes) * 1000, QStringLiteral("Le serveur demande d'attendre : %1 s"), jauge,
                                arret_))
                return false;
            continue;
        }
        raison = essais.RaisonFinale(raison);
        if (raison.isEmpty())
            raison = QStringLiteral("échec du transfert");
        return false;
    }
}

void MoteurRecherche::SignatureRefusee(const QString& adresse, bool illisible) {
    MsgBox(QStringLiteral("La liste ") + adresse +
               (illisible ? QStringLiteral(" n'a pas pu être vérifiée : sa signature (") + adresse +
                                QStringLiteral(".sig) est absente ou illisible.")
                          : QStringLiteral(" est refusée : sa signature ne correspond pas à la clé du "
                                           "service (liste modifiée ou signée par une autre clé).")) +
               QStringLiteral(" Aucun fichier ne sera téléchargé."),
           IconeMessage::Critique);
}

bool MoteurRecherche::TraitementFichier(QByteArray octets, LignesListe& lignes, TableVariables& reglages,
                                        bool listeSure, bool& rechercheEffectuee, bool& reponse) {
    reponse = true;
    // Lone LF ends become CR LF, or a list written so would be read as one line.
    LignesListe::AjouteCRManquants(octets);
    lignes.DefinitOctets(octets);
    octets = QByteArray(); // held once, by the lines
    if (reglages.Oui(QStringLiteral("RECUPERE_PARAMETRES_LISTE")) && !RecupereParametres(lignes, reglages, listeSure))
        return false;

    if (reglages.Oui(QStringLiteral("COMPARER_LISTE_A_REPERTOIRE")) && ComparaisonRepertoire(lignes, reglages, reponse))
        rechercheEffectuee = true;
    if (reglages.Oui(QStringLiteral("COMPARER_LISTE_A_IDENTIFIANT")) && ComparaisonIdentifiant(lignes, reglages, reponse))
        rechercheEffectuee = true;
    if (reglages.Oui(QStringLiteral("COMPARER_LISTE_A_VERSION")) && reponse && ComparaisonVersion(lignes, reglages, reponse))
        rechercheEffectuee = true;
    if (reglages.Oui(QStringLiteral("COMPARER_CONSERVER_LIENS_HTTP")) && reponse && ModeLiens(lignes, reglages) > 0)
        rechercheEffectuee = true;
    return true;
}

VerrouListe::VerrouListe() = default;
VerrouListe::~VerrouListe() = default;

VerrouListe::Etat VerrouListe::Prend(const QString& dossier) {
    if (verrou_ && verrou_->isLocked() && dossier == dossier_)
        return Etat::Pris;
    Rend();
    const QString chemin = dossier + QStringLiteral("Liste.verrou");
    // Something else under the lock's name would be taken for a lock of
    // another program for ever, or followed.
    if (const QFileInfo info(chemin); info.isSymLink() || (info.exists() && !info.isFile())) {
        MsgBox(QStringLiteral("Le verrou de la liste ") + chemin +
                   QStringLiteral(" n'est pas un fichier : la recherche est abandonnée."),
               IconeMessage::Critique);
        return Etat::Illisible;
    }
    verrou_ = std::make_unique<QLockFile>(chemin);
    // A lock whose program is gone (killed during its search) is taken over
    // whatever its age.
    verrou_->setStaleLockTime(0);
    if (verrou_->tryLock(0)) {
        dossier_ = dossier;
        return Etat::Pris;
    }
    const bool occupe = verrou_->error() == QLockFile::LockFailedError;
    verrou_.reset();
    if (occupe) {
        MsgBox(QStringLiteral("Une autre recherche de ce service est en cours."), IconeMessage::Exclamation);
        return Etat::Occupe;
    }
    ListeNonEcrite(dossier);
    return Etat::Illisible;
}

void VerrouListe::Rend() {
    verrou_.reset(); // unlocks
    dossier_.clear();
}

bool VerrouListe::Tenu() const { return verrou_ && verrou_->isLocked(); }
