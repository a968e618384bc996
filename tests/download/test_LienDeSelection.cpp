// Download through a link page: the page written into the destination folder,
// its links served by nginx on 127.0.0.1 (our own server for a slow answer),
// the archives made by real tools (tests/fixtures/zip), and what the user
// sees: report lines, messages, the files left in the folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "app/Fonctions_Variables.h"
#include "app/frmPrincipal.h"
#include "download/frmRapport.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/Programme.h"
#include "support/ServeursReels.h"
#include "util/ModuleRamaglin.h"

namespace {

// Every file under `racine`, by relative path.
QMap<QString, QByteArray> Arbre(const QString& racine) {
    QMap<QString, QByteArray> r;
    QDirIterator it(racine, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        r[QDir(racine).relativeFilePath(f)] = LitFichier(f);
    }
    return r;
}

const QString Probleme = QString::fromUtf8("Problème lors de la décompression ZIP.");

class LienDeSelection : public SuiteNginx<LienDeSelection> {
protected:
    static void SetUpTestSuite() {
        SuiteNginx::SetUpTestSuite();
        for (const char* nom : {"un.bin", "deux.bin", "SETUP_2.exe", "lisezmoi.txt", "paquet.zip"})
            EcritFichier(racine->filePath(QStringLiteral("f/") + nom), Motif(2048));
        for (const char* nom : {"infozip_stored.zip", "infozip_deflate.zip", "7z_deflate64.zip",
                                "infozip_password.zip", "pas_une_archive.zip", "traversee.zip"})
            QFile::copy(CheminFixture(QStringLiteral("zip/") + nom),
                        racine->filePath(QStringLiteral("f/") + nom));
        const QByteArray entier = LitFichier(CheminFixture("zip/infozip_deflate.zip"));
        EcritFichier(racine->filePath("f/tronquee.zip"), entier.left(entier.size() / 2));
    }

    void SetUp() override {
        const QString param =
            PrepareProgramme(app, "REP_TMP=" + app.path().toUtf8() + "\r\nFICHIER_LISTE_NOM=" +
                                      nginx->Adresse("/liste.txt").toUtf8() + "\r\n");
        f = std::make_unique<frmPrincipal>(app.path());
        ASSERT_EQ(f->Form_Load(param), frmPrincipal::Demarrage::Afficher);
        AffecteVariable("ADRESSE_BASE_LIENS_INTERNET", nginx->Adresse("/f/"));
        // The destination has a parent of the test's own, so that a name that
        // leaves it would show there.
        dossier = bac.filePath("dest") + "/";
        QDir().mkpath(dossier);
        ArretDemande = false;
    }
    void TearDown() override { ArretDemande = false; }

    // Writes the link page into the destination and hands it over.
    bool Lance(const QByteArray& html) {
        page = dossier + "lien.htm";
        EcritFichier(page, html);
        f->Rapport()->List1->clear();
        return f->RetelechargeLienDeSelection(page, dossier);
    }
    QStringList Lignes() const {
        QStringList r;
        for (int i = 0; i < f->Rapport()->List1->count(); ++i)
            r << f->Rapport()->List1->item(i)->text();
        return r;
    }
    QStringList Fichiers() const { return Arbre(dossier).keys(); }

    QTemporaryDir app, bac;
    QString dossier, page;
    EnregistreurMessages rec;
    std::unique_ptr<frmPrincipal> f;
};

TEST_F(LienDeSelection, FiltresEtFormesDeLiens) {
    struct Cas {
        const char* nom;
        QByteArray html;
        QString texte, extension;
        bool resultat;
        QStringList lignes, fichiers;
    };
    const QString attention = QString::fromUtf8("[Attention] Aucun lien dans le fichier téléchargé");
    const Cas cas[] = {
        {"extension en minuscules", "<a href=un.bin>1</a><img src='lisezmoi.txt'><a href=paquet.zip>3</a>",
         "", "zip", true, {"[OK] paquet.zip (2 Ko)"}, {"paquet.zip"}},
        {"texte en minuscules", "<a href=un.bin>1</a><a href=\"SETUP_2.exe\">2</a>", "setup", "", true,
         {"[OK] SETUP_2.exe (2 Ko)"}, {"SETUP_2.exe"}},
        {"redirection en script",
         "<Script Language=\"JAVASCRIPT\">location.href = 'deux.bin';</Script><body>...</body>", "", "",
         true, {"[OK] deux.bin (2 Ko)"}, {"deux.bin"}},
        {"page sans lien", "<html><body>Rien ici</body></html>", "", "", false, {attention}, {}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        AffecteVariable("SUPPR_LIENS_DIFF_TXT2", c.texte);
        AffecteVariable("CONSERVER_UNE_SEULE_EXTENSION", c.extension);
        for (const QString& nom : Fichiers())
            QFile::remove(dossier + nom);
        EXPECT_EQ(Lance(c.html), c.resultat);
        EXPECT_EQ(Lignes(), c.lignes);
        EXPECT_EQ(Fichiers(), c.fichiers); // the page is gone in every case
        EXPECT_EQ(f->DernierLien, c.resultat ? dossier + c.fichiers.value(0) : QString());
        EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    }
}

TEST_F(LienDeSelection, EchecsNomsRefusesEtArret) {
    // A server that would answer those names: only the name stops them.
    ServeurTest complaisant;
    for (const char* chemin : {"/", "/d/", "/d/..", "/d/."})
        complaisant.Repond("*", chemin, ReponseTest::Ok("page"));
    struct Cas {
        const char* nom;
        QByteArray html;
        bool resultat;
        QStringList lignes, fichiers;
    };
    const Cas cas[] = {
        {"le seul lien échoue", "<a href=absent.bin>x</a>", false, {"[Erreur] absent.bin"}, {}},
        {"réussi puis échoué", "<a href=un.bin>x</a><a href=absent.bin>y</a>", true,
         {"[OK] un.bin (2 Ko)", "[Erreur] absent.bin"}, {"un.bin"}},
        // Names that would be the folder itself or its parent are never fetched.
        {"noms hors du dossier", "<a href=\"" + complaisant.Adresse("/d/..").toUtf8() + "\">p</a>" +
                                     "<a href=\"" + complaisant.Adresse("/d/").toUtf8() + "\">d</a>" +
                                     "<a href=\"" + complaisant.Adresse("/d/.").toUtf8() + "\">c</a>",
         false, {"[Erreur] ..", "[Erreur] ", "[Erreur] ."}, {}},
        // The query stays part of the name, inside the folder.
        {"adresse avec paramètres", "<a href=\"un.bin?miroir=2\">x</a>", true,
         {"[OK] un.bin?miroir=2 (2 Ko)"}, {"un.bin?miroir=2"}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        for (const QString& nom : Fichiers())
            QFile::remove(dossier + nom);
        EXPECT_EQ(Lance(c.html), c.resultat);
        EXPECT_EQ(Lignes(), c.lignes);
        EXPECT_EQ(Fichiers(), c.fichiers);
        EXPECT_EQ(f->DernierLien, c.resultat ? dossier + c.fichiers.value(0) : QString());
        EXPECT_EQ(QDir(bac.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{"dest"});
        EXPECT_TRUE(complaisant.Requetes().isEmpty()); // refused before any request
    }

    // A stop confirmed while the second of three links arrives: that line says
    // so, the third is not tried, and nothing of the second stays.
    ServeurTest lent;
    lent.Repond("*", "/lent.bin",
                ReponseTest{.corps = Motif(16384), .goutteOctets = 512, .goutteDelaiMs = 40});
    QTimer surveille;
    QObject::connect(&surveille, &QTimer::timeout, [&] {
        for (const RequeteRecue& r : lent.Requetes())
            if (r.methode == "GET")
                ArretDemande = true;
    });
    surveille.start(20);
    for (const QString& nom : Fichiers())
        QFile::remove(dossier + nom);
    EXPECT_TRUE(Lance("<a href=un.bin>1</a><a href=\"" + lent.Adresse("/lent.bin").toUtf8() +
                      "\">2</a><a href=deux.bin>3</a>"));
    surveille.stop();
    EXPECT_EQ(Lignes(), (QStringList{"[OK] un.bin (2 Ko)", QString::fromUtf8("[Arrêt demandé] lent.bin")}));
    EXPECT_EQ(Fichiers(), QStringList{"un.bin"});
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
}

TEST_F(LienDeSelection, ArchivesDecompresseesPuisEffacees) {
    AffecteVariable("DECOMPRESSER_LIEN_ZIP", "O");
    const QMap<QString, QByteArray> source = Arbre(CheminFixture("zip/source")), rien;
    ASSERT_EQ(source.size(), 5);
    const QString ecriture = "error writing file";
    struct Cas {
        const char* archive;
        const char* motDePasse; // nullptr: no question expected
        bool resultat;
        QString ligne;
        QStringList messages;
        QMap<QString, QByteArray> arbre;
    };
    const Cas cas[] = {
        {"infozip_stored.zip", nullptr, true, "[OK] infozip_stored.zip (26,41 Ko)", {}, source},
        {"infozip_deflate.zip", nullptr, true, "[OK] infozip_deflate.zip (7,09 Ko)", {}, source},
        {"7z_deflate64.zip", nullptr, true, "[OK] 7z_deflate64.zip (7,11 Ko)", {}, source},
        {"infozip_password.zip", "secret", true, "[OK] infozip_password.zip (7,22 Ko)", {}, source},
        {"infozip_password.zip", "faux", false, "[Erreur] infozip_password.zip",
         {"Password is incorrect", Probleme}, rien},
        {"pas_une_archive.zip", nullptr, false, "[Erreur] pas_une_archive.zip", {Probleme}, rien},
        {"tronquee.zip", nullptr, false, "[Erreur] tronquee.zip", {Probleme}, rien},
        // Names that leave the folder are refused one by one; the rest is written.
        {"traversee.zip", nullptr, true, "[OK] traversee.zip (664 octets)", QStringList(5, ecriture),
         {{"bon.txt", "oui"}}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.archive << " " << (c.motDePasse ? c.motDePasse : "-"));
        QDir(dossier).removeRecursively();
        QDir().mkpath(dossier);
        rec.Vide();
        if (c.motDePasse)
            rec.Saisit(c.motDePasse);
        EXPECT_EQ(Lance("<a href=" + QByteArray(c.archive) + ">x</a>"), c.resultat);
        EXPECT_EQ(Lignes(), QStringList{c.ligne});
        EXPECT_EQ(rec.Textes(), c.messages);
        if (c.messages.contains(Probleme)) {
            EXPECT_EQ(rec.messages.back().icone, IconeMessage::Exclamation);
        }
        EXPECT_EQ(rec.questions, c.motDePasse ? QStringList{"Give Password"} : QStringList());
        const QMap<QString, QByteArray> arbre = Arbre(dossier); // no archive, no page
        EXPECT_TRUE(arbre == c.arbre) << arbre.keys().join(' ').toStdString();
        EXPECT_EQ(QDir(bac.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{"dest"});
        EXPECT_EQ(f->DernierLien, c.resultat ? dossier + c.archive : QString());
        EXPECT_EQ(f->DernierLienDecompresse, c.resultat);
        rec.saisies.clear();
    }
}

} // namespace
