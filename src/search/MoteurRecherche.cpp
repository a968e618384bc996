// The search, from the list's address to the lines kept.
#include "search/MoteurRecherche.h"

#include <QFile>

#include "config/Fonctions_Variables.h"
#include "net/Fonctions_Internet_INET.h"
#include "search/LignesListe.h"
#include "search/SignatureListe.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Messages.h"
#include "util/ModuleRamaglin.h"

namespace {

constexpr qint64 TailleMaxSignature = 4096;

void ListeNonEcrite() {
    MsgBox(QStringLiteral("La liste des fichiers n'a pas pu être écrite dans le dossier temporaire ") +
               LitVariable(QStringLiteral("REP_TMP")) +
               QStringLiteral(" (plein ou non modifiable) : la recherche est abandonnée."),
           IconeMessage::Critique);
}

} // namespace

MoteurRecherche::Resultat MoteurRecherche::Lance(const ReglagesConnexion& reglages,
                                                 SurfaceJauge* jauge, bool& rechercheEffectuee) {
    Resultat r;
    const QString adresse = LitVariable(QStringLiteral("FICHIER_LISTE_NOM"));
    if (adresse.isEmpty()) {
        MsgBox(QStringLiteral("Aucun fichier liste spécifié !"), IconeMessage::Exclamation);
        return r;
    }
    // A key that cannot be read is the service's mistake: nothing is fetched.
    const QString texteCle = LitVariable(QStringLiteral("CLE_PUBLIQUE_LISTE"));
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

    const QString chemin = LitVariable(QStringLiteral("REP_TMP")) + QStringLiteral("Liste.tmp");
    // A signed list: its signature comes first, so that the list is hashed
    // while it arrives and its check costs nothing noticeable at the end.
    QByteArray signature;
    HachageEnRoute hachage;
    if (!cle.isEmpty()) {
        if (!RecoitSignature(adresse, chemin, signature)) {
            // Nor the copy an earlier search left: nothing of this service's
            // list remains after a refusal.
            if (!ArretDemande)
                EffaceFichier(chemin, false);
            return r;
        }
        hachage.prefixe = PrefixeEd25519(cle, signature);
    }
    QString copieAdresse = adresse;
    double taille = 0;
    bool redirige = false;
    QString raison;
    // A list that never ends must not fill the disk.
    const BornesTransfert bornes{TailleMaxListe, EspaceLibreMinListe};
    if (!TelechargeFichier(inet_, copieAdresse, chemin, false, -1, jauge, taille, redirige, &raison,
                           &bornes, cle.isEmpty() ? nullptr : &hachage)) {
        // A search the user stopped is not a failure to report.
        if (!ArretDemande) {
            if (raison.startsWith(QStringLiteral("le fichier dépasse")) ||
                raison.startsWith(QStringLiteral("il resterait moins de")))
                MsgBox(QStringLiteral("Echec lors de la recherche : ") + raison + QLatin1Char('.'),
                       IconeMessage::Critique);
            else
                MsgBox(QStringLiteral("Echec lors de la recherche !"), IconeMessage::Critique);
        }
        return r;
    }
    if (TailleFichier(chemin) == 0) {
        MsgBox(QStringLiteral("Pas de données disponibles sur le site."), IconeMessage::Critique);
        return r;
    }
    if (!cle.isEmpty() && !ConclutEd25519(cle, signature, hachage.resultat)) {
        SignatureRefusee(adresse, false);
        EffaceFichier(chemin, false);
        return r;
    }
    // What came in clear and unsigned could have been changed on the way.
    const bool listeSure =
        !cle.isEmpty() || adresse.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
    bool reponse = true;
    const bool traitee = TraitementFichier(chemin, listeSure, rechercheEffectuee, reponse);
    // The lines the last filter wrote, when the file is still what it wrote;
    // taken in any case, so that they are not held after the search.
    std::shared_ptr<LignesListe> filtrees = LignesListe::Reprend(chemin);
    if (!traitee) {
        EffaceFichier(chemin, false);
        return r;
    }
    if (!reponse) {
        EffaceFichier(chemin, false);
        r.issue = Issue::RienDeNouveau;
        return r;
    }
    if (!rechercheEffectuee) {
        r.issue = Issue::RienDeNouveau;
        return r;
    }
    if (filtrees) {
        r.lignes = std::move(filtrees);
    } else if (r.lignes = std::make_shared<LignesListe>(); !r.lignes->Charge(chemin)) {
        ListeNonEcrite();
        r.lignes.reset();
        return r;
    }
    r.issue = Issue::Trouve;
    r.afficher = VariableOui(QStringLiteral("AFFICHE_RESULTAT"));
    r.colonne = EntierSouple(LitVariable(QStringLiteral("NUM_COLONNE_AFFICHEE")));
    return r;
}

bool MoteurRecherche::RecoitSignature(const QString& adresse, const QString& chemin,
                                      QByteArray& signature) {
    const QString cheminSignature = chemin + QStringLiteral(".sig");
    QString adresseSignature = adresse + QStringLiteral(".sig");
    double taille = 0;
    bool redirige = false;
    QString raison;
    // A signature is a line of base64: anything long is not one.
    const BornesTransfert bornes{TailleMaxSignature, EspaceLibreMinListe};
    const bool recue = TelechargeFichier(inet_, adresseSignature, cheminSignature, false, -1,
                                         nullptr, taille, redirige, &raison, &bornes);
    if (!recue && ArretDemande)
        return false;
    QByteArray texte;
    if (recue) {
        QFile fichier(cheminSignature);
        if (fichier.open(QIODevice::ReadOnly))
            texte = fichier.readAll();
    }
    EffaceFichier(cheminSignature, false);
    if (recue && DecodeSignature(texte, signature))
        return true;
    SignatureRefusee(adresse, true);
    return false;
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

bool MoteurRecherche::TraitementFichier(const QString& chemin, bool listeSure,
                                        bool& rechercheEffectuee, bool& reponse) {
    reponse = true;
    EcritureListeEchouee = false;
    LignesListe::Reprend(QString()); // nothing from an earlier search

    // A list whose line ends could not be repaired would be read as one line.
    if (!ConvertitFinsDeLigne(chemin, chemin + QStringLiteral("2"))) {
        ListeNonEcrite();
        return false;
    }
    if (VariableOui(QStringLiteral("RECUPERE_PARAMETRES_LISTE")) &&
        !RecupereParametres(chemin, listeSure))
        return false;

    if (VariableOui(QStringLiteral("COMPARER_LISTE_A_REPERTOIRE")) && ComparaisonRepertoire(chemin, reponse))
        rechercheEffectuee = true;
    if (VariableOui(QStringLiteral("COMPARER_LISTE_A_IDENTIFIANT")) && ComparaisonIdentifiant(chemin, reponse))
        rechercheEffectuee = true;
    if (VariableOui(QStringLiteral("COMPARER_LISTE_A_VERSION")) && reponse && ComparaisonVersion(chemin, reponse))
        rechercheEffectuee = true;
    if (VariableOui(QStringLiteral("COMPARER_CONSERVER_LIENS_HTTP")) && reponse && ModeLiens(chemin) > 0)
        rechercheEffectuee = true;

    // A filter whose rewrite failed left the list unfiltered: what it would
    // show is not what the service asked for.
    if (EcritureListeEchouee) {
        ListeNonEcrite();
        return false;
    }
    return true;
}
