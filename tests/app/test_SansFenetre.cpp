// The run without windows, from the outside: the built program started the way
// cron or a systemd timer starts it (no display, no terminal), against nginx
// (our own server for failures and a slow drip), read from its output, its
// exit status and the files it leaves.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "download/Lectures.h"
#include "search/MoteurRecherche.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"

namespace {

struct Execution {
    int statut = -1;    // the exit status (-1: the program crashed)
    QStringList lignes; // standard output, line by line
    QString erreurs;    // standard error
};

void Demarre(QProcess& p, const QStringList& arguments) {
    // A platform that needs a display, and none: a window, or anything that
    // loads the platform plugin, would not start.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(RAMAGLIN_BINARY_DIR "/ramaglin"), arguments);
}

Execution Termine(QProcess& p) {
    if (!p.waitForFinished(120000)) { // a guard: the runs take seconds
        ADD_FAILURE() << "the program did not end";
        p.kill();
        p.waitForFinished();
    }
    QStringList lignes = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    if (lignes.last().isEmpty())
        lignes.removeLast();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, lignes,
            QString::fromUtf8(p.readAllStandardError())};
}

Execution Lance(const QStringList& arguments) {
    QProcess p;
    Demarre(p, arguments);
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

    void SetUp() override {
        QDir().mkpath(tmp);
        QDir().mkpath(dest);
    }

    // Writes a service whose list (lines "address TAB text TAB size") nginx
    // serves, whose files come from `base` (nginx by default) into `dest`, new
    // files only. Returns its parameter file.
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
    QStringList Destination() const {
        return QDir(dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir travail;
    const QString tmp = travail.filePath("tmp"), dest = travail.filePath("dest");
};

TEST_F(SansFenetre, TousArrivesPuisRienDeNouveau) {
    const QString param = Service("a.bin\tA\t2048\r\nb.bin\tB\t2048\r\nc.bin\tC\t2048\r\n",
                                  "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=2\r\n"
                                  "DUREE_PAUSE_ENTRE_TELECHARGEMENT=1\r\n");
    const QString ini = RAMAGLIN_BINARY_DIR "/Ramag.ini";
    const bool iniAvant = QFile::exists(ini);
    const QByteArray reglages = LitFichier(ini);

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
    EXPECT_EQ(QFile::exists(ini), iniAvant);
    EXPECT_EQ(LitFichier(ini), reglages);
}

TEST_F(SansFenetre, UnFichierEnEchecDonneUn) {
    ServeurTest serveur;
    serveur.Repond("*", "/ok", ReponseTest::Ok(Motif(1000)));
    serveur.Repond("*", "/interdit", ReponseTest::Statut(403));
    const QString param = Service("ok\tOk\r\nabsent\tAbsent\r\ninterdit\tInterdit\r\n",
                                  "LANCER_APRES_TELECHARGEMENT=O\r\n", serveur.Adresse("/"));
    const Execution e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 1);
    // The one file that arrived is named instead of opened.
    EXPECT_EQ(e.lignes, (QStringList{"[OK] Ok (1000 octets)", "[Erreur] Absent\terreur HTTP 404 : fichier introuvable",
                                     "[Erreur] Interdit\terreur HTTP 403 : accès interdit",
                                     "Un fichier téléchargé avec succès.", "Fichier téléchargé : " + dest + "/ok"}));
    EXPECT_EQ(e.erreurs, "");
    EXPECT_EQ(Destination(), QStringList{"ok"});
}

TEST_F(SansFenetre, LigneDeCommandeEtConfiguration) {
    const QRegularExpression projet("project\\(Ramaglin VERSION ([0-9.]+)");
    const QString version = projet.match(LitFichier(RAMAGLIN_SOURCE_DIR "/CMakeLists.txt")).captured(1);
    ASSERT_FALSE(version.isEmpty());
    const QString absent = travail.filePath("absent.txt");
    const QString sansListe = travail.filePath("sans-liste.txt");
    EcritFichier(sansListe, "REP_TMP=" + tmp.toUtf8() + "\r\nFICHIER_LISTE_NOM=" +
                                nginx->Adresse("/nulle-part.txt").toUtf8() + "\r\nAFFICHE_RESULTAT=O\r\n");
    const struct {
        QStringList arguments;
        int statut;
        QString sortie;   // the first line of standard output (empty: there is none)
        QString erreurs;  // a line of standard error
        bool utilisation; // the usage on standard error
    } cas[] = {
        {{"--aide"}, 0, "Utilisation : ramaglin FICHIER", "", false},
        {{"--version"}, 0, "Le Ramaglin " + version, "", false},
        {{"--sans-fenetre"}, 2, "", "ramaglin : le fichier paramètre manque\n", true},
        {{"--telecharger", absent}, 2, "", "ramaglin : option inconnue : --telecharger\n", true},
        {{"--sans-fenetre", absent}, 2, "", "Fichier paramètre inexistant : " + absent + "\n", false},
        {{"--sans-fenetre", sansListe}, 2, "",
         "Echec lors de la recherche !\nEchec lors de la recherche : erreur HTTP 404 : fichier introuvable.\n", false},
        {{"--apercu", sansListe}, 2, "", "Echec lors de la recherche !", false},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Execution e = Lance(c.arguments);
        EXPECT_EQ(e.statut, c.statut);
        EXPECT_EQ(c.sortie.isEmpty() ? e.lignes.join('\n') : e.lignes.value(0), c.sortie);
        EXPECT_TRUE(e.erreurs.contains(c.erreurs)) << e.erreurs;
        EXPECT_EQ(e.erreurs.contains("Utilisation : ramaglin"), c.utilisation) << e.erreurs;
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

// A signal while a file arrives slowly, one file at a time: that file
// dropped, the list copy rewritten without the file that had arrived, the
// summary, and the status that names the signal.
TEST_F(SansFenetre, SignalPendantUnTransfertLent) {
    ServeurTest serveur;
    serveur.Repond("*", "/un", ReponseTest::Ok(Motif(1000)));
    serveur.Repond("*", "/lent", {.corps = Motif(400000), .goutteOctets = 4000, .goutteDelaiMs = 100});
    serveur.Repond("*", "/trois", ReponseTest::Ok(Motif(1000)));
    const auto Demande = [&](const char* cible) { return !serveur.Requetes("GET", cible).isEmpty(); };
    for (const auto& [signal, statut] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        SCOPED_TRACE(signal);
        QDir(dest).removeRecursively();
        QDir().mkpath(dest);
        serveur.OublieRequetes();
        const QString param = Service("un\tUn\r\nlent\tLent\r\ntrois\tTrois\r\n", "TRANSFERTS_SIMULTANES=1\r\n",
                                      serveur.Adresse("/"));
        QProcess p;
        Demarre(p, {"--sans-fenetre", param});
        ASSERT_TRUE(AttendQue([&] { return Demande("/lent"); }, 60000));
        ::kill(pid_t(p.processId()), signal);
        const Execution e = Termine(p);
        EXPECT_EQ(e.statut, statut);
        EXPECT_EQ(e.lignes, (QStringList{"[OK] Un (1000 octets)", "[Arrêt demandé] Lent",
                                         "Un fichier téléchargé avec succès."}));
        EXPECT_EQ(Destination(), QStringList{"un"});
        EXPECT_EQ(LitFichier(Liste()), "lent\tLent\r\ntrois\tTrois\r\n");
        EXPECT_FALSE(Demande("/trois"));
    }
}

TEST_F(SansFenetre, ApercuSansRienTelecharger) {
    const QByteArray lignes = "p1.bin\tPremier\t2048\r\np2.bin\tDeuxième\t1024\r\np3.bin\tTroisième\t3072\r\n";
    const QString param = Service(lignes, "CALCULER_TAILLE_SELECTION=O\r\nCOLONNE_TAILLE=3\r\n"
                                          "PAUSE_ENTRE_CHAQUE_TELECHARGEMENT=O\r\nNB_FICHIERS_TELECHARGES_AVANT_PAUSE=1\r\n"
                                          "DUREE_PAUSE_ENTRE_TELECHARGEMENT=30\r\n");
    const Execution e = Lance({"--apercu", param});
    EXPECT_EQ(e.statut, 0);
    EXPECT_EQ(e.lignes, (QStringList{"Premier\t2 Ko", "Deuxième\t1 Ko", "Troisième\t3 Ko", "Total : 3 fichiers, 6 Ko",
                                     "Pauses : 2, 1 min 0 s en tout"}));
    EXPECT_EQ(e.erreurs, "");
    EXPECT_TRUE(Destination().isEmpty());
    EXPECT_EQ(LitFichier(Liste()), lignes);
    EXPECT_FALSE(nginx->Journal().contains("/p1.bin"));
}

// The one question the program asks with an input box, a ZIP archive's
// password, is answered by --mot-de-passe, and cancelled without it.
TEST_F(SansFenetre, MotDePasseDesArchives) {
    const QString param = Service("page.html\tPage\r\n", "CONSERVER_LIEN_TELECHARGE=N\r\nDECOMPRESSER_LIEN_ZIP=O\r\n"
                                                         "ADRESSE_BASE_LIENS_INTERNET=" + nginx->Adresse("/").toUtf8() + "\r\n");
    Execution e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 1);
    ASSERT_EQ(e.lignes.size(), 3) << e.lignes.join('\n');
    EXPECT_TRUE(e.lignes[0].startsWith("[OK] Page ("));
    EXPECT_TRUE(e.lignes[1].startsWith("[Erreur] infozip_password.zip\t")) << e.lignes[1];
    EXPECT_EQ(e.lignes[2], "Aucun fichier téléchargé.");
    EXPECT_TRUE(e.erreurs.contains("--mot-de-passe MOT")) << e.erreurs;
    EXPECT_EQ(Destination(), QStringList());

    e = Lance({"--sans-fenetre", "--mot-de-passe", "secret", param});
    EXPECT_EQ(e.statut, 0);
    ASSERT_EQ(e.lignes.size(), 3) << e.lignes.join('\n');
    EXPECT_TRUE(e.lignes[1].startsWith("[OK] infozip_password.zip (")) << e.lignes[1];
    EXPECT_EQ(e.lignes[2], "Un fichier téléchargé avec succès.");
    EXPECT_TRUE(Arbre(dest) == Arbre(CheminFixture("zip/source"))) << Arbre(dest).keys().join(' ').toStdString();
}

} // namespace

// A run killed during a large transfer (SIGKILL: nothing cleaned up) leaves
// its work file, which the next run finds and continues: the file arrives
// whole and no work file stays.
TEST_F(SansFenetre, RepriseApresUnRunTue) {
    ServeurTest serveur;
    const QByteArray gros = Motif(4 * 1024 * 1024);
    ReponseTest reponse{.entetes = "ETag: \"k\"\r\n", .corps = gros, .goutteOctets = 128 * 1024,
                        .goutteDelaiMs = 150, .plages = true, .validateur = "\"k\""};
    serveur.Repond("*", "/g.bin", reponse);
    const QString param = Service("g.bin\tG\t1\r\n", "", serveur.Adresse("/"));
    QProcess p;
    Demarre(p, {"--sans-fenetre", param});
    const QString reprise = dest + "/.ramaglin-reprise";
    const auto garde = [&] {
        const QStringList parts = QDir(reprise).entryList({"*.part"});
        return parts.isEmpty() ? 0 : QFileInfo(reprise + "/" + parts[0]).size();
    };
    ASSERT_TRUE(AttendQue([&] { return garde() >= 1024 * 1024; }, 30000));
    p.kill();
    p.waitForFinished();
    const qint64 octets = garde();
    // The killed run's lock on its work file stays behind; a program that is
    // gone holds nothing, and the next run takes the file over.
    EXPECT_EQ(QDir(reprise).entryList({"*.verrou"}, QDir::Files | QDir::Hidden).size(), 1);

    reponse.goutteOctets = 0;
    serveur.Repond("*", "/g.bin", reponse);
    const Execution e = Lance({"--sans-fenetre", param});
    EXPECT_EQ(e.statut, 0) << e.erreurs.toStdString();
    EXPECT_EQ(e.lignes.value(0), "[OK] G (4 Mo)");
    const auto gets = serveur.Requetes("GET", "/g.bin");
    ASSERT_EQ(gets.size(), 2);
    EXPECT_EQ(gets[1].Entete("Range"), "bytes=" + QByteArray::number(octets) + "-"); // If-Range: the net tests
    EXPECT_TRUE(LitFichier(dest + "/g.bin") == gros);
    EXPECT_EQ(Destination(), QStringList{"g.bin"});
}
