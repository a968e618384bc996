#include <gtest/gtest.h>

#include "util/Fonctions_Chaine.h"

namespace {

TEST(Remplace, CompteEtCasse) {
    struct Cas {
        QString texte, cherche, par;
        bool ignorer;
        int nombre;
        QString attendu;
        bool resultat;
    };
    const Cas cas[] = {
        {"a#b#c", "#", "\r\n", false, -1, "a\r\nb\r\nc", true},
        {"a#b#c", "#", "\r\n", false, 1, "a\r\nb#c", true},
        {"aaa", "a", "aa", false, -1, "aaaaaa", true}, // inserted text never searched again
        {"Nom NOM nom", "nom", "x", true, -1, "x x x", true},
        {"Nom NOM nom", "nom", "x", false, -1, "Nom NOM x", true},
        {"abc", "z", "y", false, -1, "abc", false},
        {"a#b", "#", "-", false, 0, "a#b", false},
        {"a#b", "#", "-", false, -2, "a#b", false},
        {"a#b", "", "-", false, -1, "a#b", false}, // must not loop
        {"##", "#", "", false, -1, "", true},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.texte.toStdString() + " / " + c.cherche.toStdString());
        QString t = c.texte;
        EXPECT_EQ(Remplace(t, c.cherche, c.par, c.ignorer, c.nombre), c.resultat);
        EXPECT_EQ(t, c.attendu);
    }
}

TEST(Nombres, FormateEstValeur) {
    EXPECT_EQ(FormateNombre(3), "3");
    EXPECT_EQ(FormateNombre(2.5), "2.5");
    EXPECT_EQ(FormateNombre(0.25), "0.25");
    EXPECT_EQ(FormateNombre(-0.5), "-.5");
    EXPECT_EQ(FormateNombre(-12), "-12");
    EXPECT_EQ(FormateNombre(0), "0");
    EXPECT_EQ(FormateNombre(123456789012345.0), "123456789012345");

    const std::pair<QString, bool> estNombre[] = {
        {"", false},    {"12", true},  {"-", true},    {".", true},   {"-.5", true},
        {"1.2.3", false}, {"1,5", false}, {"+1", false}, {" 1", false}, {"1-", false},
    };
    for (const auto& [texte, attendu] : estNombre) {
        SCOPED_TRACE(texte.toStdString());
        EXPECT_EQ(EstNombre(texte), attendu);
    }
    EXPECT_DOUBLE_EQ(ValeurNombre("12,5"), 12.5);
    EXPECT_DOUBLE_EQ(ValeurNombre("abc"), 0);
    EXPECT_DOUBLE_EQ(ValeurNombre("1.2.3"), 0);
    EXPECT_DOUBLE_EQ(ValeurNombre("-"), 0);
}

TEST(Nombres, LectureSouple) {
    const std::pair<QString, int> cas[] = {
        {"12", 12},      {"12 Ko", 12},   {"  7", 7},       {"abc", 0},   {"", 0},
        {"-3", -3},      {"2.5", 2},      {"3.5", 4},       {"-2.5", -2}, {"2.6", 3},
        {"99999", 32767}, {"-99999", -32768}, {"1e3", 1000}, {"1e", 1},   {"+4", 4},
        {".5", 0},       {"1.5x", 2},     {"1,5", 1},
    };
    for (const auto& [texte, attendu] : cas) {
        SCOPED_TRACE(texte.toStdString());
        EXPECT_EQ(EntierSouple(texte), attendu);
    }
    EXPECT_DOUBLE_EQ(NombreSouple("-3.5x"), -3.5);
    EXPECT_DOUBLE_EQ(NombreSouple(QString(1'000'000, '9')), 0); // overflows: no number
}

TEST(Pluriel, SingulierPourZeroEtUn) {
    EXPECT_EQ(Pluriel(0, "# sélection", "# sélections"), "0 sélection");
    EXPECT_EQ(Pluriel(1, "# sélection", "# sélections"), "1 sélection");
    EXPECT_EQ(Pluriel(2, "# sélection", "# sélections"), "2 sélections");
    EXPECT_EQ(Pluriel(-1, "# seconde", "# secondes"), "-1 secondes");
    EXPECT_EQ(Pluriel(5, "#/#", "# et #"), "5 et 5");
}

TEST(ExtraitColonne, ChampsEtPositions) {
    struct Cas {
        QString ligne;
        int numero;
        QString attendu;
        int nbColonnes, position;
    };
    const QString l = "a\tb\t\td";
    const Cas cas[] = {
        {l, 1, "a", 1, 1},      {l, 2, "b", 2, 3},   {l, 3, "", 3, 5},
        {l, 4, "d", 4, 6},      {l, 5, "", 4, 0},    {l, 0, "", 4, 0},
        {"abc", 1, "abc", 1, 1}, {"", 1, "", 0, 0},  {"a\tb\t", 2, "b", 2, 3},
        {"a\tb\t", 3, "", 2, 0}, {"\t", 1, "", 1, 1}, {"\t", 2, "", 1, 0},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.ligne.toStdString() + " #" + std::to_string(c.numero));
        int nb = -1, pos = -1;
        EXPECT_EQ(ExtraitColonne(c.ligne, c.numero, "\t", nb, pos), c.attendu);
        EXPECT_EQ(ColonneVue(c.ligne, c.numero, '\t').toString(), c.attendu);
        EXPECT_EQ(nb, c.nbColonnes);
        EXPECT_EQ(pos, c.position);
    }
    EXPECT_EQ(ExtraitColonne("1.10.3", 2, "."), "10");
}

TEST(ExtraitColonne, LigneEnorme) {
    // 200,000 tabs: the last field is found in one pass.
    QString ligne = QString(200'000, '\t') + "fin";
    int nb = 0, pos = 0;
    EXPECT_EQ(ExtraitColonne(ligne, 200'001, "\t", nb, pos), "fin");
    EXPECT_EQ(nb, 200'001);
}

TEST(ArgumentLigneCommande, GuillemetsEtEspaces) {
    const QString ligne = R"("C:\Mes documents\service.txt"   second  "a b")";
    EXPECT_EQ(ArgumentLigneCommande(ligne, 1), R"("C:\Mes documents\service.txt")");
    EXPECT_EQ(ArgumentLigneCommande(ligne, 2), "second");
    EXPECT_EQ(ArgumentLigneCommande(ligne, 3), "\"a b\"");
    EXPECT_EQ(ArgumentLigneCommande(ligne, 4), "");
    EXPECT_EQ(ArgumentLigneCommande("   ", 1), "");
    EXPECT_EQ(ArgumentLigneCommande("un\"deux trois\"", 1), "un\"deux trois\"");
}

} // namespace
