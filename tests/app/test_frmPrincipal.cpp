// Start-up and main window, from real parameter files in a temporary folder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/InstanceService.h"
#include "app/ShellBureau.h"
#include "app/VerificationProgrammee.h"
#include "config/CoffreSecrets.h"
#include "config/Fonctions_Variables.h"
#include "config/Service.h"
#include "download/Fonctions_LanceFichier.h"
#include "support/DossierMonte.h"
#include "support/EnregistreurMessages.h"
#include "support/EnregistreurShell.h"
#include "support/Processus.h"
#include "support/Programme.h"

namespace {

// What the window asks of systemctl, recorded; answers by verb (none: not started).
struct EnregistreurCommandes final : LanceurCommandes {
    void Lance(const QStringList& commande, int, QObject*, Suite suite) override {
        lignes << commande.join(' ');
        suite(reponses.value(commande.value(2)));
    }
    QStringList lignes;
    QMap<QString, Resultat> reponses;
};

// Sets an environment variable for a scope, then puts back what was there.
struct Environnement {
    Environnement(const char* nom, const QString& valeur) : nom(nom), avant(qgetenv(nom)) { qputenv(nom, QFile::encodeName(valeur)); }
    ~Environnement() { avant.isNull() ? qunsetenv(nom) : qputenv(nom, avant); }
    const char* nom;
    const QByteArray avant;
};

LanceurCommandes::Resultat Reponse(int code, const QString& sortie, const QString& erreur = {}) {
    return {true, false, code, sortie, erreur};
}

// The secret store, recorded: what it holds, or none at all.
struct CoffreEnMemoire final : CoffreSecrets {
    void Lit(const QString& cle, QObject*, Suite suite) override {
        suite(Reponse(secrets.contains(cle) ? ReponseCoffre::Etat::Trouve : ReponseCoffre::Etat::Absent,
                      secrets.value(cle)));
    }
    void Ecrit(const QString& cle, const QString& motDePasse, QObject*, Suite suite) override {
        disponible ? void(secrets[cle] = motDePasse) : void();
        suite(Reponse(ReponseCoffre::Etat::Trouve, {}));
    }
    void Efface(const QString& cle, QObject*, Suite suite) override {
        disponible ? void(secrets.remove(cle)) : void();
        suite(Reponse(ReponseCoffre::Etat::Trouve, {}));
    }
    ReponseCoffre Reponse(ReponseCoffre::Etat etat, const QString& motDePasse) const {
        return disponible ? ReponseCoffre{etat, motDePasse, {}} : ReponseCoffre{ReponseCoffre::Etat::Indisponible, {}, "aucun"};
    }
    QMap<QString, QString> secrets;
    bool disponible = true;
};

class Demarrage : public ::testing::Test {
protected:
    using D = frmPrincipal::Demarrage;
    // The desktop's systemctl and secret store are never reached from here.
    void SetUp() override {
        PrepareProgramme(app, "");
        DefinitCommandes(commandes);
        DefinitCoffre(coffre);
    }
    void TearDown() override {
        DefinitCommandes(nullptr);
        DefinitCoffre(nullptr);
    }
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
    std::shared_ptr<EnregistreurCommandes> commandes = std::make_shared<EnregistreurCommandes>();
    std::shared_ptr<CoffreEnMemoire> coffre = std::make_shared<CoffreEnMemoire>();
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
    EcritFichier(chemin, "REP_TMP=" + app.path().toUtf8() + "/tmp\r\nTITRE_TELECHARGEMENT=Mises \xC3\xA0 jour#du service\r\n"
                         "LANCER_TELECHARGEMENT_DEMARRAGE=O\r\n");
    auto f = Lance("\"" + chemin + "\" ignore.txt");
    EXPECT_EQ(rec.Textes(), QStringList());
    EXPECT_EQ(f->FichierParametres, chemin);
    EXPECT_EQ(LitVariable("REP_TMP"), app.path() + "/tmp/"); // ends with a slash
    EXPECT_EQ(f->LabelTitre->text(), "Mises à jour\ndu service");
    EXPECT_TRUE(f->TimerDemarrage->isActive() && QFile::exists(chemin)); // not asked to delete it
    f.reset();
    // A lowercase "o" is not a yes; a faulty line is reported and start-up goes on. No
    // usable temporary folder: the program's own for the service, private, announced once.
    f = Demarre("LANCER_TELECHARGEMENT_DEMARRAGE=o\r\nTITRE_TELECHARGEMENT=Avant\r\nINCONNUE=1\r\nREP_TMP=/x/\r\n");
    const QString prive = DossierTemporairePrive(app.filePath("service.txt"));
    EXPECT_TRUE(prive.startsWith(qEnvironmentVariable("XDG_CACHE_HOME") + "/ramaglin/service-")) << prive.toStdString();
    EXPECT_TRUE(!f->TimerDemarrage->isActive() && f->LabelTitre->text() == "Avant");
    EXPECT_EQ(rec.Textes(), (QStringList{"Variable inconnue : INCONNUE", "Le fichier paramètre ne nomme pas de dossier "
                                         "temporaire (REP_TMP) : la liste de ce service sera copiée dans " + prive + "."}));
    EXPECT_EQ(LitVariable("REP_TMP"), prive);
    EXPECT_EQ(QFile::permissions(prive) & 0x0077, 0) << "readable or writable by others";
    // Nor is a folder others can write into (/tmp); said once already.
    f.reset();
    rec.Vide();
    f = Demarre("REP_TMP=/tmp\r\n");
    EXPECT_EQ(LitVariable("REP_TMP"), prive);
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n').toStdString();
}

TEST_F(Demarrage, RamagIniAllerRetour) {
    const std::tuple<QByteArray, bool, QString> lectures[] = {
        // contents, the proxy chosen, its address and ports (a short file: the defaults)
        {" 0 \r\nproxy.local\r\n3128\r\n2121\r\n", false, "proxy.local 3128 2121"},
        {"1\r\nproxy.local\r\n3128\r\n", true, "proxy.local 3128 21"},
        {" 1 \r\nproxy.local\r\n3128\r\n2121\r\nUtilisateurProxy=bob\r\n", true, "proxy.local 3128 2121 bob"}};
    for (const auto& [contenu, particulier, proxy] : lectures) {
        EcritFichier(app.filePath("Ramag.ini"), contenu);
        auto f = Demarre();
        EXPECT_EQ(f->TypeConnexion[1]->isChecked() && !f->frameConnexionProxy->isHidden(), particulier) << contenu.constData();
        EXPECT_EQ(QStringList({f->AdresseProxy->text(), f->HTTPProxy->text(), f->FTPProxy->text(), f->UtilisateurProxy->text()})
                      .join(' ').trimmed(), proxy);
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
    f->close(); // saves too, and deletes the list's copy as asked
    EXPECT_EQ(Ini(), " 0 \r\ncache.exemple\r\n8080\r\n21\r\n");
    EXPECT_FALSE(QFile::exists(app.filePath("Liste.tmp")));

    // The limits on the runs, by name after the four lines: kept; values that are no limit dropped.
    EcritFichier(app.filePath("Ramag.ini"), " 0 \r\n\r\n80\r\n21\r\nautre chose\r\ndebitmaxkio = 300\r\n"
                                            "TransfertsSimultanes=deux\r\nTransfertsSimultanes=2\r\n");
    f.reset(); // one window at a time
    f = Demarre();
    f->show();
    f->EnregistreParams();
    EXPECT_EQ(Ini(), " 0 \r\n\r\n80\r\n21\r\nTransfertsSimultanes=2\r\nDebitMaxKio=300\r\n");
}

// A read-only program folder: the settings go to the user's configuration folder;
// the file beside the program serves until the user saved their own.
TEST_F(Demarrage, RamagIniDansLaConfigurationQuandLeDossierEstEnLectureSeule) {
    QTemporaryDir config;
    const Environnement configuration("XDG_CONFIG_HOME", config.path());
    const QString service = PrepareProgramme(app, "REP_TMP=" + app.path().toUtf8() + "\r\n");
    frmPrincipal::DefinitCheminVerrou(config.filePath("verrou")); // not in the read-only folder
    EcritFichier(app.filePath("Ramag.ini"), " 1 \r\nlivre.exemple\r\n3128\r\n21\r\n");
    {
        DossierMonte lectureSeule(app.path(), DossierMonte::LectureSeule);
        if (!lectureSeule.Erreur().isEmpty())
            GTEST_SKIP() << lectureSeule.Erreur().toStdString();
        auto f = Lance(service);
        EXPECT_EQ(f->AdresseProxy->text(), "livre.exemple");
        f->show();
        f->AdresseProxy->setText("cache.exemple");
        f->TypeConnexion[0]->click();
        f->close();
        EXPECT_EQ(LitFichier(config.filePath("ramaglin/Ramag.ini")), " 0 \r\ncache.exemple\r\n3128\r\n21\r\n");
        f.reset();
        f = Lance(service);
        EXPECT_TRUE(f->AdresseProxy->text() == "cache.exemple" && !f->TypeConnexion[1]->isChecked());
    }
    EXPECT_EQ(Ini(), " 1 \r\nlivre.exemple\r\n3128\r\n21\r\n");
}

// One window per service: the same service again says nothing and brings the open
// window forward, whatever peers said on its socket; another service has its own.
TEST_F(Demarrage, UneFenetreParServiceEtOngletDesResultats) {
    auto f = Demarre();
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    QWidget autre;
    autre.show();
    autre.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&autre));
    int appels = 0;
    QObject::connect(f.get(), &frmPrincipal::premierPlanDemande, [&appels] { ++appels; });
    // A peer that says nothing, one that says too much: dropped, never waited for.
    const InstanceService cles(app.filePath("verrou"), app.filePath("service.txt"));
    QLocalSocket muet, bavard;
    muet.connectToServer(cles.CheminPrise());
    bavard.connectToServer(cles.CheminPrise());
    ASSERT_TRUE(muet.waitForConnected(2000) && bavard.waitForConnected(2000));
    bavard.write(QByteArray(100000, 'x') + InstanceService::Message);
    Demarre("REP_TMP=" + app.path().toUtf8() + "\r\nFICHIER_CONFIG_SUPPR=O\r\n", D::DeuxiemeInstance);
    EXPECT_FALSE(QFile::exists(app.filePath("service.txt")));
    EXPECT_TRUE(AttendQue([&] { return appels == 1 && f->isActiveWindow(); }, 10000));
    EXPECT_TRUE(AttendQue([&] { return bavard.state() == QLocalSocket::UnconnectedState; }, 10000));
    EXPECT_TRUE(appels == 1 && rec.Textes().isEmpty());
    EcritFichier(app.filePath("autre.txt"), "REP_TMP=" + app.path().toUtf8() + "\r\n");
    Lance(app.filePath("autre.txt")); // another service, another window

    QTabBar* barre = f->Onglets->tabBar();
    QTest::mouseClick(barre, Qt::LeftButton, {}, barre->tabRect(2).center());
    EXPECT_EQ(rec.Textes(), QStringList{"Il faut que vous recherchiez des sources auparavant"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    // Even when the tab is reachable, it is refused until a search found something.
    f->Onglets->setTabEnabled(2, true);
    for (const bool trouve : {false, true}) {
        f->RechercheEffectuee = trouve;
        f->Onglets->setCurrentIndex(2);
        EXPECT_EQ(f->Onglets->currentIndex(), trouve ? 2 : 1);
    }
    EXPECT_EQ(rec.messages.size(), 2u);
    f.reset();
    Demarre(); // once the first has ended, the lock is free again
}

// The daily check: the commands the box runs, the next check, a refusal, why it is
// unavailable; the system's runner; the instance name as systemd-escape --path writes it.
TEST_F(Demarrage, VerificationQuotidienne) {
    QTemporaryDir execution;
    auto runtime = std::make_unique<Environnement>("XDG_RUNTIME_DIR", execution.path());
    const QString unite = "ramaglin-verification@" + EchappeCheminSystemd(app.filePath("service.txt")) + ".timer";

    const auto indisponible = [&](const QByteArray& parametres = {}) {
        const auto f = Demarre(parametres);
        EXPECT_FALSE(f->VerificationQuotidienne->isEnabled());
        return f->LabelVerification->text().remove("Vérification quotidienne indisponible : ");
    };
    EXPECT_EQ(indisponible(), "pas de session systemd de l'utilisateur.");
    EXPECT_TRUE(commandes->lignes.isEmpty()); // nothing is asked
    QDir().mkpath(execution.filePath("systemd"));
    EXPECT_EQ(indisponible(), "systemctl est introuvable.");
    commandes->reponses["is-system-running"] = Reponse(1, "degraded");
    commandes->reponses["is-enabled"] = Reponse(1, "", "Failed to get unit file state for " + unite + ": No such file");
    EXPECT_TRUE(indisponible().contains("ne sont pas installés"));
    indisponible("REP_TMP=" + app.path().toUtf8() + "\r\nFICHIER_CONFIG_SUPPR=O\r\n");

    commandes->lignes.clear();
    commandes->reponses["is-enabled"] = Reponse(1, "disabled");
    commandes->reponses["enable"] = Reponse(0, "");
    commandes->reponses["show"] = Reponse(0, "@" + QString::number(QDateTime(QDate(2026, 12, 8), QTime(0, 17)).toSecsSinceEpoch()));
    commandes->reponses["disable"] = Reponse(1, "", "Failed to disable unit: Access denied");
    auto f = Demarre();
    ASSERT_TRUE(f->VerificationQuotidienne->isEnabled() && !f->VerificationQuotidienne->isChecked());
    EXPECT_EQ(f->LabelVerification->text(), "Pas de vérification quotidienne.");
    f->VerificationQuotidienne->click();
    EXPECT_EQ(f->LabelVerification->text(), "Prochaine vérification : mardi 8 décembre 2026 à 00:17.");
    f->VerificationQuotidienne->click(); // refused: the box shows what is
    EXPECT_TRUE(f->VerificationQuotidienne->isChecked());
    EXPECT_EQ(f->LabelVerification->text(),
              "La vérification quotidienne n'a pas pu être arrêtée : Failed to disable unit: Access denied.");
    EXPECT_EQ(commandes->lignes,
              (QStringList{"systemctl --user is-system-running", "systemctl --user is-enabled " + unite,
                           "systemctl --user enable --now " + unite,
                           "systemctl --user show --timestamp=unix -p NextElapseUSecRealtime --value " + unite,
                           "systemctl --user disable --now " + unite}));
    f.reset();
    runtime.reset();

    // The system's runner: a program missing, one that outlives its limit (killed), one that answers.
    DefinitCommandes(nullptr);
    const auto lance = [](const QStringList& commande, int delai = 300) {
        std::optional<LanceurCommandes::Resultat> r;
        QObject contexte;
        Commandes().Lance(commande, delai, &contexte, [&](const LanceurCommandes::Resultat& x) { r = x; });
        EXPECT_TRUE(AttendQue([&] { return r.has_value(); }, 20000));
        return r.value_or(LanceurCommandes::Resultat{});
    };
    EXPECT_FALSE(lance({app.filePath("absent"), "--user"}).lance);
    EXPECT_TRUE(lance({"sleep", "30"}).delaiDepasse);
    EXPECT_EQ(lance({"sh", "-c", "echo non >&2; exit 3"}).code, 3);

    for (const QString chemin : {"/home/zoé/mes services//été-2026/.cache/a\\b.ramaglin/", "/.x/-y_z:1.txt", "/"}) {
        const LanceurCommandes::Resultat outil = lance({"systemd-escape", "--path", chemin}, 20000);
        EXPECT_EQ(EchappeCheminSystemd(chemin), outil.lance ? outil.sortie : EchappeCheminSystemd(chemin)) << chemin;
    }
}

// The proxy's login, against tinyproxy: typed in the address, it is split (user to
// Ramag.ini, password to the store, never to the file) and read back at the next
// start; without a store it serves this session only, and the tab says so.
TEST_F(Demarrage, IdentifiantsDuProxy) {
    QTemporaryDir site;
    EcritFichier(site.filePath("liste.txt"), "a\tPremier\tG\r\nb\tSecond\tG\r\n");
    Nginx nginx(site.path());
    Tinyproxy proxy("BasicAuth alice s3cr.t_x");
    for (ServeurReel* serveur : std::initializer_list<ServeurReel*>{&nginx, &proxy})
        ASSERT_TRUE(serveur->Demarre()) << serveur->Erreur().toStdString();
    const QByteArray parametres = "REP_TMP=" + app.path().toUtf8() + "\r\nFICHIER_LISTE_NOM=" +
                                  nginx.Adresse("/liste.txt").toUtf8() + "\r\nAFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n"
                                  "COMPARER_LISTE_A_IDENTIFIANT=O\r\nCOL_COMPARAISON_IDENT=3\r\nIDENTIFIANT_A_COMPARER=G\r\n";
    const QString adresse = proxy.Adresse(QString());
    const auto cherche = [&](frmPrincipal& f) {
        f.RechercheEffectuee = false;
        f.cmdRecherche_Click();
        return f.RechercheEffectuee;
    };
    auto f = Demarre(parametres);
    f->show();
    f->TypeConnexion[1]->click();
    f->AdresseProxy->setText(QString(adresse).replace("http://", "http://alice:s3cr%2Et_x@"));
    emit f->AdresseProxy->editingFinished();
    EXPECT_EQ(QStringList({f->AdresseProxy->text(), f->UtilisateurProxy->text(), f->MotDePasseProxy->text()}),
              QStringList({adresse, "alice", "s3cr.t_x"}));
    EXPECT_EQ(coffre->secrets, (QMap<QString, QString>{{"proxy alice@" + adresse, "s3cr.t_x"}}));
    EXPECT_TRUE(cherche(*f)) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(proxy.Journal().count("GET " + nginx.Adresse("/liste.txt")), 1);
    f->close();
    const QString ini = " 1 \r\n" + adresse + "\r\n80\r\n21\r\nUtilisateurProxy=alice\r\n";
    EXPECT_EQ(Ini(), ini);
    f.reset();

    f = Demarre(parametres); // the password comes back from the store
    EXPECT_TRUE(f->MotDePasseProxy->text() == "s3cr.t_x" && f->LabelMotDePasse->isHidden());
    EXPECT_TRUE(cherche(*f));
    f.reset();
    coffre->secrets.clear();
    f = Demarre(parametres); // none: the proxy refuses
    EXPECT_FALSE(cherche(*f));
    f.reset();

    coffre->disponible = false;
    f = Demarre(parametres);
    f->show();
    EXPECT_EQ(f->LabelMotDePasse->isHidden() ? "" : f->LabelMotDePasse->text(), "Pas de trousseau de mots de passe "
              "disponible : le mot de passe du proxy ne sera gardé que jusqu'à la fermeture du programme.");
    f->MotDePasseProxy->setText("s3cr.t_x");
    emit f->MotDePasseProxy->editingFinished();
    EXPECT_TRUE(cherche(*f));
    f->close();
    EXPECT_EQ(Ini(), ini);
    DefinitCoffre(nullptr); // the desktop's own, without a session bus: unavailable, at once
    const Environnement sansBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nulle-part/bus");
    EXPECT_EQ(AttendCoffre([](QObject* c, CoffreSecrets::Suite s) { Coffre().Lit("proxy x@y", c, std::move(s)); },
                           frmPrincipal::DelaiCoffreMs).etat, ReponseCoffre::Etat::Indisponible);
}

// A service that acts on its own is described and asked about once per content; No
// ends the program before anything is done. A state folder not writable: asked each time.
TEST_F(Demarrage, PremierRegardSurUnFichierDeService) {
    frmPrincipal::DefinitPremierRegard(true);
    const QByteArray base = "REP_TMP=" + app.path().toUtf8() + "\r\nCHEMIN_DESTINATION_FICHIER_SOURCE=/srv/dépôt\r\n";
    const QString question = "Ce service enregistrera les fichiers dans /srv/dépôt";
    const struct { QByteArray autres; bool oui; QString texte; /* the question ("": none) */ } cas[] = {
        {"LANCER_APRES_TELECHARGEMENT=O\r\nFICHIER_CONFIG_SUPPR=O\r\n", false,
         question + ", ouvrira le fichier téléchargé et effacera son fichier paramètre après l'avoir lu. Continuer ?"},
        {"LANCER_APRES_TELECHARGEMENT=O\r\n", true, question + " et ouvrira le fichier téléchargé. Continuer ?"},
        {"LANCER_APRES_TELECHARGEMENT=O\r\n", true, ""}, // accepted before
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.autres.constData());
        rec.Vide();
        c.oui ? rec.RepondOui() : rec.RepondNon();
        Demarre(base + c.autres, c.oui ? D::Afficher : D::Refuse);
        EXPECT_EQ(rec.Textes(), c.texte.isEmpty() ? QStringList() : QStringList{c.texte});
        EXPECT_TRUE(c.texte.isEmpty() || rec.messages[0].boutons == BoutonsMessage::OuiNon);
        EXPECT_TRUE(QFile::exists(app.filePath("service.txt"))); // the file that would delete itself stays
        rec.reponses.clear();
    }
    rec.Vide();
    Demarre(); // nothing of the kind: nothing asked
    EcritFichier(app.filePath("bloque"), "");
    const Environnement etat("XDG_STATE_HOME", app.filePath("bloque/etat"));
    for (int i = 0; i < 2; ++i) {
        rec.RepondOui();
        Demarre(base);
    }
    EXPECT_EQ(rec.Textes(), (QStringList{question + ". Continuer ?", question + ". Continuer ?"}));
    frmPrincipal::DefinitPremierRegard(false);
}

// The built program: a second launch ends at once with status 0, the window still
// there; killed, its lock and socket left behind do not stop the next window.
TEST_F(Demarrage, UnProcessusParService) {
    QTemporaryDir programme, execution;
    for (const char* nom : {"ramaglin", "ramaglin-fenetres", "Ramag-ListeOptions.dat"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(RAMAGLIN_BINARY_DIR "/") + nom, programme.filePath(nom)));
    const QString service = PrepareProgramme(app, "REP_TMP=" + app.path().toUtf8() + "\r\n");
    const QStringList commande{"env", "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + execution.path(),
                               programme.filePath("ramaglin"), service};
    const QString verrou = InstanceService(execution.filePath("ramaglin"), service).CheminVerrou();
    Processus fenetre;
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(fenetre.Lance(commande, app.filePath("sortie")));
        const QByteArray pid = QByteArray::number(fenetre.Pid());
        ASSERT_TRUE(AttendQue([&] { return LitFichier(verrou).split('\n').value(0) == pid; }, 30000))
            << LitFichier(app.filePath("sortie")).constData();
        EXPECT_EQ(Execute(commande, QString(), 30000).code, 0); // a second launch ends at once
        EXPECT_FALSE(fenetre.Fini(0));
        fenetre.Tue();
    }
}

// The desktop's own store, for real: a private session bus and an unlocked
// GNOME keyring, in a child of this test (a process keeps the first session
// bus it met). A password written is read back, then gone once erased.
TEST(CoffreBureau, AllerRetourDansUnTrousseauGnome) {
    const auto appel = [](auto&& f) {
        return AttendCoffre([&](QObject* contexte, CoffreSecrets::Suite suite) { f(contexte, std::move(suite)); },
                            frmPrincipal::DelaiCoffreMs);
    };
    const QString cle = CleProxy("alice", "http://proxy:3128");
    if (qEnvironmentVariableIsSet("RAMAGLIN_TROUSSEAU_ENFANT")) {
        EXPECT_EQ(appel([&](QObject* c, auto s) { Coffre().Ecrit(cle, "s3cret", c, s); }).etat, ReponseCoffre::Etat::Trouve);
        const ReponseCoffre lu = appel([&](QObject* c, auto s) { Coffre().Lit(cle, c, s); });
        EXPECT_EQ(lu.etat, ReponseCoffre::Etat::Trouve) << lu.erreur.toStdString();
        EXPECT_EQ(lu.motDePasse, "s3cret");
        EXPECT_EQ(appel([&](QObject* c, auto s) { Coffre().Efface(cle, c, s); }).etat, ReponseCoffre::Etat::Trouve);
        EXPECT_EQ(appel([&](QObject* c, auto s) { Coffre().Lit(cle, c, s); }).etat, ReponseCoffre::Etat::Absent);
        return;
    }
    for (const char* outil : {"dbus-run-session", "gnome-keyring-daemon"})
        if (QStandardPaths::findExecutable(outil).isEmpty())
            GTEST_SKIP() << outil << " introuvable";
    QTemporaryDir maison;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("RAMAGLIN_TROUSSEAU_ENFANT", "1");
    env.insert("HOME", maison.path());
    env.insert("XDG_DATA_HOME", maison.filePath("donnees"));
    env.insert("XDG_RUNTIME_DIR", maison.path());
    p.setProcessEnvironment(env);
    p.start("dbus-run-session", {"--", "sh", "-c",
                                 "eval \"$(printf motdepasse | gnome-keyring-daemon --unlock --components=secrets)\" "
                                 "&& exec \"$0\" --gtest_filter=CoffreBureau.*",
                                 QCoreApplication::applicationFilePath()});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString() << p.readAllStandardError().toStdString();
}

// A relative file or folder reaches the desktop as an absolute local path, never as
// something it could take for a web address: from LanceFichier, and in the desktop's shell.
TEST(ShellBureau, UnCheminNEstJamaisUneAdresse) {
    const QString ici = QDir::currentPath() + "/", dossier = ici + "telechargements/";
    EnregistreurShell shell;
    QString verbe = "explore", parametres, dossierArg;
    bool attendre = false;
    EXPECT_TRUE(LanceFichier("\"telechargements/\"", false, verbe, parametres, dossierArg, "2", attendre));
    EXPECT_EQ(shell.appels, QStringList{"explore|" + dossier + "||" + dossier + "|1"});
    EXPECT_EQ(ShellBureau::AdresseBureau("open", "telechargements/notes.pdf"),
              QUrl::fromLocalFile(dossier + "notes.pdf"));
    EXPECT_EQ(ShellBureau::AdresseBureau("explore", "/tmp/absent/notes.pdf"), QUrl::fromLocalFile("/tmp/absent"));
    EXPECT_EQ(ShellBureau::AdresseBureau("open", "HTTP://exemple.fr/a b"), QUrl("http://exemple.fr/a b"));
}

} // namespace
