// Start-up and main window, from real parameter files in a temporary folder.
#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
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
#include "support/EnregistreurShell.h"
#include "support/Outils.h"

namespace {

class Demarrage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::copy(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"),
                                app.filePath("Ramag-ListeOptions.dat")));
        frmPrincipal::DefinitCheminVerrou(app.filePath("ramaglin.lock"));
    }

    QString Parametres(const QByteArray& contenu, const QString& nom = "service.txt") {
        const QString chemin = donnees.filePath(nom);
        EXPECT_TRUE(EcritFichier(chemin, contenu));
        return chemin;
    }
    std::unique_ptr<frmPrincipal> Demarre(const QString& ligne,
                                          frmPrincipal::Demarrage attendu =
                                              frmPrincipal::Demarrage::Afficher) {
        auto f = std::make_unique<frmPrincipal>(app.path());
        EXPECT_EQ(f->Form_Load(ligne), attendu);
        return f;
    }
    QString Ini() const { return QString::fromUtf8(LitFichier(app.filePath("Ramag.ini"))); }

    QTemporaryDir app;
    QTemporaryDir donnees;
    EnregistreurMessages rec;
    EnregistreurShell shell;
};

TEST_F(Demarrage, LigneDeCommandeAbsenteOuFichierManquant) {
    struct Cas {
        QString ligne;
        QString message;
    };
    const Cas cas[] = {
        {"", "Fichier paramètre non précisé"},
        {"    ", "Fichier paramètre non précisé"},
        {"\"\"", "Fichier paramètre non précisé"},
        {"/nulle/part.txt", "Fichier paramètre inexistant : /nulle/part.txt"},
        {"\"/nulle part/x.txt\" autre", "Fichier paramètre inexistant : /nulle part/x.txt"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.ligne.toStdString());
        rec.Vide();
        auto f = Demarre(c.ligne, frmPrincipal::Demarrage::Terminer);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_EQ(rec.messages[0].texte, c.message);
        EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
        EXPECT_FALSE(QFile::exists(app.filePath("Ramag.ini")));
    }
}

TEST_F(Demarrage, SequenceComplete) {
    const QString chemin = Parametres("REP_TMP=" + donnees.path().toUtf8() + "/tmp\r\n"
                                      "TITRE_TELECHARGEMENT=Mises \xC3\xA0 jour#du service\r\n"
                                      "LANCER_TELECHARGEMENT_DEMARRAGE=O\r\n",
                                      "mon service.txt");
    auto f = Demarre("\"" + chemin + "\" ignore.txt");
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(f->FichierParametres, chemin);
    EXPECT_TRUE(f->CheminApplication.endsWith('/'));
    EXPECT_EQ(LitVariable("REP_TMP"), donnees.path() + "/tmp/");
    EXPECT_EQ(f->LabelTitre->text(), QString::fromUtf8("Mises à jour\ndu service"));
    EXPECT_EQ(f->Onglets->currentIndex(), 1);
    EXPECT_FALSE(f->Onglets->isTabEnabled(2));
    EXPECT_TRUE(f->TimerDemarrage->isActive());
    EXPECT_EQ(f->TimerDemarrage->interval(), 200);
    EXPECT_TRUE(f->TimerDemarrage->isSingleShot());
    EXPECT_TRUE(QFile::exists(chemin)); // not asked to delete it
    EXPECT_TRUE(f->frameConnexionProxy->isHidden());
    for (const char* nom : {"Label2(0)", "Label1(4)", "Line1(2)", "Label3(1)", "cmdTelechargeSelection"})
        EXPECT_NE(f->findChild<QWidget*>(nom), nullptr) << nom;
}

TEST_F(Demarrage, RepTmpEtOptionsMinuscules) {
    const std::pair<QByteArray, QString> cas[] = {
        {"REP_TMP=/tmp/a\r\n", "/tmp/a/"},
        {"REP_TMP=/tmp/a/\r\n", "/tmp/a/"},
        {"REP_TMP=\r\n", "/"},
    };
    for (const auto& [contenu, attendu] : cas) {
        SCOPED_TRACE(contenu.toStdString());
        auto f = Demarre(Parametres(contenu + "LANCER_TELECHARGEMENT_DEMARRAGE=o\r\n"));
        EXPECT_EQ(LitVariable("REP_TMP"), attendu);
        EXPECT_FALSE(f->TimerDemarrage->isActive());
    }
}

TEST_F(Demarrage, ErreursDeParametresEtEffacement) {
    // A faulty line is reported and start-up goes on with what was read.
    auto f = Demarre(Parametres("TITRE_TELECHARGEMENT=Avant\r\nINCONNUE=1\r\nREP_TMP=/x\r\n"));
    EXPECT_EQ(rec.Textes(), QStringList{"Variable inconnue : INCONNUE"});
    EXPECT_EQ(f->LabelTitre->text(), "Avant");
    EXPECT_EQ(LitVariable("REP_TMP"), "/");
    f.reset();
    const QString chemin = Parametres("FICHIER_CONFIG_SUPPR=O\r\n");
    Demarre(chemin);
    EXPECT_FALSE(QFile::exists(chemin));
}

TEST_F(Demarrage, RamagIniAllerRetour) {
    const std::pair<QByteArray, bool> lectures[] = {
        {" 1 \r\nproxy.local\r\n3128\r\n2121\r\n", true},
        {"1\r\nproxy.local\r\n3128\r\n2121\r\n", true},
        {" 0 \r\nproxy.local\r\n3128\r\n2121\r\n", false},
        {"2\r\nproxy.local\r\n3128\r\n2121\r\n", false},
        {"\r\nproxy.local\r\n3128\r\n2121\r\n", false},
    };
    for (const auto& [contenu, particulier] : lectures) {
        SCOPED_TRACE(contenu.toStdString());
        EcritFichier(app.filePath("Ramag.ini"), contenu);
        auto f = Demarre(Parametres("REP_TMP=/tmp\r\n"));
        EXPECT_EQ(f->TypeConnexion[1]->isChecked(), particulier);
        EXPECT_EQ(!f->frameConnexionProxy->isHidden(), particulier);
        EXPECT_EQ(f->AdresseProxy->text(), "proxy.local");
        EXPECT_EQ(f->HTTPProxy->text(), "3128");
        EXPECT_EQ(f->FTPProxy->text(), "2121");
    }

    // A short file keeps the defaults of the missing lines.
    EcritFichier(app.filePath("Ramag.ini"), " 1 \r\n");
    {
        auto f = Demarre(Parametres("REP_TMP=/tmp\r\n"));
        EXPECT_TRUE(f->TypeConnexion[1]->isChecked());
        EXPECT_EQ(f->AdresseProxy->text(), "");
    }

    // Saving while hidden writes nothing; once shown it writes the four lines.
    QFile::remove(app.filePath("Ramag.ini"));
    auto f = Demarre(Parametres("REP_TMP=/tmp\r\n"));
    f->TypeConnexion[1]->click();
    EXPECT_TRUE(!f->frameConnexionProxy->isHidden());
    f->AdresseProxy->setText("cache.exemple");
    f->HTTPProxy->setText("8080");
    f->EnregistreParams();
    EXPECT_FALSE(QFile::exists(app.filePath("Ramag.ini")));
    f->show();
    f->EnregistreParams();
    EXPECT_EQ(Ini(), " 1 \r\ncache.exemple\r\n8080\r\n21\r\n");
    f->TypeConnexion[0]->click();
    EXPECT_TRUE(f->frameConnexionProxy->isHidden());
    f->EnregistreParams();
    EXPECT_EQ(Ini(), " 0 \r\ncache.exemple\r\n8080\r\n21\r\n");
    f.reset();
    auto relu = Demarre(Parametres("REP_TMP=/tmp\r\n"));
    EXPECT_TRUE(relu->TypeConnexion[0]->isChecked());
    EXPECT_EQ(relu->HTTPProxy->text(), "8080");
}

TEST_F(Demarrage, CopieDeLaListeEffaceeALaFermeture) {
    const QString liste = donnees.filePath("Liste.tmp");
    EcritFichier(liste, "a\r\n");
    auto f = Demarre(Parametres("REP_TMP=" + donnees.path().toUtf8() +
                                "\r\nFICHIER_LISTE_LOCAL_SUPPR=O\r\n"));
    f->show();
    f->close();
    EXPECT_FALSE(QFile::exists(liste));
    EXPECT_TRUE(QFile::exists(app.filePath("Ramag.ini")));
}

TEST_F(Demarrage, DeuxiemeInstanceSeTaitEtEnregistre) {
    auto premiere = Demarre(Parametres("REP_TMP=/tmp\r\n"));
    rec.Vide();
    const QString chemin = Parametres("FICHIER_CONFIG_SUPPR=O\r\n", "second.txt");
    auto seconde = Demarre(chemin, frmPrincipal::Demarrage::DeuxiemeInstance);
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_FALSE(QFile::exists(chemin)); // steps before the check have run
    premiere.reset();
    // Once the first has ended, the lock is free again.
    auto troisieme = Demarre(Parametres("REP_TMP=/tmp\r\n"));
}

TEST_F(Demarrage, OngletDesResultatsRefuseAvantUneRecherche) {
    auto f = Demarre(Parametres("REP_TMP=/tmp\r\n"));
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    QTabBar* barre = f->Onglets->tabBar();
    QTest::mouseClick(barre, Qt::LeftButton, {}, barre->tabRect(2).center());
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].texte, "Il faut que vous recherchiez des sources auparavant");
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    EXPECT_EQ(f->Onglets->currentIndex(), 1);

    // Even when the tab is reachable, it is refused until a search found something.
    f->Onglets->setTabEnabled(2, true);
    f->Onglets->setCurrentIndex(2);
    EXPECT_EQ(rec.messages.size(), 2u);
    EXPECT_EQ(f->Onglets->currentIndex(), 1);
    f->RechercheEffectuee = true;
    f->Onglets->setCurrentIndex(2);
    EXPECT_EQ(rec.messages.size(), 2u);
    EXPECT_EQ(f->Onglets->currentIndex(), 2);
}

TEST_F(Demarrage, LienAuteurOuvreLAdresse) {
    auto f = Demarre(Parametres("REP_TMP=/tmp\r\n"));
    emit f->Label3[1]->linkActivated(frmPrincipal::AdresseAuteur);
    EXPECT_EQ(shell.appels, QStringList{"open|" + frmPrincipal::AdresseAuteur + "|||1"});
}

} // namespace

namespace {

TEST(JaugeWidget, BarreEtLegende) {
    JaugeWidget jauge;
    jauge.resize(200, 20);
    InitialiseJauge(jauge);
    AfficheJauge(jauge, 40, "40 %");
    AfficheJauge(jauge, 40, "40 %");
    EXPECT_EQ(jauge.nombreDessins(), 2); // 0 % then 40 % once
    const QImage image = jauge.grab().toImage();
    const QColor barre = image.pixelColor(10, 1);
    const QColor fond = image.pixelColor(190, 1);
    EXPECT_EQ(barre, QColor(0x2F, 0x6F, 0xB5));
    EXPECT_NE(fond, barre);
    EXPECT_EQ(image.pixelColor(78, 1), barre);  // just before 40 % of 200 px (80)
    EXPECT_EQ(image.pixelColor(82, 1), fond);   // just after
    AfficheJauge(jauge, 150, ""); // over 100 %: clipped, no crash
    EXPECT_EQ(jauge.grab().toImage().pixelColor(190, 1), barre);
}

} // namespace
