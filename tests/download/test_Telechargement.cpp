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

#include "app/frmPrincipal.h"
#include "download/Lectures.h"
#include "download/frmPause.h"
#include "download/frmRapport.h"
#include "support/EnregistreurMessages.h"
#include "support/EnregistreurShell.h"
#include "support/Programme.h"
#include "support/ServeurTest.h"

namespace {

QByteArray Pauses(int secondes) {
    return "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=1\r\n"
           "DUREE_PAUSE_ENTRE_TELECHARGEMENT=" + QByteArray::number(secondes) + "\r\n";
}

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

    // Searches a list whose lines are "address TAB text" (addresses relative
    // to `base`, nginx's by default), then selects every row unless told not to.
    std::unique_ptr<frmPrincipal> Prepare(const QByteArray& lignes, const QByteArray& parametres = "",
                                          QString base = QString(), bool tout = true) {
        EcritFichier(racine->filePath("liste.txt"), lignes);
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
        rec.Vide(); // what the search said is not the run's
        if (tout)
            f->ListeSources->selectAll();
        return f;
    }

    QTemporaryDir app, tmp, dest{tmp.filePath("dest-XXXXXX")}; // names leaving dest land in tmp
    EnregistreurMessages rec;
    EnregistreurShell shell;
};

// Nothing selected: said, nothing done. Then the failures (a missing file, no
// address, names leaving the destination) stay selected in the list and its
// copy, the others go (named by the third column, else the address); the row
// not selected stays as it was.
TEST_F(Telechargement, UneRangeeEnEchecResteSelectionneeLesAutresPartent) {
    auto f = Prepare("a.bin\tA\tx\r\nabsent.bin\tB\tx\r\n\tD\tx\r\nd.bin\tE\t../evade.bin\r\nd.bin\tF\t" +
                     tmp.filePath("absolu.bin").toUtf8() + "\r\ne.bin\tG\t\r\nb.bin\tH\t\r\n",
                     "NUM_COLONNE_NOUVEAUFICHIER=3\r\n", {}, false);
    f->cmdTelechargeSelection->click();
    EXPECT_EQ(rec.Textes(), QStringList{"Aucune sélection effectuée !"});
    EXPECT_EQ(Nombre(f->Rapport()->List1), 0); // nothing done
    rec.Vide();
    for (int i = 0; i < 6; ++i)
        Choisit(f->ListeSources, i);
    f->cmdTelechargeSelection->click();
    frmRapport* r = f->Rapport();
    EXPECT_EQ(Textes(r->List1), (QStringList{"[OK] A (2 Ko)", "[Erreur] B", "[Erreur] D", "[Erreur] E", "[Erreur] F",
                                             "[OK] G (2 Ko)"}));
    EXPECT_TRUE(Bulle(r->List1, 3).endsWith(": ../evade.bin"));
    EXPECT_EQ(QDir(dest.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"e.bin", "x"}));
    EXPECT_FALSE(QFile::exists(tmp.filePath("evade.bin")) || QFile::exists(tmp.filePath("absolu.bin")));
    EXPECT_EQ(Textes(f->ListeSources, true), (QStringList{"B*", "D*", "E*", "F*", "H"}));
    EXPECT_EQ(rec.Textes(), QStringList{"2 fichiers téléchargés avec succès."});
    EXPECT_EQ(f->LabelSelection->text(), "Aucune sélection");
    EXPECT_TRUE(f->isEnabled() && f->isVisible() && r->isVisible() && shell.appels.isEmpty());
}

// A stop asked from the report during a slow transfer (refused, then confirmed
// by its close button): the one file opened, the program ended.
TEST_F(Telechargement, ArretPendantUnTransfertLent) {
    ServeurTest serveur;
    serveur.Repond("*", "/un", ReponseTest::Ok(Motif(1000)));
    serveur.Repond("*", "/lent", {.corps = Motif(400000), .goutteOctets = 20000, .goutteDelaiMs = 100});
    auto f = Prepare("un\tUn\r\nlent\tLent\r\nun\tTrois\r\n",
                     "LANCER_APRES_TELECHARGEMENT=O\r\nTRANSFERTS_SIMULTANES=1\r\n", serveur.Adresse("/"));
    frmRapport* r = f->Rapport();
    QObject contexte;
    QTimer::singleShot(600, &contexte, [&] {
        rec.RepondNon();
        r->ArretTelechargement->click();
        EXPECT_TRUE(r->ArretTelechargement->isEnabled());
        rec.RepondOui();
        r->close(); // the close button during a run is the stop button
    });
    f->cmdTelechargeSelection->click();
    EXPECT_EQ(Textes(r->List1), (QStringList{"[OK] Un (1000 octets)", "[Arrêt demandé] Lent"}));
    EXPECT_EQ(rec.Textes(), (QStringList{Question, Question, "Un fichier téléchargé avec succès."}));
    EXPECT_FALSE(r->ArretTelechargement->isEnabled());
    EXPECT_EQ(shell.appels, QStringList{"open|" + dest.filePath("un") + "||" + dest.path() + "/|1"});
    EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")) && !f->isVisible() && !r->isVisible());
}

// The pause window for a server's wait (429, its text says who asked) and the
// service's pauses: the countdown, the other windows hidden meanwhile, its stop.
TEST_F(Telechargement, FenetreDePause) {
    ServeurTest serveur;
    serveur.RepondSuite("GET", "/a", {{.statut = 429, .entetes = "Retry-After: 2\r\n"}, ReponseTest::Ok(Motif(2048))});
    for (const char* nom : {"/b", "/c"})
        serveur.Repond("GET", nom, ReponseTest::Ok(Motif(2048)));
    auto f = Prepare("a\tA\r\nb\tB\r\nc\tC\r\n", Pauses(2), serveur.Adresse("/"));
    frmPause* p = f->Pause();
    const QString texteService = p->LabelPause->text();
    QObject contexte;
    // Per pause: whose, the last report line, then the caption each second.
    QList<QStringList> pauses;
    bool cachees = true;
    QObject::connect(p->TimerPause, &QTimer::timeout, &contexte, [&] {
        cachees = cachees && !f->isVisible() && !f->Rapport()->isVisible();
        if (pauses.size() == 3 && pauses.last().size() == 3) // the second service pause, at once
            p->ArretTelechargement->click();
        pauses.last().append(p->lblTempsRestant->text());
    });
    SurApparition apparition(p, [&] {
        pauses.append({p->LabelPause->text() == texteService ? "service" : p->LabelPause->text(),
                       Textes(f->Rapport()->List1).value(Nombre(f->Rapport()->List1) - 1), p->lblTempsRestant->text()});
    });
    rec.RepondOui();
    f->cmdTelechargeSelection->click();
    const QString serveurDemande = "Le serveur demande d'attendre avant de lui envoyer la prochaine demande : vos "
                                   "téléchargements vont être momentanément mis en pause.";
    EXPECT_EQ(pauses, (QList<QStringList>{{serveurDemande, "[En cours] A", "2 secondes", "1 seconde", "0 seconde"},
                                          {"service", "[OK] A (2 Ko)", "2 secondes", "1 seconde", "0 seconde"},
                                          {"service", "[OK] B (2 Ko)", "2 secondes", "0 seconde"}}));
    EXPECT_TRUE(cachees && f->isVisible() && f->Rapport()->isVisible());
    EXPECT_EQ(Textes(f->Rapport()->List1), (QStringList{"[OK] A (2 Ko)", "[OK] B (2 Ko)"}));
    EXPECT_EQ(rec.Textes().last(), "2 fichiers téléchargés avec succès.");
}

// SIGTERM during a pause (asks nothing), the main window's close during a
// server's wait (asks): the 40 s end at once, the window closes, settings saved.
TEST_F(Telechargement, ArretPendantUneAttente) {
    ServeurTest serveur;
    for (const char* nom : {"/a", "/b"})
        serveur.Repond("*", nom, ReponseTest::Ok(Motif(2048)));
    serveur.Repond("*", "/occupe", {.statut = 429, .entetes = "Retry-After: 40\r\n"});
    rec.RepondOui(); // for the close
    for (const bool signal : {true, false}) {
        SCOPED_TRACE(signal ? "pause, SIGTERM" : "serveur, fermeture");
        auto f = signal ? Prepare("a\tA\r\nb\tB\r\n", Pauses(40), serveur.Adresse("/"))
                        : Prepare("a\tA\r\noccupe\tO\r\nb\tB\r\n", "TRANSFERTS_SIMULTANES=1\r\n", serveur.Adresse("/"));
        QFile::remove(app.filePath("Ramag.ini"));
        if (signal)
            f->ArreteSurSignaux(); // as the program does
        QElapsedTimer depuisArret;
        SurApparition apparition(f->Pause(), [&] {
            QTimer::singleShot(300, f.get(), [&] { // the countdown running
                depuisArret.start();
                if (signal)
                    ::kill(::getpid(), SIGTERM);
                else
                    f->close();
            });
        });
        f->cmdTelechargeSelection->click();
        ASSERT_TRUE(depuisArret.isValid());
        EXPECT_LT(depuisArret.elapsed(), 10000);
        EXPECT_EQ(Textes(f->Rapport()->List1),
                  signal ? QStringList{"[OK] A (2 Ko)"} : (QStringList{"[OK] A (2 Ko)", "[Arrêt demandé] O"}));
        EXPECT_EQ(rec.Textes(), signal ? QStringList() : (QStringList{Question, "Un fichier téléchargé avec succès."}));
        EXPECT_TRUE(AttendQue([&] { return !f->isVisible(); }, 5000));
        EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
    }
}

// Answers the pause's stop question only once the countdown closed the pause.
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

// In the program's own loop, the countdown ends under the stop question with no
// window in sight: the program must not end; the answer is honoured.
TEST_F(Telechargement, PauseFinieSousUneQuestionDansLaBoucleDuProgramme) {
    auto f = Prepare("a.bin\tA\r\nb.bin\tB\r\nc.bin\tC\r\n", Pauses(1));
    LecteurLent lecteur(*f);
    SurApparition pause(f->Pause(), [&] {
        QTimer::singleShot(0, f->Pause(), [&] { f->Pause()->ArretTelechargement->click(); });
    });
    bool fini = false, vivantApres = false;
    QObject contexte;
    QTimer::singleShot(0, &contexte, [&] {
        f->cmdTelechargeSelection->click();
        fini = true;
        QTimer::singleShot(300, &contexte, [&] {
            vivantApres = true;
            f->close();
        });
    });
    QTimer::singleShot(30000, &contexte, [] { QCoreApplication::exit(2); }); // a guard, never reached
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(fini && vivantApres && lecteur.pauseOuverte);
    EXPECT_EQ(lecteur.textes, (QStringList{"Êtes-vous sûr de vouloir interrompre le téléchargement ?",
                                           "Un fichier téléchargé avec succès."}));
    EXPECT_EQ(Textes(f->Rapport()->List1), QStringList{"[OK] A (2 Ko)"});
}
