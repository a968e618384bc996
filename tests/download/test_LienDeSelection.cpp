// Download through a link page without windows: links served by nginx, archives made by real tools.
#include <gtest/gtest.h>

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
        // The destination's parent is the test's own: a name that leaves it shows there.
        dossier = bac.filePath("dest") + "/";
    }

    // Hands over a link page in an empty destination; nothing is ever left beside it.
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

// The filters, the forms of links, failures; a stop confirmed while the second of three links
// arrives: the third is not tried, nothing of the second stays.
TEST_F(LienDeSelection, FiltresFormesDeLiensEchecsEtArret) {
    // A server that would answer names that are the folder itself or its
    // parent: only the name stops them, before any request.
    ServeurTest complaisant, lent;
    for (const char* chemin : {"/", "/d/", "/d/..", "/d/."})
        complaisant.Repond("*", chemin, ReponseTest::Ok("page"));
    const auto Lien = [&](const char* chemin) { return "<a href=\"" + complaisant.Adresse(chemin).toUtf8() + "\">x</a>"; };
    lent.Repond("*", "/lent.bin", ReponseTest{.corps = Motif(16384), .goutteOctets = 512, .goutteDelaiMs = 40});
    QTimer surveille;
    QObject::connect(&surveille, &QTimer::timeout,
                     [&] { if (!lent.Requetes("GET", "/lent.bin").isEmpty()) moteur.Interruption().Demande(); });
    surveille.start(20);
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
        {"page sans lien", "<p>Rien ici</p>", "", "", false, {"[Attention] Aucun lien dans le fichier téléchargé"}, {}},
        {"le seul lien échoue", "<a href=absent.bin>x</a>", "", "", false, {"[Erreur] absent.bin"}, {}},
        {"réussi puis échoué", "<a href=un.bin>x</a><a href=absent.bin>y</a>", "", "", true,
         {"[OK] un.bin (2 Ko)", "[Erreur] absent.bin"}, {"un.bin"}},
        {"noms hors du dossier", Lien("/d/..") + Lien("/d/") + Lien("/d/."), "", "", false,
         {"[Erreur] ..", "[Erreur] ", "[Erreur] ."}, {}},
        // The query stays part of the name, inside the folder.
        {"adresse avec paramètres", "<a href=\"un.bin?miroir=2\">x</a>", "", "", true,
         {"[OK] un.bin?miroir=2 (2 Ko)"}, {"un.bin?miroir=2"}},
        {"arrêt", "<a href=un.bin>1</a><a href=\"" + lent.Adresse("/lent.bin").toUtf8() + "\">2</a><a href=deux.bin>3</a>",
         "", "", true, {"[OK] un.bin (2 Ko)", "[Arrêt demandé] lent.bin"}, {"un.bin"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        AffecteVariable("SUPPR_LIENS_DIFF_TXT2", c.texte);
        AffecteVariable("CONSERVER_UNE_SEULE_EXTENSION", c.extension);
        EXPECT_EQ(Lance(c.html), c.resultat);
        moteur.Interruption().Efface();
        EXPECT_EQ(vue.lignes, c.lignes);
        EXPECT_EQ(Arbre(dossier).keys(), c.fichiers); // the page is gone in every case
        EXPECT_EQ(laisse, c.resultat ? dossier + c.fichiers.value(0) : QString());
        EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
        EXPECT_TRUE(complaisant.Requetes().isEmpty());
    }

}

// The archive named by the page is unpacked into the folder and deleted; a failure says so, and
// nothing of it stays. A stop confirmed once the first entry of an archive is on disk (one from
// Python's zipfile): what was written stays, the entry cut short goes, nothing comes after.
TEST_F(LienDeSelection, ArchivesDecompresseesPuisEffacees) {
    AffecteVariable("DECOMPRESSER_LIEN_ZIP", "O");
    const ProgrammeTermine e = Execute({"python3", "-c",
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:\n"
        "    z.writestr('premier.txt', b'premier')\n    with z.open('gros.bin', 'w') as f:\n"
        "        for _ in range(16): f.write(bytes(16 << 20))\n    z.writestr('z.txt', b'dernier')\n",
        racine->filePath("f/arret.zip")});
    ASSERT_EQ(e.code, 0) << e.Raison().toStdString();
    QTimer surveille;
    QObject::connect(&surveille, &QTimer::timeout,
                     [&] { if (QFileInfo::exists(dossier + "premier.txt")) moteur.Interruption().Demande(); });
    surveille.start(0);
    const QMap<QString, QByteArray> source = Arbre(CheminFixture("zip/source")), rien;
    const QString probleme = "Problème lors de la décompression ZIP.";
    const struct {
        const char *archive, *motDePasse; // motDePasse nullptr: no question expected
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
        {"arret.zip", nullptr, false, "[Arrêt demandé] arret.zip", {}, {{"premier.txt", "premier"}}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(testing::Message() << c.archive << " " << (c.motDePasse ? c.motDePasse : "-"));
        rec.Vide();
        rec.saisies.clear();
        if (c.motDePasse)
            rec.Saisit(c.motDePasse);
        EXPECT_EQ(Lance("<a href=" + QByteArray(c.archive) + ">x</a>"), c.resultat);
        moteur.Interruption().Efface();
        EXPECT_EQ(vue.lignes, QStringList{c.ligne});
        EXPECT_TRUE(QString(c.archive) != "traversee.zip" ||
                    vue.raisons.value(0).startsWith("archive illisible ou non décompressée (error writing file: ../"));
        EXPECT_EQ(rec.Textes(), c.messages);
        EXPECT_TRUE(c.resultat || rec.messages.empty() || rec.messages.back().icone == IconeMessage::Exclamation);
        EXPECT_EQ(rec.questions, c.motDePasse ? QStringList{"Give Password"} : QStringList());
        const QMap<QString, QByteArray> arbre = Arbre(dossier); // no archive, no page
        EXPECT_TRUE(arbre == c.arbre) << arbre.keys().join(' ').toStdString();
        EXPECT_EQ(laisse, c.resultat ? dossier + c.archive : QString());
        EXPECT_EQ(decompresse, c.resultat);
    }
}

} // namespace
