// The windows as the view of a download run.
#include "app/VueFenetres.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "app/frmPrincipal.h"
#include "download/JaugeWidget.h"
#include "download/frmPause.h"
#include "download/frmRapport.h"
#include "net/Attente.h"
#include "search/ModeleListe.h"
#include "util/Arret.h"

// Removes downloaded rows from the result list a few times a second rather
// than one by one, and with the selection taken off meanwhile: the selection
// model moves every range it keeps at each removal, which on a selection of
// thousands of separate rows costs more than a small file's transfer. The
// rows still leave while the run goes on, and the rows that stay keep their
// selection.
//
// Rows are named by their place at the start of the run. The run takes them
// in list order and nothing else changes the list meanwhile, so a row's place
// now is its first place less the rows removed so far (all of them above it).
class RetraitsDiffere {
public:
    RetraitsDiffere(QListView& vue, ModeleListe& modele) : vue_(vue), modele_(modele) { depuis_.start(); }
    void Retire(int rangeeDeDepart) {
        enAttente_.push_back(rangeeDeDepart);
        if (depuis_.elapsed() >= intervalle_)
            Applique();
    }
    void Applique() {
        depuis_.start();
        if (enAttente_.empty())
            return;
        // Its cost grows with the rows still selected: the next one waits
        // twenty times as long as this one took (a quarter of a second at
        // least), so that a long run spends at most a twentieth of its time
        // here, whatever the length of its list.
        QElapsedTimer duree;
        duree.start();
        const struct Suivant {
            QElapsedTimer& duree;
            qint64& intervalle;
            ~Suivant() { intervalle = std::max<qint64>(250, 20 * duree.elapsed()); }
        } suivant{duree, intervalle_};
        std::vector<int> retirees;
        retirees.reserve(enAttente_.size());
        for (int depart : enAttente_)
            retirees.push_back(depart - retirees_);
        enAttente_.clear();
        QItemSelectionModel& selection = *vue_.selectionModel();
        // The list is told once, by a repaint, rather than through two changes
        // of selection that each make it work out the place of every range
        // (the main window only follows the selection between operations).
        const QSignalBlocker muet(selection);
        std::vector<int> choisies;
        for (const QItemSelectionRange& plage : selection.selection())
            for (int r = plage.top(); r <= plage.bottom(); ++r)
                choisies.push_back(r);
        std::sort(choisies.begin(), choisies.end());
        selection.clear();
        modele_.RetireRangees(retirees);
        retirees_ += int(retirees.size());
        // Each row that stays moves up by the number of rows removed above it.
        QItemSelection nouvelle;
        size_t avant = 0;
        int debut = -1, fin = -2;
        auto ferme = [&] {
            if (debut >= 0)
                nouvelle.select(modele_.index(debut), modele_.index(fin));
        };
        for (int r : choisies) {
            while (avant < retirees.size() && retirees[avant] < r)
                ++avant;
            if (avant < retirees.size() && retirees[avant] == r)
                continue;
            const int place = r - int(avant);
            if (place != fin + 1) {
                ferme();
                debut = place;
            }
            fin = place;
        }
        ferme();
        selection.select(nouvelle, QItemSelectionModel::Select);
        vue_.viewport()->update();
    }

private:
    QListView& vue_;
    ModeleListe& modele_;
    std::vector<int> enAttente_; // places at the start of the run, in increasing order
    int retirees_ = 0;           // rows removed so far
    QElapsedTimer depuis_;
    qint64 intervalle_ = 250;    // milliseconds between two removals
};

// Spaces out the repaints of a few windows during a run: at most one every
// `intervalle` milliseconds per window. A run of small files changes the
// report and the result list many times between two turns of the event loop
// and turns it hundreds of times a second; drawing the windows each time cost
// more than the transfers. The widgets themselves change at once (their texts,
// selection and state are always exact); only the drawing waits, and whatever
// is pending is drawn when the run ends.
//
// A window whose drawing takes long waits twenty times as long as its last
// drawing took (the interval at least): the result list draws each row after
// asking whether it is selected, a question whose answer walks every range of
// a selection of thousands of separate rows, and a long run must not spend
// more than a twentieth of its time there, whatever the size of its list.
class RepeintsEspaces final : public QObject {
public:
    RepeintsEspaces(std::initializer_list<QWidget*> fenetres, int intervalle) : intervalle_(intervalle) {
        for (QWidget* fenetre : fenetres) {
            fenetres_.push_back({fenetre, QElapsedTimer(), false, intervalle});
            fenetre->installEventFilter(this);
        }
    }
    ~RepeintsEspaces() override {
        for (Fenetre& f : fenetres_) {
            if (!f.fenetre)
                continue;
            f.fenetre->removeEventFilter(this);
            if (f.retenu)
                QCoreApplication::postEvent(f.fenetre, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
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
            if (!f.dernier.isValid() || f.dernier.elapsed() >= f.attente) {
                f.retenu = false;
                // Drawn now, here (the filter is not asked again), timed.
                QElapsedTimer duree;
                duree.start();
                objet->event(evenement);
                f.attente = std::max<qint64>(intervalle_, 20 * duree.elapsed());
                f.dernier.start();
                return true;
            }
            // Held back: the window keeps what is to be drawn and asks for
            // nothing more until it is drawn, so one request later is enough.
            if (!f.retenu) {
                f.retenu = true;
                QPointer<QWidget> fenetre = f.fenetre;
                QTimer::singleShot(int(std::max<qint64>(0, f.attente - f.dernier.elapsed())), this, [fenetre] {
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
        QElapsedTimer dernier; // end of the last drawing
        bool retenu;           // a drawing is held back
        qint64 attente;        // milliseconds from the last drawing to the next
    };
    std::vector<Fenetre> fenetres_;
    qint64 intervalle_;
};

VueFenetres::VueFenetres(frmPrincipal& fenetre)
    : f_(fenetre), suivi_([r = QPointer<frmRapport>(fenetre.Rapport())](const QString& texte) {
          if (r)
              r->MontreProgression(texte);
      }) {
    suivi_.Dessous(f_.Rapport()->Jauge);
}

VueFenetres::~VueFenetres() = default;

void VueFenetres::DebutRun() {
    frmRapport* rapport = f_.Rapport();
    rapport->Vide();
    rapport->MontreProgression(QString());
    const QRect cadre = f_.frameGeometry();
    rapport->move(cadre.x() + cadre.width() + 8, cadre.y());
    rapport->show();
    rapport->ArretTelechargement->setEnabled(true);
    rapport->FixeArret(&ArretRun());
    rapport->EnCours = true;
    retraits_ = std::make_unique<RetraitsDiffere>(*f_.ListeSources, *f_.Resultats);
    repeints_ = std::make_unique<RepeintsEspaces>(std::initializer_list<QWidget*>{&f_, rapport}, 100);
    f_.AfficheSablier();
}

void VueFenetres::AjouteLigne(const QString& texte) { f_.Rapport()->AjouteLigne(texte); }

void VueFenetres::RemplaceLigne(int ligne, const QString& texte, const QString& raison) {
    f_.Rapport()->RemplaceLigne(ligne, texte, raison);
}

void VueFenetres::RemplaceDerniereLigne(const QString& texte, const QString& raison) {
    f_.Rapport()->RemplaceDerniereLigne(texte, raison);
}

void VueFenetres::DebutFichier(int k, int n) { suivi_.Fichier(k, n); }

void VueFenetres::Publie() { f_.Rapport()->MontreDerniereLigne(); }

SurfaceJauge* VueFenetres::Jauge() { return &suivi_; }

void VueFenetres::RangeeTelechargee(int rangee) { retraits_->Retire(rangee); }

void VueFenetres::Pause(int /*secondes*/) {
    // The main and report windows out of sight while the countdown runs
    // (the run's TempsPauseRestant, set by the run).
    QPointer<frmPause> pause = f_.Pause();
    pause->FixeArret(&ArretRun());
    pause->AfficheTemps();
    f_.hide();
    f_.Rapport()->hide();
    pause->show();
    pause->TimerPause->start();
    // A stop from anywhere ends the countdown at once: the pause window's
    // own button, but also the main window's close or a signal.
    while (pause && pause->isVisible() && !ArretRun().Demandee())
        PatienteUnPeu(100);
    if (pause && pause->isVisible())
        pause->Interrompt();
    if (pause)
        pause->FixeArret(nullptr);
    f_.show();
    f_.Rapport()->show();
}

void VueFenetres::AttenteServeur(int secondes) {
    // The same window and stop button; only its text says who asked.
    QPointer<frmPause> pause = f_.Pause();
    const QString texte = pause->LabelPause->text();
    pause->LabelPause->setText(QStringLiteral(
        "Le serveur demande d'attendre avant de lui envoyer la prochaine demande : vos téléchargements "
        "vont être momentanément mis en pause."));
    Pause(secondes);
    if (pause)
        pause->LabelPause->setText(texte);
}

void VueFenetres::FinRun() {
    retraits_->Applique();
    frmRapport* rapport = f_.Rapport();
    rapport->MontreDerniereLigne();
    repeints_.reset();
    rapport->ArretTelechargement->setEnabled(false);
    rapport->FixeArret(nullptr);
    rapport->EnCours = false;
    rapport->MontreProgression(QString());
    f_.AfficheCurseurNormal();
}

void VueFenetres::ListeRecrite(const std::vector<qint32>& nouvelIndice) { f_.Resultats->Renumerote(nouvelIndice); }

void VueFenetres::ListePerdue() { f_.VideResultats(); }
