// The search: from "Lancer la recherche" to a filled result list, and the
// selection summary under that list.
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "config/Fonctions_Variables.h"
#include "app/JaugeWidget.h"
#include "app/frmPrincipal.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Math.h"
#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Texte.h"

namespace {

QString CheminListe() { return LitVariable(QStringLiteral("REP_TMP")) + QStringLiteral("Liste.tmp"); }

// A row shows at most this much of its column: the whole line stays in the list
// file, and a list box row of megabytes would only stall the drawing.
constexpr qsizetype LongueurAffichee = 4096;

} // namespace

void frmPrincipal::cmdRecherche_Click() {
    if (OperationEnCours() != Operation::Aucune)
        return; // a click or the start-up timer during a search or a run
    const QString adresse = LitVariable(QStringLiteral("FICHIER_LISTE_NOM"));
    if (adresse.isEmpty()) {
        MsgBox(QStringLiteral("Aucun fichier liste spécifié !"), IconeMessage::Exclamation);
        return;
    }
    if (TypeConnexion[1]->isChecked())
        ParametreConnexion(*Inet1, true, AdresseProxy->text(), HTTPProxy->text(),
                           FTPProxy->text(), QString(), QString());
    const GardeOperation garde(*this, Operation::Recherche);
    InitialiseJauge(*Jauge);
    AfficheSablier();

    const QString chemin = CheminListe();
    QString copieAdresse = adresse;
    double taille = 0;
    bool redirige = false;
    if (!TelechargeFichier(*Inet1, copieAdresse, chemin, false, -1, Jauge, taille, redirige)) {
        // A search stopped by closing the window is not a failure to report.
        if (!FermetureDemandee())
            MsgBox(QStringLiteral("Echec lors de la recherche !"), IconeMessage::Critique);
    } else if (TailleFichier(chemin) == 0) {
        MsgBox(QStringLiteral("Pas de données disponibles sur le site."), IconeMessage::Critique);
    } else if (!TraitementFichier(chemin)) {
        EffaceFichier(chemin, false);
    }
    AfficheCurseurNormal();
}

bool frmPrincipal::TraitementFichier(const QString& chemin) {
    bool reponse = true;
    ConvertitFinsDeLigne(chemin, chemin + QStringLiteral("2"));

    if (VariableOui(QStringLiteral("RECUPERE_PARAMETRES_LISTE")) &&
        !RecupereParametres(chemin, CheminApplication))
        return false;

    if (VariableOui(QStringLiteral("COMPARER_LISTE_A_REPERTOIRE")) &&
        ComparaisonRepertoire(chemin, reponse))
        RechercheEffectuee = true;
    if (VariableOui(QStringLiteral("COMPARER_LISTE_A_IDENTIFIANT")) &&
        ComparaisonIdentifiant(chemin, reponse))
        RechercheEffectuee = true;
    if (VariableOui(QStringLiteral("COMPARER_LISTE_A_VERSION")) && reponse &&
        ComparaisonVersion(chemin, reponse))
        RechercheEffectuee = true;

    if (VariableOui(QStringLiteral("COMPARER_CONSERVER_LIENS_HTTP")) && reponse &&
        ModeLiens(chemin) > 0)
        RechercheEffectuee = true;

    if (RechercheEffectuee && reponse) {
        ListeSources->clear();
        if (VariableOui(QStringLiteral("AFFICHE_RESULTAT"))) {
            const int colonne = EntierSouple(LitVariable(QStringLiteral("NUM_COLONNE_AFFICHEE")));
            QStringList lignes;
            LitLignesListe(chemin, lignes);
            QStringList rangees = ColonneDesLignes(lignes, colonne);
            for (QString& r : rangees)
                if (r.size() > LongueurAffichee)
                    r = r.left(LongueurAffichee) + QChar(0x2026);
            ListeSources->addItems(rangees);
            SelectionneTout->setVisible(ListeSources->count() > 1);
            Onglets->setTabEnabled(2, true);
            Onglets->setCurrentIndex(2);
        }
    }
    return reponse;
}

int frmPrincipal::InfoSelection() {
    const bool tailleVoulue = VariableOui(QStringLiteral("CALCULER_TAILLE_SELECTION"));
    const int colonne = tailleVoulue ? EntierSouple(LitVariable(QStringLiteral("COLONNE_TAILLE"))) : 0;
    const QString chemin = CheminListe();
    if (!FichierExiste(chemin)) {
        MsgBox(QStringLiteral("La liste des fichiers du serveur n'est plus disponible !"),
               IconeMessage::Exclamation);
        Onglets->setTabEnabled(2, false);
        Onglets->setCurrentIndex(1);
        return 0;
    }
    QFile fichier(chemin);
    const QString contenu = fichier.open(QIODevice::ReadOnly) ? DecodeTexte(fichier.readAll()) : QString();
    std::vector<bool> selection(size_t(ListeSources->count()), false);
    for (const QItemSelectionRange& plage : ListeSources->selectionModel()->selection())
        for (int r = plage.top(); r <= plage.bottom(); ++r)
            selection[size_t(r)] = true;
    const ResumeSelection resume = CalculeSelection(contenu, selection, tailleVoulue, colonne);
    QString texte = Pluriel(resume.nombre, QStringLiteral("# sélection"), QStringLiteral("# sélections"));
    if (tailleVoulue)
        texte += QStringLiteral(" - ") + FormateTaille(resume.total, false);
    LabelSelection->setText(texte);
    return resume.nombre;
}

void frmPrincipal::SelectionneTout_Click() {
    ListeSources->selectAll();
    TimerCalcul->stop();
    InfoSelection();
}
