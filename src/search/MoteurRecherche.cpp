// The search, from the list's address to the lines kept.
#include "search/MoteurRecherche.h"

#include "config/Fonctions_Variables.h"
#include "net/Fonctions_Internet_INET.h"
#include "search/LignesListe.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Messages.h"
#include "util/ModuleRamaglin.h"

namespace {

void ListeNonEcrite() {
    MsgBox(QStringLiteral("La liste des fichiers n'a pas pu être écrite dans le dossier temporaire ") +
               LitVariable(QStringLiteral("REP_TMP")) +
               QStringLiteral(" (plein ou non modifiable) : la recherche est abandonnée."),
           IconeMessage::Critique);
}

} // namespace

MoteurRecherche::Resultat MoteurRecherche::Lance(const QString& cheminApplication,
                                                 const ReglagesConnexion& reglages,
                                                 SurfaceJauge* jauge, bool& rechercheEffectuee) {
    Resultat r;
    const QString adresse = LitVariable(QStringLiteral("FICHIER_LISTE_NOM"));
    if (adresse.isEmpty()) {
        MsgBox(QStringLiteral("Aucun fichier liste spécifié !"), IconeMessage::Exclamation);
        return r;
    }
    if (reglages.particulier)
        ParametreConnexion(inet_, true, reglages.adresseProxy, reglages.portHTTP, reglages.portFTP,
                           QString(), QString());
    if (jauge)
        InitialiseJauge(*jauge);

    const QString chemin = LitVariable(QStringLiteral("REP_TMP")) + QStringLiteral("Liste.tmp");
    QString copieAdresse = adresse;
    double taille = 0;
    bool redirige = false;
    QString raison;
    // A list that never ends must not fill the disk.
    const BornesTransfert bornes{TailleMaxListe, EspaceLibreMinListe};
    if (!TelechargeFichier(inet_, copieAdresse, chemin, false, -1, jauge, taille, redirige, &raison,
                           &bornes)) {
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
    bool reponse = true;
    const bool traitee = TraitementFichier(chemin, cheminApplication, rechercheEffectuee, reponse);
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

bool MoteurRecherche::TraitementFichier(const QString& chemin, const QString& cheminApplication,
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
        !RecupereParametres(chemin, cheminApplication))
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
