// Names from a list, page or archive judged by this system's and Windows's rules, and their callers.
#include <gtest/gtest.h>

#include "html/Fonctions_Chemin.h"
#include "util/NomsFichiers.h"
#include "zip/Archives_Ecriture.h"

TEST(NomsFichiers, UneTablePourTousLesSystemes) {
    const struct {
        bool ailleurs, windows;
        std::vector<const char16_t*> noms;
    } groupes[] = {
        // "rep/": a folder entry of an archive.
        {true, true, {u"notes.pdf", u"rep/sous/f.txt", u"rep/", u"..x", u"a/b..c", u"a/./b", u"COM0", u"console",
                      u"LPT10"}},
        // Devices ("aux.c"), a stream ("a:b"), reserved characters, a final dot or space.
        {true, false, {u"aux.c", u"src/CON", u"nul.tar.gz", u"COM1 .log", u"lpt9", u"COM\u00B9", u"a:b", u"quoi?",
                       u"x<y>z|\"*", u"fin.", u"fin "}},
        // A parent however written (Windows drops the dots, then the space), control characters.
        {false, false, {u"..", u"a/../b", u"a\\..\\b", u".. ", u"...", u"a/. ./b", u"a/ ..", u"tab\tname",
                        u"ligne\nnom", u"del\u007F"}},
    };
    for (const auto& g : groupes)
        for (const char16_t* n : g.noms) {
            const QString nom = QString::fromUtf16(n);
            EXPECT_EQ(ElementsAcceptables(nom, false), g.ailleurs) << nom.toStdString();
            EXPECT_EQ(ElementsAcceptables(nom, true), g.windows) << nom.toStdString();
        }
    EXPECT_FALSE(ElementsAcceptables(QStringLiteral("nul") + QChar(0), false));
    // The list's and page's names, and the archive's entries, follow this system's rules.
    for (const QString& nom : {QStringLiteral(".. "), QStringLiteral("a/.../b"), QStringLiteral("x\x01")}) {
        EXPECT_FALSE(NomDansDossier(nom)) << nom.toStdString();
        EXPECT_TRUE(NomHorsDestination(nom)) << nom.toStdString();
    }
    EXPECT_EQ(NomDansDossier(QStringLiteral("aux.c")), !ReglesWindows);
    EXPECT_EQ(NomHorsDestination(QStringLiteral("src/aux.c")), ReglesWindows);
}
