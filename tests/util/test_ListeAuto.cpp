// The growable text list: indices outside it change nothing. (Its sorts have
// no caller in the program and are not tested; its ordinary use is, through
// the link extraction.)
#include "util/ListeAuto.h"

#include <gtest/gtest.h>

TEST(ListeAuto, IndicesHorsDeLaListe) {
    ListeAuto l;
    for (const char* e : {"c", "a", "b", "a"})
        l.AjoutElement(e);
    for (int i : {-1, 4}) {
        l.SupprimeElement(i);
        EXPECT_EQ(l.RenvoieElement(i), QString());
    }
    EXPECT_EQ(l.Elements(), QStringList({"c", "a", "b", "a"}));
}
