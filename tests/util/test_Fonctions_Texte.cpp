#include <gtest/gtest.h>

#include "util/Fonctions_Texte.h"

namespace {

TEST(DecodeTexte, Utf8SinonWindows1252) {
    EXPECT_EQ(DecodeTexte("d\xC3\xA9j\xC3\xA0"), QString::fromUtf8("déjà"));
    EXPECT_EQ(DecodeTexte("\xEF\xBB\xBFnom"), "nom"); // BOM dropped
    EXPECT_EQ(DecodeTexte("d\xE9j\xE0 \x80 \x9C"), QString::fromUtf8("déjà € œ"));
    // One invalid sequence anywhere makes the whole file Windows-1252.
    EXPECT_EQ(DecodeTexte("\xC3\xA9 \xE9"), QString::fromUtf8("Ã© é"));
    EXPECT_EQ(DecodeTexte(QByteArray("a\0b", 3)), QString(QStringLiteral("a") + QChar(0) + "b"));
    EXPECT_EQ(CaractereWindows1252(0x81), QChar(0x81));
    EXPECT_EQ(CaractereWindows1252(0x99), QChar(0x2122));
}

TEST(DecoupeLignes, CrLfEtCrSeulsTerminent) {
    struct Cas {
        QString texte;
        QStringList attendu;
    };
    const Cas cas[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\nb\r\nc", {"a\nb", "c"}},  // a lone LF stays inside the line
        {"\r\n\r\n", {"", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\n", {"a\n"}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.texte.toStdString());
        EXPECT_EQ(DecoupeLignes(c.texte), c.attendu);
    }
}

} // namespace
