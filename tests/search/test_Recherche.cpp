// The search from the click on "Lancer la recherche" to the filled result list,
// against nginx on 127.0.0.1 (and our own server for what nginx won't send).
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/Fonctions_Variables.h"
#include "app/JaugeWidget.h"
#include "app/frmPrincipal.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/Programme.h"
#include "support/ServeursReels.h"

namespace {

class Recherche : public SuiteNginx<Recherche> {
protected:
    void SetUp() override { liste = tmp.filePath("Liste.tmp"); }

    // Serves `contenu` as the list and starts the program on `parametres`.
    std::unique_ptr<frmPrincipal> Demarre(const QByteArray& contenu, const QByteArray& parametres,
                                          const QString& adresse = QString()) {
        static int numero = 0;
        const QString nom = QStringLiteral("liste%1.txt").arg(++numero);
        EcritFichier(racine->filePath(nom), contenu);
        const QString param = PrepareProgramme(
            app, "REP_TMP=" + tmp.path().toUtf8() + "\r\nFICHIER_LISTE_NOM=" +
                     (adresse.isEmpty() ? nginx->Adresse("/" + nom) : adresse).toUtf8() + "\r\n" +
                     parametres);
        auto f = std::make_unique<frmPrincipal>(app.path());
        EXPECT_EQ(f->Form_Load(param), frmPrincipal::Demarrage::Afficher);
        f->show();
        return f;
    }
    static QStringList Rangees(const frmPrincipal& f) {
        QStringList r;
        for (int i = 0; i < f.ListeSources->count(); ++i)
            r << f.ListeSources->item(i)->text();
        return r;
    }

    QTemporaryDir app, tmp;
    QString liste;
    EnregistreurMessages rec;
};

const QByteArray Affiche = "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n"
                           "COMPARER_LISTE_A_IDENTIFIANT=O\r\nCOL_COMPARAISON_IDENT=3\r\n"
                           "IDENTIFIANT_A_COMPARER=G\r\n";

TEST_F(Recherche, DuClicALaListeRemplie) {
    auto f = Demarre("a.txt\tPremier fichier\tG\r\nb.txt\tDeuxi\xC3\xA8me\tG\r\nc.txt\tAutre\tH\r\n",
                     Affiche);
    QTest::mouseClick(f->cmdRecherche, Qt::LeftButton);
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(Rangees(*f), (QStringList{"Premier fichier", QString::fromUtf8("Deuxième")}));
    EXPECT_EQ(f->Onglets->currentIndex(), 2);
    EXPECT_TRUE(f->Onglets->isTabEnabled(2));
    EXPECT_FALSE(f->SelectionneTout->isHidden());
    EXPECT_TRUE(f->Jauge->isHidden());
    EXPECT_EQ(LitFichier(liste), "a.txt\tPremier fichier\tG\r\nb.txt\tDeuxi\xC3\xA8me\tG\r\n");
    EXPECT_FALSE(QFile::exists(liste + "2"));
}

TEST_F(Recherche, BlocDeParametresDeLaListe) {
    // The block switches the identifier comparison on and changes the column shown.
    auto f = Demarre("xxx Le Ramaglin V1 xxx\n-PARAMETRES-\nAFFICHE_RESULTAT=O\n"
                     "NUM_COLONNE_AFFICHEE=1\nCOMPARER_LISTE_A_IDENTIFIANT=O\n"
                     "COL_COMPARAISON_IDENT=2\nIDENTIFIANT_A_COMPARER=X\n-FIN PARAMETRES-\n"
                     "un\tX\ndeux\tY\ntrois\tX\n",
                     "RECUPERE_PARAMETRES_LISTE=O\r\nNUM_COLONNE_AFFICHEE=2\r\n");
    f->cmdRecherche_Click();
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(Rangees(*f), (QStringList{"un", "trois"}));
    EXPECT_EQ(LitFichier(liste), "un\tX\r\ntrois\tX\r\n");

    // Without the marker the search fails and the list copy goes.
    f.reset();
    auto g = Demarre("pas de repère\r\n", "RECUPERE_PARAMETRES_LISTE=O\r\n");
    g->cmdRecherche_Click();
    EXPECT_EQ(rec.Textes(), QStringList{"La recherche n'a pas aboutie."});
    EXPECT_FALSE(QFile::exists(liste));
    EXPECT_FALSE(g->Onglets->isTabEnabled(2));
}

TEST_F(Recherche, ComparaisonsEnSuite) {
    const QString local = tmp.filePath("local");
    QDir().mkpath(local);
    EcritFichier(local + "/a.zip", "x");
    EcritFichier(local + "/b.zip", "x");
    const QByteArray parametres = "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=1\r\n"
                                  "COMPARER_LISTE_A_REPERTOIRE=O\r\nCOL_COMPARAISON_REP=1\r\n"
                                  "CHEMIN_A_COMPARER=" + local.toUtf8() +
                                  "\r\nEXTENSION_A_COMPARER=*.zip\r\n"
                                  "COMPARER_LISTE_A_IDENTIFIANT=O\r\nCOL_COMPARAISON_IDENT=2\r\n"
                                  "IDENTIFIANT_A_COMPARER=P\r\n";
    // Folder keeps nothing, then the identifier keeps nothing either: both speak.
    auto f = Demarre("a.zip\tP\r\nb.zip\tP\r\n", parametres);
    f->cmdRecherche_Click();
    EXPECT_EQ(rec.Textes(), (QStringList{"Il n'y a pas eu de nouveaux fichiers.",
                                         "Le logiciel n'a pas été trouvé"}));
    EXPECT_EQ(rec.messages[1].icone, IconeMessage::Critique);
    EXPECT_FALSE(QFile::exists(liste));
    EXPECT_EQ(f->ListeSources->count(), 0);

    // Folder, identifier and version in sequence.
    rec.Vide();
    f.reset();
    auto g = Demarre("a.zip\tP\t9\r\nc.zip\tP\t2.1\r\nd.zip\tQ\t3\r\ne.zip\tP\t1.0\r\n",
                     parametres + "COMPARER_LISTE_A_VERSION=O\r\nCOL_COMPARAISON_VERSION=3\r\n"
                                  "VERSION_A_COMPARER=2\r\n");
    g->cmdRecherche_Click();
    EXPECT_EQ(rec.Textes(), QStringList{"Une nouvelle version a été trouvée !"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Information);
    EXPECT_EQ(Rangees(*g), QStringList{"c.zip"});
    EXPECT_TRUE(g->SelectionneTout->isHidden()); // one row only

    // Nothing newer: said, and the list copy goes.
    rec.Vide();
    g.reset();
    auto h = Demarre("c.zip\tP\t1.9.9\r\n", parametres + "COMPARER_LISTE_A_VERSION=O\r\n"
                                                     "COL_COMPARAISON_VERSION=3\r\nVERSION_A_COMPARER=2\r\n");
    h->cmdRecherche_Click();
    EXPECT_EQ(rec.Textes(), QStringList{"Il n'y a pas eu de nouvelle version."});
    EXPECT_FALSE(QFile::exists(liste));
}

TEST_F(Recherche, EncodagesEtFinsDeLigne) {
    const std::pair<QByteArray, QString> cas[] = {
        {"x\tCaf\xC3\xA9\tG\ny\tTh\xC3\xA9\tG\n", "Café|Thé"},           // UTF-8, LF only
        {"x\tCaf\xE9\tG\r\ny\t\x80uro\tG", "Café|€uro"},                   // Windows-1252
        {"\xEF\xBB\xBFx\tA\tG\ry\tB\tG\r", "A|B"},                         // BOM, CR only
        {"x\tA\tG\r\n\r\ny\t\tG\r\n", "A|"},                               // empty column shown empty
    };
    for (const auto& [contenu, attendu] : cas) {
        SCOPED_TRACE(contenu.toStdString());
        auto f = Demarre(contenu, Affiche);
        f->cmdRecherche_Click();
        EXPECT_EQ(Rangees(*f).join('|'), attendu);
    }
}

TEST_F(Recherche, EchecsDuTelechargement) {
    ServeurTest serveur;
    serveur.Repond("*", "/vide", ReponseTest::Ok(""));
    serveur.Repond("*", "/absente", ReponseTest::Statut(404, "<html>introuvable</html>"));
    for (const QString& chemin : {QString("/vide"), QString("/absente")}) {
        SCOPED_TRACE(chemin.toStdString());
        rec.Vide();
        auto f = Demarre("", Affiche, serveur.Adresse(chemin));
        f->cmdRecherche_Click();
        EXPECT_EQ(rec.Textes(), QStringList{"Echec lors de la recherche !"});
        EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
        EXPECT_FALSE(QFile::exists(liste));
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
    for (bool fermer : {false, true}) {
        SCOPED_TRACE(fermer);
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
            if (!fermer)
                f->TimerDemarrage->start();
            if (fermer) {
                rec.RepondOui();
                f->close();
                visibleApresFermeture = f->isVisible();
            }
        });
        f->cmdRecherche_Click();
        EXPECT_EQ(actifs, QList<bool>(6, false));
        AttendQue([] { return false; }, 300); // lets the start-up timer and a close come
        EXPECT_EQ(serveur.Requetes().size(), 2); // one HEAD, one GET
        EXPECT_TRUE(f->cmdRecherche->isEnabled());
        if (fermer) {
            // Asked, stopped without a failure message, then closed.
            EXPECT_EQ(rec.Textes(),
                      QStringList{QString::fromUtf8("Êtes-vous sûr de vouloir interrompre la recherche ?")});
            EXPECT_TRUE(visibleApresFermeture);
            EXPECT_FALSE(f->isVisible());
            EXPECT_FALSE(QFile::exists(liste));
        } else {
            EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
            EXPECT_EQ(f->ListeSources->count(), 2000);
            EXPECT_TRUE(f->isVisible());
        }
    }
}

TEST_F(Recherche, PremiereRechercheSansComparaison) {
    auto f = Demarre("a\r\nb\r\n", "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=1\r\n");
    f->cmdRecherche_Click();
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_TRUE(QFile::exists(liste));
    EXPECT_EQ(f->ListeSources->count(), 0);
    EXPECT_FALSE(f->Onglets->isTabEnabled(2));
}

TEST_F(Recherche, RecherchesAutomatiqueAuDemarrage) {
    auto f = Demarre("a\tUn\tG\r\n", Affiche + "LANCER_TELECHARGEMENT_DEMARRAGE=O\r\n");
    EXPECT_TRUE(AttendQue([&] { return f->ListeSources->count() == 1; }, 10000));
    EXPECT_FALSE(f->TimerDemarrage->isActive());
}

TEST_F(Recherche, ResumeDeLaSelection) {
    auto f = Demarre("a\tUn\tG\t1536\r\nb\tDeux\tG\t2,5\r\nc\tTrois\tG\tn/a\r\n",
                     Affiche + "CALCULER_TAILLE_SELECTION=O\r\nCOLONNE_TAILLE=4\r\n");
    f->cmdRecherche_Click();
    ASSERT_EQ(f->ListeSources->count(), 3);
    EXPECT_EQ(f->InfoSelection(), 0);
    EXPECT_EQ(f->LabelSelection->text(), QString::fromUtf8("0 sélection - 0 octet"));

    // Clicks restart the timer; the summary follows 100 ms after the last one.
    for (int i = 0; i < 2; ++i)
        f->ListeSources->item(i)->setSelected(true);
    EXPECT_TRUE(f->TimerCalcul->isActive());
    EXPECT_TRUE(AttendQue([&] { return !f->TimerCalcul->isActive(); }, 2000));
    EXPECT_EQ(f->LabelSelection->text(), QString::fromUtf8("2 sélections - 1,5 Ko"));

    f->SelectionneTout->click();
    EXPECT_EQ(f->LabelSelection->text(), QString::fromUtf8("3 sélections - 1,5 Ko"));
    EXPECT_EQ(f->ListeSources->selectedItems().size(), 3);

    // Without sizes, only the count.
    AffecteVariable("CALCULER_TAILLE_SELECTION", "N");
    f->ListeSources->clearSelection();
    f->ListeSources->item(2)->setSelected(true);
    EXPECT_EQ(f->InfoSelection(), 1);
    EXPECT_EQ(f->LabelSelection->text(), QString::fromUtf8("1 sélection"));

    // The list copy gone: the message, and the results tab closes.
    QFile::remove(liste);
    rec.Vide();
    EXPECT_EQ(f->InfoSelection(), 0);
    EXPECT_EQ(rec.Textes(), QStringList{"La liste des fichiers du serveur n'est plus disponible !"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    EXPECT_FALSE(f->Onglets->isTabEnabled(2));
    EXPECT_EQ(f->Onglets->currentIndex(), 1);
    EXPECT_EQ(f->LabelSelection->text(), QString::fromUtf8("1 sélection"));
}

TEST_F(Recherche, ModeLiensSurUnePageEcriteALaMain) {
    const QByteArray page =
        "<html><body><a href=\"fichiers/Un.ZIP\">Premier &amp; meilleur</a> "
        "<a href=\"/autre.txt\"></a> <A HREF=\"http://x/zip/\">Dossier\tA</a> "
        "<a href=\"deux.zip\"></a></body></html>";
    const QByteArray liens = "COMPARER_CONSERVER_LIENS_HTTP=O\r\n"
                             "ADRESSE_BASE_LIENS_INTERNET=http://serveur/base/\r\n"
                             "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n";
    auto f = Demarre(page, liens + "SUPPR_LIENS_DIFF_TXT=zip\r\n");
    f->cmdRecherche_Click();
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(Rangees(*f), (QStringList{"Premier & meilleur", "Dossier A",
                                        "http://serveur/base/deux.zip"}));
    EXPECT_EQ(LitFichier(liste), "http://serveur/base/fichiers/Un.ZIP\tPremier & meilleur\r\n"
                                 "http://x/zip/\tDossier A\r\n"
                                 "http://serveur/base/deux.zip\thttp://serveur/base/deux.zip\r\n");
    EXPECT_EQ(f->Onglets->currentIndex(), 2);

    // A page without links: said, the answer stays true, the list copy is empty.
    f.reset();
    auto g = Demarre("<html><body>Rien ici</body></html>", liens);
    g->cmdRecherche_Click();
    EXPECT_EQ(rec.Textes(), QStringList{"Aucun résultat trouvé pour cette recherche."});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Information);
    EXPECT_TRUE(QFile::exists(liste));
    EXPECT_EQ(LitFichier(liste), "");
    EXPECT_FALSE(g->Onglets->isTabEnabled(2));
}

TEST_F(Recherche, ModeLiensSurUnIndexNginx) {
    QTemporaryDir depot;
    for (const char* nom : {"notice.pdf", "paquet-1.2.zip", "paquet-1.3.zip"})
        EcritFichier(depot.filePath(nom), "x");
    QDir().mkpath(depot.filePath("archives"));
    Nginx index(depot.path(), "autoindex on;");
    ASSERT_TRUE(index.Demarre()) << index.Erreur().toStdString();
    auto f = Demarre("", "COMPARER_CONSERVER_LIENS_HTTP=O\r\nADRESSE_BASE_LIENS_INTERNET=" +
                             index.Adresse("/").toUtf8() +
                             "\r\nSUPPR_LIENS_DIFF_TXT=.ZIP\r\nAFFICHE_RESULTAT=O\r\n"
                             "NUM_COLONNE_AFFICHEE=1\r\n",
                     index.Adresse("/"));
    f->cmdRecherche_Click();
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(Rangees(*f), (QStringList{index.Adresse("/paquet-1.2.zip"),
                                        index.Adresse("/paquet-1.3.zip")}));
}

TEST_F(Recherche, ListesHostiles) {
    QByteArray binaire;
    for (int i = 0; i < 200000; ++i)
        binaire += char((i * 2654435761u) >> 24);
    QByteArray nuls("a\0b\tX\0\tG\r\n", 10);
    QByteArray tabs = "x" + QByteArray(200000, '\t') + "G\r\n";
    QByteArray longue = QByteArray(50 << 20, 'z') + "\tG";
    const QByteArray affiche1 = "AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=1\r\n"
                                "COMPARER_LISTE_A_VERSION=O\r\nCOL_COMPARAISON_VERSION=2\r\n"
                                "VERSION_A_COMPARER=-1\r\n";
    struct Cas {
        const char* nom;
        QByteArray contenu;
        int rangees;
    };
    const Cas cas[] = {{"binaire", binaire, -1}, {"nuls", nuls, 1}, {"tabs", tabs, 1},
                       {"longue", longue, 1}};
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        rec.Vide();
        auto f = Demarre(c.contenu, affiche1);
        ASSERT_TRUE(f);
        f->cmdRecherche_Click();
        if (c.rangees >= 0) {
            EXPECT_EQ(f->ListeSources->count(), c.rangees);
        }
        if (f->ListeSources->count() > 0) {
            EXPECT_LE(f->ListeSources->item(0)->text().size(), 4097);
        }
        f->ListeSources->selectAll();
        f->InfoSelection();
    }
}

} // namespace
