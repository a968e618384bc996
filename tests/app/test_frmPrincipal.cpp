// Start-up and main window, from real parameter files in a temporary folder.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/ShellBureau.h"
#include "config/Fonctions_Variables.h"
#include "config/Service.h"
#include "support/DossierMonte.h"
#include "support/EnregistreurMessages.h"
#include "support/Programme.h"

namespace {

class Demarrage : public ::testing::Test {
protected:
    using D = frmPrincipal::Demarrage;
    void SetUp() override { PrepareProgramme(app, ""); }
    // Started with `ligne` as its command line, or with `parametres` as the service's file.
    std::unique_ptr<frmPrincipal> Lance(const QString& ligne, D attendu = D::Afficher) {
        auto f = std::make_unique<frmPrincipal>(app.path());
        EXPECT_EQ(f->Form_Load(ligne), attendu);
        return f;
    }
    auto Demarre(QByteArray parametres = {}, D attendu = D::Afficher) {
        if (parametres.isEmpty())
            parametres = "REP_TMP=" + app.path().toUtf8() + "\r\n";
        return Lance(PrepareProgramme(app, parametres), attendu);
    }
    QString Ini() const { return LitFichier(app.filePath("Ramag.ini")); }

    QTemporaryDir app;
    EnregistreurMessages rec;
};

TEST_F(Demarrage, LigneDeCommandeAbsenteOuFichierManquant) {
    const QString absent = "Fichier paramètre non précisé";
    const std::pair<QString, QString> cas[] = {{"", absent}, {"    ", absent}, {"\"\"", absent},
        {"\"/nulle part/x.txt\" autre", "Fichier paramètre inexistant : /nulle part/x.txt"}};
    for (const auto& [ligne, message] : cas) {
        rec.Vide();
        Lance(ligne, D::Terminer);
        EXPECT_EQ(rec.Textes(), QStringList{message});
        EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
    }
    EXPECT_FALSE(QFile::exists(app.filePath("Ramag.ini")));
}

TEST_F(Demarrage, SequenceComplete) {
    const QString chemin = app.filePath("mon service.txt");
    EcritFichier(chemin, "REP_TMP=" + app.path().toUtf8() + "/tmp\r\n"
                         "TITRE_TELECHARGEMENT=Mises \xC3\xA0 jour#du service\r\n"
                         "LANCER_TELECHARGEMENT_DEMARRAGE=O\r\n");
    auto f = Lance("\"" + chemin + "\" ignore.txt");
    EXPECT_EQ(rec.Textes(), QStringList());
    EXPECT_EQ(f->FichierParametres, chemin);
    EXPECT_EQ(LitVariable("REP_TMP"), app.path() + "/tmp/"); // ends with a slash
    EXPECT_EQ(f->LabelTitre->text(), "Mises à jour\ndu service");
    EXPECT_TRUE(f->TimerDemarrage->isActive() && f->TimerDemarrage->isSingleShot());
    EXPECT_TRUE(QFile::exists(chemin)); // not asked to delete it
    f.reset();
    // A lowercase "o" is not a yes. A faulty line is reported and start-up goes
    // on with what was read: here without a temporary folder, so the
    // program's own one for the service, made for this user alone and
    // announced once.
    f = Demarre("LANCER_TELECHARGEMENT_DEMARRAGE=o\r\nTITRE_TELECHARGEMENT=Avant\r\nINCONNUE=1\r\nREP_TMP=/x/\r\n");
    const QString prive = DossierTemporairePrive(app.filePath("service.txt"));
    EXPECT_TRUE(prive.startsWith(qEnvironmentVariable("XDG_CACHE_HOME") + "/ramaglin/service-")) << prive.toStdString();
    EXPECT_FALSE(f->TimerDemarrage->isActive());
    EXPECT_EQ(rec.Textes(), (QStringList{"Variable inconnue : INCONNUE",
                                         "Le fichier paramètre ne nomme pas de dossier temporaire (REP_TMP) : la liste "
                                         "de ce service sera copiée dans " + prive + "."}));
    EXPECT_EQ(f->LabelTitre->text(), "Avant");
    EXPECT_EQ(LitVariable("REP_TMP"), prive);
    EXPECT_EQ(QFile::permissions(prive) & 0x0077, 0) << "readable or writable by others";
    // A folder that others can write into (/tmp itself) is not used either;
    // the service's own folder is there already, so nothing more is said.
    f.reset();
    rec.Vide();
    f = Demarre("REP_TMP=/tmp\r\n");
    EXPECT_EQ(LitVariable("REP_TMP"), prive);
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n').toStdString();
}

TEST_F(Demarrage, RamagIniAllerRetour) {
    const std::tuple<QByteArray, bool, QString, QString> lectures[] = {
        // contents, the proxy chosen, its address, its ports; a short file
        // leaves the missing fields at their defaults
        {"1\r\nproxy.local\r\n3128\r\n2121\r\n", true, "proxy.local", "3128 2121"},
        {" 0 \r\nproxy.local\r\n3128\r\n2121\r\n", false, "proxy.local", "3128 2121"},
        {" 1 \r\n", true, "", "80 21"},
        {" 1 \r\nproxy.local\r\n3128\r\n", true, "proxy.local", "3128 21"}};
    for (const auto& [contenu, particulier, proxy, ports] : lectures) {
        EcritFichier(app.filePath("Ramag.ini"), contenu);
        auto f = Demarre();
        EXPECT_EQ(f->TypeConnexion[1]->isChecked(), particulier) << contenu.constData();
        EXPECT_EQ(!f->frameConnexionProxy->isHidden(), particulier);
        EXPECT_EQ(f->AdresseProxy->text(), proxy);
        EXPECT_EQ(f->HTTPProxy->text() + " " + f->FTPProxy->text(), ports) << contenu.constData();
    }
    // Saving while hidden writes nothing; once shown it writes the four lines.
    QFile::remove(app.filePath("Ramag.ini"));
    EcritFichier(app.filePath("Liste.tmp"), "a\r\n");
    auto f = Demarre("REP_TMP=" + app.path().toUtf8() + "\r\nFICHIER_LISTE_LOCAL_SUPPR=O\r\n");
    f->TypeConnexion[1]->click();
    f->AdresseProxy->setText("cache.exemple");
    f->HTTPProxy->setText("8080");
    f->EnregistreParams();
    EXPECT_FALSE(QFile::exists(app.filePath("Ramag.ini")));
    f->show();
    f->EnregistreParams();
    EXPECT_EQ(Ini(), " 1 \r\ncache.exemple\r\n8080\r\n21\r\n");
    f->TypeConnexion[0]->click();
    EXPECT_TRUE(f->frameConnexionProxy->isHidden());
    f->close(); // saves too, and deletes the list's copy as asked
    EXPECT_EQ(Ini(), " 0 \r\ncache.exemple\r\n8080\r\n21\r\n");
    EXPECT_FALSE(QFile::exists(app.filePath("Liste.tmp")));

    // The user's limits on the runs, by name after the four lines: kept,
    // whatever stands around them; values that are no limit are dropped.
    EcritFichier(app.filePath("Ramag.ini"), " 0 \r\n\r\n80\r\n21\r\nautre chose\r\ndebitmaxkio = 300\r\n"
                                            "TransfertsSimultanes=deux\r\nTransfertsSimultanes=2\r\n");
    f.reset(); // one window at a time
    f = Demarre();
    f->show();
    f->EnregistreParams();
    EXPECT_EQ(Ini(), " 0 \r\n\r\n80\r\n21\r\nTransfertsSimultanes=2\r\nDebitMaxKio=300\r\n");
}

// Installed, the program's folder cannot be written: the settings live in the
// user's configuration folder, and one left beside the program only serves
// until the user has saved their own.
TEST_F(Demarrage, RamagIniDansLaConfigurationQuandLeDossierEstEnLectureSeule) {
    QTemporaryDir config;
    const QByteArray avant = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString service = PrepareProgramme(app, "REP_TMP=" + app.path().toUtf8() + "\r\n");
    frmPrincipal::DefinitCheminVerrou(config.filePath("verrou")); // not in the read-only folder
    EcritFichier(app.filePath("Ramag.ini"), " 1 \r\nlivre.exemple\r\n3128\r\n21\r\n");
    {
        DossierMonte lectureSeule(app.path(), DossierMonte::LectureSeule);
        if (!lectureSeule.Erreur().isEmpty())
            GTEST_SKIP() << lectureSeule.Erreur().toStdString();
        const QString ini = config.filePath("ramaglin/Ramag.ini");
        auto f = Lance(service);
        EXPECT_EQ(f->AdresseProxy->text(), "livre.exemple");
        f->show();
        f->AdresseProxy->setText("cache.exemple");
        f->TypeConnexion[0]->click();
        f->close();
        EXPECT_EQ(LitFichier(ini), " 0 \r\ncache.exemple\r\n3128\r\n21\r\n");
        f.reset();
        f = Lance(service);
        EXPECT_EQ(f->AdresseProxy->text(), "cache.exemple");
        EXPECT_FALSE(f->TypeConnexion[1]->isChecked());
    }
    EXPECT_EQ(Ini(), " 1 \r\nlivre.exemple\r\n3128\r\n21\r\n");
    avant.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", avant);
}

TEST_F(Demarrage, DeuxiemeInstanceEtOngletDesResultats) {
    auto f = Demarre();
    // A second instance says nothing, after the steps before the check.
    Demarre("REP_TMP=" + app.path().toUtf8() + "\r\nFICHIER_CONFIG_SUPPR=O\r\n", D::DeuxiemeInstance);
    EXPECT_FALSE(QFile::exists(app.filePath("service.txt")));
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    QTabBar* barre = f->Onglets->tabBar();
    QTest::mouseClick(barre, Qt::LeftButton, {}, barre->tabRect(2).center());
    EXPECT_EQ(rec.Textes(), QStringList{"Il faut que vous recherchiez des sources auparavant"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    // Even when the tab is reachable, it is refused until a search found something.
    f->Onglets->setTabEnabled(2, true);
    f->Onglets->setCurrentIndex(2);
    EXPECT_EQ(f->Onglets->currentIndex(), 1);
    f->RechercheEffectuee = true;
    f->Onglets->setCurrentIndex(2);
    EXPECT_EQ(f->Onglets->currentIndex(), 2);
    EXPECT_EQ(rec.messages.size(), 2u);
    f.reset();
    Demarre(); // once the first has ended, the lock is free again
}

// The desktop is handed a local file for anything that is not an address,
// even a relative name that would pass for a host.
TEST(ShellBureau, UnCheminNEstJamaisUneAdresse) {
    const QString ici = QDir::currentPath();
    EXPECT_EQ(ShellBureau::AdresseBureau("open", "telechargements/notes.pdf"),
              QUrl::fromLocalFile(ici + "/telechargements/notes.pdf"));
    EXPECT_EQ(ShellBureau::AdresseBureau("explore", "/tmp/absent/notes.pdf"), QUrl::fromLocalFile("/tmp/absent"));
    EXPECT_EQ(ShellBureau::AdresseBureau("open", "HTTP://exemple.fr/a b"),
              QUrl("http://exemple.fr/a b"));
}

} // namespace
