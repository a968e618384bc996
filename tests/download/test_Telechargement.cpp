// The download run from the click on "Télécharger la sélection": files served
// by nginx on 127.0.0.1 (our own server for failures and slow answers), the
// report and pause windows read as a user would, the list copy, the summary,
// and the end of the run.
#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <functional>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/Fonctions_Variables.h"
#include "app/frmPrincipal.h"
#include "download/frmPause.h"
#include "download/frmRapport.h"
#include "net/Inet.h"
#include "support/EnregistreurMessages.h"
#include "support/EnregistreurShell.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/Programme.h"
#include "support/ServeursReels.h"
#include "util/ModuleRamaglin.h"

namespace {

const QString Question = QString::fromUtf8(
    "Êtes-vous sûr de vouloir interrompre le téléchargement (le fichier commencé ne sera pas "
    "conservé) ?");

// Calls `quoi` each time `fenetre` is shown.
class SurApparition final : public QObject {
public:
    SurApparition(QWidget* fenetre, std::function<void()> quoi) : quoi_(std::move(quoi)) {
        fenetre->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show)
            quoi_();
        return false;
    }

private:
    std::function<void()> quoi_;
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
    // to `base`), then selects the rows given (all when empty).
    std::unique_ptr<frmPrincipal> Prepare(const QByteArray& lignes, const QByteArray& parametres,
                                          const QString& base, QList<int> choix = {}) {
        EcritFichier(racine->filePath("liste.txt"), lignes);
        const QString param = PrepareProgramme(app, "REP_TMP=" + tmp.path().toUtf8() + "\r\nFICHIER_LISTE_NOM=" +
                                nginx->Adresse("/liste.txt").toUtf8() +
                                "\r\nAFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n"
                                "COMPARER_LISTE_A_REPERTOIRE=O\r\nCOL_COMPARAISON_REP=2\r\n"
                                "EXTENSION_A_COMPARER=*.*\r\nCHEMIN_A_COMPARER=" +
                                app.path().toUtf8() + "\r\n"
                                "NUM_COLONNE_TELECHARGEE=1\r\nCHEMIN_DESTINATION_FICHIER_SOURCE=" +
                                dest.path().toUtf8() + "\r\nADRESSE_BASE_FICHIERS_SOURCES=" +
                                base.toUtf8() + "\r\n" + parametres);
        auto f = std::make_unique<frmPrincipal>(app.path());
        EXPECT_EQ(f->Form_Load(param), frmPrincipal::Demarrage::Afficher);
        f->show();
        f->cmdRecherche_Click();
        EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
        if (choix.isEmpty())
            f->ListeSources->selectAll();
        for (int i : choix)
            f->ListeSources->item(i)->setSelected(true);
        return f;
    }
    static QStringList Lignes(frmPrincipal& f) {
        QStringList r;
        for (int i = 0; i < f.Rapport()->List1->count(); ++i)
            r << f.Rapport()->List1->item(i)->text();
        return r;
    }
    static QStringList Rangees(const frmPrincipal& f) {
        QStringList r;
        for (int i = 0; i < f.ListeSources->count(); ++i)
            r << f.ListeSources->item(i)->text() +
                     (f.ListeSources->item(i)->isSelected() ? "*" : "");
        return r;
    }
    QStringList Destination() const { return QDir(dest.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir app, tmp, dest;
    QString liste;
    EnregistreurMessages rec;
    EnregistreurShell shell;
};

TEST_F(Telechargement, UneRangeeEnEchecResteSelectionneeLesAutresPartent) {
    // The failures a list can hold, between rows that succeed: a missing file,
    // an empty address, names that would leave the destination folder.
    auto f = Prepare("a.bin\tA\tx\r\nabsent.bin\tB\tx\r\nc.bin\tC\t\r\n\tD\tx\r\n"
                     "d.bin\tE\t../evade.bin\r\nd.bin\tF\t/tmp/evade.bin\r\ne.bin\tG\t\r\n",
                     "NUM_COLONNE_NOUVEAUFICHIER=3\r\n", nginx->Adresse(""));
    const QByteArray copie = LitFichier(liste);
    f->cmdTelechargeSelection->click();
    EXPECT_EQ(Lignes(*f), (QStringList{"[OK] A (2 Ko)", "[Erreur] B", "[OK] C (2 Ko)", "[Erreur] D",
                                       "[Erreur] E", "[Erreur] F", "[OK] G (2 Ko)"}));
    const QListWidget* l = f->Rapport()->List1;
    EXPECT_EQ(l->item(1)->toolTip(), QStringLiteral("erreur HTTP 404 : fichier introuvable"));
    EXPECT_EQ(l->item(3)->toolTip(), QStringLiteral("aucune adresse dans la ligne de la liste"));
    EXPECT_TRUE(l->item(4)->toolTip().endsWith(": ../evade.bin"));
    EXPECT_TRUE(l->item(0)->toolTip().isEmpty());
    EXPECT_TRUE(f->Rapport()->TexteDesLignes().startsWith(
        "[OK] A (2 Ko)\n[Erreur] B\terreur HTTP 404 : fichier introuvable\n"));
    // Named from the third column when it has one, from the address otherwise.
    EXPECT_EQ(Destination(), (QStringList{"c.bin", "e.bin", "x"}));
    EXPECT_FALSE(QFile::exists(QDir(dest.path()).filePath("../evade.bin")));
    EXPECT_FALSE(QFile::exists("/tmp/evade.bin"));
    EXPECT_EQ(Rangees(*f), (QStringList{"B*", "D*", "E*", "F*"}));
    QList<QByteArray> restantes = copie.split('\n');
    EXPECT_EQ(LitFichier(liste), restantes[1] + '\n' + restantes[3] + '\n' + restantes[4] + '\n' +
                                     restantes[5] + '\n');
    EXPECT_FALSE(QFile::exists(liste + ".tmp"));
    EXPECT_EQ(rec.Textes(), QStringList{QString::fromUtf8("3 fichiers téléchargés avec succès.")});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Information);
    EXPECT_EQ(f->LabelSelection->text(), QString::fromUtf8("Aucune sélection"));
    EXPECT_TRUE(f->isEnabled());
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->Rapport()->isVisible());
    EXPECT_FALSE(f->Rapport()->ArretTelechargement->isEnabled());
    EXPECT_EQ(f->Rapport()->frameGeometry().left(), f->frameGeometry().right() + 1 + 8);
    EXPECT_TRUE(shell.appels.isEmpty());
    // After the run, its close button only hides the report.
    f->Rapport()->close();
    EXPECT_FALSE(f->Rapport()->isVisible());
    EXPECT_EQ(f->Rapport()->List1->count(), 7);
}

TEST_F(Telechargement, ToutEchoueRienNeChange) {
    ServeurTest serveur;
    auto f = Prepare("x\tX\r\ny\tY\r\n", "", serveur.Adresse("/"));
    const QByteArray copie = LitFichier(liste);
    serveur.Repond("*", "/x", ReponseTest::Statut(500));
    serveur.Repond("*", "/y", {.muet = true});
    f->Inet1->RequestTimeout = 1;
    f->cmdTelechargeSelection->click();
    EXPECT_EQ(Lignes(*f), (QStringList{"[Erreur] X", "[Erreur] Y"}));
    EXPECT_EQ(f->Rapport()->List1->item(0)->toolTip(),
              QStringLiteral("erreur HTTP 500 : erreur interne du serveur"));
    EXPECT_EQ(f->Rapport()->List1->item(1)->toolTip(), QString::fromUtf8("délai dépassé"));
    EXPECT_TRUE(LitFichier(liste) == copie);
    EXPECT_EQ(rec.Textes(), QStringList{QString::fromUtf8("Aucun fichier téléchargé.")});
    EXPECT_TRUE(Destination().isEmpty());
}

TEST_F(Telechargement, ArretRefusePuisConfirmePendantUnTransfertLent) {
    ServeurTest serveur;
    serveur.Repond("*", "/un", ReponseTest::Ok(Motif(1000)));
    serveur.Repond("*", "/lent", {.corps = Motif(400000), .goutteOctets = 20000, .goutteDelaiMs = 100});
    auto f = Prepare("un\tUn\r\nlent\tLent\r\nun\tTrois\r\n", "LANCER_APRES_TELECHARGEMENT=O\r\n",
                     serveur.Adresse("/"));
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
    EXPECT_EQ(Lignes(*f), (QStringList{QString::fromUtf8("[OK] Un (1000 octets)"),
                                       QString::fromUtf8("[Arrêt demandé] Lent")}));
    EXPECT_EQ(rec.Textes(), (QStringList{Question, Question,
                                         QString::fromUtf8("Un fichier téléchargé avec succès.")}));
    EXPECT_FALSE(r->ArretTelechargement->isEnabled());
    EXPECT_EQ(Destination(), QStringList{"un"});
    // The one file is opened, the settings saved, the program ended.
    EXPECT_EQ(shell.appels, QStringList{"open|" + dest.filePath("un") + "||" + dest.path() + "/|1"});
    EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(r->isVisible());
}

TEST_F(Telechargement, FermerLaFenetrePrincipalePendantUnTelechargement) {
    ServeurTest serveur;
    serveur.Repond("*", "/lent", {.corps = Motif(400000), .goutteOctets = 20000, .goutteDelaiMs = 100});
    auto f = Prepare("lent\tLent\r\nlent\tEncore\r\n", "", serveur.Adresse("/"));
    bool ouverteApresDemande = false;
    QObject contexte;
    QTimer::singleShot(400, &contexte, [&] {
        rec.RepondOui();
        f->close();
        ouverteApresDemande = f->isVisible();
    });
    f->cmdTelechargeSelection->click();
    EXPECT_TRUE(ouverteApresDemande);
    EXPECT_EQ(Lignes(*f), QStringList{QString::fromUtf8("[Arrêt demandé] Lent")});
    EXPECT_EQ(rec.Textes(), (QStringList{Question, QString::fromUtf8("Aucun fichier téléchargé.")}));
    EXPECT_TRUE(Destination().isEmpty());
    AttendQue([&] { return !f->isVisible(); }, 2000);
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
}

TEST_F(Telechargement, PausesParNombreEtParTaille) {
    struct Cas {
        const char* nom;
        QByteArray parametres;
        QByteArray lignes;
        QList<QStringList> comptes; // captions of each pause, in turn
        bool arreter = false;       // stop from the pause window
    };
    const QByteArray cinq = "a.bin\tA\r\nabsent\tX\r\nb.bin\tB\r\nc.bin\tC\r\nd.bin\tD\r\n";
    const QString un = QStringLiteral("1 seconde"), zero = QStringLiteral("0 seconde"),
                  deux = QStringLiteral("2 secondes");
    const Cas cas[] = {
        // Every 2 files; a failure does not count; none after the last row.
        {"nombre", "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=2\r\n"
                   "DUREE_PAUSE_ENTRE_TELECHARGEMENT=1\r\n",
         cinq, {{un, zero}}},
        // An empty duration is 2 seconds.
        {"durée vide", "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=3\r\n",
         "a.bin\tA\r\nb.bin\tB\r\nc.bin\tC\r\nd.bin\tD\r\n", {{deux, un, zero}}},
        // 3 Ko reached after the second 2 Ko file; the count starts again.
        {"taille", "PAUSE_SELON_TAILLE=O\r\nTAILLE_DECLENCHE_PAUSE=3\r\nDUREE_PAUSE_SELON_TAILLE=1\r\n",
         "a.bin\tA\r\nb.bin\tB\r\nc.bin\tC\r\nd.bin\tD\r\ne.bin\tE\r\n", {{un, zero}, {un, zero}}},
        // Durations of 0 and counts of 0 never pause.
        {"nulles", "PAUSE_SELON_TAILLE=O\r\nDUREE_PAUSE_SELON_TAILLE=0\r\n"
                   "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=x\r\n",
         cinq, {}},
        // The pause window's stop: "0 seconde", closed, no further row.
        {"arrêt", "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=1\r\n"
                  "DUREE_PAUSE_ENTRE_TELECHARGEMENT=30\r\n",
         cinq, {{QStringLiteral("30 secondes"), zero}}, true},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        rec.Vide();
        for (const QString& n : Destination())
            QFile::remove(dest.filePath(n));
        auto f = Prepare(c.lignes, c.parametres, nginx->Adresse(""));
        QObject contexte;
        // What a user sees: the pause window's caption when it appears and
        // after each second, and whether the other windows are out of sight.
        QList<QStringList> comptes;
        bool cachees = true, dejaArrete = false;
        frmPause* p = f->Pause();
        QObject::connect(p->TimerPause, &QTimer::timeout, &contexte,
                         [&] { comptes.last().append(p->lblTempsRestant->text()); });
        SurApparition apparition(p, [&] { comptes.append(QStringList{p->lblTempsRestant->text()}); });
        QTimer observateur;
        observateur.setInterval(20);
        QObject::connect(&observateur, &QTimer::timeout, [&] {
            if (!p->isVisible())
                return;
            cachees = cachees && !f->isVisible() && !f->Rapport()->isVisible();
            if (c.arreter && !dejaArrete) {
                dejaArrete = true;
                rec.RepondOui();
                p->ArretTelechargement->click();
                comptes.last().append(p->lblTempsRestant->text());
            }
        });
        observateur.start();
        f->cmdTelechargeSelection->click();
        observateur.stop();
        EXPECT_EQ(comptes, c.comptes);
        EXPECT_TRUE(cachees);
        EXPECT_TRUE(f->isVisible() && f->Rapport()->isVisible());
        if (c.arreter) {
            EXPECT_EQ(Lignes(*f).size(), 1);
            EXPECT_EQ(rec.Textes().last(), QString::fromUtf8("Un fichier téléchargé avec succès."));
        }
    }
}

TEST_F(Telechargement, ReglagesQuiEmpechentLeTelechargement) {
    struct Cas {
        QByteArray variable, valeur;
        QString message;
        bool selection = true;
    };
    const Cas cas[] = {
        {"NUM_COLONNE_TELECHARGEE", "deux",
         QString::fromUtf8("La variable NUM_COLONNE_TELECHARGEE doit être un numéro de colonne (1 "
                           "ou plus) : « deux » ne convient pas.")},
        {"NUM_COLONNE_TELECHARGEE", "0",
         QString::fromUtf8("La variable NUM_COLONNE_TELECHARGEE doit être un numéro de colonne (1 "
                           "ou plus) : « 0 » ne convient pas.")},
        {"CHEMIN_DESTINATION_FICHIER_SOURCE", "/nulle/part",
         QString::fromUtf8("Le chemin de destination /nulle/part/ n'existe pas !")},
        {"NUM_COLONNE_TELECHARGEE", "1", QString::fromUtf8("Aucune sélection effectuée !"), false},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.variable.toStdString());
        rec.Vide();
        auto f = Prepare("a.bin\tA\r\n", "", nginx->Adresse(""), {});
        if (!c.selection)
            f->ListeSources->clearSelection();
        AffecteVariable(c.variable, c.valeur);
        const QByteArray copie = LitFichier(liste);
        f->cmdTelechargeSelection_Click();
        ASSERT_FALSE(rec.messages.empty());
        EXPECT_EQ(rec.messages.back().texte, c.message);
        EXPECT_EQ(f->ListeSources->count(), 1);
        EXPECT_TRUE(LitFichier(liste) == copie);
        EXPECT_TRUE(Destination().isEmpty());
        EXPECT_TRUE(f->isEnabled());
    }
}

TEST_F(Telechargement, LeDossierDuFichierUniqueEstOuvert) {
    auto f = Prepare("a.bin\tA\r\nb.bin\tB\r\n", "", nginx->Adresse(""), {1});
    AffecteVariable("COMPARER_LISTE_A_VERSION", "O");
    f->cmdTelechargeSelection_Click();
    EXPECT_EQ(shell.appels, QStringList{"explore|" + dest.path() + "/||" + dest.path() + "/|1"});
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
    EXPECT_EQ(LitFichier(liste), "a.bin\tA\r\n");
}

} // namespace
