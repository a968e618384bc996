// The growable text list: out-of-range indices and the two sort keys.
#include "util/ListeAuto.h"

#include <gtest/gtest.h>

namespace {

ListeAuto Liste(const QStringList& elements) {
    ListeAuto l;
    for (const QString& e : elements)
        l.AjoutElement(e);
    return l;
}

} // namespace

// Indices outside the list change nothing, not even through the sort asked with them.
TEST(ListeAuto, IndicesHorsDeLaListe) {
    ListeAuto l = Liste({"c", "a", "b", "a"});
    for (int i : {-1, 4}) {
        l.SupprimeElement(i);
        l.ModifieElement(i, "z", true, true);
        l.PermuteElements(i, 0);
        EXPECT_EQ(l.RenvoieElement(i), QString());
    }
    EXPECT_EQ(l.Elements(), QStringList({"c", "a", "b", "a"}));
}

// Case variants, and the characters between the alphabets: before letters (lower-case keys) or after.
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
        c.tableau ? l.ModifieElement(0, c.entree[0], true, c.croissant) : l.TriRapide(c.croissant);
        EXPECT_EQ(l.Elements(), c.attendu);
    }
}
