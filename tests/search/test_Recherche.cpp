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

const QByteArray Affiche = "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n"
                           "COMPARER_LISTE_A_IDENTIFIANT=O\r\nCOL_COMPARAISON_IDENT=3\r\n"
                           "IDENTIFIANT_A_COMPARER=G\r\n";
const QByteArray Liens = "COMPARER_CONSERVER_LIENS_HTTP=O\r\nADRESSE_BASE_LIENS_INTERNET="
                         "http://serveur/base/\r\nAFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n";

// Each search: the messages (and the last one's icon), the rows shown, and the
// list copy left (nullptr: none; "*": any).
TEST_F(Recherche, DuClicALaListeRemplie) {
    const QString dossier = tmp.filePath("local");
    QDir().mkpath(dossier);
    EcritFichier(dossier + "/a.zip", "x");
    EcritFichier(dossier + "/b.zip", "x");
    const QByteArray comparaisons = "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=1\r\nCOMPARER_LISTE_A_REPERTOIRE=O\r\n"
                                    "COL_COMPARAISON_REP=1\r\nCHEMIN_A_COMPARER=" + dossier.toUtf8() +
                                    "\r\nEXTENSION_A_COMPARER=*.zip\r\nCOMPARER_LISTE_A_IDENTIFIANT=O\r\n"
                                    "COL_COMPARAISON_IDENT=2\r\nIDENTIFIANT_A_COMPARER=P\r\n";
    ServeurTest serveur;
    serveur.Repond("*", "/vide", ReponseTest::Ok(""));
    serveur.Repond("*", "/absente", ReponseTest::Statut(404, "<html>introuvable</html>"));
    const QString echec = "Echec lors de la recherche !";
    const auto I = IconeMessage::Information, C = IconeMessage::Critique;
    struct Cas {
        const char* nom;
        QByteArray contenu, parametres;
        QStringList messages;
        IconeMessage icone;
        QString rangees;
        const char* copie;
        const char* chemin = nullptr; // the list comes from our own server
    };
    const Cas cas[] = {
        // An identifier that only starts like the one asked for does not match.
        {"identifiant", "a.txt\tPremier fichier\tG\r\nb.txt\tDeuxième\tG\r\nc.txt\tAutre\tGH\r\n", Affiche, {}, I,
         "Premier fichier|Deuxième", "a.txt\tPremier fichier\tG\r\nb.txt\tDeuxième\tG\r\n"},
        // The list's block switches the identifier comparison on and changes the column shown.
        {"bloc", "xxx Le Ramaglin V1 xxx\n-PARAMETRES-\nAFFICHE_RESULTAT=O\nNUM_COLONNE_AFFICHEE=1\n"
                 "COMPARER_LISTE_A_IDENTIFIANT=O\nCOL_COMPARAISON_IDENT=2\nIDENTIFIANT_A_COMPARER=X\n"
                 "-FIN PARAMETRES-\nun\tX\ndeux\tY\ntrois\tX\n",
         "RECUPERE_PARAMETRES_LISTE=O\r\nNUM_COLONNE_AFFICHEE=2\r\n", {}, I, "un|trois", "un\tX\r\ntrois\tX\r\n"},
        {"sans repère", "pas de repère\r\n", "RECUPERE_PARAMETRES_LISTE=O\r\n",
         {"La recherche n'a pas aboutie."}, C, "", nullptr},
        // The folder keeps nothing, then the identifier keeps nothing either: both speak.
        {"rien de nouveau", "a.zip\tP\r\nb.zip\tP\r\n", comparaisons,
         {"Il n'y a pas eu de nouveaux fichiers.", "Le logiciel n'a pas été trouvé"}, C, "", nullptr},
        // What the filters keep, and how lists are read: test_TraitementListe.
        {"colonne vide", "x\tA\tG\r\n\r\ny\t\tG\r\n", Affiche, {}, I, "A|", "*"},
        // With no comparison asked, the first search only keeps the list.
        {"sans comparaison", "a\r\nb\r\n", "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=1\r\n", {}, I, "", "*"},
        // A page of links: the anchor text shown, else the address.
        {"page de liens", "<a href=\"un.zip\">Premier</a> <a href=\"deux.zip\"></a>", Liens, {}, I,
         "Premier|http://serveur/base/deux.zip", "*"},
        {"page sans lien", "<html><body>Rien ici</body></html>", Liens, {"Aucun résultat trouvé pour cette recherche."},
         I, "", ""},
        {"liste vide", "", Affiche, {echec}, C, "", nullptr, "/vide"},
        {"liste absente", "", Affiche, {echec}, C, "", nullptr, "/absente"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        rec.Vide();
        QFile::remove(liste);
        auto f = Demarre(c.contenu, c.parametres, c.chemin ? serveur.Adresse(c.chemin) : QString());
        f->cmdRecherche->click();
        EXPECT_EQ(rec.Textes(), c.messages);
        EXPECT_TRUE(c.messages.isEmpty() || rec.messages.back().icone == c.icone);
        EXPECT_EQ(Textes(f->ListeSources).join('|'), c.rangees);
        EXPECT_EQ(f->Onglets->isTabEnabled(2), !c.rangees.isEmpty());
        if (!c.rangees.isEmpty()) {
            EXPECT_EQ(f->Onglets->currentIndex(), 2);
            EXPECT_EQ(f->SelectionneTout->isHidden(), Nombre(f->ListeSources) == 1);
        }
        EXPECT_TRUE(f->Jauge->isHidden());
        // A failed fetch says why under the button, after its box.
        EXPECT_EQ(f->LabelRaisonRecherche->isVisible(), c.messages == QStringList{echec});
        if (c.chemin && QByteArray(c.chemin) == "/absente") {
            EXPECT_EQ(f->LabelRaisonRecherche->text(),
                      "Echec lors de la recherche : erreur HTTP 404 : fichier introuvable.");
        }
        EXPECT_EQ(QFile::exists(liste), c.copie != nullptr);
        if (c.copie && QByteArray(c.copie) != "*") {
            EXPECT_EQ(LitFichier(liste), c.copie);
        }
        EXPECT_FALSE(QFile::exists(liste + "2"));
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

TEST_F(Recherche, PendantLaRechercheRienNeLaDerange) {
    // A list that takes about two seconds to come. During it: every control
    // that could start or disturb an operation is disabled, a second click
    // and the start-up timer are refused, and a close waits for the search.
    ServeurTest serveur;
    QByteArray contenu;
    for (int i = 0; i < 2000; ++i)
        contenu += "f" + QByteArray::number(i) + "\tFichier " + QByteArray::number(i) + "\tG\r\n";
    serveur.Repond("*", "/lente", {.corps = contenu, .goutteOctets = 4000, .goutteDelaiMs = 200});
    // Escape asks the close's question and stops the search, the window staying.
    for (const int mode : {0, 1, 2}) {
        const bool fermer = mode == 1, echap = mode == 2;
        SCOPED_TRACE(mode);
        rec.Vide();
        serveur.OublieRequetes();
        QFile::remove(liste);
        auto f = Demarre("", Affiche, serveur.Adresse("/lente"));
        QList<bool> actifs;
        bool visibleApresFermeture = false;
        QObject contexte;
        QTimer::singleShot(400, &contexte, [&] {
            for (QWidget* w : QList<QWidget*>{f->cmdRecherche, f->SelectionneTout, f->ListeSources,
                                              f->cmdTelechargeSelection, f->Onglets->tabBar(),
                                              f->TypeConnexion[1]})
                actifs.append(w->isEnabled());
            f->cmdRecherche_Click();
            if (mode == 0)
                f->TimerDemarrage->start();
            if (fermer) {
                rec.RepondOui();
                f->close();
                visibleApresFermeture = f->isVisible();
            }
            if (echap) {
                rec.RepondOui();
                QTest::keyClick(f.get(), Qt::Key_Escape);
            }
        });
        f->cmdRecherche_Click();
        EXPECT_EQ(actifs, QList<bool>(6, false));
        AttendQue([] { return false; }, 300); // lets the start-up timer and a close come
        EXPECT_EQ(serveur.Requetes().size(), 1); // one GET, no HEAD
        EXPECT_TRUE(f->cmdRecherche->isEnabled());
        // Closed: asked, stopped without a failure message, then gone.
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
                     Affiche + "CALCULER_TAILLE_SELECTION=O\r\nCOLONNE_TAILLE=4\r\n"
                               "LANCER_TELECHARGEMENT_DEMARRAGE=O\r\n");
    // The search started by the start-up timer, without a click.
    ASSERT_TRUE(AttendQue([&] { return Nombre(f->ListeSources) == 3; }, 10000));
    EXPECT_FALSE(f->TimerDemarrage->isActive());
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
    EXPECT_EQ(f->LabelSelection->text(), "1 sélection");
    // The list copy gone: the message, and the results tab closes.
    QFile::remove(liste);
    rec.Vide();
    EXPECT_EQ(f->InfoSelection(), 0);
    EXPECT_EQ(rec.Textes(), QStringList{"La liste des fichiers du serveur n'est plus disponible !"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    EXPECT_FALSE(f->Onglets->isTabEnabled(2));
    EXPECT_EQ(f->Onglets->currentIndex(), 1);
    EXPECT_EQ(f->LabelSelection->text(), "1 sélection");
}

// Binary data, NULs, a line of tabs, a 50 MiB line: shown cut, and selectable.
TEST_F(Recherche, ListesHostiles) {
    QByteArray binaire;
    for (int i = 0; i < 200000; ++i)
        binaire += char((i * 2654435761u) >> 24);
    const std::pair<QByteArray, int> cas[] = {{binaire, -1}, {QByteArray("a\0b\tX\0\tG\r\n", 10), 1},
                                              {"x" + QByteArray(200000, '\t') + "G\r\n", 1},
                                              {QByteArray(50 << 20, 'z') + "\tG", 1}};
    for (const auto& [contenu, rangees] : cas) {
        SCOPED_TRACE(contenu.left(10).toHex().toStdString());
        auto f = Demarre(contenu, "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=1\r\nCOMPARER_LISTE_"
                                  "A_VERSION=O\r\nCOL_COMPARAISON_VERSION=2\r\nVERSION_A_COMPARER=-1\r\n");
        f->cmdRecherche_Click();
        EXPECT_TRUE(rangees < 0 || Nombre(f->ListeSources) == rangees);
        EXPECT_TRUE(Nombre(f->ListeSources) == 0 || Textes(f->ListeSources)[0].size() <= 4097);
        f->ListeSources->selectAll();
        f->InfoSelection();
    }
}

} // namespace
