// Strings, numbers, size texts and the decoding of text files.
#include <gtest/gtest.h>

#include "support/Outils.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Math.h"
#include "util/Fonctions_Texte.h"

TEST(Remplace, CompteEtCasse) {
    // text, looked for, replacement, ignoring case, how many (-1: all), result
    const std::tuple<QString, QString, QString, bool, int, QString> cas[] = {
        {"a#b#c", "#", "\r\n", false, -1, "a\r\nb\r\nc"}, {"a#b#c", "#", "-", false, 1, "a-b#c"},
        {"aaa", "a", "aa", false, -1, "aaaaaa"}, // inserted text never searched again
        {"Nom NOM nom", "nom", "x", true, -1, "x x x"}, {"Nom NOM nom", "nom", "x", false, -1, "Nom NOM x"},
        {"abc", "z", "y", false, -1, "abc"},     {"a#b", "#", "-", false, 0, "a#b"},
        {"a#b", "", "-", false, -1, "a#b"}, // must not loop
    };
    for (const auto& [texte, cherche, par, ignorer, nombre, attendu] : cas) {
        QString t = texte;
        EXPECT_EQ(Remplace(t, cherche, par, ignorer, nombre), attendu != texte) << t; // false: unchanged
        EXPECT_EQ(t, attendu);
    }
}

TEST(Nombres, LusEtArrondis) {
    // A minus sign only in front; a single dot; nothing else.
    for (const char* oui : {"12", "-", ".", "-.5"})
        EXPECT_TRUE(EstNombre(oui)) << oui;
    for (const char* non : {"", "1.2.3", "1,5", "+1", " 1", "1-"})
        EXPECT_FALSE(EstNombre(non)) << non;
    EXPECT_DOUBLE_EQ(ValeurNombre("12,5"), 12.5);
    EXPECT_DOUBLE_EQ(ValeurNombre("1.2.3"), 0);
    // The lenient reading: a leading number, rounded half to even, clamped to 16 bits.
    const std::pair<QString, int> entiers[] = {
        {"12 Ko", 12}, {"  7", 7},   {"abc", 0},  {"-3", -3},  {"2.5", 2},         {"3.5", 4},
        {"2.6", 3},    {"-2.5", -2}, {"1e3", 1000}, {"+4", 4}, {"99999", 32767}, {"-99999", -32768}};
    for (const auto& [texte, attendu] : entiers)
        EXPECT_EQ(EntierSouple(texte), attendu) << texte;
    EXPECT_DOUBLE_EQ(NombreSouple("-3.5x"), -3.5);
    EXPECT_DOUBLE_EQ(NombreSouple(QString(1'000'000, '9')), 0); // overflows: no number
}

TEST(Textes, PlurielEtArguments) {
    EXPECT_EQ(Pluriel(0, "# fichier", "# fichiers"), "0 fichier"); // the singular for 0 and 1
    EXPECT_EQ(Pluriel(1, "# fichier", "# fichiers"), "1 fichier");
    EXPECT_EQ(Pluriel(-1, "# fichier", "# fichiers"), "-1 fichiers");
    EXPECT_EQ(Pluriel(5, "#/#", "# et #"), "5 et 5");
    // Only the first argument is ever read (a quoted path with spaces: Demarrage's tests).
    EXPECT_EQ(ArgumentLigneCommande("un\"deux trois\" x", 1), "un\"deux trois\"");
}

TEST(ExtraitColonne, ChampsEtPositions) {
    // line, field number, field, number of fields, position (1-based, 0: no such field)
    const QString l = "a\tb\t\td";
    const std::tuple<QString, int, QString, int, int> cas[] = {
        {l, 1, "a", 1, 1},        {l, 2, "b", 2, 3},      {l, 3, "", 3, 5},        {l, 4, "d", 4, 6},
        {l, 5, "", 4, 0},         {l, 0, "", 4, 0},       {"", 1, "", 0, 0},       {"a\tb\t", 3, "", 2, 0},
        {"\t", 1, "", 1, 1},      {"\t", 2, "", 1, 0},
        {QString(200'000, '\t') + "fin", 200'001, "fin", 200'001, 200'001}, // in one pass
    };
    for (const auto& [ligne, numero, attendu, nbColonnes, position] : cas) {
        int nb = -1, pos = -1;
        EXPECT_EQ(ExtraitColonne(ligne, numero, "\t", nb, pos), attendu) << ligne.left(9);
        EXPECT_EQ(ColonneVue(ligne, numero, '\t').toString(), attendu);
        EXPECT_EQ(QPair(nb, pos), QPair(nbColonnes, position)) << ligne.left(9) << numero;
    }
    EXPECT_EQ(ExtraitColonne("1.10.3", 2, "."), "10");
}

// Plural, cut (never rounded) fraction, no trailing zeros nor grouping, the French separator.
TEST(FormateTaille, LimitesDesUnites) {
    const std::tuple<double, bool, QString> cas[] = {
        {0, false, "0 octet"},        {1, false, "1 octet"},          {2, false, "2 octets"},
        {1023, false, "1023 octets"}, {1024, false, "1 Ko"},          {1024 * 1.1, false, "1,1 Ko"},
        {1536, true, "1 Ko"},         {1048575, false, "1023,99 Ko"}, {1048576, false, "1 Mo"},
        {1073741823, false, "1023,99 Mo"}, {1073741824, false, "1 Go"},
        {1073741824.0 * 3000, true, "3000 Go"}};
    for (const auto& [taille, sansDecimales, attendu] : cas)
        EXPECT_EQ(FormateTaille(taille, sansDecimales), attendu) << taille;
}

TEST(DecodeTexte, Utf8SinonWindows1252) {
    const std::pair<QByteArray, QString> cas[] = {
        {"d\xC3\xA9j\xC3\xA0", "déjà"}, {"\xEF\xBB\xBFnom", "nom"}, // BOM dropped
        {"d\xE9j\xE0 \x80 \x9C \x81", "déjà € œ \u0081"},
        {"\xC3\xA9 \xE9", "Ã© é"}, // one invalid sequence makes the whole file Windows-1252
        {QByteArray("a\0b", 3), QStringLiteral("a") + QChar(0) + "b"}};
    for (const auto& [octets, attendu] : cas)
        EXPECT_EQ(DecodeTexte(octets), attendu) << octets.toHex().constData();
}
