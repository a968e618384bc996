#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/Fonctions_Parametres.h"
#include "app/Fonctions_Variables.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"

namespace {

struct ArbreEnregistre final : ArbreOptions {
    void Efface() override { noeuds.clear(); }
    void AjouteNoeud(const QString& parent, const QString& cle, const QString& texte,
                     bool gras) override {
        noeuds.push_back({parent, cle, texte, gras ? "gras" : ""});
    }
    std::vector<std::array<QString, 4>> noeuds;
};

class Configuration : public ::testing::Test {
protected:
    void SetUp() override { EffaceVariables(0); }
    void TearDown() override { EffaceVariables(0); }

    QString Ecrit(const QString& nom, const QByteArray& contenu) {
        const QString chemin = dossier.filePath(nom);
        EXPECT_TRUE(EcritFichier(chemin, contenu));
        return chemin;
    }
    QStringList Noms() const {
        QStringList noms;
        for (int i = 1; i <= NombreVariables(); ++i)
            noms << VariableNumero(i).nom;
        return noms;
    }
    void Declare(const QStringList& noms) {
        for (const QString& n : noms)
            DefinitVariable(n, "TXT", "", 1);
    }

    QTemporaryDir dossier;
    EnregistreurMessages rec;
};

TEST_F(Configuration, ListeLivreeDeclareToutesLesVariables) {
    const QString liste = QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat");
    ChargeListeOptions(liste, 1, nullptr, true);
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    // Every setting the program reads is declared, empty, in list 1.
    const QStringList attendues = QStringLiteral(
        "REP_TMP FICHIER_CONFIG_SUPPR TITRE_TELECHARGEMENT LANCER_TELECHARGEMENT_DEMARRAGE "
        "FICHIER_LISTE_LOCAL_SUPPR FICHIER_LISTE_NOM RECUPERE_PARAMETRES_LISTE AFFICHE_RESULTAT "
        "NUM_COLONNE_AFFICHEE COMPARER_CONSERVER_LIENS_HTTP ADRESSE_BASE_LIENS_INTERNET "
        "SUPPR_LIENS_DIFF_TXT COMPARER_LISTE_A_REPERTOIRE CHEMIN_A_COMPARER EXTENSION_A_COMPARER "
        "COL_COMPARAISON_REP COMPARER_LISTE_A_IDENTIFIANT COL_COMPARAISON_IDENT "
        "IDENTIFIANT_A_COMPARER COMPARER_LISTE_A_VERSION COL_COMPARAISON_VERSION VERSION_A_COMPARER "
        "CALCULER_TAILLE_SELECTION COLONNE_TAILLE NUM_COLONNE_TELECHARGEE "
        "CHEMIN_DESTINATION_FICHIER_SOURCE ADRESSE_BASE_FICHIERS_SOURCES NUM_COLONNE_NOUVEAUFICHIER "
        "LANCER_APRES_TELECHARGEMENT PAUSE_SELON_TAILLE TAILLE_DECLENCHE_PAUSE "
        "DUREE_PAUSE_SELON_TAILLE PAUSE_ENTRE_CHAQUE_TELECHARGEMENT "
        "NB_FICHIERS_TELECHARGES_AVANT_PAUSE DUREE_PAUSE_ENTRE_TELECHARGEMENT "
        "CONSERVER_LIEN_TELECHARGE SUPPR_LIENS_DIFF_TXT2 CONSERVER_UNE_SEULE_EXTENSION "
        "DECOMPRESSER_LIEN_ZIP").split(' ');
    EXPECT_EQ(Noms(), attendues);
    for (int i = 1; i <= NombreVariables(); ++i)
        EXPECT_EQ(VariableNumero(i).valeur + "|" + VariableNumero(i).numeroListe, "|1");
    // With a tree: the same variables in the same order.
    ArbreEnregistre arbre;
    ChargeListeOptions(liste, 1, &arbre, true);
    EXPECT_EQ(Noms(), attendues);
    EXPECT_EQ(arbre.noeuds[1], (std::array<QString, 4>{"P1-1", "O-1", "Dossier temporaire de la liste", ""}));
}

TEST_F(Configuration, ListeDOptionsSectionsEtArbre) {
    ArbreEnregistre arbre;
    const QString chemin = Ecrit("opt.dat", "xCach\xC3\xA9[TXT][CACHE]\r\n"
                                            "Section A\r\n"
                                            "-Un[O/N] [UN] commentaire\r\n"
                                            "\r\n"
                                            "-Deux[FONCTION][DEUX]\r\n");
    ChargeListeOptions(chemin, 1, &arbre, true);
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_EQ(Noms(), (QStringList{"CACHE", "UN", "DEUX"}));
    EXPECT_EQ(VariableNumero(2).type, "O/N");
    using N = std::array<QString, 4>;
    const std::vector<N> attendus = {
        N{"", "P1-1", "Section A", ""}, N{"P1-1", "O-2", "Un", ""},
        N{"", "P1-2", "", ""},          N{"P1-2", "O-3", "Deux", "gras"}};
    EXPECT_EQ(arbre.noeuds, attendus);
}

TEST_F(Configuration, ListeDOptionsFautives) {
    struct Cas {
        QByteArray contenu;
        QString message;
        QStringList declarees;
    };
    const Cas cas[] = {
        {"-Un[TXT][UN]\r\n", "L'option [UN] n'a pas de parent.", {}},
        {"S\r\n-Un TXT UN\r\n-Deux[TXT][DEUX]\r\n", "L'option -Un TXT UN n'a pas de type.", {}},
        {"S\r\n-Un]TXT[[UN]\r\n", "L'option -Un]TXT[[UN] n'a pas de type.", {}},
        {"S\r\n-A[TXT][A]\r\n-Un[NUM/NEG][UN]\r\n",
         "L'option -Un[NUM/NEG][UN] utilise un type non géré", {"A"}},
        {"S\r\n-Un[txt][UN]\r\n", "L'option -Un[txt][UN] utilise un type non géré", {}},
        {"S\r\n-Un[TXT] UN\r\n", "L'option  UN n'a pas de variable.", {}},
        {"S\r\n-A[TXT][A]\r\n-B[TXT][A]\r\n-C[TXT][C]\r\n", "Variable utilisée deux fois : A", {"A"}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.contenu.toStdString());
        rec.Vide();
        ChargeListeOptions(Ecrit("opt.dat", c.contenu), 1, nullptr, true);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_EQ(rec.messages[0].texte, c.message);
        EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
        EXPECT_EQ(Noms(), c.declarees);
    }
}

TEST_F(Configuration, FichierParametres) {
    Declare({"A", "B", "C", "A ", "VIDE"});
    AffecteVariable("VIDE", "avant");
    const QString chemin = Ecrit("p.txt", "A=1=2 = 3\r\n"
                                          "\r\n"
                                          "B= b \r"
                                          "C=ligne\navec LF\r\n"
                                          "VIDE=\r\n"
                                          "A =espace\r\n"
                                          "B=x");
    LitFichierParametres(chemin, 1);
    EXPECT_TRUE(rec.messages.empty()) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(LitVariable("A"), "1=2 = 3");
    EXPECT_EQ(LitVariable("B"), "x"); // a later line overwrites
    EXPECT_EQ(LitVariable("C"), "ligne\navec LF");
    EXPECT_EQ(LitVariable("VIDE"), "");
    EXPECT_EQ(LitVariable("A "), "espace");
}

TEST_F(Configuration, FichierParametresArreteALaPremiereFaute) {
    struct Cas {
        QByteArray contenu;
        QString message; // with %1 for the path
        QString valeurA, valeurB;
    };
    const Cas cas[] = {
        {"A=1\r\n   \r\nB=2\r\n", "Une variable n'a pas été affectée dans le fichier %1.", "1", ""},
        {"A = 1\r\nB=2\r\n", "Variable inconnue : A ", "", ""},
        {"A=1\r\nZ=3\r\nB=2\r\n", "Variable inconnue : Z", "1", ""},
        {"A=1\r\nnote libre\r\nB=2", "Une variable n'a pas été affectée dans le fichier %1.", "1", ""},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.contenu.toStdString());
        EffaceVariables(0);
        Declare({"A", "B"});
        rec.Vide();
        const QString chemin = Ecrit("p.txt", c.contenu);
        LitFichierParametres(chemin, 1);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_EQ(rec.messages[0].texte,
                  c.message.contains("%1") ? c.message.arg(chemin) : c.message);
        EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
        EXPECT_EQ(LitVariable("A"), c.valeurA);
        EXPECT_EQ(LitVariable("B"), c.valeurB);
    }
}

TEST_F(Configuration, AutreListeAvertitMaisAffecte) {
    DefinitVariable("X", "TXT", "", 2);
    LitFichierParametres(Ecrit("p.txt", "X=v\r\n"), 1);
    EXPECT_EQ(rec.Textes(), QStringList{"La variable X existe dans une autre liste."});
    EXPECT_EQ(VariableNumero(1).valeur, "v");
}

TEST_F(Configuration, EncodagesEtEntreesHostiles) {
    Declare({"TITRE", "N"});
    // UTF-8 with BOM, then Windows-1252.
    LitFichierParametres(Ecrit("bom.txt", "\xEF\xBB\xBFTITRE=Mus\xC3\xA9\x65\r\n"), 1);
    EXPECT_EQ(LitVariable("TITRE"), QString::fromUtf8("Musée"));
    LitFichierParametres(Ecrit("1252.txt", "TITRE=Caf\xE9 \x80\r\n"), 1);
    EXPECT_EQ(LitVariable("TITRE"), QString::fromUtf8("Café €"));
    EXPECT_TRUE(rec.messages.empty());

    // Empty file: nothing happens.
    LitFichierParametres(Ecrit("vide.txt", ""), 1);
    ChargeListeOptions(Ecrit("vide.dat", ""), 1, nullptr, false);
    EXPECT_TRUE(rec.messages.empty());

    // A 1 MB value and thousands of lines.
    LitFichierParametres(Ecrit("long.txt", "TITRE=" + QByteArray(1 << 20, 'x') + "\r\n"), 1);
    EXPECT_EQ(LitVariable("TITRE").size(), 1 << 20);
    QByteArray beaucoup;
    for (int i = 0; i < 20000; ++i)
        beaucoup += "N=" + QByteArray::number(i) + "\r\n";
    LitFichierParametres(Ecrit("beaucoup.txt", beaucoup), 1);
    EXPECT_EQ(LitVariable("N"), "19999");
    EXPECT_TRUE(rec.messages.empty());

    // Binary: one message, no crash.
    QByteArray binaire;
    for (int i = 0; i < 4096; ++i)
        binaire += char((i * 7919) & 0xFF);
    LitFichierParametres(Ecrit("bin.txt", binaire), 1);
    EXPECT_EQ(rec.messages.size(), 1u);
    // Thousands of options: the table stops at 81 with its message.
    QByteArray options = "S\r\n";
    for (int i = 0; i < 5000; ++i)
        options += "-L[TXT][V" + QByteArray::number(i) + "]\r\n";
    rec.Vide();
    ChargeListeOptions(Ecrit("opts.dat", options), 1, nullptr, true);
    EXPECT_EQ(NombreVariables(), 81);
    EXPECT_EQ(rec.Textes(), QStringList{"Il y a trop de variables définies"});
}

} // namespace
