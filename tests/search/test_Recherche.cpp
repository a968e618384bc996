// The search from the click on "Lancer la recherche" to the filled result list,
// against nginx on 127.0.0.1 (and our own server for what nginx won't send).
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "config/Fonctions_Variables.h"
#include "download/JaugeWidget.h"
#include "download/Lectures.h"
#include "support/EnregistreurMessages.h"
#include "support/Programme.h"
#include "support/ServeurTest.h"

namespace {

class Recherche : public SuiteNginx<Recherche> {
protected:
    void SetUp() override { liste = tmp.filePath("Liste.tmp"); }

    // Serves `contenu` as the list (unless `adresse` names another) and starts
    // the program on `parametres`.
    std::unique_ptr<frmPrincipal> Demarre(const QByteArray& contenu, const QByteArray& parametres, QString adresse = "") {
        static int numero = 0;
        const QString nom = QStringLiteral("liste%1.txt").arg(++numero);
        EcritFichier(racine->filePath(nom), contenu);
        const QString param = PrepareProgramme(app, "REP_TMP=" + tmp.path().toUtf8() + "\r\nFICHIER_LISTE_NOM=" +
                                                        (adresse.isEmpty() ? nginx->Adresse("/" + nom) : adresse).toUtf8() +
                                                        "\r\n" + parametres);
        auto f = std::make_unique<frmPrincipal>(app.path());
        EXPECT_EQ(f->Form_Load(param), frmPrincipal::Demarrage::Afficher);
        f->show();
        return f;
    }

    QTemporaryDir app, tmp;
    QString liste;
    EnregistreurMessages rec;
};

const QByteArray Affiche = "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\nCOMPARER_LISTE_A_IDENTIFIANT=O\r\n"
                           "COL_COMPARAISON_IDENT=3\r\nIDENTIFIANT_A_COMPARER=G\r\n";

// Each search: the messages (and the last one's icon), the rows shown, the
// results tab, the reason a failed fetch gives under the button, and the list
// copy left (nullptr: none). What the filters keep: test_TraitementListe.
TEST_F(Recherche, DuClicALaListeRemplie) {
    ServeurTest serveur;
    serveur.Repond("*", "/absente", ReponseTest::Statut(404, "<html>introuvable</html>"));
    const QString echec = "Echec lors de la recherche !";
    const struct {
        const char* nom;
        QByteArray contenu, parametres;
        QStringList messages; // all critical
        QString rangees;
        const char* copie;
        const char* chemin = nullptr; // the list comes from our own server
    } cas[] = {
        // The list's block switches the identifier comparison on and changes the column shown.
        {"bloc", "xxx Le Ramaglin V1 xxx\n-PARAMETRES-\nAFFICHE_RESULTAT=O\nNUM_COLONNE_AFFICHEE=1\n"
                 "COMPARER_LISTE_A_IDENTIFIANT=O\nCOL_COMPARAISON_IDENT=2\nIDENTIFIANT_A_COMPARER=X\n"
                 "-FIN PARAMETRES-\nun\tX\ndeux\tY\ntrois\tX\n",
         "RECUPERE_PARAMETRES_LISTE=O\r\nNUM_COLONNE_AFFICHEE=2\r\n", {}, "un|trois", "un\tX\r\ntrois\tX\r\n"},
        {"rien de nouveau", "a\tUn\tGH\r\n", Affiche, {"Le logiciel n'a pas été trouvé"}, "", nullptr},
        {"liste absente", "", Affiche, {echec}, "", nullptr, "/absente"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        rec.Vide();
        QFile::remove(liste);
        auto f = Demarre(c.contenu, c.parametres, c.chemin ? serveur.Adresse(c.chemin) : QString());
        f->cmdRecherche->click();
        EXPECT_EQ(rec.Textes(), c.messages);
        EXPECT_TRUE(c.messages.isEmpty() || rec.messages.back().icone == IconeMessage::Critique);
        EXPECT_EQ(Textes(f->ListeSources).join('|'), c.rangees);
        EXPECT_EQ(f->Onglets->isTabEnabled(2), !c.rangees.isEmpty());
        EXPECT_TRUE(f->Jauge->isHidden() &&
                    (c.rangees.isEmpty() || (f->Onglets->currentIndex() == 2 && !f->SelectionneTout->isHidden())));
        EXPECT_EQ(f->LabelRaisonRecherche->isVisible() ? f->LabelRaisonRecherche->text() : "",
                  c.chemin ? "Echec lors de la recherche : erreur HTTP 404 : fichier introuvable." : "");
        EXPECT_EQ(QFile::exists(liste), c.copie != nullptr);
        EXPECT_TRUE(!c.copie || LitFichier(liste) == c.copie);
    }
    // No address: nothing is asked of any server.
    rec.Vide();
    serveur.OublieRequetes();
    auto f = Demarre("", Affiche, " ");
    AffecteVariable("FICHIER_LISTE_NOM", "");
    f->cmdRecherche_Click();
    EXPECT_EQ(rec.Textes(), QStringList{"Aucun fichier liste spécifié !"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    EXPECT_TRUE(serveur.Requetes().isEmpty());
}

// A list that takes two seconds: meanwhile every control that could disturb it
// is disabled, a second click and the start-up timer are refused; a close (or
// Escape, the window staying) asks, then stops it once it has unwound.
TEST_F(Recherche, PendantLaRechercheRienNeLaDerange) {
    ServeurTest serveur;
    QByteArray contenu;
    for (int i = 0; i < 2000; ++i)
        contenu += "f" + QByteArray::number(i) + "\tFichier " + QByteArray::number(i) + "\tG\r\n";
    serveur.Repond("*", "/lente", {.corps = contenu, .goutteOctets = 4000, .goutteDelaiMs = 200});
    for (const int mode : {0, 1, 2}) {
        const bool fermer = mode == 1, echap = mode == 2;
        SCOPED_TRACE(mode);
        rec.Vide();
        serveur.OublieRequetes();
        QFile::remove(liste);
        rec.reponses.assign(1, ReponseMessage::Oui);
        auto f = Demarre("", Affiche, serveur.Adresse("/lente"));
        QList<bool> actifs;
        bool visibleApresFermeture = false;
        QObject contexte;
        QTimer::singleShot(400, &contexte, [&] {
            for (QWidget* w : QList<QWidget*>{f->cmdRecherche, f->SelectionneTout, f->ListeSources,
                                              f->cmdTelechargeSelection, f->Onglets->tabBar(), f->TypeConnexion[1]})
                actifs.append(w->isEnabled());
            f->cmdRecherche_Click();
            if (mode == 0)
                f->TimerDemarrage->start();
            if (echap)
                QTest::keyClick(f.get(), Qt::Key_Escape);
            if (fermer) {
                f->close();
                visibleApresFermeture = f->isVisible();
            }
        });
        f->cmdRecherche_Click();
        EXPECT_EQ(actifs, QList<bool>(6, false));
        AttendQue([] { return false; }, 300); // lets the start-up timer and a close come
        EXPECT_EQ(serveur.Requetes().size(), 1); // one GET, no HEAD
        EXPECT_TRUE(f->cmdRecherche->isEnabled());
        EXPECT_EQ(rec.Textes(), fermer || echap ? QStringList{"Êtes-vous sûr de vouloir interrompre la recherche ?"}
                                                : QStringList());
        EXPECT_EQ(visibleApresFermeture, fermer);
        EXPECT_EQ(f->isVisible(), !fermer);
        EXPECT_EQ(QFile::exists(liste), mode == 0);
        EXPECT_EQ(Nombre(f->ListeSources), mode == 0 ? 2000 : 0);
    }
}

TEST_F(Recherche, ResumeDeLaSelection) {
    auto f = Demarre("a\tUn\tG\t1536\r\nb\tDeux\tG\t2,5\r\nc\tTrois\tG\tn/a\r\n",
                     Affiche + "CALCULER_TAILLE_SELECTION=O\r\nCOLONNE_TAILLE=4\r\nLANCER_TELECHARGEMENT_DEMARRAGE=O\r\n");
    // The search started by the start-up timer, without a click.
    ASSERT_TRUE(AttendQue([&] { return Nombre(f->ListeSources) == 3; }, 10000));
    EXPECT_EQ(f->InfoSelection(), 0);
    EXPECT_EQ(f->LabelSelection->text(), "0 sélection - 0 octet");
    // Clicks restart the timer; the summary follows 100 ms after the last one.
    for (int i = 0; i < 2; ++i)
        Choisit(f->ListeSources, i);
    EXPECT_TRUE(f->TimerCalcul->isActive());
    EXPECT_TRUE(AttendQue([&] { return !f->TimerCalcul->isActive(); }, 2000));
    EXPECT_EQ(f->LabelSelection->text(), "2 sélections - 1,5 Ko");
    f->SelectionneTout->click();
    EXPECT_EQ(f->LabelSelection->text(), "3 sélections - 1,5 Ko");
    // Without sizes, only the count (settings a search takes as it starts).
    AffecteVariable("CALCULER_TAILLE_SELECTION", "N");
    f->cmdRecherche_Click();
    ASSERT_EQ(Nombre(f->ListeSources), 3);
    f->ListeSources->clearSelection();
    Choisit(f->ListeSources, 2);
    EXPECT_EQ(f->InfoSelection(), 1);
    // The list copy gone: the message, and the results tab closes.
    QFile::remove(liste);
    rec.Vide();
    EXPECT_EQ(f->InfoSelection(), 0);
    EXPECT_EQ(rec.Textes(), QStringList{"La liste des fichiers du serveur n'est plus disponible !"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    EXPECT_TRUE(!f->Onglets->isTabEnabled(2) && f->Onglets->currentIndex() == 1);
    EXPECT_EQ(f->LabelSelection->text(), "1 sélection");
}

// NULs, a line of tabs, a 50 MiB line: one row each, shown cut, and selectable.
TEST_F(Recherche, ListesHostiles) {
    for (const QByteArray& contenu : {QByteArray("a\0b\tX\0\tG\r\n", 10), "x" + QByteArray(200000, '\t') + "G\r\n",
                                      QByteArray(50 << 20, 'z') + "\tG"}) {
        SCOPED_TRACE(contenu.left(10).toHex().toStdString());
        auto f = Demarre(contenu, "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=1\r\nCOMPARER_LISTE_"
                                  "A_VERSION=O\r\nCOL_COMPARAISON_VERSION=2\r\nVERSION_A_COMPARER=-1\r\n");
        f->cmdRecherche_Click();
        ASSERT_EQ(Nombre(f->ListeSources), 1);
        EXPECT_LE(Textes(f->ListeSources)[0].size(), 4097);
        f->ListeSources->selectAll();
        f->InfoSelection();
    }
}

} // namespace
