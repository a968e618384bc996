// The growable text list: growth, out-of-range indices, the two sort keys, the
// followed list, de-duplication, and long inputs in orders that defeat the naive
// algorithms (a middle pivot, shifting the tail on each removal, a sort per append).
#include "search/ListeAuto.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>
#include <functional>

namespace {

ListeAuto Liste(const QStringList& elements) {
    ListeAuto l;
    for (const QString& e : elements)
        l.AjoutElement(e);
    return l;
}

QString Aleatoire(QRandomGenerator& alea, int longueurMax, const QString& alphabet) {
    QString s;
    for (int k = int(alea.bounded(longueurMax + 1)); k > 0; --k)
        s += alphabet[int(alea.bounded(int(alphabet.size())))];
    return s;
}

// Order on upper-case keys (TriRapideTableau, so the sorted appends) or lower-case ones (TriRapide).
auto Ordre(bool croissant, bool majuscules) {
    return [=](const QString& a, const QString& b) {
        const QString x = majuscules ? a.toUpper() : a.toLower(), y = majuscules ? b.toUpper() : b.toLower();
        return croissant ? x < y : y < x;
    };
}

} // namespace

TEST(ListeAuto, CroissanceEtEffacement) {
    ListeAuto l;
    for (int k = 0; k < 52; ++k) {
        EXPECT_EQ(l.NbEmplacements(), 51);
        l.AjoutElement(QString::number(k));
    }
    EXPECT_EQ(l.NbEmplacements(), 71);
    for (int k = 0; k < 52; ++k)
        l.SupprimeElement(0);
    EXPECT_EQ(l.NbEmplacements(), 71); // removals never give slots back; clearing does
    l.EffaceTableau();
    EXPECT_EQ(l.NbEmplacements(), 51);
}

// Random operations against a plain list, with indices sometimes outside it
// (nothing changes, not even through the sort asked with them). Texts without
// capitals have distinct keys, so every sort has one right answer; bursts of
// searches make the list build its index, which later appends must keep right.
TEST(ListeAuto, OperationsMeleesCommeUneListeSimple) {
    QRandomGenerator alea(1234);
    ListeAuto l;
    QStringList modele;
    for (int tour = 0; tour < 20000; ++tour) {
        SCOPED_TRACE(tour);
        const int n = int(modele.size());
        const int i = int(alea.bounded(n + 2)) - 1, j = int(alea.bounded(n + 2)) - 1; // -1 .. n
        const bool dedans = i >= 0 && i < n, croissant = alea.bounded(2) == 0, trie = alea.bounded(3) == 0;
        const QString s = Aleatoire(alea, 3, QStringLiteral("ab_"));
        int tri = 0; // model sort to do: 1 upper-case keys, 2 lower-case, 3 upper-case and unique
        switch (n > 300 ? 3 : alea.bounded(8)) { // past 300 elements, removals only
        case 0: case 1: case 2:
            l.AjoutElement(s, trie, croissant);
            modele.append(s);
            tri = trie;
            break;
        case 3:
            l.SupprimeElement(i);
            if (dedans)
                modele.removeAt(i);
            break;
        case 4:
            l.ModifieElement(i, s, trie, croissant);
            if (dedans)
                modele[i] = s;
            tri = dedans && trie;
            break;
        case 5:
            l.PermuteElements(i, j);
            if (dedans && j >= 0 && j < n)
                modele.swapItemsAt(i, j);
            break;
        case 6:
            for (int k = 0; k < 10; ++k) {
                const QString cherche = Aleatoire(alea, 3, QStringLiteral("ab_"));
                ASSERT_EQ(l.ChercheElement(cherche), modele.indexOf(cherche)) << cherche.toStdString();
            }
            break;
        case 7: // removing duplicates is rare, since it shrinks the list to a few texts
            tri = alea.bounded(16) == 0 ? 3 : 2;
            if (tri == 3)
                l.TriEtSupprimeDoublons(croissant);
            else
                l.TriRapide(croissant);
            break;
        }
        if (tri)
            std::stable_sort(modele.begin(), modele.end(), Ordre(croissant, tri != 2));
        if (tri == 3)
            modele.erase(std::unique(modele.begin(), modele.end()), modele.end());
        ASSERT_EQ(l.RenvoieElement(i), i >= 0 && i < modele.size() ? modele[i] : QString());
    }
    EXPECT_EQ(l.Elements(), modele);
}

// The random test above covers the rest: here case variants and the characters
// between the two alphabets, which go before the letters with lower-case keys
// and after them with upper-case keys.
TEST(ListeAuto, ClesDesDeuxTris) {
    const struct {
        QStringList entree;
        bool tableau, croissant; // TriRapideTableau (through a sorted change) or TriRapide
        QStringList attendu;
    } cas[] = {
        {{"b", "A", "c"}, false, false, {"c", "b", "A"}},
        {{"B", "a", "c"}, true, true, {"a", "B", "c"}},
        {{"b", "_x", "a", "[y"}, false, true, {"[y", "_x", "a", "b"}},
        {{"b", "_x", "a", "[y"}, true, true, {"a", "b", "[y", "_x"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.entree.join(',').toStdString() + (c.tableau ? " tableau" : ""));
        ListeAuto l = Liste(c.entree);
        if (c.tableau)
            l.ModifieElement(0, c.entree[0], true, c.croissant);
        else
            l.TriRapide(c.croissant);
        EXPECT_EQ(l.Elements(), c.attendu);
    }
    // The duplicate test is exact and the sort does not separate case variants:
    // neighbours differing by case all stay.
    ListeAuto variantes = Liste({"b", "B", "b"});
    variantes.TriEtSupprimeDoublons(true);
    EXPECT_EQ(variantes.NbElementsListe(), 3);
    // A range of an array: the rest is left alone; bounds beyond it are clamped.
    QStringList t = {"d", "c", "b", "a"};
    TriRapideTableau(t, -5, 2, true);
    EXPECT_EQ(t, QStringList({"b", "c", "d", "a"}));
    TriRapideTableau(t, 2, 99, true);
    EXPECT_EQ(t, QStringList({"b", "c", "a", "d"}));
}

// A longer followed list keeps its extra entries where they are; a shorter one
// only loses the indices it has.
TEST(ListeAuto, ListeSuivieDeLongueurDifferente) {
    ListeAuto l = Liste({"z", "y"}), s = Liste({"1", "2", "reste"});
    l.TriRapideSuivi(s, true);
    EXPECT_EQ(s.Elements(), QStringList({"2", "1", "reste"}));
    ListeAuto l2 = Liste({"a", "a", "a", "a"}), s2 = Liste({"1", "2"});
    l2.TriEtSupprimeDoublons(true, &s2);
    EXPECT_EQ(l2.Elements(), QStringList({"a"}));
    EXPECT_EQ(s2.Elements(), QStringList({"1"}));
}

// Long lists in orders that defeat a middle pivot (descending, ascending then
// descending, few distinct keys) or mix case variants: sorted, and every
// followed entry still beside its own text, with and without de-duplication.
TEST(ListeAuto, LonguesListesTrieesAvecLeurSuivie) {
    const int n = 50000;
    QRandomGenerator alea(7);
    const std::function<QString(int)> ordres[] = {
        [](int k) { return QStringLiteral("%1").arg(n - k, 6, 10, QLatin1Char('0')); },
        [](int k) { return QStringLiteral("%1").arg(k < n / 2 ? k : n - k, 6, 10, QLatin1Char('0')); },
        [](int k) { return QStringLiteral("x%1").arg(k % 3); },
        [&](int) { return Aleatoire(alea, 4, QStringLiteral("aAbB[_")); }};
    for (int essai = 0; essai < 8; ++essai) {
        SCOPED_TRACE(essai);
        const bool doublons = essai % 2;
        QStringList entree;
        ListeAuto l, s;
        for (int k = 0; k < n; ++k) {
            entree.append(ordres[essai / 2](k));
            l.AjoutElement(entree.back());
            s.AjoutElement(QString::number(k));
        }
        if (doublons)
            l.TriEtSupprimeDoublons(false, &s);
        else
            l.TriRapideSuivi(s, true);
        const QStringList trie = l.Elements();
        ASSERT_TRUE(std::is_sorted(trie.begin(), trie.end(), Ordre(!doublons, false)));
        ASSERT_EQ(s.NbElementsListe(), trie.size());
        for (int k = 0; k < trie.size(); ++k) {
            ASSERT_EQ(trie[k], entree[s.RenvoieElement(k).toInt()]) << k;
            ASSERT_TRUE(!doublons || k == 0 || trie[k] != trie[k - 1]) << k;
        }
    }
}

// Sorted appends, repeated searches and a removal loop from the front stay
// usable on a long list.
TEST(ListeAuto, LonguesSeriesDOperations) {
    const int n = 100000;
    ListeAuto l;
    for (int k = 0; k < n; ++k) // distinct texts: 7919 is prime to 100003
        l.AjoutElement(QStringLiteral("%1").arg(k * 7919 % 100003, 6, 10, QLatin1Char('0')), true, true);
    const QStringList trie = l.Elements();
    ASSERT_TRUE(std::is_sorted(trie.begin(), trie.end(), Ordre(true, true)));
    for (int k = 0; k < n; k += 2)
        ASSERT_EQ(l.ChercheElement(trie[k]), k);
    for (int k = 0; k < n / 2; ++k)
        l.SupprimeElement(k); // every other element
    ASSERT_EQ(l.NbElementsListe(), n / 2);
    for (int k = 0; k < n / 2; k += 997)
        ASSERT_EQ(l.RenvoieElement(k), trie[2 * k + 1]);
}
