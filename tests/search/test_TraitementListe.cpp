// List file processing steps on real files in a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "app/Fonctions_Parametres.h"
#include "app/Fonctions_Variables.h"
#include "search/TraitementListe.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"

namespace {

class Liste : public ::testing::Test {
protected:
    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1,
                           nullptr, true);
        chemin = dossier.filePath("Liste.tmp");
        app = dossier.path() + "/app/";
        QDir().mkpath(app);
    }
    void Ecrit(const QByteArray& contenu) { ASSERT_TRUE(EcritFichier(chemin, contenu)); }
    QStringList Lignes() const {
        QStringList l;
        LitLignesListe(chemin, l);
        return l;
    }
    void Fixe(const QString& nom, const QString& valeur) { AffecteVariable(nom, valeur); }

    QTemporaryDir dossier;
    QString chemin;
    QString app;
    EnregistreurMessages rec;
};

TEST_F(Liste, BlocDeParametres) {
    struct Cas {
        QByteArray contenu;
        bool reponse;
        QStringList lignes;
        QString titre;
    };
    const Cas cas[] = {
        {"xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=A=B\r\n"
         "-FIN PARAMETRES-\r\nl1\r\n-PARAMETRES-\r\n\r\nl3",
         true, {"l1", "-PARAMETRES-", "", "l3"}, "A=B"},
        {"xxx Le Ramaglin V1 xxx\r\nl1\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=x\r\n", true,
         {"l1", "-PARAMETRES-", "TITRE_TELECHARGEMENT=x"}, ""},
        // No closing line: everything after the opening one is a parameter.
        {"xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=y\r\nNUM_COLONNE_AFFICHEE=2\r\n",
         true, {}, "y"},
        {"xxx Le Ramaglin V1 xxx \r\nl1\r\n", false, {"xxx Le Ramaglin V1 xxx ", "l1"}, ""},
        {"XXX Le Ramaglin V1 XXX\r\n", false, {"XXX Le Ramaglin V1 XXX"}, ""},
        {"", false, {}, ""},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.contenu.toStdString());
        Fixe("TITRE_TELECHARGEMENT", "");
        rec.Vide();
        Ecrit(c.contenu);
        EXPECT_EQ(RecupereParametres(chemin, app), c.reponse);
        EXPECT_EQ(Lignes(), c.lignes);
        EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), c.titre);
        EXPECT_EQ(rec.Textes(), c.reponse ? QStringList{} : QStringList{"La recherche n'a pas aboutie."});
        EXPECT_FALSE(QFile::exists(app + "FichierParam2.tmp"));
        EXPECT_FALSE(QFile::exists(chemin + "2"));
    }
    // A faulty parameter line reports and the rest of the processing goes on.
    rec.Vide();
    Ecrit("xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nINCONNUE=1\r\n-FIN PARAMETRES-\r\nl1\r\n");
    EXPECT_TRUE(RecupereParametres(chemin, app));
    EXPECT_EQ(rec.Textes(), QStringList{"Variable inconnue : INCONNUE"});
    EXPECT_EQ(Lignes(), QStringList{"l1"});
}

TEST_F(Liste, Versions) {
    struct Cas {
        const char* liste;
        const char* reference;
        bool garde;
    };
    const Cas cas[] = {
        {"1.10", "1.9", true},    {"2.0", "1.99.99", true}, {"1.2", "1.2.0", false},
        {"1.2.3.9", "1.2.3", false}, {"", "0.0.0", false}, {"abc", "0", false},
        {"1.2.4", "1.2.3", true}, {"1.3", "1.2.9", true},  {"0.9", "1", false},
        {"-1", "-2", true},       {"1.2.3b", "1.2.2", true}, {"99999", "32766", true},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(std::string(c.liste) + " vs " + c.reference);
        EXPECT_EQ(LitVersion(c.liste) > LitVersion(c.reference), c.garde);
    }
}

TEST_F(Liste, ComparaisonAvecUnDossier) {
    const QString local = dossier.filePath("local");
    QDir().mkpath(local + "/sous-dossier.zip");
    EcritFichier(local + "/present.zip", "x");
    EcritFichier(local + "/.cache.zip", "x"); // hidden files count like any other
    EcritFichier(local + "/notes.txt", "x");
    Fixe("COL_COMPARAISON_REP", "1");
    const QByteArray liste = "present.zip\r\nPRESENT.ZIP\r\nsous-dossier.zip\r\n.cache.zip\r\n"
                             "notes.txt\r\nnouveau.zip\r\n";
    const std::pair<QString, QStringList> cas[] = {
        {"*.*", {"PRESENT.ZIP", "sous-dossier.zip", "nouveau.zip"}},
        {"*.zip", {"PRESENT.ZIP", "sous-dossier.zip", "notes.txt", "nouveau.zip"}},
        {"p?esent.*", {"PRESENT.ZIP", "sous-dossier.zip", ".cache.zip", "notes.txt", "nouveau.zip"}},
    };
    for (const QString& fin : {QString(), QString("/")}) {
        for (const auto& [motif, gardees] : cas) {
            SCOPED_TRACE((motif + fin).toStdString());
            Fixe("CHEMIN_A_COMPARER", local + fin);
            Fixe("EXTENSION_A_COMPARER", motif);
            Ecrit(liste);
            bool reponse = true;
            EXPECT_TRUE(ComparaisonRepertoire(chemin, reponse));
            EXPECT_TRUE(reponse);
            EXPECT_EQ(Lignes(), gardees);
        }
    }
    // Missing folder: every line stays.
    Fixe("CHEMIN_A_COMPARER", local + "/absent");
    Ecrit(liste);
    bool reponse = true;
    EXPECT_TRUE(ComparaisonRepertoire(chemin, reponse));
    EXPECT_EQ(Lignes().size(), 6);
    // Everything present: the message, and the answer turns false.
    Fixe("CHEMIN_A_COMPARER", local);
    Fixe("EXTENSION_A_COMPARER", "*.*");
    Ecrit("present.zip\r\nnotes.txt\r\n");
    EXPECT_FALSE(ComparaisonRepertoire(chemin, reponse));
    EXPECT_FALSE(reponse);
    EXPECT_EQ(rec.Textes(), QStringList{"Il n'y a pas eu de nouveaux fichiers."});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Information);
}

TEST_F(Liste, SelectionPlusLongueQueLaListe) {
    // A row past the end of the file counts, its size does not.
    const ResumeSelection r = CalculeSelection("a\t1536\r\nb\t100\r\n", {false, true, true}, true, 2);
    EXPECT_EQ(r.nombre, 2);
    EXPECT_DOUBLE_EQ(r.total, 100);
}

TEST_F(Liste, RecritureSansRestes) {
    Ecrit("ancien\r\n");
    EXPECT_TRUE(RecritListe(chemin, {"d\xC3\xA9j\xC3\xA0", "", "x\ty"}));
    EXPECT_EQ(LitFichier(chemin), "d\xC3\xA9j\xC3\xA0\r\n\r\nx\ty\r\n");
    EXPECT_FALSE(QFile::exists(chemin + "2"));
    // A work file that cannot be written leaves the list as it was.
    QDir().mkpath(chemin + "2/bloque");
    EXPECT_FALSE(RecritListe(chemin, {"nouveau"}));
    EXPECT_EQ(LitFichier(chemin), "d\xC3\xA9j\xC3\xA0\r\n\r\nx\ty\r\n");
}

} // namespace
