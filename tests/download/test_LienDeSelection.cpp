// Download through a link page, the run's step without windows: its links
// served by nginx (our own server for a slow answer), archives made by real
// tools, and what the report shows.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "download/Lectures.h"
#include "download/MoteurTelechargement.h"
#include "support/Processus.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "support/EnregistreurMessages.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"
#include "support/VueEnregistreuse.h"
#include "util/Arret.h"

namespace {

class LienDeSelection : public SuiteNginx<LienDeSelection> {
protected:
    static void SetUpTestSuite() {
        SuiteNginx::SetUpTestSuite();
        for (const char* nom : {"un.bin", "deux.bin", "SETUP_2.exe", "lisezmoi.txt", "paquet.zip"})
            EcritFichier(racine->filePath(QStringLiteral("f/") + nom), Motif(2048));
        for (const char* nom : {"infozip_deflate.zip", "infozip_password.zip", "traversee.zip"})
            QFile::copy(CheminFixture(QStringLiteral("zip/") + nom), racine->filePath(QStringLiteral("f/") + nom));
        const QByteArray entier = LitFichier(CheminFixture("zip/infozip_deflate.zip"));
        EcritFichier(racine->filePath("f/tronquee.zip"), entier.left(entier.size() / 2));
    }

    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1, nullptr, true);
        QObject::connect(&inet, &Inet::StateChanged, [this](int etat) { GereEtatTransfert(inet, etat); });
        AffecteVariable("ADRESSE_BASE_LIENS_INTERNET", nginx->Adresse("/f/"));
        // The destination has a parent of the test's own, so that a name that
        // leaves it would show there.
        dossier = bac.filePath("dest") + "/";
    }

    // Empties the destination, writes the link page into it and hands it over;
    // nothing is ever left beside the destination.
    bool Lance(const QByteArray& html) {
        QDir(dossier).removeRecursively();
        QDir().mkpath(dossier);
        EcritFichier(dossier + "lien.htm", html);
        vue = VueEnregistreuse();
        laisse.clear();
        const bool r = moteur.RetelechargeLienDeSelection(dossier + "lien.htm", dossier, laisse, decompresse);
        EXPECT_EQ(QDir(bac.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"dest"});
        return r;
    }

    QTemporaryDir bac;
    QString dossier, laisse;
    bool decompresse = false;
    EnregistreurMessages rec;
    Inet inet;
    VueEnregistreuse vue;
    MoteurTelechargement moteur{inet, vue, VariablesService()};
};

TEST_F(LienDeSelection, FiltresFormesDeLiensEtEchecs) {
    // A server that would answer names that are the folder itself or its
    // parent: only the name stops them, before any request.
    ServeurTest complaisant;
    for (const char* chemin : {"/", "/d/", "/d/..", "/d/."})
        complaisant.Repond("*", chemin, ReponseTest::Ok("page"));
    const auto Lien = [&](const char* chemin) { return "<a href=\"" + complaisant.Adresse(chemin).toUtf8() + "\">x</a>"; };
    const struct {
        const char* nom;
        QByteArray html;
        QString texte, extension; // the filters on the links' text and extension
        bool resultat;
        QStringList lignes, fichiers;
    } cas[] = {
        {"extension en minuscules", "<a href=un.bin>1</a><img src='lisezmoi.txt'><a href=paquet.zip>3</a>",
         "", "zip", true, {"[OK] paquet.zip (2 Ko)"}, {"paquet.zip"}},
        {"texte en minuscules", "<a href=un.bin>1</a><a href=\"SETUP_2.exe\">2</a>", "setup", "", true,
         {"[OK] SETUP_2.exe (2 Ko)"}, {"SETUP_2.exe"}},
        {"redirection en script", "<Script Language=\"JAVASCRIPT\">location.href = 'deux.bin';</Script>", "",
         "", true, {"[OK] deux.bin (2 Ko)"}, {"deux.bin"}},
        {"page sans lien", "<html><body>Rien ici</body></html>", "", "", false,
         {"[Attention] Aucun lien dans le fichier téléchargé"}, {}},
        {"le seul lien échoue", "<a href=absent.bin>x</a>", "", "", false, {"[Erreur] absent.bin"}, {}},
        {"réussi puis échoué", "<a href=un.bin>x</a><a href=absent.bin>y</a>", "", "", true,
         {"[OK] un.bin (2 Ko)", "[Erreur] absent.bin"}, {"un.bin"}},
        {"noms hors du dossier", Lien("/d/..") + Lien("/d/") + Lien("/d/."), "", "", false,
         {"[Erreur] ..", "[Erreur] ", "[Erreur] ."}, {}},
        // The query stays part of the name, inside the folder.
        {"adresse avec paramètres", "<a href=\"un.bin?miroir=2\">x</a>", "", "", true,
         {"[OK] un.bin?miroir=2 (2 Ko)"}, {"un.bin?miroir=2"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        AffecteVariable("SUPPR_LIENS_DIFF_TXT2", c.texte);
        AffecteVariable("CONSERVER_UNE_SEULE_EXTENSION", c.extension);
        EXPECT_EQ(Lance(c.html), c.resultat);
        EXPECT_EQ(vue.lignes, c.lignes);
        EXPECT_EQ(Arbre(dossier).keys(), c.fichiers); // the page is gone in every case
        EXPECT_EQ(laisse, c.resultat ? dossier + c.fichiers.value(0) : QString());
        EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
        EXPECT_TRUE(complaisant.Requetes().isEmpty());
    }

    // A stop confirmed while the second of three links arrives: that line says
    // so, the third is not tried, and nothing of the second stays.
    ServeurTest lent;
    lent.Repond("*", "/lent.bin", ReponseTest{.corps = Motif(16384), .goutteOctets = 512, .goutteDelaiMs = 40});
    QTimer surveille;
    QObject::connect(&surveille, &QTimer::timeout, [&] {
        for (const RequeteRecue& r : lent.Requetes())
            if (r.methode == "GET")
                moteur.Interruption().Demande();
    });
    surveille.start(20);
    EXPECT_TRUE(Lance("<a href=un.bin>1</a><a href=\"" + lent.Adresse("/lent.bin").toUtf8() +
                      "\">2</a><a href=deux.bin>3</a>"));
    surveille.stop();
    EXPECT_EQ(vue.lignes, (QStringList{"[OK] un.bin (2 Ko)", "[Arrêt demandé] lent.bin"}));
    EXPECT_EQ(Arbre(dossier).keys(), QStringList{"un.bin"});
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
}

// The archive named by the page is unpacked into the folder and deleted; a
// failure says so, and then nothing of it stays. (Which archives unpack: the
// zip tests.)
TEST_F(LienDeSelection, ArchivesDecompresseesPuisEffacees) {
    AffecteVariable("DECOMPRESSER_LIEN_ZIP", "O");
    const QMap<QString, QByteArray> source = Arbre(CheminFixture("zip/source")), rien;
    const QString probleme = "Problème lors de la décompression ZIP.";
    const struct {
        const char* archive;
        const char* motDePasse; // nullptr: no question expected
        bool resultat;
        QString ligne;
        QStringList messages;
        QMap<QString, QByteArray> arbre;
    } cas[] = {
        {"infozip_deflate.zip", nullptr, true, "[OK] infozip_deflate.zip (7,09 Ko)", {}, source},
        {"infozip_password.zip", "secret", true, "[OK] infozip_password.zip (7,22 Ko)", {}, source},
        {"infozip_password.zip", "faux", false, "[Erreur] infozip_password.zip",
         {"Password is incorrect", probleme}, rien},
        {"tronquee.zip", nullptr, false, "[Erreur] tronquee.zip", {probleme}, rien},
        // Names that leave the folder are refused one by one; the rest is
        // written, but the archive was not unpacked whole: an error, with why.
        {"traversee.zip", nullptr, false, "[Erreur] traversee.zip",
         {"5 entrées de l'archive posent problème :\n\n../dehors.txt : error writing file\n/absolu.txt : error "
          "writing file\nC:/lecteur.txt : error writing file\na/../../remonte.txt : error writing file\n"
          "..\\\\contre.txt : error writing file",
          probleme},
         {{"bon.txt", "oui"}}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(testing::Message() << c.archive << " " << (c.motDePasse ? c.motDePasse : "-"));
        rec.Vide();
        rec.saisies.clear();
        if (c.motDePasse)
            rec.Saisit(c.motDePasse);
        EXPECT_EQ(Lance("<a href=" + QByteArray(c.archive) + ">x</a>"), c.resultat);
        EXPECT_EQ(vue.lignes, QStringList{c.ligne});
        if (QString(c.archive) == "traversee.zip") {
            EXPECT_EQ(vue.raisons.value(0),
                      "archive illisible ou non décompressée (error writing file: ../dehors.txt ; error writing "
                      "file: /absolu.txt ; error writing file: C:/lecteur.txt ; error writing file: "
                      "a/../../remonte.txt ; error writing file: ..\\\\contre.txt)");
        }
        EXPECT_EQ(rec.Textes(), c.messages);
        EXPECT_TRUE(c.resultat || rec.messages.back().icone == IconeMessage::Exclamation);
        EXPECT_EQ(rec.questions, c.motDePasse ? QStringList{"Give Password"} : QStringList());
        const QMap<QString, QByteArray> arbre = Arbre(dossier); // no archive, no page
        EXPECT_TRUE(arbre == c.arbre) << arbre.keys().join(' ').toStdString();
        EXPECT_EQ(laisse, c.resultat ? dossier + c.archive : QString());
        EXPECT_EQ(decompresse, c.resultat);
    }
}

// A stop confirmed while an archive is unpacked (here as soon as its first
// entry is on disk, during the large one that follows): what was written
// stays, the entry cut short is removed, nothing comes after, and the line
// says the run was stopped. The archive comes from Python's zipfile.
TEST_F(LienDeSelection, ArretPendantLaDecompression) {
    AffecteVariable("DECOMPRESSER_LIEN_ZIP", "O");
    const QString python = QStandardPaths::findExecutable("python3");
    if (python.isEmpty())
        GTEST_SKIP() << "python3 introuvable";
    const ProgrammeTermine e = Execute({python, "-c",
                     "import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:\n"
                     "    z.writestr('a.txt', b'premier')\n"
                     "    with z.open('gros.bin', 'w') as f:\n"
                     "        for _ in range(16):\n"
                     "            f.write(bytes(16 << 20))\n"
                     "    z.writestr('z.txt', b'dernier')\n",
                     racine->filePath("f/arret.zip")});
    ASSERT_EQ(e.code, 0) << e.Raison().toStdString();
    QTimer surveille;
    QObject::connect(&surveille, &QTimer::timeout, [&] {
        if (QFileInfo::exists(dossier + "a.txt"))
            moteur.Interruption().Demande();
    });
    surveille.start(0);
    EXPECT_FALSE(Lance("<a href=arret.zip>x</a>"));
    surveille.stop();
    EXPECT_EQ(vue.lignes, QStringList{"[Arrêt demandé] arret.zip"});
    EXPECT_EQ(Arbre(dossier), (QMap<QString, QByteArray>{{"a.txt", "premier"}}));
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(laisse, QString());
}

} // namespace
