// The download run without windows, through a recording view, against nginx and our server.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QSet>
#include <QTimer>
#include <QTemporaryDir>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "download/MoteurTelechargement.h"
#include "download/Progression.h"
#include "net/Attente.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/LignesListe.h"
#include "support/DossierMonte.h"
#include "support/EnregistreurShell.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"
#include "support/VueEnregistreuse.h"
#include "util/Arret.h"

namespace {

// Pauses by size (after 3 Ko, 5 s) and by count (every 2 files, 7 s).
const std::vector<std::pair<const char*, const char*>> DeuxPauses = {
    {"PAUSE_SELON_TAILLE", "O"}, {"TAILLE_DECLENCHE_PAUSE", "3"}, {"DUREE_PAUSE_SELON_TAILLE", "5"},
    {"PAUSE_ENTRE_CHAQUE_TELECHARGEMENT", "O"}, {"NB_FICHIERS_TELECHARGES_AVANT_PAUSE", "2"},
    {"DUREE_PAUSE_ENTRE_TELECHARGEMENT", "7"}};

class MoteurTelechargementTest : public SuiteNginx<MoteurTelechargementTest> {
protected:
    static void SetUpTestSuite() {
        SuiteNginx::SetUpTestSuite();
        for (const char* nom : {"a.bin", "c.bin", "e.bin", "f.bin"})
            EcritFichier(racine->filePath(nom), Motif(2048));
    }

    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1, nullptr, true);
        QObject::connect(&inet, &Inet::StateChanged, [this](int etat) { GereEtatTransfert(inet, etat); });
        QDir().mkpath(tmp.filePath("rep"));
        AffecteVariable("REP_TMP", tmp.filePath("rep") + "/");
        AffecteVariable("NUM_COLONNE_TELECHARGEE", "1");
        AffecteVariable("CHEMIN_DESTINATION_FICHIER_SOURCE", dest.path());
        AffecteVariable("ADRESSE_BASE_FICHIERS_SOURCES", nginx->Adresse("/"));
    }

    // The list copy, on disk and in memory, and every row of it chosen.
    std::vector<RangeeChoisie> Liste(const QByteArray& texte) {
        EcritFichier(CheminListe(), texte);
        lignes.Charge(CheminListe());
        std::vector<RangeeChoisie> rangees;
        for (int i = 0; i < lignes.Nombre(); ++i)
            rangees.push_back({i, i, lignes.Colonne(i, 2)});
        return rangees;
    }
    QString CheminListe() const { return tmp.filePath("rep/Liste.tmp"); }
    void ParServeur() { AffecteVariable("ADRESSE_BASE_FICHIERS_SOURCES", serveur.Adresse("/")); }
    // The run's files taken from our server: rows "<p>i.bin\t<P>i", each served as `reponse`.
    QByteArray Fichiers(char p, int n, const ReponseTest& reponse) {
        ParServeur();
        QByteArray liste;
        for (int i = 0; i < n; ++i) {
            const QByteArray nom = p + QByteArray::number(i) + ".bin";
            serveur.Repond("GET", "/" + nom, reponse);
            liste += nom + "\t" + char(p - 'a' + 'A') + QByteArray::number(i) + "\r\n";
        }
        return liste;
    }
    QStringList Destination(const QString& dossier) const {
        return QDir(dossier).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot);
    }
    MoteurTelechargement::Resultat Lance(const std::vector<RangeeChoisie>& rangees, bool ouvrirALaFin = true) {
        EXPECT_TRUE(moteur.Prepare());
        return moteur.Lance(rangees, lignes, ReglagesConnexion(), ouvrirALaFin);
    }

    ServeurTest serveur; // for what nginx cannot do
    QTemporaryDir tmp, dest;
    EnregistreurMessages rec;
    EnregistreurShell shell;
    Inet inet;
    VueEnregistreuse vue;
    MoteurTelechargement moteur{inet, vue, VariablesService()};
    LignesListe lignes;
};

// Rows that arrive, fail, or have no address; the pauses by size and by count, none after the
// last row; the list copy left with the lines of the rows that stay.
TEST_F(MoteurTelechargementTest, EchecsPausesEtListeRecrite) {
    for (const auto& [nom, valeur] : DeuxPauses)
        AffecteVariable(nom, valeur);
    const auto rangees = Liste("a.bin\tA\r\nabsent.bin\tB\r\nc.bin\tC\r\n\tD\r\ne.bin\tE\r\nf.bin\tF\r\n");
    const auto r = Lance(rangees);

    EXPECT_EQ(vue.lignes, (QStringList{"[OK] A (2 Ko)", "[Erreur] B", "[OK] C (2 Ko)", "[Erreur] D",
                                       "[OK] E (2 Ko)", "[OK] F (2 Ko)"}));
    EXPECT_TRUE(vue.raisons[1].contains("404")) << vue.raisons[1].toStdString();
    EXPECT_EQ(vue.raisons[3], "aucune adresse dans la ligne de la liste");
    EXPECT_EQ(vue.rangees, (std::vector<int>{0, 2, 4, 5}));
    // After C: 4 Ko since the start, and the second file; after E: 2 Ko only.
    EXPECT_EQ(vue.pauses, (std::vector<int>{5, 7}));
    // The report is never behind a pause: C's line is shown when it starts.
    EXPECT_EQ(vue.montrees, QStringList(2, "[OK] A (2 Ko)|[Erreur] B|[OK] C (2 Ko)"));
    EXPECT_EQ(std::tuple(r.succes, r.echecs, r.arrete, vue.debuts, vue.fins), std::tuple(4, 2, false, 1, 1));
    EXPECT_EQ(r.dernierFichier, QDir(dest.path()).filePath("f.bin"));
    EXPECT_EQ(LitFichier(CheminListe()), "absent.bin\tB\r\n\tD\r\n");
    EXPECT_FALSE(QFile::exists(CheminListe() + ".tmp"));
    EXPECT_EQ(vue.renumerotation, (std::vector<qint32>{-1, 0, -1, 1, -1, -1}));
    EXPECT_EQ(lignes.Nombre(), 2);
    EXPECT_EQ(rec.Textes(), QStringList{"4 fichiers téléchargés avec succès."});
}

// REP_TMP read-only or deleted: the list copy cannot be rewritten; the user is told, the rows
// and the lines go, the copy on disk is whole as it was.
TEST_F(MoteurTelechargementTest, ReecritureImpossibleVideLaListe) {
    for (const bool supprime : {false, true}) {
        SCOPED_TRACE(supprime ? "dossier supprimé" : "dossier en lecture seule");
        vue = VueEnregistreuse();
        rec.Vide();
        const QByteArray avant = "a.bin\tA\r\nabsent.bin\tB\r\n";
        const auto rangees = Liste(avant);
        std::unique_ptr<DossierMonte> monte;
        if (supprime)
            QDir(tmp.filePath("rep")).removeRecursively();
        else if (monte = std::make_unique<DossierMonte>(tmp.filePath("rep"), DossierMonte::LectureSeule);
                 !monte->Erreur().isEmpty())
            GTEST_SKIP() << monte->Erreur().toStdString();
        const auto r = Lance(rangees);
        EXPECT_FALSE(r.listeRecrite);
        EXPECT_TRUE(vue.perdue);
        EXPECT_TRUE(lignes.EstVide());
        EXPECT_EQ(vue.lignes, (QStringList{"[OK] A (2 Ko)", "[Erreur] B"}));
        ASSERT_EQ(rec.messages.size(), 2u);
        EXPECT_TRUE(rec.messages[0].texte.startsWith("La liste des fichiers n'a pas pu être mise à jour"));
        EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
        EXPECT_EQ(rec.messages[1].texte, "Un fichier téléchargé avec succès.");
        if (supprime) {
            EXPECT_FALSE(QFile::exists(CheminListe()));
            QDir().mkpath(tmp.filePath("rep"));
        } else {
            EXPECT_EQ(LitFichier(CheminListe()), avant);
        }
    }
}

// The pause rules on the preview's plan: size and count together, an empty duration of 2 s, a
// size reached exactly, durations or counts of 0 that never pause, none after the last file.
TEST_F(MoteurTelechargementTest, PausesPrevues) {
    const struct {
        std::vector<std::pair<const char*, const char*>> variables;
        std::vector<MoteurTelechargement::PausePrevue> pauses;
    } cas[] = {
        {DeuxPauses, {{2, 5}, {2, 7}, {4, 5}, {4, 7}}},
        {{{"PAUSE_ENTRE_CHAQUE_TELECHARGEMENT", "O"}, {"NB_FICHIERS_TELECHARGES_AVANT_PAUSE", "1"}},
         {{1, 2}, {2, 2}, {3, 2}, {4, 2}}},
        {{{"PAUSE_SELON_TAILLE", "O"}, {"TAILLE_DECLENCHE_PAUSE", "4"}, {"DUREE_PAUSE_SELON_TAILLE", "3"}},
         {{2, 3}, {4, 3}}},
        {{{"PAUSE_SELON_TAILLE", "O"}, {"DUREE_PAUSE_SELON_TAILLE", "0"}, {"PAUSE_ENTRE_CHAQUE_TELECHARGEMENT", "O"},
          {"NB_FICHIERS_TELECHARGES_AVANT_PAUSE", "x"}}, {}},
    };
    for (const auto& c : cas) {
        for (const auto& [nom, valeur] : DeuxPauses)
            AffecteVariable(nom, "");
        for (const auto& [nom, valeur] : c.variables)
            AffecteVariable(nom, valeur);
        EXPECT_EQ(MoteurTelechargement::PausesPrevues(VariablesService(), std::vector<double>(5, 2048)), c.pauses);
    }
}

// What the run checks before it starts; at the end, the folder opened after a version check,
// the file when the service says so, nothing when the program is closing.
TEST_F(MoteurTelechargementTest, PreparationEtFinDuRun) {
    AffecteVariable("NUM_COLONNE_TELECHARGEE", "deux");
    EXPECT_FALSE(moteur.Prepare());
    AffecteVariable("NUM_COLONNE_TELECHARGEE", "1");
    AffecteVariable("CHEMIN_DESTINATION_FICHIER_SOURCE", "/nulle/part");
    EXPECT_FALSE(moteur.Prepare());
    EXPECT_EQ(rec.Textes(), (QStringList{"La variable NUM_COLONNE_TELECHARGEE doit être un numéro de colonne (1 ou "
                                         "plus) : « deux » ne convient pas.",
                                         "Le chemin de destination /nulle/part/ n'existe pas !"}));
    AffecteVariable("CHEMIN_DESTINATION_FICHIER_SOURCE", dest.path());

    const QString fichier = QDir(dest.path()).filePath("a.bin");
    const struct {
        const char *version, *lancer;
        bool ouvrir;
        QStringList appels;
    } cas[] = {
        {"O", "", true, {"explore|" + dest.path() + "/||" + dest.path() + "/|1"}},
        {"", "O", true, {"open|" + fichier + "||" + dest.path() + "/|1"}},
        {"O", "O", false, {}},
        {"", "", true, {}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(testing::Message() << c.version << c.lancer << c.ouvrir);
        shell.appels.clear();
        AffecteVariable("COMPARER_LISTE_A_VERSION", c.version);
        AffecteVariable("LANCER_APRES_TELECHARGEMENT", c.lancer);
        const auto r = Lance(Liste("a.bin\tA\r\n"), c.ouvrir);
        EXPECT_EQ(r.terminer, !c.appels.isEmpty());
        EXPECT_EQ(shell.appels, c.appels);
    }
}

// A server asking to wait (429, 503) is waited out, at most 3 times per row: Retry-After, else
// 10, 30, 90 s (scaled); a wait of hours is not waited (its forms: SecondesRetryAfter). A
// transient failure (cut, 502) is tried twice more, a 404 never; the reason counts the tries.
TEST_F(MoteurTelechargementTest, AttentesDemandeesEtNouveauxEssais) {
    ParServeur();
    moteur.FixeEchelleAttentes(0.1);
    const QByteArray corps = Motif(3000);
    const auto occupe = [](int statut, const QByteArray& apres) {
        return ReponseTest{.statut = statut, .entetes = apres.isEmpty() ? "" : "Retry-After: " + apres + "\r\n"};
    };
    const QByteArray dans30s =
        QLocale::c().toString(QDateTime::currentDateTimeUtc().addSecs(30), "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toUtf8();
    struct Cas {
        const char* nom;
        QList<ReponseTest> gets;
        QString ligne;
        std::vector<int> attentes;
        int nombreGets;
        QString raison = {};
    };
    const Cas cas[] = {
        {"date HTTP", {occupe(503, dans30s), ReponseTest::Ok(corps)}, "[OK] A (2,92 Ko)", {30}, 2},
        {"429 puis 200", {occupe(429, "2"), ReponseTest::Ok(corps)}, "[OK] A (2,92 Ko)", {2}, 2},
        {"503 sans Retry-After", {occupe(503, "")}, "[Erreur] A", {1, 3, 9}, 4,
         "erreur HTTP 503 : service indisponible (4 essais)"},
        {"15 min 1 s", {occupe(429, "901")}, "[Erreur] A", {}, 1, "le serveur demande d'attendre 15 min 1 s"},
        {"coupure", {{.corps = corps, .coupeApres = 1000}, ReponseTest::Ok(corps)}, "[OK] A (2,92 Ko)", {}, 2},
        {"502", {ReponseTest::Statut(502)}, "[Erreur] A", {}, 3, "erreur HTTP 502 : passerelle en erreur (3 essais)"},
        {"404", {ReponseTest::Statut(404)}, "[Erreur] A", {}, 1, "erreur HTTP 404 : fichier introuvable"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        serveur.OublieRequetes();
        serveur.RepondSuite("GET", "/a.bin", c.gets);
        vue = VueEnregistreuse();
        Lance(Liste("a.bin\tA\r\n"));
        EXPECT_EQ(vue.lignes, QStringList{c.ligne});
        EXPECT_EQ(vue.raisons.value(0), c.raison);
        ASSERT_EQ(vue.attentes.size(), c.attentes.size());
        for (size_t i = 0; i < c.attentes.size(); ++i) // a date is read to the second, a while after it was made
            EXPECT_NEAR(vue.attentes[i], c.attentes[i], 3);
        EXPECT_EQ(serveur.Requetes("GET", "/a.bin").size(), c.nombreGets);
    }
}

// A stop during a server's wait, and before another try after a cut: the row says so, nothing
// more is asked; the cut transfer's work file stays hidden.
TEST_F(MoteurTelechargementTest, ArretPendantUneAttente) {
    ParServeur();
    // One file at a time: the second row never starts.
    AffecteVariable("TRANSFERTS_SIMULTANES", "1");
    serveur.Repond("GET", "/o.bin", ReponseTest::Statut(429));
    serveur.Repond("*", "/c.bin", {.entetes = "ETag: \"e\"\r\n", .corps = Motif(2 << 20), .coupeApres = 500000});
    vue.surPause = [this](int) { moteur.Interruption().Demande(); };
    EXPECT_TRUE(Lance(Liste("o.bin\tO\r\nc.bin\tC\r\n")).arrete);
    EXPECT_EQ(vue.lignes, QStringList{"[Arrêt demandé] O"});
    EXPECT_EQ(vue.attentes, std::vector<int>{10});
    EXPECT_EQ(vue.montrees, QStringList{"[En cours] O"});
    EXPECT_EQ(serveur.Requetes("GET", "/o.bin").size(), 1);

    vue = VueEnregistreuse();
    moteur.FixeEchelleAttentes(1);
    QTimer::singleShot(1000, [this] { moteur.Interruption().Demande(); }); // during the 2 s before the second try
    Lance(Liste("c.bin\tC\r\n"));
    EXPECT_EQ(vue.lignes, QStringList{"[Arrêt demandé] C"});
    EXPECT_EQ(serveur.Requetes("GET", "/c.bin").size(), 1);
    EXPECT_EQ(Destination(dest.path()), QStringList{DossierReprise});
}

// A run with the system's settings after one through an explicit proxy leaves that proxy.
TEST_F(MoteurTelechargementTest, ParametresDuSystemeApresLeProxy) {
    Tinyproxy proxy;
    ASSERT_TRUE(proxy.Demarre()) << proxy.Erreur().toStdString();
    ReglagesConnexion parProxy;
    parProxy.particulier = true;
    parProxy.adresseProxy = "127.0.0.1";
    parProxy.portHTTP = QString::number(proxy.Port());
    const QString requete = "GET " + nginx->Adresse("/a.bin");
    ASSERT_TRUE(moteur.Prepare());
    moteur.Lance(Liste("a.bin\tA\r\n"), lignes, parProxy, false);
    EXPECT_EQ(proxy.Journal().count(requete), 1);
    moteur.Lance(Liste("a.bin\tA\r\n"), lignes, ReglagesConnexion(), false);
    EXPECT_EQ(vue.lignes, (QStringList{"[OK] A (2 Ko)", "[OK] A (2 Ko)"}));
    EXPECT_EQ(proxy.Journal().count(requete), 1);
}

// COLONNE_EMPREINTE: a file whose SHA-256 differs never takes the destination's place; the right
// digest in either case, or none, lets it in. A file resumed after a cut is checked whole.
TEST_F(MoteurTelechargementTest, EmpreinteSha256) {
    AffecteVariable("COLONNE_EMPREINTE", "3");
    const QByteArray bonne = QCryptographicHash::hash(Motif(2048), QCryptographicHash::Sha256).toHex();
    const QString a = QDir(dest.path()).filePath("a.bin"), c = QDir(dest.path()).filePath("c.bin");
    EcritFichier(c, "ancien");
    Lance(Liste("a.bin\tA\t" + bonne.toUpper() + "\r\nc.bin\tC\t" + QByteArray(64, '0') + "\r\ne.bin\tE\t\r\n"));
    EXPECT_EQ(vue.lignes, (QStringList{"[OK] A (2 Ko)", "[Erreur] C", "[OK] E (2 Ko)"}));
    EXPECT_EQ(vue.raisons[1], "empreinte SHA-256 différente");
    EXPECT_EQ(LitFichier(c), "ancien");
    EXPECT_EQ(Destination(dest.path()), (QStringList{"a.bin", "c.bin", "e.bin"}));

    ParServeur();
    moteur.FixeEchelleAttentes(0.01);
    const QByteArray gros = Motif(3 * 1024 * 1024);
    const ReponseTest entier{.entetes = "ETag: \"g\"\r\n", .corps = gros, .plages = true, .validateur = "\"g\""};
    ReponseTest coupe = entier;
    coupe.coupeApres = 1500000;
    serveur.RepondSuite("GET", "/g.bin", {coupe, entier});
    Lance(Liste("g.bin\tG\t" + QCryptographicHash::hash(gros, QCryptographicHash::Sha256).toHex() + "\r\n"));
    EXPECT_EQ(vue.lignes.last(), "[OK] G (3 Mo)");
    EXPECT_FALSE(serveur.Requetes("GET", "/g.bin").value(1).Entete("Range").isEmpty());
    EXPECT_TRUE(LitFichier(QDir(dest.path()).filePath("g.bin")) == gros);
}

// The files of a run to one server, one GET each and no HEAD, four in
// flight: over HTTP/1.1, at most four kept-alive connections; over TLS, HTTP/2
// streams on one connection (nginx logs the protocol and the connection of
// each request). All arrive whole.
TEST_F(MoteurTelechargementTest, UneSeuleConnexion) {
    QTemporaryDir cles;
    const QString erreur = CreeCertificat(cles.path());
    ASSERT_EQ(erreur, "");
    Nginx tls(racine->path(), QString(), cles.filePath("serveur.pem"), cles.filePath("serveur.key"));
    ASSERT_TRUE(tls.Demarre()) << tls.Erreur().toStdString();
    QByteArray liste;
    for (int i = 0; i < 60; ++i) {
        const QByteArray nom = "k" + QByteArray::number(i) + ".bin";
        EcritFichier(racine->filePath(QString::fromLatin1(nom)), Motif(100 + 97 * i));
        liste += nom + "\t" + nom + "\r\n";
    }
    const struct {
        Nginx* serveur;
        const char* protocole;
        int connexionsMax;
    } cas[] = {{nginx, "HTTP/1.1", MoteurTelechargement::TransfertsParDefaut}, {&tls, "HTTP/2.0", 1}};
    for (const auto& c : cas) {
        SCOPED_TRACE(c.protocole);
        AffecteVariable("ADRESSE_BASE_FICHIERS_SOURCES", c.serveur->Adresse("/"));
        inet.CertificatsAutorite = cles.filePath("serveur.pem"); // the test's authority only
        QDir(dest.path()).removeRecursively();
        QDir().mkpath(dest.path());
        const qsizetype avant = c.serveur->Journal().count('\n');
        const auto r = Lance(Liste(liste));
        EXPECT_EQ(r.succes, 60);
        for (int i : {0, 59})
            EXPECT_TRUE(LitFichier(QDir(dest.path()).filePath(QString("k%1.bin").arg(i))) == Motif(100 + 97 * i));
        // nginx logs a stream once it has closed it, which may come after the client has read it all.
        AttendQue([&] { return c.serveur->Journal().count('\n') >= avant + 60; }, 5000);
        const QStringList lignes = c.serveur->Journal().split('\n', Qt::SkipEmptyParts).mid(avant);
        QSet<QString> connexions;
        int heads = 0, gets = 0;
        for (const QString& l : lignes) {
            heads += l.contains("\"HEAD /k");
            gets += l.contains(QString(".bin %1\" 200 ").arg(c.protocole)) && l.contains("\"GET /k");
            connexions.insert(l.section("connexion=", 1));
        }
        EXPECT_EQ(heads, 0);
        EXPECT_EQ(gets, 60) << lignes.join('\n').left(2000).toStdString();
        EXPECT_FALSE(connexions.contains(QString()));
        EXPECT_LE(connexions.size(), c.connexionsMax) << lignes.join('\n').left(2000).toStdString();
    }
}

// Files in flight (four by default) overlap, never more than the cap, which the user's setting
// lowers; the report keeps list order whatever the order of the ends (a slow first file).
TEST_F(MoteurTelechargementTest, PlusieursFichiersEnVol) {
    const QByteArray liste = Fichiers('v', 8, {.corps = Motif(3000), .goutteOctets = 1000, .goutteDelaiMs = 100});
    serveur.Repond("GET", "/v0.bin", {.corps = Motif(3000), .goutteOctets = 1000, .goutteDelaiMs = 300});
    QStringList attendues;
    for (int i = 0; i < 8; ++i)
        attendues << QString("[OK] V%1 (2,92 Ko)").arg(i);
    struct Cas {
        const char* variable; // TRANSFERTS_SIMULTANES
        int reglage;          // the user's, in Ramag.ini (0: none)
        int cap;
    } cas[] = {{"", 0, MoteurTelechargement::TransfertsParDefaut}, {"3", 0, 3}, {"", 1, 1}, {"2", 6, 2}};
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.variable << " " << c.reglage);
        AffecteVariable("TRANSFERTS_SIMULTANES", c.variable);
        serveur.OublieRequetes();
        vue = VueEnregistreuse();
        ReglagesConnexion reglages;
        reglages.transfertsSimultanes = c.reglage;
        const auto rangees = Liste(liste);
        ASSERT_TRUE(moteur.Prepare());
        const auto r = moteur.Lance(rangees, lignes, reglages, false);
        EXPECT_EQ(vue.lignes, attendues);
        EXPECT_EQ(vue.rangees, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        EXPECT_EQ(r.dernierFichier, QDir(dest.path()).filePath("v7.bin"));
        EXPECT_TRUE(LitFichier(QDir(dest.path()).filePath("v0.bin")) == Motif(3000));
        EXPECT_EQ(serveur.EnMemeTempsMax(), c.cap);
        EXPECT_EQ(serveur.Requetes().size(), 8);
        EXPECT_EQ(LitFichier(CheminListe()), ""); // every row arrived: none is left in the list copy
    }
}

// A stop with four files in flight: each line says so, no other file starts, none is left in
// the destination; the one that can be resumed keeps what came in its hidden work file.
TEST_F(MoteurTelechargementTest, ArretAvecQuatreFichiersEnVol) {
    const QByteArray liste = Fichiers('s', 6, {.corps = Motif(40000), .goutteOctets = 1000, .goutteDelaiMs = 200});
    // 2 MiB with a validator: worth resuming.
    serveur.Repond("GET", "/s0.bin", {.entetes = "ETag: \"s\"\r\n", .corps = Motif(2 << 20), .goutteOctets = 65536,
                                      .goutteDelaiMs = 200});
    // The stop once the four are asked for and the large one has bytes to keep.
    const QDir reprise(QDir(dest.path()).filePath(DossierReprise));
    const auto gardee = [&] { return reprise.entryInfoList({QString(32, '?') + ".part"}, QDir::Files).value(0).size(); };
    QTimer guet;
    QObject::connect(&guet, &QTimer::timeout, [&] {
        if (serveur.Requetes().size() == 4 && gardee() > 0)
            moteur.Interruption().Demande();
    });
    guet.start(10);
    const auto r = Lance(Liste(liste));
    EXPECT_TRUE(r.arrete);
    EXPECT_EQ(r.succes, 0);
    EXPECT_EQ(vue.lignes, (QStringList{"[Arrêt demandé] S0", "[Arrêt demandé] S1", "[Arrêt demandé] S2",
                                       "[Arrêt demandé] S3"}));
    EXPECT_EQ(serveur.Requetes().size(), 4);
    EXPECT_EQ(Destination(dest.path()), QStringList{DossierReprise});
    ASSERT_EQ(reprise.entryList({"*.part"}).size(), 1);
    EXPECT_GT(gardee(), 0);
    EXPECT_EQ(rec.Textes(), QStringList{"Aucun fichier téléchargé."});
}

// With files in flight, a pause by count is a barrier: no file starts, those in flight end,
// then the countdown. A 429 on one holds the starts for its wait; the others go on.
TEST_F(MoteurTelechargementTest, PauseEtAttenteAvecFichiersEnVol) {
    AffecteVariable("TRANSFERTS_SIMULTANES", "3");
    AffecteVariable("PAUSE_ENTRE_CHAQUE_TELECHARGEMENT", "O");
    AffecteVariable("NB_FICHIERS_TELECHARGES_AVANT_PAUSE", "2");
    AffecteVariable("DUREE_PAUSE_ENTRE_TELECHARGEMENT", "1");
    const QByteArray liste = Fichiers('p', 7, {.corps = Motif(2000), .goutteOctets = 1000, .goutteDelaiMs = 100});
    serveur.RepondSuite("GET", "/p1.bin", {{.statut = 429, .entetes = "Retry-After: 1\r\n"}, ReponseTest::Ok(Motif(2000))});
    QList<QStringList> rapports; // the report when a pause or a wait begins
    vue.surPause = [&](int) { rapports << vue.lignes; };
    const auto r = Lance(Liste(liste));
    QStringList tous;
    for (int i = 0; i < 7; ++i)
        tous << QString("[OK] P%1 (1,95 Ko)").arg(i);
    EXPECT_EQ(r.succes, 7);
    EXPECT_EQ(vue.lignes, tous);
    // P1 waits for the server while P0 and P2 end; the pauses due after the 2nd and 4th files
    // come once nothing is in flight; none after P5 (only P6, in flight then, was left).
    EXPECT_EQ(vue.attentes, std::vector<int>{1});
    EXPECT_EQ(vue.pauses, (std::vector<int>{1, 1}));
    EXPECT_EQ(rapports, (QList<QStringList>{{"[OK] P0 (1,95 Ko)", "[En cours] P1", "[OK] P2 (1,95 Ko)"},
                                           tous.mid(0, 5), tous.mid(0, 5)}));
    EXPECT_LE(serveur.EnMemeTempsMax(), 3);
}

// Files wait ready on the worker when no pause is declared: a 429 holds them too, though the
// place it freed would start one at once. The files in flight end, the wait, then the rest.
TEST_F(MoteurTelechargementTest, AttenteServeurRetientLesFichiersPrets) {
    const QByteArray liste = Fichiers('a', 8, {.corps = Motif(2000), .goutteOctets = 1000, .goutteDelaiMs = 300});
    serveur.RepondSuite("GET", "/a1.bin", {{.statut = 429, .entetes = "Retry-After: 1\r\n"}, ReponseTest::Ok(Motif(2000))});
    const auto r = Lance(Liste(liste));
    EXPECT_EQ(r.succes, 8);
    EXPECT_EQ(vue.attentes, std::vector<int>{1});
    const QList<RequeteRecue> requetes = serveur.Requetes();
    ASSERT_EQ(requetes.size(), 9);
    // Of the first four files given, those sent before the client saw the 429 (the worker's pace
    // decides how many; they may reach the server just after the 429 left it) end before any
    // other request starts: the next files, the first four's held ones, the 429's new try.
    // Each file takes 300 ms or more: no file held starts within 150 ms of the 429.
    const qint64 refus = serveur.Requetes("GET", "/a1.bin").value(0).finMs + 150;
    const auto premier = [&](const RequeteRecue& q) {
        return q.cible.mid(2, 1).toInt() < MoteurTelechargement::TransfertsParDefaut && q.quandMs <= refus;
    };
    qint64 finDesPremiers = 0;
    for (const RequeteRecue& q : requetes) {
        if (premier(q))
            finDesPremiers = std::max(finDesPremiers, q.finMs);
    }
    for (const RequeteRecue& q : requetes) {
        if (!premier(q)) {
            EXPECT_GE(q.quandMs, finDesPremiers) << q.cible.toStdString();
        }
    }
    EXPECT_LE(serveur.EnMemeTempsMax(), MoteurTelechargement::TransfertsParDefaut);
}

// The destination fills up with four files in flight: each arrives whole or its line is in
// error; nothing partial or spliced is left.
TEST_F(MoteurTelechargementTest, DisquePleinAvecFichiersEnVol) {
    QTemporaryDir petit;
    DossierMonte monte(petit.path(), DossierMonte::Tmpfs, 3 << 20);
    if (!monte.Erreur().isEmpty())
        GTEST_SKIP() << monte.Erreur().toStdString();
    AffecteVariable("CHEMIN_DESTINATION_FICHIER_SOURCE", petit.path());
    const QByteArray corps = Motif(1536 * 1024);
    const auto r = Lance(Liste(Fichiers('d', 4, {.corps = corps, .goutteOctets = 256 * 1024, .goutteDelaiMs = 50})));
    EXPECT_GE(r.echecs, 1);
    EXPECT_EQ(r.succes + r.echecs, 4);
    QStringList arrives;
    for (int i = 0; i < 4; ++i) {
        const QString ligne = vue.lignes.value(i), nom = QString("d%1.bin").arg(i);
        if (ligne == QString("[OK] D%1 (1,5 Mo)").arg(i)) {
            EXPECT_TRUE(LitFichier(QDir(petit.path()).filePath(nom)) == corps) << nom.toStdString();
            arrives << nom;
        } else {
            EXPECT_EQ(ligne, QString("[Erreur] D%1").arg(i));
        }
    }
    EXPECT_EQ(Destination(petit.path()), arrives);
}

} // namespace

// The run's progress line (report window and terminal): sizes in their unit, a size or a rate
// not known yet, the search's own subject; and the line a gauge makes of the layer's caption.
TEST(Progression, LigneDuRun) {
    constexpr double Ko = 1024, Mo = Ko * 1024, Go = Mo * 1024;
    const struct {
        Progression p;
        QString texte;
    } cas[] = {
        {{3, 12, {}, 4.2 * Mo, 18 * Mo, 1.1 * Mo}, "Fichier 3 sur 12 — 4,2 Mo sur 18 Mo — 1,1 Mo/s — encore 13 s"},
        {{1, 1, {}, 500, 1000, 100}, "Fichier 1 sur 1 — 500 octets sur 1000 octets — 100 octets/s — encore 5 s"},
        {{7, 9, {}, Go, 3 * Go, 200 * Ko}, "Fichier 7 sur 9 — 1 Go sur 3 Go — 200 Ko/s — encore 2 h 54 min 46 s"},
        {{2, 4, {}, 1536, -1, 512}, "Fichier 2 sur 4 — 1,5 Ko reçus — 512 octets/s"},
        {{2, 4, {}, 0, 2048, 0}, "Fichier 2 sur 4 — 0 octet sur 2 Ko"},
        {{1, 2, {}, 2048, 2048, Ko}, "Fichier 1 sur 2 — 2 Ko sur 2 Ko — 1 Ko/s"},
        {{0, 0, "Liste du service", Ko, -1, 0}, "Liste du service — 1 Ko reçus"},
    };
    for (const auto& c : cas)
        EXPECT_EQ(TexteProgression(c.p), c.texte);

    QStringList lignes;
    JaugeSuivie jauge([&](const QString& texte) { lignes << texte; });
    InitialiseJauge(jauge);
    jauge.Fichier(2, 5);
    MontreOctetsSurJauge(jauge, 512 * Ko, 2 * Mo, 0);
    ASSERT_EQ(lignes.size(), 2);
    EXPECT_EQ(lignes[0], "Fichier 2 sur 5");
    EXPECT_TRUE(lignes[1].startsWith("Fichier 2 sur 5 — 512 Ko sur 2 Mo")) << lignes[1].toStdString();
}
