// The built program started as cron or a systemd timer would (no display, no
// terminal), read from its output, its exit status and the files it leaves.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QLocalServer>
#include <QTemporaryDir>
#include <csignal>

#include "download/Lectures.h"
#include "search/MoteurRecherche.h"
#include "support/Outils.h"
#include "support/Processus.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"

namespace {

// The exit status (-1: the program crashed), standard output by line, standard error.
struct Execution { int statut = -1; QStringList lignes; QString erreurs; };

// A platform that needs a display, and none: anything that loads it would not
// start. No session bus unless `environnement` ("NOM=valeur") gives one.
void Demarre(QProcess& p, const QStringList& arguments, const QStringList& environnement = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nulle-part/bus");
    for (const QString& e : environnement)
        env.insert(e.section('=', 0, 0), e.section('=', 1));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(RAMAGLIN_BINARY_DIR "/ramaglin"), arguments);
}

QByteArray Pauses(int tous, int secondes) {
    return "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=" + QByteArray::number(tous) +
           "\r\nDUREE_PAUSE_ENTRE_TELECHARGEMENT=" + QByteArray::number(secondes) + "\r\n";
}

Execution Termine(QProcess& p) {
    if (!p.waitForFinished(120000)) { // a guard: the runs take seconds
        ADD_FAILURE() << "the program did not end";
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            QString::fromUtf8(p.readAllStandardError())};
}

Execution Lance(const QStringList& arguments, const QStringList& environnement = {}) {
    QProcess p;
    Demarre(p, arguments, environnement);
    return Termine(p);
}

class SansFenetre : public SuiteNginx<SansFenetre> {
protected:
    static void SetUpTestSuite() {
        SuiteNginx::SetUpTestSuite();
        for (const char* nom : {"a.bin", "b.bin", "c.bin"})
            EcritFichier(racine->filePath(nom), Motif(2048));
        EcritFichier(racine->filePath("page.html"), "<a href=\"infozip_password.zip\">archive</a>");
        QFile::copy(CheminFixture("zip/infozip_password.zip"), racine->filePath("infozip_password.zip"));
    }

    void SetUp() override { QDir().mkpath(tmp); QDir().mkpath(dest); }

    // A service whose list nginx serves ("address TAB text TAB size"), its files
    // from `base` (nginx by default) into `dest`, new files only.
    QString Service(const QByteArray& lignes, const QByteArray& autres = "", const QString& base = QString()) {
        static int numero = 0;
        const QString liste = QStringLiteral("liste-%1.txt").arg(++numero);
        EcritFichier(racine->filePath(liste), lignes);
        const QString param = travail.filePath("service.txt");
        EcritFichier(param, "REP_TMP=" + tmp.toUtf8() + "\r\nFICHIER_LISTE_NOM=" + nginx->Adresse("/" + liste).toUtf8() +
                                "\r\nAFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\nCOMPARER_LISTE_A_REPERTOIRE=O\r\n"
                                "COL_COMPARAISON_REP=1\r\nEXTENSION_A_COMPARER=*.*\r\nCHEMIN_A_COMPARER=" + dest.toUtf8() +
                                "\r\nNUM_COLONNE_TELECHARGEE=1\r\nCHEMIN_DESTINATION_FICHIER_SOURCE=" + dest.toUtf8() +
                                "\r\nADRESSE_BASE_FICHIERS_SOURCES=" + (base.isEmpty() ? nginx->Adresse("/") : base).toUtf8() +
                                "\r\n" + autres);
        return param;
    }
    QString Liste() const { return tmp + "/Liste.tmp"; }
    QStringList Destination() const { return QDir(dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    QTemporaryDir travail;
    const QString tmp = travail.filePath("tmp"), dest = travail.filePath("dest");
};

TEST_F(SansFenetre, TousArrivesPuisRienDeNouveau) {
    const QString param = Service("a.bin\tA\t2048\r\nb.bin\tB\t2048\r\nc.bin\tC\t2048\r\n", Pauses(2, 1));
    const auto reglages = [] { const QString ini = RAMAGLIN_BINARY_DIR "/Ramag.ini"; return QFile::exists(ini) ? LitFichier(ini) : "-"; };
    const QByteArray avant = reglages();

    Execution e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 0);
    EXPECT_EQ(e.lignes, (QStringList{"[OK] A (2 Ko)", "[OK] B (2 Ko)", "[OK] C (2 Ko)",
                                     "3 fichiers téléchargés avec succès."}));
    // Not a terminal: the pause in one line, no progress at all.
    EXPECT_EQ(e.erreurs, "Pause de 1 seconde\n");
    EXPECT_EQ(Destination(), (QStringList{"a.bin", "b.bin", "c.bin"}));

    e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 0);
    EXPECT_EQ(e.lignes, QStringList{"Il n'y a pas eu de nouveaux fichiers."});
    EXPECT_EQ(e.erreurs, "");
    // The window's connection settings are read, never written.
    EXPECT_EQ(reglages(), avant);

    // One failure gives status 1; the one file that arrived is named instead of opened.
    QFile::remove(dest + "/a.bin");
    e = Lance({"--sans-fenetre", Service("a.bin\tA\r\nabsent\tAbsent\r\n", "LANCER_APRES_TELECHARGEMENT=O\r\n")});
    EXPECT_EQ(e.statut, 1);
    EXPECT_EQ(e.lignes, (QStringList{"[OK] A (2 Ko)", "[Erreur] Absent\terreur HTTP 404 : fichier introuvable",
                                     "Un fichier téléchargé avec succès.", "Fichier téléchargé : " + dest + "/a.bin"}));
    EXPECT_EQ(e.erreurs, "");
}

TEST_F(SansFenetre, LigneDeCommandeEtConfiguration) {
    const QString absent = travail.filePath("absent.txt");
    const QString sansListe = travail.filePath("sans-liste.txt");
    EcritFichier(sansListe, "REP_TMP=" + tmp.toUtf8() + "\r\nFICHIER_LISTE_NOM=" +
                                nginx->Adresse("/nulle-part.txt").toUtf8() + "\r\nAFFICHE_RESULTAT=O\r\n");
    const struct {
        QStringList arguments;
        int statut;
        QString sortie;   // how standard output starts (empty: there is none)
        QString erreurs;  // a line of standard error (the usage follows those of the command line)
    } cas[] = {
        {{"--aide"}, 0, "Utilisation : ramaglin FICHIER", ""},
        {{"--version"}, 0, "Le Ramaglin ", ""},
        {{"--sans-fenetre"}, 2, "", "ramaglin : le fichier paramètre manque\n"},
        {{"--telecharger", absent}, 2, "", "ramaglin : option inconnue : --telecharger\n"},
        {{"--sans-fenetre", absent}, 2, "", "Fichier paramètre inexistant : " + absent + "\n"},
        {{"--sans-fenetre", sansListe}, 2, "",
         "Echec lors de la recherche !\nEchec lors de la recherche : erreur HTTP 404 : fichier introuvable.\n"},
        {{"--apercu", sansListe}, 2, "", "Echec lors de la recherche !"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Execution e = Lance(c.arguments);
        EXPECT_EQ(e.statut, c.statut);
        EXPECT_TRUE(c.sortie.isEmpty() ? e.lignes.isEmpty() : e.lignes.value(0).startsWith(c.sortie)) << e.lignes.join('\n');
        EXPECT_TRUE(e.erreurs.contains(c.erreurs)) << e.erreurs;
        EXPECT_EQ(e.erreurs.contains("Utilisation : ramaglin"), c.erreurs.startsWith("ramaglin :")) << e.erreurs;
    }

    // The window searching the same service holds its lock: told, status 75
    // (a timer tries again later), nothing fetched, the list copy as it was.
    const QString param = Service("a.bin\tA\t2048\r\n");
    EcritFichier(Liste(), "copie de la fenêtre\r\n");
    VerrouListe fenetre;
    ASSERT_EQ(fenetre.Prend(tmp + "/"), VerrouListe::Etat::Pris);
    const Execution e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 75);
    EXPECT_EQ(e.erreurs, "Une autre recherche de ce service est en cours.\n");
    EXPECT_TRUE(Destination().isEmpty());
    EXPECT_EQ(LitFichier(Liste()), "copie de la fenêtre\r\n");
}

// A signal during a slow transfer, a server's wait, a pause: the file in
// transfer dropped, the list copy rewritten, the summary, the status that names
// the signal; a 40 s wait ends with the signal.
TEST_F(SansFenetre, SignalPendantUnTransfertOuUneAttente) {
    ServeurTest serveur;
    for (const char* cible : {"/un", "/deux", "/trois"})
        serveur.Repond("*", cible, ReponseTest::Ok(Motif(1000)));
    serveur.Repond("*", "/lent", {.corps = Motif(400000), .goutteOctets = 4000, .goutteDelaiMs = 100});
    serveur.Repond("*", "/occupe", {.statut = 429, .entetes = "Retry-After: 40\r\n"});
    const auto Demande = [&](const char* cible) { return !serveur.Requetes("GET", cible).isEmpty(); };
    const struct {
        const char* nom;
        int signal, statut;
        QByteArray deuxieme, autres; // the second row's address, more settings
        QString signe;               // the signal is sent once standard error says this...
        const char* demande;         // ...or the second file is asked for
        QString ligne;               // the second row's report line
    } cas[] = {
        {"transfert, SIGTERM", SIGTERM, 143, "lent", "", "", "/lent", "[Arrêt demandé] Deux"},
        {"attente du serveur, SIGINT", SIGINT, 130, "occupe", "", "Le serveur demande d'attendre 40 secondes", nullptr,
         "[Arrêt demandé] Deux"},
        {"pause", SIGTERM, 143, "deux", Pauses(1, 40), "Pause de 40 secondes", nullptr, ""},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        QDir(dest).removeRecursively();
        QDir().mkpath(dest);
        serveur.OublieRequetes();
        const QString param = Service("un\tUn\r\n" + c.deuxieme + "\tDeux\r\ntrois\tTrois\r\n", c.autres + "TRANSFERTS_SIMULTANES=1\r\n",
                                      serveur.Adresse("/"));
        QProcess p;
        Demarre(p, {"--sans-fenetre", param});
        QString erreurs;
        ASSERT_TRUE(AttendQue([&] {
            erreurs += QString::fromUtf8(p.readAllStandardError());
            return c.demande ? Demande(c.demande) : erreurs.contains(c.signe);
        }, 60000)) << erreurs.toStdString();
        QElapsedTimer depuisSignal;
        depuisSignal.start();
        ::kill(pid_t(p.processId()), c.signal);
        const Execution e = Termine(p);
        EXPECT_LT(depuisSignal.elapsed(), 10000);
        EXPECT_EQ(e.statut, c.statut);
        QStringList lignes{"[OK] Un (1000 octets)", c.ligne, "Un fichier téléchargé avec succès."};
        lignes.removeAll(QString());
        EXPECT_EQ(e.lignes, lignes);
        EXPECT_EQ(Destination(), QStringList{"un"});
        EXPECT_EQ(LitFichier(Liste()), c.deuxieme + "\tDeux\r\ntrois\tTrois\r\n");
    }
}

TEST_F(SansFenetre, ApercuSansRienTelecharger) {
    const QByteArray lignes = "p1.bin\tPremier\t2048\r\np2.bin\tDeuxième\t1024\r\np3.bin\tTroisième\t3072\r\n";
    const QString param = Service(lignes, "CALCULER_TAILLE_SELECTION=O\r\nCOLONNE_TAILLE=3\r\n" + Pauses(1, 30));
    const Execution e = Lance({"--apercu", param});
    EXPECT_EQ(e.statut, 0);
    EXPECT_EQ(e.lignes, (QStringList{"Premier\t2 Ko", "Deuxième\t1 Ko", "Troisième\t3 Ko", "Total : 3 fichiers, 6 Ko",
                                     "Pauses : 2, 1 min 0 s en tout"}));
    EXPECT_EQ(e.erreurs, "");
    EXPECT_TRUE(Destination().isEmpty());
    EXPECT_EQ(LitFichier(Liste()), lignes);
}

// The one question the program asks with an input box, a ZIP archive's
// password, is answered by --mot-de-passe, and cancelled without it.
TEST_F(SansFenetre, MotDePasseDesArchives) {
    const QString param = Service("page.html\tPage\r\n", "CONSERVER_LIEN_TELECHARGE=N\r\nDECOMPRESSER_LIEN_ZIP=O\r\n"
                                                         "ADRESSE_BASE_LIENS_INTERNET=" + nginx->Adresse("/").toUtf8() + "\r\n");
    Execution e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 1);
    EXPECT_TRUE(e.lignes.value(1).startsWith("[Erreur] infozip_password.zip\t")) << e.lignes.join('\n');
    EXPECT_EQ(e.lignes.value(2), "Aucun fichier téléchargé.");
    EXPECT_TRUE(e.erreurs.contains("--mot-de-passe MOT")) << e.erreurs;
    EXPECT_EQ(Destination(), QStringList());

    e = Lance({"--sans-fenetre", "--mot-de-passe", "secret", param});
    EXPECT_EQ(e.statut, 0);
    EXPECT_TRUE(e.lignes.value(1).startsWith("[OK] infozip_password.zip (")) << e.lignes.join('\n');
    EXPECT_EQ(e.lignes.value(2), "Un fichier téléchargé avec succès.");
    EXPECT_TRUE(Arbre(dest) == Arbre(CheminFixture("zip/source"))) << Arbre(dest).keys().join(' ').toStdString();
}

// A session bus of this test's own, with tests/app/faux-notifications as the
// desktop's notification service (the first notification clicked).
TEST_F(SansFenetre, NotificationsDuBureau) {
    QTemporaryDir bus;
    Processus demon;
    const QString adresse = "unix:path=" + bus.filePath("bus");
    if (!demon.Lance({"dbus-daemon", "--session", "--nofork", "--address=" + adresse}, bus.filePath("demon")) ||
        !AttendQue([&] { return QFile::exists(bus.filePath("bus")); }, 10000))
        GTEST_SKIP() << "dbus-daemon absent";
    Processus faux;
    const QStringList avecBus{"DBUS_SESSION_BUS_ADDRESS=" + adresse, "PATH=" + bus.path() + ":" + qEnvironmentVariable("PATH")};
    ASSERT_TRUE(faux.Lance({"env", avecBus[0], RAMAGLIN_BINARY_DIR "/tests/app/faux-notifications", bus.filePath("recues"), "--clic"},
                           bus.filePath("faux")));
    ASSERT_TRUE(AttendQue([&] { return LitFichier(bus.filePath("faux")).startsWith("pret"); }, 10000));
    const auto recues = [&] { return QString::fromUtf8(LitFichier(bus.filePath("recues"))).split('\n', Qt::SkipEmptyParts); };
    // "Ouvrir le dossier" goes through xdg-open: this one writes down what it was given.
    EcritFichier(bus.filePath("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" >\"" + bus.filePath("ouvert").toUtf8() + "\"\n");
    QFile::setPermissions(bus.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner);

    const QByteArray titre = "TITRE_TELECHARGEMENT=Mises \xC3\xA0 jour#du service\r\n";
    const QString param = Service("a.bin\tA\t2048\r\nb.bin\tB\t2048\r\n", titre);
    EXPECT_EQ(Lance({"--sans-fenetre", param}, avecBus).statut, 0);
    EXPECT_EQ(recues(), QStringList{"Mises à jour du service\t2 nouveaux fichiers\tdefault,Ouvrir le dossier"});
    EXPECT_TRUE(AttendQue([&] { return LitFichier(bus.filePath("ouvert")) == dest.toUtf8(); }, 10000));
    // Nothing new, or asked not to: nothing said.
    EXPECT_EQ(Lance({"--sans-fenetre", param}, avecBus).statut, 0);
    QFile::remove(dest + "/a.bin");
    EXPECT_EQ(Lance({"--sans-fenetre", "--sans-notification", param}, avecBus).lignes.value(0), "[OK] A (2 Ko)");
    EXPECT_EQ(recues().size(), 1);
    // A failure says why.
    EXPECT_EQ(Lance({"--sans-fenetre", Service("absent\tAbsent\r\n", titre)}, avecBus).statut, 1);
    EXPECT_EQ(recues().value(1), "Mises à jour du service\t1 fichier en échec : erreur HTTP 404 : fichier introuvable\t");
    // A bus that never answers, not even the greeting: the same failure, told the same way, and an end.
    QLocalServer muet;
    ASSERT_TRUE(muet.listen(bus.filePath("muet")));
    const QString absent = travail.filePath("absent.txt");
    const Execution e = Lance({"--sans-fenetre", absent}, {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus.filePath("muet")});
    EXPECT_EQ(e.statut, 2);
    EXPECT_EQ(e.erreurs, "Fichier paramètre inexistant : " + absent + "\n");
    EXPECT_EQ(recues().size(), 2);
}

} // namespace

// A run killed during two large transfers (SIGKILL: nothing cleaned up)
// leaves their work files, never in the destination itself: the next run
// continues the one that can be resumed, removes the other, and no work file
// stays.
TEST_F(SansFenetre, RepriseApresUnRunTue) {
    ServeurTest serveur;
    const QByteArray gros = Motif(4 * 1024 * 1024);
    ReponseTest reponse{.entetes = "ETag: \"k\"\r\n", .corps = gros, .goutteOctets = 128 * 1024,
                        .goutteDelaiMs = 150, .plages = true, .validateur = "\"k\""};
    serveur.Repond("*", "/g.bin", reponse);
    ReponseTest sansValidateur{.corps = gros, .goutteOctets = 128 * 1024, .goutteDelaiMs = 150};
    serveur.Repond("*", "/n.bin", sansValidateur);
    const QString param = Service("g.bin\tG\t1\r\nn.bin\tN\t1\r\n", "", serveur.Adresse("/"));
    QProcess p;
    Demarre(p, {"--sans-fenetre", param});
    const QString reprise = dest + "/.ramaglin-reprise";
    const auto garde = [&](const QString& motif) {
        const QStringList parts = QDir(reprise).entryList({motif}, QDir::Files | QDir::Hidden);
        return parts.isEmpty() ? 0 : QFileInfo(reprise + "/" + parts[0]).size();
    };
    ASSERT_TRUE(AttendQue([&] { return garde("????????????????????????????????.part") >= 1024 * 1024 &&
                                       garde("en-cours-*.part") > 0; }, 30000));
    p.kill();
    p.waitForFinished();
    const qint64 octets = garde("????????????????????????????????.part");
    EXPECT_EQ(Destination(), QStringList{".ramaglin-reprise"});
    // The killed run's lock on its work file stays behind; a program that is
    // gone holds nothing, and the next run takes the file over.
    EXPECT_EQ(QDir(reprise).entryList({"*.verrou"}, QDir::Files | QDir::Hidden).size(), 1);

    reponse.goutteOctets = sansValidateur.goutteOctets = 0;
    serveur.Repond("*", "/g.bin", reponse);
    serveur.Repond("*", "/n.bin", sansValidateur);
    const Execution e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 0) << e.erreurs.toStdString();
    EXPECT_EQ(e.lignes.mid(0, 2), (QStringList{"[OK] G (4 Mo)", "[OK] N (4 Mo)"}));
    const auto gets = serveur.Requetes("GET", "/g.bin");
    ASSERT_EQ(gets.size(), 2);
    EXPECT_EQ(gets[1].Entete("Range"), "bytes=" + QByteArray::number(octets) + "-"); // If-Range: the net tests
    EXPECT_TRUE(LitFichier(dest + "/g.bin") == gros && LitFichier(dest + "/n.bin") == gros);
    EXPECT_EQ(Destination(), (QStringList{"g.bin", "n.bin"}));
}
