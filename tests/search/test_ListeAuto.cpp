// The growable text list: growth, removal, search, the two quick sorts and the
// de-duplication, with and without a followed list.
#include "search/ListeAuto.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

ListeAuto Liste(const QStringList& elements) {
    ListeAuto l;
    for (const QString& e : elements)
        l.AjoutElement(e);
    return l;
}

QString Aleatoire(QRandomGenerator& alea, int longueurMax, const QString& alphabet) {
    QString s;
    const int n = int(alea.bounded(longueurMax + 1));
    for (int k = 0; k < n; ++k)
        s += alphabet[int(alea.bounded(int(alphabet.size())))];
    return s;
}

// The quick sort written as plainly as possible, recomputing keys at every
// comparison: the list's own sorts must give exactly the same order, equal keys
// included, on inputs that do not degenerate.
void TriReference(QStringList& t, int bas, int haut, bool croissant, bool majuscules,
                  QStringList* suivie) {
    if (haut <= bas)
        return;
    auto cle = [&](int k) { return majuscules ? t[k].toUpper() : t[k].toLower(); };
    const QString pivot = cle((bas + haut) / 2);
    int i = bas, j = haut;
    while (i <= j) {
        for (;;) {
            const QString k = cle(i);
            if (croissant ? k >= pivot : k <= pivot)
                break;
            ++i;
            if (i == haut)
                break;
        }
        for (;;) {
            const QString k = cle(j);
            if (croissant ? k <= pivot : k >= pivot)
                break;
            --j;
            if (j == bas)
                break;
        }
        if (i > j)
            break;
        if (cle(i) != cle(j) && i < j) {
            t.swapItemsAt(i, j);
            if (suivie)
                suivie->swapItemsAt(i, j);
        }
        ++i;
        --j;
    }
    if (bas < j)
        TriReference(t, bas, j, croissant, majuscules, suivie);
    if (i < haut)
        TriReference(t, i, haut, croissant, majuscules, suivie);
}

bool TrieSelon(const QStringList& l, bool croissant, bool majuscules) {
    for (int k = 1; k < l.size(); ++k) {
        const QString a = majuscules ? l[k - 1].toUpper() : l[k - 1].toLower();
        const QString b = majuscules ? l[k].toUpper() : l[k].toLower();
        if (croissant ? b < a : a < b)
            return false;
    }
    return true;
}

} // namespace

TEST(ListeAuto, NouvelleListeEtCroissance) {
    ListeAuto l;
    EXPECT_EQ(l.NbElementsListe(), 0);
    EXPECT_EQ(l.RenvoieElement(0), QString());
    EXPECT_EQ(l.ChercheElement(QString()), -1);
    EXPECT_EQ(l.NbEmplacements(), 51);
    for (int k = 0; k < 51; ++k)
        l.AjoutElement(QString::number(k));
    EXPECT_EQ(l.NbEmplacements(), 51);
    l.AjoutElement(QStringLiteral("51"));
    EXPECT_EQ(l.NbEmplacements(), 71);
    ASSERT_EQ(l.NbElementsListe(), 52);
    for (int k = 0; k < 52; ++k)
        EXPECT_EQ(l.RenvoieElement(k), QString::number(k));
    EXPECT_EQ(l.RenvoieElement(52), QString());
    EXPECT_EQ(l.RenvoieElement(-1), QString());
    // Removals never give slots back; clearing does.
    for (int k = 0; k < 30; ++k)
        l.SupprimeElement(0);
    EXPECT_EQ(l.NbEmplacements(), 71);
    l.EffaceTableau();
    EXPECT_EQ(l.NbElementsListe(), 0);
    EXPECT_EQ(l.NbEmplacements(), 51);
    EXPECT_EQ(l.RenvoieElement(0), QString());
}

TEST(ListeAuto, IndicesHorsListeNeChangentRien) {
    ListeAuto l = Liste({"a", "b", "c"});
    l.SupprimeElement(3);
    l.SupprimeElement(-1);
    l.ModifieElement(3, QStringLiteral("z"));
    l.ModifieElement(-1, QStringLiteral("z"), true, true);
    l.PermuteElements(0, 3);
    EXPECT_EQ(l.Elements(), QStringList({"a", "b", "c"}));
    l.ModifieElement(1, QStringLiteral("B"));
    l.PermuteElements(0, 2);
    l.SupprimeElement(1);
    EXPECT_EQ(l.Elements(), QStringList({"c", "a"}));
    ListeAuto un = Liste({"seul"});
    un.SupprimeElement(0);
    EXPECT_EQ(un.NbElementsListe(), 0);
    EXPECT_EQ(un.RenvoieElement(0), QString());
}

TEST(ListeAuto, RechercheExacteDuPremier) {
    ListeAuto l = Liste({"a", "b", "x", "c", "d", "x"});
    EXPECT_EQ(l.ChercheElement(QStringLiteral("x")), 2);
    EXPECT_EQ(l.ChercheElement(QStringLiteral("X")), -1);
    EXPECT_EQ(l.ChercheElement(QStringLiteral("x ")), -1);
    // Many searches on a long list go through an index: it must follow the
    // appends, removals and changes that come after it.
    ListeAuto grande;
    for (int k = 0; k < 1000; ++k)
        grande.AjoutElement(QStringLiteral("f%1").arg(k % 500));
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(grande.ChercheElement(QStringLiteral("f%1").arg(k)), k);
    grande.AjoutElement(QStringLiteral("nouveau"));
    EXPECT_EQ(grande.ChercheElement(QStringLiteral("nouveau")), 1000);
    EXPECT_EQ(grande.ChercheElement(QStringLiteral("f0")), 0);
    grande.SupprimeElement(0);
    EXPECT_EQ(grande.ChercheElement(QStringLiteral("f0")), 499);
    grande.ModifieElement(499, QStringLiteral("autre"));
    EXPECT_EQ(grande.ChercheElement(QStringLiteral("f0")), -1);
    EXPECT_EQ(grande.ChercheElement(QStringLiteral("autre")), 499);
}

// Random operations against a plain vector: removals that move around, appends,
// changes, swaps and searches must all see the same list.
TEST(ListeAuto, OperationsMeleesCommeUnVecteur) {
    QRandomGenerator alea(1234);
    ListeAuto l;
    QStringList modele;
    const QString alphabet = QStringLiteral("abc");
    for (int tour = 0; tour < 20000; ++tour) {
        SCOPED_TRACE(tour);
        const int n = int(modele.size());
        switch (alea.bounded(7)) {
        case 0:
        case 1: {
            const QString s = Aleatoire(alea, 3, alphabet);
            l.AjoutElement(s);
            modele.append(s);
            break;
        }
        case 2: {
            // Removal loops walk forward or backward: both are exercised.
            const int i = n == 0 ? 0 : int(alea.bounded(n + 1)) - (tour % 3 == 0 ? 1 : 0);
            l.SupprimeElement(i);
            if (i >= 0 && i < n)
                modele.removeAt(i);
            break;
        }
        case 3: {
            const int i = int(alea.bounded(n + 1));
            const QString s = Aleatoire(alea, 3, alphabet);
            l.ModifieElement(i, s);
            if (i < n)
                modele[i] = s;
            break;
        }
        case 4:
            if (n > 0) {
                const int i = int(alea.bounded(n)), j = int(alea.bounded(n));
                l.PermuteElements(i, j);
                modele.swapItemsAt(i, j);
            }
            break;
        case 5: {
            const QString s = Aleatoire(alea, 3, alphabet);
            ASSERT_EQ(l.ChercheElement(s), modele.indexOf(s));
            break;
        }
        case 6:
            if (n > 0) {
                const int i = int(alea.bounded(n));
                ASSERT_EQ(l.RenvoieElement(i), modele[i]);
            }
            break;
        }
        ASSERT_EQ(l.NbElementsListe(), modele.size());
    }
    EXPECT_EQ(l.Elements(), modele);
}

TEST(ListeAuto, TrisDansLesDeuxSens) {
    struct Cas {
        QStringList entree;
        bool croissant;
        bool plage; // TriRapide (lower-case keys) rather than a sorted append
        QStringList attendu;
    };
    const Cas cas[] = {
        {{"b", "A", "c"}, true, true, {"A", "b", "c"}},
        {{"b", "A", "c"}, false, true, {"c", "b", "A"}},
        {{"b", "A", "c"}, true, false, {"A", "b", "c"}},
        {{"b", "A", "c"}, false, false, {"c", "b", "A"}},
        // Characters between the two alphabets: before the letters with
        // lower-case keys, after them with upper-case keys.
        {{"b", "_x", "a", "[y"}, true, true, {"[y", "_x", "a", "b"}},
        {{"b", "_x", "a", "[y"}, true, false, {"a", "b", "[y", "_x"}},
        {{}, true, true, {}},
        {{"seul"}, false, true, {"seul"}},
        {{"2", "10", "1"}, true, true, {"1", "10", "2"}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.entree.join(QLatin1Char(',')).toStdString() + (c.croissant ? " asc" : " desc") +
                     (c.plage ? " TriRapide" : " TriRapideTableau"));
        ListeAuto l = Liste(c.entree);
        if (c.plage) {
            l.TriRapide(c.croissant);
        } else if (!c.entree.isEmpty()) {
            l.ModifieElement(0, c.entree[0], true, c.croissant);
        }
        EXPECT_EQ(l.Elements(), c.attendu);
    }
}

TEST(ListeAuto, TriSuiviGardeLesListesAlignees) {
    ListeAuto l = Liste({"c", "a", "b"});
    ListeAuto s = Liste({"3", "1", "2"});
    l.TriRapideSuivi(s, true);
    EXPECT_EQ(l.Elements(), QStringList({"a", "b", "c"}));
    EXPECT_EQ(s.Elements(), QStringList({"1", "2", "3"}));
    l.TriRapideSuivi(s, false);
    EXPECT_EQ(l.Elements(), QStringList({"c", "b", "a"}));
    EXPECT_EQ(s.Elements(), QStringList({"3", "2", "1"}));
    // A longer followed list keeps its extra entries where they are.
    ListeAuto l2 = Liste({"z", "y"});
    ListeAuto s2 = Liste({"1", "2", "reste"});
    l2.TriRapideSuivi(s2, true);
    EXPECT_EQ(s2.Elements(), QStringList({"2", "1", "reste"}));
}

TEST(ListeAuto, TriEtSupprimeDoublons) {
    struct Cas {
        QStringList entree;
        bool croissant;
        QStringList attendu;
    };
    const Cas cas[] = {
        {{"b", "a", "b", "a"}, true, {"a", "b"}},
        {{"b", "a", "b", "a"}, false, {"b", "a"}},
        {{"x", "x", "x"}, true, {"x"}},
        {{}, true, {}},
        {{"", ""}, true, {""}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.entree.join(QLatin1Char(',')).toStdString());
        ListeAuto l = Liste(c.entree);
        l.TriEtSupprimeDoublons(c.croissant);
        EXPECT_EQ(l.Elements(), c.attendu);
    }
    // Case variants are not separated by the sort and the duplicate test is
    // exact: neighbours that differ by case all stay.
    ListeAuto variantes = Liste({"b", "B", "b"});
    variantes.TriEtSupprimeDoublons(true);
    EXPECT_EQ(variantes.NbElementsListe(), 3);

    // With a followed list, the same indices go from both lists, so each kept
    // text keeps one of its own partners.
    ListeAuto l = Liste({"b", "a", "b", "a", "c"});
    ListeAuto s = Liste({"b1", "a1", "b2", "a2", "c1"});
    l.TriEtSupprimeDoublons(true, &s);
    ASSERT_EQ(l.Elements(), QStringList({"a", "b", "c"}));
    ASSERT_EQ(s.NbElementsListe(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(s.RenvoieElement(k).startsWith(l.RenvoieElement(k))) << k;
    // A shorter followed list only loses the indices it has.
    ListeAuto l3 = Liste({"a", "a", "a", "a"});
    ListeAuto s3 = Liste({"1", "2"});
    l3.TriEtSupprimeDoublons(true, &s3);
    EXPECT_EQ(l3.Elements(), QStringList({"a"}));
    EXPECT_EQ(s3.Elements(), QStringList({"1"}));
}

TEST(ListeAuto, AjoutTrieResteTrie) {
    QRandomGenerator alea(42);
    for (bool croissant : {true, false}) {
        SCOPED_TRACE(croissant);
        ListeAuto l;
        QStringList tous;
        for (int k = 0; k < 300; ++k) {
            const QString s = Aleatoire(alea, 4, QStringLiteral("aBc_"));
            l.AjoutElement(s, true, croissant);
            tous.append(s);
            if (k % 7 == 0) {
                const QStringList vus = l.Elements();
                ASSERT_TRUE(TrieSelon(vus, croissant, true)) << k;
                QStringList a = vus, b = tous;
                a.sort();
                b.sort();
                ASSERT_EQ(a, b);
            }
            if (k % 50 == 49) {
                // A sorted change moves the element to its place.
                const int i = int(alea.bounded(l.NbElementsListe()));
                const QString v = Aleatoire(alea, 4, QStringLiteral("aBc_"));
                tous.removeOne(l.RenvoieElement(i));
                tous.append(v);
                l.ModifieElement(i, v, true, croissant);
                ASSERT_TRUE(TrieSelon(l.Elements(), croissant, true));
            }
        }
        // An unsorted append, then a sorted one in the other direction.
        l.AjoutElement(QStringLiteral("zzz"));
        EXPECT_EQ(l.RenvoieElement(l.NbElementsListe() - 1), QStringLiteral("zzz"));
        l.AjoutElement(QStringLiteral("mmm"), true, !croissant);
        EXPECT_TRUE(TrieSelon(l.Elements(), !croissant, true));
    }
}

// The sorts give exactly the order of the plain algorithm, equal keys included.
TEST(ListeAuto, MemeOrdreQueLAlgorithmeDeReference) {
    QRandomGenerator alea(7);
    for (int essai = 0; essai < 400; ++essai) {
        SCOPED_TRACE(essai);
        const int n = int(alea.bounded(60));
        QStringList entree, suivie;
        for (int k = 0; k < n; ++k) {
            entree.append(Aleatoire(alea, 3, QStringLiteral("aAbB[_")));
            suivie.append(QString::number(k));
        }
        const bool croissant = alea.bounded(2) == 0;

        QStringList attendu = entree, attenduSuivie = suivie;
        TriReference(attendu, 0, n - 1, croissant, false, &attenduSuivie);
        ListeAuto l = Liste(entree), s = Liste(suivie);
        l.TriRapideSuivi(s, croissant);
        ASSERT_EQ(l.Elements(), attendu);
        ASSERT_EQ(s.Elements(), attenduSuivie);

        QStringList attenduMaj = entree;
        TriReference(attenduMaj, 0, n - 1, croissant, true, nullptr);
        QStringList tableau = entree;
        TriRapideTableau(tableau, 0, n - 1, croissant);
        ASSERT_EQ(tableau, attenduMaj);
        ListeAuto l2 = Liste(entree);
        l2.TriEtSupprimeDoublons(croissant);
        attenduMaj.erase(std::unique(attenduMaj.begin(), attenduMaj.end()), attenduMaj.end());
        ASSERT_EQ(l2.Elements(), attenduMaj);
    }
    // A range of an array: the rest is left alone; bounds beyond it are clamped.
    QStringList t = {"d", "c", "b", "a"};
    TriRapideTableau(t, 1, 2, true);
    EXPECT_EQ(t, QStringList({"d", "b", "c", "a"}));
    TriRapideTableau(t, -5, 99, true);
    EXPECT_EQ(t, QStringList({"a", "b", "c", "d"}));
}

// Long lists in orders that defeat a middle pivot still come out sorted, with
// their followed entries.
TEST(ListeAuto, LonguesListesEnToutOrdre) {
    const int n = 100000;
    std::vector<std::function<QString(int)>> ordres = {
        [](int k) { return QStringLiteral("%1").arg(k, 6, 10, QLatin1Char('0')); },
        [](int k) { return QStringLiteral("%1").arg(n - k, 6, 10, QLatin1Char('0')); },
        [](int k) { return QStringLiteral("%1").arg(k < n / 2 ? k : n - k, 6, 10, QLatin1Char('0')); },
        [](int k) { return QStringLiteral("x%1").arg(k % 3); },
        [](int k) {
            return QStringLiteral("%1").arg((quint32(k) * 2654435761u) % 1000003u, 7, 10, QLatin1Char('0'));
        },
    };
    for (size_t o = 0; o < ordres.size(); ++o) {
        SCOPED_TRACE(o);
        ListeAuto l, s;
        for (int k = 0; k < n; ++k) {
            l.AjoutElement(ordres[o](k));
            s.AjoutElement(QString::number(k));
        }
        l.TriRapideSuivi(s, true);
        const QStringList trie = l.Elements();
        ASSERT_TRUE(TrieSelon(trie, true, false));
        for (int k = 0; k < n; k += 97)
            ASSERT_EQ(trie[k], ordres[o](s.RenvoieElement(k).toInt()));
        l.TriEtSupprimeDoublons(false);
        ASSERT_TRUE(TrieSelon(l.Elements(), false, true));
    }
}
