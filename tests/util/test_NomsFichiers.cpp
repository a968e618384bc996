// The names from a list, a page or an archive that may become files: one
// table, each name judged by the rules of this system and by those of Windows
// (run here too), and the three callers that rely on them.
#include <gtest/gtest.h>

#include "html/Fonctions_Chemin.h"
#include "util/NomsFichiers.h"
#include "zip/Archives_Ecriture.h"

TEST(NomsFichiers, UneTablePourTousLesSystemes) {
    const struct {
        const char16_t* nom;
        bool ailleurs, windows;
    } cas[] = {
        {u"notes.pdf", true, true},
        {u"rep/sous/f.txt", true, true},
        {u"rep/", true, true},             // a folder entry of an archive
        {u"..x", true, true},
        {u"a/b..c", true, true},
        {u"a/./b", true, true},
        {u"aux.c", true, false},           // real archives hold it
        {u"src/CON", true, false},
        {u"nul.tar.gz", true, false},
        {u"COM1 .log", true, false},
        {u"lpt9", true, false},
        {u"COM\u00B9", true, false},
        {u"COM0", true, true},
        {u"console", true, true},
        {u"LPT10", true, true},
        {u"a:b", true, false},             // a stream of file a on Windows
        {u"quoi?", true, false},
        {u"x<y>z|\"*", true, false},
        {u"fin.", true, false},
        {u"fin ", true, false},
        {u"..", false, false},
        {u"a/../b", false, false},
        {u"a\\..\\b", false, false},
        {u".. ", false, false},
        {u"...", false, false},
        {u"a/. ./b", false, false},
        {u"a/ ..", false, false},          // Windows drops the dots, then the space
        {u"tab\tname", false, false},
        {u"ligne\nnom", false, false},
        {u"del\u007F", false, false},
    };
    for (const auto& c : cas) {
        const QString nom = QString::fromUtf16(c.nom);
        EXPECT_EQ(ElementsAcceptables(nom, false), c.ailleurs) << nom.toStdString();
        EXPECT_EQ(ElementsAcceptables(nom, true), c.windows) << nom.toStdString();
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
