// List file processing steps on real files in a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "search/TraitementListe.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"

namespace {

class Liste : public ::testing::Test {
protected:
    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1, nullptr, true);
    }
    void Ecrit(const QByteArray& contenu) { ASSERT_TRUE(EcritFichier(chemin, contenu)); }
    QStringList Lignes() const {
        QStringList l;
        LitLignesListe(chemin, l);
        return l;
    }

    QTemporaryDir dossier;
    const QString chemin = dossier.filePath("Liste.tmp");
    EnregistreurMessages rec;
};

TEST_F(Liste, BlocDeParametres) {
    const struct {
        QByteArray contenu;
        bool reponse;
        QStringList lignes;
        QString titre;
    } cas[] = {
        {"xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=A=B\r\n"
         "-FIN PARAMETRES-\r\nl1\r\n-PARAMETRES-\r\n\r\nl3",
         true, {"l1", "-PARAMETRES-", "", "l3"}, "A=B"},
        // Only a block right after the marker is read.
        {"xxx Le Ramaglin V1 xxx\r\nl1\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=x\r\n", true,
         {"l1", "-PARAMETRES-", "TITRE_TELECHARGEMENT=x"}, ""},
        // No closing line: everything after the opening one is a parameter.
        {"xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=y\r\nNUM_COLONNE_AFFICHEE=2\r\n",
         true, {}, "y"},
        // The marker is exact.
        {"xxx Le Ramaglin V1 xxx \r\nl1\r\n", false, {"xxx Le Ramaglin V1 xxx ", "l1"}, ""},
        {"", false, {}, ""},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.contenu.toStdString());
        AffecteVariable("TITRE_TELECHARGEMENT", "");
        rec.Vide();
        Ecrit(c.contenu);
        EXPECT_EQ(RecupereParametres(chemin, true), c.reponse);
        EXPECT_EQ(Lignes(), c.lignes);
        EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), c.titre);
        EXPECT_EQ(rec.Textes(), c.reponse ? QStringList{} : QStringList{"La recherche n'a pas aboutie."});
        EXPECT_FALSE(QFile::exists(chemin + "2"));
    }
    // A faulty parameter line reports and the rest of the processing goes on.
    rec.Vide();
    Ecrit("xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nINCONNUE=1\r\n-FIN PARAMETRES-\r\nl1\r\n");
    EXPECT_TRUE(RecupereParametres(chemin, true));
    EXPECT_EQ(rec.Textes(), QStringList{"Variable inconnue : INCONNUE"});
    EXPECT_EQ(Lignes(), QStringList{"l1"});
}

// A row past the end of the file counts, its size does not.
TEST_F(Liste, SelectionPlusLongueQueLaListe) {
    const ResumeSelection r = CalculeSelection("a\t1536\r\nb\t100\r\n", {false, true, true}, true, 2);
    EXPECT_EQ(r.nombre, 2);
    EXPECT_DOUBLE_EQ(r.total, 100);
    // CR LF and a lone CR both end a line, even before a size in the first field.
    EXPECT_DOUBLE_EQ(CalculeSelection("10\ta\r\n20\tb\r30\r\n", {true, true, true}, true, 1).total, 60);
}

// The copy is written with CR LF through a work file; a work file that cannot
// be written leaves the list as it was (a full disk or a read-only folder fail
// the same work file, tested with the settings file).
TEST_F(Liste, RecritureSansRestes) {
    Ecrit("ancien\r\n");
    EXPECT_TRUE(RecritListe(chemin, {"d\xC3\xA9j\xC3\xA0", "", "x\ty"}));
    EXPECT_EQ(LitFichier(chemin), "d\xC3\xA9j\xC3\xA0\r\n\r\nx\ty\r\n");
    EXPECT_FALSE(QFile::exists(chemin + "2"));
    QDir().mkpath(chemin + "2/bloque");
    EXPECT_FALSE(RecritListe(chemin, {"nouveau"}));
    EXPECT_EQ(LitFichier(chemin), "d\xC3\xA9j\xC3\xA0\r\n\r\nx\ty\r\n");
}

} // namespace
