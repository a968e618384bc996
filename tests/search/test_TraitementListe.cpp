// List file processing steps on real files in a temporary folder, and the
// decoding of character references in link texts.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "search/DecodeEntites.h"
#include "search/LignesListe.h"
#include "search/TraitementListe.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"

namespace {

class Liste : public ::testing::Test {
protected:
    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1, nullptr, true);
    }
    static QStringList Textes(const LignesListe& lignes) {
        QStringList l;
        for (qsizetype i = 0; i < lignes.Nombre(); ++i)
            l << lignes.Ligne(i);
        return l;
    }

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
        TableVariables reglages = VariablesService();
        rec.Vide();
        LignesListe lignes;
        lignes.DefinitOctets(c.contenu);
        EXPECT_EQ(RecupereParametres(lignes, reglages, true), c.reponse);
        if (c.reponse) {
            EXPECT_EQ(Textes(lignes), c.lignes);
        }
        EXPECT_EQ(reglages.Lit("TITRE_TELECHARGEMENT"), c.titre);
        EXPECT_EQ(rec.Textes(), c.reponse ? QStringList{} : QStringList{"La recherche n'a pas aboutie."});
        // The service's own settings never change.
        EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), "");
    }
    // A faulty parameter line reports and the rest of the processing goes on.
    rec.Vide();
    TableVariables reglages = VariablesService();
    LignesListe lignes;
    lignes.DefinitOctets("xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nINCONNUE=1\r\n-FIN PARAMETRES-\r\nl1\r\n");
    EXPECT_TRUE(RecupereParametres(lignes, reglages, true));
    EXPECT_EQ(rec.Textes(), QStringList{"Variable inconnue : INCONNUE"});
    EXPECT_EQ(Textes(lignes), QStringList{"l1"});
}

// A block of a list that anyone on its path could have changed sets what
// shows and filters, never where lists and files come from or go, what is
// started, the digest column or the key; one message names what was ignored.
// A list that is trusted sets them all.
TEST_F(Liste, BlocDUneListeEnClair) {
    const QByteArray bloc =
        "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nNUM_COLONNE_AFFICHEE=3\r\n"
        "FICHIER_LISTE_NOM=https://ailleurs.example/l\r\nADRESSE_BASE_FICHIERS_SOURCES=https://ailleurs.example/\r\n"
        "ADRESSE_BASE_LIENS_INTERNET=https://ailleurs.example/\r\nCOLONNE_EMPREINTE=\r\n"
        "CHEMIN_DESTINATION_FICHIER_SOURCE=/ailleurs\r\nREP_TMP=/ailleurs\r\nCHEMIN_A_COMPARER=/ailleurs\r\n"
        "LANCER_APRES_TELECHARGEMENT=O\r\nFICHIER_CONFIG_SUPPR=O\r\nCLE_PUBLIQUE_LISTE=x\r\n"
        "COLONNE_EMPREINTE=9\r\n-FIN PARAMETRES-\r\nl1\r\n";
    const QStringList reservees{"FICHIER_LISTE_NOM", "ADRESSE_BASE_FICHIERS_SOURCES", "ADRESSE_BASE_LIENS_INTERNET",
                                "COLONNE_EMPREINTE", "CHEMIN_DESTINATION_FICHIER_SOURCE", "REP_TMP",
                                "CHEMIN_A_COMPARER", "LANCER_APRES_TELECHARGEMENT", "FICHIER_CONFIG_SUPPR",
                                "CLE_PUBLIQUE_LISTE"};
    for (const bool sure : {false, true}) {
        SCOPED_TRACE(sure);
        rec.Vide();
        TableVariables reglages = VariablesService();
        LignesListe lignes;
        lignes.DefinitOctets(bloc);
        ASSERT_TRUE(RecupereParametres(lignes, reglages, sure));
        EXPECT_EQ(reglages.Lit("NUM_COLONNE_AFFICHEE"), "3");
        for (const QString& nom : reservees)
            EXPECT_EQ(reglages.Lit(nom).isEmpty(), !sure) << nom.toStdString();
        EXPECT_EQ(rec.Textes(), sure ? QStringList{}
                                     : QStringList{"La liste a été obtenue sans chiffrement et n'est pas signée : son "
                                                   "bloc de paramètres ne peut pas changer " +
                                                   reservees.join(", ") + ". Ces lignes ont été ignorées."});
        EXPECT_EQ(Textes(lignes), QStringList{"l1"});
    }
}

// A row past the end of the file counts, its size does not; lone CR ends and
// a last line without one are read, and written back as CR LF.
TEST_F(Liste, SelectionPlusLongueQueLaListe) {
    const ResumeSelection r = CalculeSelection("a\t1536\r\nb\t100\r\n", {false, true, true}, true, 2);
    EXPECT_EQ(r.nombre, 2);
    EXPECT_DOUBLE_EQ(r.total, 100);
    // CR LF and a lone CR both end a line, even before a size in the first field.
    EXPECT_DOUBLE_EQ(CalculeSelection("10\ta\r\n20\tb\r30\r\n", {true, true, true}, true, 1).total, 60);
    // Such a list, without an end on its last line, is written back with CR LF throughout.
    LignesListe lignes;
    lignes.DefinitOctets("a\r\nb\rc");
    EXPECT_EQ(lignes.Texte(), "a\r\nb\r\nc\r\n");
}

} // namespace

TEST(DecodeEntites, References) {
    const std::pair<QString, QString> cas[] = {
        {"caf&#233; et th&#233;", "café et thé"}, {"&#xe9;t&#xe9;", "été"},
        // Windows-1252 for 0..255, Unicode beyond, U+FFFD when invalid.
        {"prix&#128;&#146;&#8364;&#-1;&#1114112;", "prix€’€\uFFFD\uFFFD"},
        // The number is read leniently: a leading space, a fraction (halves to even).
        {"&# 65;&#65.5;&#66.5;", "ABB"},
        // Numeric decoding stops at a first "&#" with fewer than five characters
        // to the end or without a ";" after it; five are enough.
        {"&#65;x&#5;", "Ax&#5;"}, {"x&#66;", "xB"}, {"&eacute; &#233 fin", "é &#233 fin"},
        // The reference runs to the first ";" after it, whatever lies between.
        {"&#233 &eacute;!", "é!"},
        // Each reference is replaced everywhere before looking again from the
        // start, output included.
        {"&#38;#233; &#38;#49&#38;", "é &#49&"},
        // Named references, in table order: "&nbsp;" before "&amp;", "&amp;" before "&lt;".
        {"&amp;nbsp; &amp;eacute; &amp;lt;b&amp;gt;", "&nbsp; é <b>"}, {"a&nbsp;b&shy;c", "a bc"},
        // The rest of the table: Latin-1 in code order from U+00A1 to U+00FF.
        {"&iexcl;&para;&Agrave;&times;&eacute;&divide;&yuml;", "¡¶À×é÷ÿ"},
        // Case matters, and some references have no row.
        {"&EACUTE; &quot; &apos; &euro; &uml; &otilde;", "&EACUTE; &quot; &apos; &euro; &uml; &otilde;"},
    };
    for (auto [texte, attendu] : cas) {
        SCOPED_TRACE(texte.toStdString());
        DecodeEntites(texte);
        EXPECT_EQ(texte, attendu);
    }
}
