// Downloading the selection: from "Télécharger la sélection" to the summary,
// one row after the other, with the report window, the pauses between
// downloads, and the end of the run (open the one file, or its folder).
//
// A run holds the list copy's lines in memory: it marks the downloaded rows'
// lines there and rewrites the copy once, through its work file, when the run
// ends (stopped or not). Nothing else reads the copy during a run, so the file
// ends exactly as per-row rewrites would leave it, in time linear in its size.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <deque>
#include <initializer_list>
#include <optional>
#include <vector>

#include "config/Fonctions_Variables.h"
#include "app/JaugeWidget.h"
#include "app/frmPrincipal.h"
#include "download/Fonctions_LanceFichier.h"
#include "download/frmPause.h"
#include "download/frmRapport.h"
#include "html/Fonctions_Chemin.h"
#include "net/Attente.h"
#include "net/Fonctions_Internet_INET.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/Fonctions_Messages.h"
#include "util/ModuleRamaglin.h"

namespace {

const QString Tab = QStringLiteral("\t");
const QString Marque = QStringLiteral("<Supprimé>");

QString Variable(const char* nom) { return LitVariable(QString::fromLatin1(nom)); }

// One selected row of the run.
struct Rangee {
    QString texte; // as shown in the result list
    int ligne = 0; // its line in the list copy, from 1 (its first place in the list + 1)
};

// Removes downloaded rows from the result list a few times a second rather
// than one by one, and with the selection taken off meanwhile: each removal
// makes the list lay all its rows out again, and the model move every index
// kept on its rows (the selection's), which on a list of 100,000 rows costs
// more than a small file's transfer. The rows still leave while the run goes
// on, and the rows that stay keep their selection.
//
// Rows are named by their place at the start of the run. The run takes them
// in list order and nothing else changes the list meanwhile, so a row's place
// now is its first place less the rows removed so far (all of them above it).
class RetraitsDiffere {
public:
    explicit RetraitsDiffere(QListWidget& liste) : liste_(liste) { depuis_.start(); }
    void Retire(int rangeeDeDepart) {
        enAttente_.push_back(rangeeDeDepart);
        if (depuis_.elapsed() >= 250)
            Applique();
    }
    void Applique() {
        depuis_.start();
        if (enAttente_.empty())
            return;
        // Hidden from the view meanwhile: it would otherwise lay the whole list
        // out again to work out the area of each selection change, twice per
        // kept range; it is drawn once afterwards instead.
        liste_.setUpdatesEnabled(false);
        const struct Reaffiche {
            QListWidget& liste;
            ~Reaffiche() { liste.setUpdatesEnabled(true); }
        } reaffiche{liste_};
        std::vector<int> retirees;
        for (int depart : enAttente_)
            retirees.push_back(depart - retirees_);
        enAttente_.clear();
        std::vector<int> choisies;
        for (const QItemSelectionRange& plage : liste_.selectionModel()->selection())
            for (int r = plage.top(); r <= plage.bottom(); ++r)
                choisies.push_back(r);
        std::sort(choisies.begin(), choisies.end());
        liste_.clearSelection();
        for (auto it = retirees.rbegin(); it != retirees.rend(); ++it)
            delete liste_.takeItem(*it);
        retirees_ += int(retirees.size());
        // Each row that stays moves up by the number of rows removed above it.
        QItemSelection selection;
        size_t avant = 0;
        int debut = -1, fin = -2;
        auto ferme = [&] {
            if (debut >= 0)
                selection.select(liste_.model()->index(debut, 0), liste_.model()->index(fin, 0));
        };
        for (int r : choisies) {
            while (avant < retirees.size() && retirees[avant] < r)
                ++avant;
            if (avant < retirees.size() && retirees[avant] == r)
                continue;
            const int nouvelle = r - int(avant);
            if (nouvelle != fin + 1) {
                ferme();
                debut = nouvelle;
            }
            fin = nouvelle;
        }
        ferme();
        liste_.selectionModel()->select(selection, QItemSelectionModel::Select);
    }

private:
    QListWidget& liste_;
    std::vector<int> enAttente_; // places at the start of the run, in increasing order
    int retirees_ = 0;           // rows removed so far
    QElapsedTimer depuis_;
};

// Spaces out the repaints of a few windows during a run: at most one every
// `intervalle` milliseconds per window. A run of small files changes the
// report and the result list many times between two turns of the event loop
// and turns it hundreds of times a second; drawing the windows each time cost
// more than the transfers. The widgets themselves change at once (their texts,
// selection and state are always exact); only the drawing waits, never longer
// than the interval, and whatever is pending is drawn when the run ends.
class RepeintsEspaces final : public QObject {
public:
    RepeintsEspaces(std::initializer_list<QWidget*> fenetres, int intervalle)
        : intervalle_(intervalle) {
        for (QWidget* fenetre : fenetres) {
            fenetres_.push_back({fenetre, QElapsedTimer(), false});
            fenetre->installEventFilter(this);
        }
    }
    ~RepeintsEspaces() override {
        for (Fenetre& f : fenetres_) {
            if (!f.fenetre)
                continue;
            f.fenetre->removeEventFilter(this);
            if (f.retenu)
                QCoreApplication::postEvent(f.fenetre, new QEvent(QEvent::UpdateRequest),
                                            Qt::LowEventPriority);
        }
    }
    RepeintsEspaces(const RepeintsEspaces&) = delete;
    RepeintsEspaces& operator=(const RepeintsEspaces&) = delete;

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override {
        if (evenement->type() != QEvent::UpdateRequest)
            return false;
        for (Fenetre& f : fenetres_) {
            if (f.fenetre != objet)
                continue;
            if (!f.dernier.isValid() || f.dernier.elapsed() >= intervalle_) {
                f.dernier.start();
                f.retenu = false;
                return false; // drawn now
            }
            // Held back: the window keeps what is to be drawn and asks for
            // nothing more until it is drawn, so one request later is enough.
            if (!f.retenu) {
                f.retenu = true;
                QPointer<QWidget> fenetre = f.fenetre;
                QTimer::singleShot(int(intervalle_ - f.dernier.elapsed()), this, [fenetre] {
                    if (fenetre)
                        QCoreApplication::postEvent(fenetre, new QEvent(QEvent::UpdateRequest),
                                                    Qt::LowEventPriority);
                });
            }
            return true;
        }
        return false;
    }

private:
    struct Fenetre {
        QPointer<QWidget> fenetre;
        QElapsedTimer dernier; // last drawing let through
        bool retenu;           // a drawing is held back
    };
    std::vector<Fenetre> fenetres_;
    qint64 intervalle_;
};

} // namespace

frmRapport* frmPrincipal::Rapport() {
    if (!rapport_) {
        rapport_ = new frmRapport;
        connect(this, &frmPrincipal::fermeRapport, rapport_, [r = rapport_] {
            r->EnCours = false;
            r->close();
        });
        connect(this, &frmPrincipal::arretDemande, rapport_,
                [r = rapport_] { r->ArretTelechargement->setEnabled(false); });
    }
    return rapport_;
}

frmPause* frmPrincipal::Pause() {
    if (!pause_)
        pause_ = new frmPause;
    return pause_;
}

// The pause between downloads, of TempsPauseRestant seconds: the main and
// report windows out of sight while the countdown runs.
static void PauseDesTelechargements(frmPrincipal& f) {
    frmPause* pause = f.Pause();
    pause->AfficheTemps();
    f.hide();
    f.Rapport()->hide();
    pause->show();
    pause->TimerPause->start();
    while (pause->isVisible())
        PatienteUnPeu(100);
    f.show();
    f.Rapport()->show();
}

void frmPrincipal::cmdTelechargeSelection_Click() {
    if (OperationEnCours() != Operation::Aucune)
        return;
    if (InfoSelection() == 0) {
        MsgBox(QStringLiteral("Aucune sélection effectuée !"), IconeMessage::Exclamation);
        return;
    }
    const QString texteColonne = Variable("NUM_COLONNE_TELECHARGEE");
    if (!EstNombre(texteColonne.trimmed()) || ValeurNombre(texteColonne.trimmed()) < 1) {
        MsgBox(QStringLiteral("La variable NUM_COLONNE_TELECHARGEE doit être un numéro de "
                              "colonne (1 ou plus) : « ") +
                   texteColonne + QStringLiteral(" » ne convient pas."),
               IconeMessage::Critique);
        return;
    }
    const int colonne = Entier16(ValeurNombre(texteColonne.trimmed()));
    const QString destination = AvecSeparateurFinal(Variable("CHEMIN_DESTINATION_FICHIER_SOURCE"));
    if (!QFileInfo(destination).isDir()) {
        MsgBox(QStringLiteral("Le chemin de destination ") + destination +
                   QStringLiteral(" n'existe pas !"),
               IconeMessage::Exclamation);
        return;
    }
    QString base = Variable("ADRESSE_BASE_FICHIERS_SOURCES");
    if (!base.isEmpty() && !base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    int succes = 0;
    QString dernierFichier; // what the last row counted as downloaded left
    bool dernierDecompresse = false; // an archive unpacked there (and deleted)
    bool terminer = false;
    {
        const GardeOperation garde(*this, Operation::Telechargement);
        TimerCalcul->stop();
        if (TypeConnexion[1]->isChecked())
            ParametreConnexion(*Inet1, true, AdresseProxy->text(), HTTPProxy->text(),
                               FTPProxy->text(), QString(), QString());

        frmRapport* rapport = Rapport();
        rapport->List1->clear();
        const QRect cadre = frameGeometry();
        rapport->move(cadre.x() + cadre.width() + 8, cadre.y());
        rapport->show();
        rapport->ArretTelechargement->setEnabled(true);
        rapport->EnCours = true;

        // The selected rows, in list order.
        std::deque<Rangee> rangees;
        std::vector<bool> choisie(size_t(ListeSources->count()), false);
        for (const QItemSelectionRange& plage : ListeSources->selectionModel()->selection())
            for (int r = plage.top(); r <= plage.bottom(); ++r)
                choisie[size_t(r)] = true;
        for (int r = 0; r < int(choisie.size()); ++r)
            if (choisie[size_t(r)])
                rangees.push_back({ListeSources->item(r)->text(), r + 1});

        const QString cheminListe = Variable("REP_TMP") + QStringLiteral("Liste.tmp");
        QStringList lignes;
        LitLignesListe(cheminListe, lignes);
        std::vector<bool> marquee(size_t(lignes.size()), false);

        RetraitsDiffere retraits(*ListeSources);
        std::optional<RepeintsEspaces> repeints;
        repeints.emplace(std::initializer_list<QWidget*>{this, rapport}, 50);
        AfficheSablier();
        double cumul = 0;
        int compteurPause = 0;
        ArretDemande = false;

        while (!rangees.empty() && !ArretDemande) {
            const Rangee rangee = rangees.front();
            rangees.pop_front();
            const int n = rangee.ligne;
            // The line read last when the copy has fewer lines than n.
            const QString ligne = lignes.isEmpty() ? QString()
                                  : lignes[std::clamp<qsizetype>(n, 1, lignes.size()) - 1];
            InitialiseJauge(*rapport->Jauge);

            const QString champ = ExtraitColonne(ligne, colonne, Tab);
            QString adresse = base + champ;
            QString nom;
            const QString colonneNom = Variable("NUM_COLONNE_NOUVEAUFICHIER");
            if (!colonneNom.isEmpty())
                nom = ExtraitColonne(ligne, EntierSouple(colonneNom), Tab);
            if (nom.isEmpty())
                nom = NomFichierChemin(champ);
            const QString fichier = destination + nom;

            rapport->AjouteLigne(QStringLiteral("[En cours] ") + rangee.texte);
            // A turn of the event loop at most every few milliseconds: the stop
            // button is served as soon, without a repaint per small file.
            CedeDeTempsEnTemps();

            QString raison;
            double taille = 0;
            bool redirige = false;
            bool reussi = false;
            if (ArretDemande) {
                // Confirmed during the yield: the fetch would forget it.
            } else if (champ.isEmpty()) {
                raison = QStringLiteral("aucune adresse dans la ligne de la liste");
            } else if (!NomDansDossier(nom)) {
                raison = QStringLiteral("nom de fichier refusé (hors du dossier de destination) : ") + nom;
            } else {
                reussi = TelechargeFichier(*Inet1, adresse, fichier, false, -1, rapport->Jauge,
                                           taille, redirige, &raison);
            }
            if (!reussi) {
                if (ArretDemande)
                    rapport->RemplaceDerniereLigne(QStringLiteral("[Arrêt demandé] ") + rangee.texte);
                else
                    rapport->RemplaceDerniereLigne(QStringLiteral("[Erreur] ") + rangee.texte, raison);
                CedeDeTempsEnTemps();
                continue;
            }
            const double octets = double(TailleFichier(fichier));
            rapport->RemplaceDerniereLigne(QStringLiteral("[OK] ") + rangee.texte + QStringLiteral(" (") +
                                           FormateTaille(octets, false) + QLatin1Char(')'));
            cumul += octets;

            bool compte = true;
            if (Variable("CONSERVER_LIEN_TELECHARGE") == QLatin1String("N"))
                compte = RetelechargeLienDeSelection(fichier, destination);
            if (!compte)
                continue;

            ++succes;
            // Through a link page, the page is gone: what counts is the last
            // linked file kept.
            const bool viaLien = Variable("CONSERVER_LIEN_TELECHARGE") == QLatin1String("N");
            dernierFichier = viaLien ? DernierLien : fichier;
            dernierDecompresse = viaLien && DernierLienDecompresse;
            retraits.Retire(n - 1);
            if (n >= 1 && n <= int(marquee.size()))
                marquee[size_t(n - 1)] = true;
            ++compteurPause;

            if (rangees.empty() || ArretDemande)
                continue; // no pause after the last row
            if (Variable("PAUSE_SELON_TAILLE") == QLatin1String("O")) {
                const double seuil = NombreSouple(Variable("TAILLE_DECLENCHE_PAUSE"));
                if (seuil <= std::trunc(cumul / 1024)) {
                    cumul = 0;
                    TempsPauseRestant = EntierSouple(Variable("DUREE_PAUSE_SELON_TAILLE"));
                    // A pause of no length would count below 0 for ever: none.
                    if (TempsPauseRestant > 0)
                        PauseDesTelechargements(*this);
                }
            }
            if (Variable("PAUSE_ENTRE_CHAQUE_TELECHARGEMENT") == QLatin1String("O") && !ArretDemande) {
                // Every n files; n of 0 (empty, not a number) never pauses.
                const int tous = EntierSouple(Variable("NB_FICHIERS_TELECHARGES_AVANT_PAUSE"));
                if (tous != 0 && compteurPause % tous == 0) {
                    const QString duree = Variable("DUREE_PAUSE_ENTRE_TELECHARGEMENT");
                    TempsPauseRestant = duree.isEmpty() ? 2 : EntierSouple(duree);
                    if (TempsPauseRestant > 0)
                        PauseDesTelechargements(*this);
                }
            }
        }

        retraits.Applique();
        rapport->MontreDerniereLigne();
        repeints.reset();
        // The downloaded rows' lines leave the list copy, through its work file.
        QStringList gardees;
        gardees.reserve(lignes.size());
        for (qsizetype i = 0; i < lignes.size(); ++i)
            if (!marquee[size_t(i)] && lignes[i].left(10) != Marque)
                gardees.append(lignes[i]);
        RecritListe(cheminListe, gardees, QStringLiteral(".tmp"));

        rapport->ArretTelechargement->setEnabled(false);
        rapport->EnCours = false;
        AfficheCurseurNormal();
        MsgBox(succes == 0   ? QStringLiteral("Aucun fichier téléchargé.")
               : succes == 1 ? QStringLiteral("Un fichier téléchargé avec succès.")
                             : QString::number(succes) +
                                   QStringLiteral(" fichiers téléchargés avec succès."),
               IconeMessage::Information);
        LabelSelection->setText(QStringLiteral("Aucune sélection"));
        TimerCalcul->stop();

        if (succes == 1 && !FermetureDemandee()) {
            QString verbe, parametres, dossier;
            bool attendre = false;
            if (Variable("LANCER_APRES_TELECHARGEMENT") == QLatin1String("O") && !dernierDecompresse) {
                verbe = QStringLiteral("open");
                LanceFichier(QLatin1Char('"') + dernierFichier + QLatin1Char('"'), true, verbe,
                             parametres, dossier, QStringLiteral("2"), attendre);
                terminer = true;
            } else if (Variable("COMPARER_LISTE_A_VERSION") == QLatin1String("O") ||
                       Variable("LANCER_APRES_TELECHARGEMENT") == QLatin1String("O")) {
                verbe = QStringLiteral("explore");
                LanceFichier(QLatin1Char('"') + RepertoireChemin(dernierFichier) + QLatin1Char('"'),
                             true, verbe, parametres, dossier, QStringLiteral("2"), attendre);
                terminer = true;
            }
        }
    }
    // The guard has given the window back; ending the program closes it, which
    // saves the settings.
    if (terminer)
        close();
}
