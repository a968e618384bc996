// The download run from the click on "Télécharger la sélection", against nginx
// (our own server for failures and slow answers), read as a user would.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <functional>
#include <unistd.h>

#include "config/Fonctions_Variables.h"
#include "app/frmPrincipal.h"
#include "download/Lectures.h"
#include "download/frmPause.h"
#include "download/frmRapport.h"
#include "net/Inet.h"
#include "support/EnregistreurMessages.h"
#include "support/EnregistreurShell.h"
#include "support/Programme.h"
#include "support/ServeurTest.h"

namespace {

const QString Question = "Êtes-vous sûr de vouloir interrompre le téléchargement (le fichier commencé "
                         "ne sera pas conservé) ?";

// Calls `quoi` each time `fenetre` is shown.
struct SurApparition final : QObject {
    SurApparition(QWidget* fenetre, std::function<void()> f) : quoi(std::move(f)) { fenetre->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show)
            quoi();
        return false;
    }
    std::function<void()> quoi;
};

class Telechargement : public SuiteNginx<Telechargement> {
protected:
    static void SetUpTestSuite() {
        SuiteNginx::SetUpTestSuite();
        for (const char* nom : {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"})
            EcritFichier(racine->filePath(nom), Motif(2048));
    }

    void SetUp() override { liste = tmp.filePath("Liste.tmp"); }

    // Searches a list whose lines are "address TAB text" (addresses relative
    // to `base`, nginx's by default), then selects the rows given (all when empty).
    std::unique_ptr<frmPrincipal> Prepare(const QByteArray& lignes, const QByteArray& parametres = "",
                                          QString base = QString(), QList<int> choix = {}) {
        EcritFichier(racine->filePath("liste.txt"), lignes);
        for (const QString& n : Destination())
            QFile::remove(dest.filePath(n));
        rec.Vide();
        const QString param = PrepareProgramme(
            app, "REP_TMP=" + tmp.path().toUtf8() + "\r\nFICHIER_LISTE_NOM=" + nginx->Adresse("/liste.txt").toUtf8() +
                     "\r\nAFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\nCOMPARER_LISTE_A_REPERTOIRE=O\r\n"
                     "COL_COMPARAISON_REP=2\r\nEXTENSION_A_COMPARER=*.*\r\nCHEMIN_A_COMPARER=" + app.path().toUtf8() +
                     "\r\nNUM_COLONNE_TELECHARGEE=1\r\nCHEMIN_DESTINATION_FICHIER_SOURCE=" + dest.path().toUtf8() +
                     "\r\nADRESSE_BASE_FICHIERS_SOURCES=" + (base.isEmpty() ? nginx->Adresse("") : base).toUtf8() +
                     "\r\n" + parametres);
        auto f = std::make_unique<frmPrincipal>(app.path());
        EXPECT_EQ(f->Form_Load(param), frmPrincipal::Demarrage::Afficher);
        f->show();
        f->cmdRecherche_Click();
        // What the search tells (a new version found) is not the run's.
        EXPECT_TRUE(std::all_of(rec.messages.begin(), rec.messages.end(),
                                [](const auto& m) { return m.icone == IconeMessage::Information; }))
            << rec.Textes().join('\n').toStdString();
        rec.Vide();
        if (choix.isEmpty())
            f->ListeSources->selectAll();
        for (int i : choix)
            if (i >= 0)
                Choisit(f->ListeSources, i);
        return f;
    }
    QStringList Destination() const { return QDir(dest.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir app, tmp, dest{tmp.filePath("dest-XXXXXX")}; // names leaving dest land in tmp
    QString liste;
    EnregistreurMessages rec;
    EnregistreurShell shell;
};

TEST_F(Telechargement, UneRangeeEnEchecResteSelectionneeLesAutresPartent) {
    // The failures a list can hold, between rows that succeed: a missing file,
    // an empty address, names that would leave the destination folder.
    // The last row, not selected, stays as it was.
    auto f = Prepare("a.bin\tA\tx\r\nabsent.bin\tB\tx\r\nc.bin\tC\t\r\n\tD\tx\r\n"
                     "d.bin\tE\t../evade.bin\r\nd.bin\tF\t" + tmp.filePath("absolu.bin").toUtf8() +
                     "\r\ne.bin\tG\t\r\nb.bin\tH\t\r\n", "NUM_COLONNE_NOUVEAUFICHIER=3\r\n", {}, {0, 1, 2, 3, 4, 5, 6});
    const QList<QByteArray> lignes = LitFichier(liste).split('\n');
    f->cmdTelechargeSelection->click();
    frmRapport* r = f->Rapport();
    EXPECT_EQ(Textes(r->List1), (QStringList{"[OK] A (2 Ko)", "[Erreur] B", "[OK] C (2 Ko)", "[Erreur] D",
                                             "[Erreur] E", "[Erreur] F", "[OK] G (2 Ko)"}));
    EXPECT_EQ(Bulle(r->List1, 3), "aucune adresse dans la ligne de la liste");
    EXPECT_TRUE(Bulle(r->List1, 4).endsWith(": ../evade.bin"));
    EXPECT_TRUE(r->TexteDesLignes().startsWith("[OK] A (2 Ko)\n[Erreur] B\terreur HTTP 404 : fichier introuvable\n"));
    // Named from the third column when it has one, from the address otherwise.
    EXPECT_EQ(Destination(), (QStringList{"c.bin", "e.bin", "x"}));
    EXPECT_FALSE(QFile::exists(tmp.filePath("evade.bin")) || QFile::exists(tmp.filePath("absolu.bin")));
    // The failed rows stay, selected, in the list and its copy.
    EXPECT_EQ(Textes(f->ListeSources, true), (QStringList{"B*", "D*", "E*", "F*", "H"}));
    EXPECT_EQ(LitFichier(liste), lignes[1] + '\n' + lignes[3] + '\n' + lignes[4] + '\n' + lignes[5] + '\n' + lignes[7] + '\n');
    EXPECT_EQ(rec.Textes(), QStringList{"3 fichiers téléchargés avec succès."});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Information);
    EXPECT_EQ(f->LabelSelection->text(), "Aucune sélection");
    EXPECT_TRUE(f->isEnabled() && f->isVisible() && r->isVisible());
    EXPECT_TRUE(shell.appels.isEmpty());
}

// Nothing selected: said, and nothing done. (Runs where everything fails, or
// one file arrives, are told by the engine; the window's end after the one
// file opened: ArretPendantUnTransfertLent.)
TEST_F(Telechargement, AucuneSelection) {
    auto f = Prepare("a.bin\tA\r\n", "", QString(), {-1});
    f->cmdTelechargeSelection->click();
    EXPECT_EQ(rec.Textes(), QStringList{"Aucune sélection effectuée !"});
    EXPECT_EQ(Nombre(f->Rapport()->List1), 0);
    EXPECT_TRUE(Destination().isEmpty());
    EXPECT_TRUE(f->isVisible() && f->isEnabled());
}

// A stop asked during a slow transfer from the report: refused once, then
// confirmed by its close button. (By closing the main window:
// ArretPendantUneAttente; the window open until the run has unwound: the
// search's tests, the same close.)
TEST_F(Telechargement, ArretPendantUnTransfertLent) {
    ServeurTest serveur;
    serveur.Repond("*", "/un", ReponseTest::Ok(Motif(1000)));
    serveur.Repond("*", "/lent", {.corps = Motif(400000), .goutteOctets = 20000, .goutteDelaiMs = 100});
    // One file at a time: the third row never starts.
    auto f = Prepare("un\tUn\r\nlent\tLent\r\nun\tTrois\r\n",
                     "LANCER_APRES_TELECHARGEMENT=O\r\nTRANSFERTS_SIMULTANES=1\r\n", serveur.Adresse("/"));
    frmRapport* r = f->Rapport();
    bool actifApresRefus = false;
    QObject contexte;
    QTimer::singleShot(600, &contexte, [&] {
        rec.RepondNon();
        r->ArretTelechargement->click();
        actifApresRefus = r->ArretTelechargement->isEnabled();
        rec.RepondOui();
        r->close(); // the close button during a run is the stop button
    });
    f->cmdTelechargeSelection->click();
    EXPECT_TRUE(actifApresRefus);
    EXPECT_EQ(Textes(r->List1), (QStringList{"[OK] Un (1000 octets)", "[Arrêt demandé] Lent"}));
    EXPECT_EQ(rec.Textes(), (QStringList{Question, Question, "Un fichier téléchargé avec succès."}));
    EXPECT_FALSE(r->ArretTelechargement->isEnabled());
    EXPECT_EQ(Destination(), QStringList{"un"});
    // The one file is opened, the settings saved, the program ended.
    EXPECT_EQ(shell.appels, QStringList{"open|" + dest.filePath("un") + "||" + dest.path() + "/|1"});
    EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
    EXPECT_FALSE(f->isVisible() || r->isVisible());
}

// The pause window, for a server that asks to wait (429, Retry-After: 2; its
// text says who asked) and for the service's pauses (its own text, back):
// the countdown, the other windows out of sight meanwhile and back after,
// the report never behind, and its stop button, which ends the run there.
// (The rules are the engine's.)
TEST_F(Telechargement, FenetreDePause) {
    ServeurTest serveur;
    serveur.RepondSuite("GET", "/a", {{.statut = 429, .entetes = "Retry-After: 2\r\n"}, ReponseTest::Ok(Motif(2048))});
    for (const char* nom : {"/b", "/c"})
        serveur.Repond("GET", nom, ReponseTest::Ok(Motif(2048)));
    auto f = Prepare("a\tA\r\nb\tB\r\nc\tC\r\n", "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\n"
                     "NB_FICHIERS_TELECHARGES_AVANT_PAUSE=1\r\nDUREE_PAUSE_ENTRE_TELECHARGEMENT=2\r\n", serveur.Adresse("/"));
    frmPause* p = f->Pause();
    const QString texteService = p->LabelPause->text();
    QObject contexte;
    // For each pause: whose it is and the last report line when it appears,
    // then its caption then and after each second.
    QList<QStringList> pauses;
    bool cachees = true;
    QObject::connect(p->TimerPause, &QTimer::timeout, &contexte, [&] {
        cachees = cachees && !f->isVisible() && !f->Rapport()->isVisible();
        if (pauses.size() == 3 && pauses.last().size() == 3) { // the second service pause, at once
            rec.RepondOui();
            p->ArretTelechargement->click();
        }
        pauses.last().append(p->lblTempsRestant->text());
    });
    SurApparition apparition(p, [&] {
        pauses.append({p->LabelPause->text() == texteService ? "service" : p->LabelPause->text(),
                       Textes(f->Rapport()->List1).value(Nombre(f->Rapport()->List1) - 1), p->lblTempsRestant->text()});
    });
    f->cmdTelechargeSelection->click();
    const QString serveurDemande = "Le serveur demande d'attendre avant de lui envoyer la prochaine demande : vos "
                                   "téléchargements vont être momentanément mis en pause.";
    EXPECT_EQ(pauses, (QList<QStringList>{{serveurDemande, "[En cours] A", "2 secondes", "1 seconde", "0 seconde"},
                                          {"service", "[OK] A (2 Ko)", "2 secondes", "1 seconde", "0 seconde"},
                                          {"service", "[OK] B (2 Ko)", "2 secondes", "0 seconde"}}));
    EXPECT_TRUE(cachees);
    EXPECT_TRUE(f->isVisible() && f->Rapport()->isVisible());
    EXPECT_EQ(Textes(f->Rapport()->List1), (QStringList{"[OK] A (2 Ko)", "[OK] B (2 Ko)"}));
    EXPECT_EQ(rec.Textes().last(), "2 fichiers téléchargés avec succès.");
    EXPECT_EQ(Destination(), (QStringList{"a", "b"}));
    EXPECT_EQ(LitFichier(liste), "c\tC\r\n");
    EXPECT_EQ(serveur.Requetes("GET", "/a").size(), 2);
}

// A stop from elsewhere than the pause window ends a pause (SIGTERM, which
// asks nothing: nobody may be there) or a server's wait (the main window's
// close, confirmed, as the stop button does) at once, not when its 40 s have
// run out; the run ends, the window closes and the settings are saved.
TEST_F(Telechargement, ArretPendantUneAttente) {
    ServeurTest serveur;
    for (const char* nom : {"/a", "/b"})
        serveur.Repond("*", nom, ReponseTest::Ok(Motif(2048)));
    serveur.Repond("*", "/occupe", {.statut = 429, .entetes = "Retry-After: 40\r\n"});
    // A pause of 40 s ended by SIGTERM; the server's wait, one file at a time so
    // that the one after the busy file waits too, ended by the close.
    for (const bool signal : {true, false}) {
        SCOPED_TRACE(signal ? "pause, SIGTERM" : "serveur, fermeture");
        auto f = signal ? Prepare("a\tA\r\nb\tB\r\n", "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\n"
                                  "NB_FICHIERS_TELECHARGES_AVANT_PAUSE=1\r\nDUREE_PAUSE_ENTRE_TELECHARGEMENT=40\r\n",
                                  serveur.Adresse("/"))
                        : Prepare("a\tA\r\noccupe\tO\r\nb\tB\r\n", "TRANSFERTS_SIMULTANES=1\r\n", serveur.Adresse("/"));
        QFile::remove(app.filePath("Ramag.ini"));
        if (signal)
            f->ArreteSurSignaux(); // as the program does
        QElapsedTimer depuisArret;
        QString progression;
        SurApparition apparition(f->Pause(), [&] {
            progression = f->Rapport()->lblProgression->text();
            QTimer::singleShot(300, f.get(), [&] { // the countdown running
                depuisArret.start();
                if (signal) {
                    ::kill(::getpid(), SIGTERM);
                } else {
                    rec.RepondOui();
                    f->close();
                }
            });
        });
        f->cmdTelechargeSelection->click();
        // A behaviour, not a speed: the 40 s were not waited out.
        ASSERT_TRUE(depuisArret.isValid());
        EXPECT_LT(depuisArret.elapsed(), 10000);
        EXPECT_EQ(Textes(f->Rapport()->List1),
                  signal ? QStringList{"[OK] A (2 Ko)"} : (QStringList{"[OK] A (2 Ko)", "[Arrêt demandé] O"}));
        // The report's progress line when the wait began.
        EXPECT_TRUE(progression.startsWith(signal ? "Fichier 1 sur 2" : "Fichier 2 sur 3")) << progression.toStdString();
        EXPECT_EQ(f->Rapport()->lblProgression->text(), ""); // the run is over
        EXPECT_EQ(f->Pause()->lblTempsRestant->text(), "0 seconde");
        // After a signal the summary goes to standard error: no box waits for a click.
        EXPECT_EQ(rec.Textes(), signal ? QStringList() : (QStringList{Question, "Un fichier téléchargé avec succès."}));
        EXPECT_EQ(Destination(), QStringList{"a"});
        EXPECT_TRUE(serveur.Requetes("GET", "/b").isEmpty());
        EXPECT_TRUE(AttendQue([&] { return !f->isVisible(); }, 5000));
        EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
    }
}


// Answers the pause's stop question the way a user who reads slowly would:
// the question stays open (its own turn of the event loop, as a message box's)
// until the countdown has closed the pause window, then "Oui".
struct LecteurLent final : GestionnaireMessages {
    explicit LecteurLent(frmPrincipal& f) : f(f), precedent(InstalleGestionnaireMessages(this)) {}
    ~LecteurLent() override { InstalleGestionnaireMessages(precedent); }
    ReponseMessage Affiche(const QString& texte, IconeMessage, BoutonsMessage boutons, const QString&) override {
        textes << texte;
        if (boutons != BoutonsMessage::OuiNon)
            return ReponseMessage::Ok;
        pauseOuverte = f.Pause()->isVisible();
        AttendQue([&] { return !f.Pause()->isVisible(); }, 10000);
        return ReponseMessage::Oui;
    }
    bool Demande(const QString&, const QString&, QString&) override { return false; }
    frmPrincipal& f;
    GestionnaireMessages* precedent;
    QStringList textes;
    bool pauseOuverte = false;
};

} // namespace

// Inside the program's own event loop: the pause's countdown ends while its
// stop question is open, when no other window is in sight. The program must
// not end there: the answer is honoured (no row after the pause), the summary
// shows, and the program lives on until its main window is closed, which
// saves Ramag.ini.
TEST_F(Telechargement, PauseFinieSousUneQuestionDansLaBoucleDuProgramme) {
    auto f = Prepare("a.bin\tA\r\nb.bin\tB\r\nc.bin\tC\r\n",
                     "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=1\r\n"
                     "DUREE_PAUSE_ENTRE_TELECHARGEMENT=1\r\n");
    QFile::remove(app.filePath("Ramag.ini"));
    LecteurLent lecteur(*f);
    SurApparition pause(f->Pause(), [&] {
        QTimer::singleShot(0, f->Pause(), [&] { f->Pause()->ArretTelechargement->click(); });
    });
    bool fini = false, vivantApres = false;
    QObject contexte;
    QTimer::singleShot(0, &contexte, [&] {
        f->cmdTelechargeSelection->click();
        fini = true;
        // Still running a while after the run: then the user closes the window.
        QTimer::singleShot(300, &contexte, [&] {
            vivantApres = true;
            f->close();
        });
    });
    QTimer::singleShot(30000, &contexte, [] { QCoreApplication::exit(2); }); // a guard, never reached
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(fini);
    EXPECT_TRUE(vivantApres);
    EXPECT_TRUE(lecteur.pauseOuverte);
    EXPECT_EQ(lecteur.textes, (QStringList{"Êtes-vous sûr de vouloir interrompre le téléchargement ?",
                                           "Un fichier téléchargé avec succès."}));
    EXPECT_EQ(Textes(f->Rapport()->List1), QStringList{"[OK] A (2 Ko)"});
    EXPECT_EQ(Destination(), QStringList{"a.bin"});
    EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
}
