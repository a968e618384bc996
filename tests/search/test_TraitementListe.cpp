// List processing steps on real files, and character references in link texts.
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

// An untrusted list's block sets what shows and filters, never sources, destinations, what is
// started, the digest column or the key (one message names what was ignored); a trusted one, all.
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

// Each filter on its own: the lines that stay as the copy holds them (UTF-8, CR LF; CR LF or a
// lone CR end a line), and what the user is told.
TEST_F(Liste, Filtres) {
    QTemporaryDir dossier;
    EcritFichier(dossier.filePath("a.zip"), "x");
    EcritFichier(dossier.filePath("b.zip"), "x");
    enum Etape { rep, ident, version, liens };
    const QStringList G{"COL_COMPARAISON_IDENT=3", "IDENTIFIANT_A_COMPARER=G"}, V{"COL_COMPARAISON_VERSION=2",
                        "VERSION_A_COMPARER=2"}, L{"ADRESSE_BASE_LIENS_INTERNET=http://serveur/base/",
                                                   "SUPPR_LIENS_DIFF_TXT=zip"};
    const QStringList R{"COL_COMPARAISON_REP=1", "CHEMIN_A_COMPARER=" + dossier.path(), "EXTENSION_A_COMPARER=*.zip"};
    const struct {
        const char* nom;
        QByteArray contenu;
        QStringList reglages;
        Etape etape;
        QByteArray lignes;
        QString message;
    } cas[] = {
        // An identifier that only starts like the one asked for does not match.
        {"identifiant", "a\tUn\tG\r\nb\tDeux\tG\r\nc\tAutre\tGH\r\n", G, ident, "a\tUn\tG\r\nb\tDeux\tG\r\n", ""},
        {"Windows-1252", "x\tCaf\xE9\tG\r\ny\t\x80uro\tG", G, ident, "x\tCafé\tG\r\ny\t€uro\tG\r\n", ""},
        {"UTF-8: BOM, CR, ligne vide", "\xEF\xBB\xBFx\tCaf\xC3\xA9\tG\ry\t\tG\r\n\r", G, ident,
         "x\tCafé\tG\r\ny\t\tG\r\n", ""},
        {"aucun identifiant", "a\tUn\tGH\r\n", G, ident, "", "Le logiciel n'a pas été trouvé"},
        {"dossier", "a.zip\r\nc.zip\r\nb.zip\r\n", R, rep, "c.zip\r\n", ""},
        {"rien de nouveau", "a.zip\r\nb.zip\r\n", R, rep, "", "Il n'y a pas eu de nouveaux fichiers."},
        // Three numbers at most, each read as a number; an equal version is not newer.
        {"versions", "a\t2.1\r\nb\t2.0.0.9\r\nc\t1.10\r\nd\t10\r\ne\t2\r\n", V, version, "a\t2.1\r\nd\t10\r\n",
         "Une nouvelle version a été trouvée !"},
        {"pas de version", "a\t1.9.9\r\n", V, version, "", "Il n'y a pas eu de nouvelle version."},
        // Links filtered on a text of any case; a tab in a text is a space.
        {"liens",
         "<html><body><a href=\"fichiers/Un.ZIP\">Premier &amp; meilleur</a> <a href=\"/autre.txt\">"
         "</a> <A HREF=\"http://x/zip/\">Dossier\tA</a> <a href=\"deux.zip\"></a></body></html>",
         L, liens, "http://serveur/base/fichiers/Un.ZIP\tPremier & meilleur\r\nhttp://x/zip/\tDossier A\r\n"
                   "http://serveur/base/deux.zip\thttp://serveur/base/deux.zip\r\n", ""},
        {"sans lien", "<html><body>Rien ici</body></html>", L, liens, "",
         "Aucun résultat trouvé pour cette recherche."},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        rec.Vide();
        TableVariables reglages = VariablesService();
        for (const QString& r : c.reglages)
            reglages.Affecte(r.section('=', 0, 0), r.section('=', 1));
        LignesListe lignes;
        lignes.DefinitOctets(c.contenu);
        bool reponse = true;
        const bool reste = c.etape == rep     ? ComparaisonRepertoire(lignes, reglages, reponse)
                           : c.etape == ident ? ComparaisonIdentifiant(lignes, reglages, reponse)
                           : c.etape == version ? ComparaisonVersion(lignes, reglages, reponse)
                                                : ModeLiens(lignes, reglages) > 0;
        EXPECT_EQ(reste, c.message.isEmpty() || c.message.startsWith("Une"));
        EXPECT_EQ(lignes.Texte(), c.lignes);
        EXPECT_EQ(rec.Textes(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
    }
    // A list kept whole (no filter) is written back with CR LF after every line.
    LignesListe brute;
    brute.DefinitOctets("a\tUn\rb\tDeux\r\nc");
    EXPECT_EQ(brute.Texte(), "a\tUn\r\nb\tDeux\r\nc\r\n");
}

} // namespace

TEST(DecodeEntites, References) {
    const std::pair<QString, QString> cas[] = {
        {"caf&#233; et th&#233;", "café et thé"}, {"&#xe9;t&#xe9;", "été"},
        // Windows-1252 for 0..255, Unicode beyond, U+FFFD when invalid.
        {"prix&#128;&#146;&#8364;&#-1;&#1114112;", "prix€’€\uFFFD\uFFFD"},
        // The number is read leniently: a leading space, a fraction (halves to even).
        {"&# 65;&#65.5;&#66.5;", "ABB"},
        // Numeric decoding stops at a "&#" with under five characters left or no ";" after it.
        {"&#65;x&#5;", "Ax&#5;"}, {"x&#66;", "xB"}, {"&eacute; &#233 fin", "é &#233 fin"},
        // The reference runs to the first ";" after it, whatever lies between.
        {"&#233 &eacute;!", "é!"},
        // Each reference is replaced everywhere, then the search restarts, output included.
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
