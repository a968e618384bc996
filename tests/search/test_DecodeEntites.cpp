// Decoding of character references in link texts.
#include "search/DecodeEntites.h"

#include <gtest/gtest.h>

#include <QString>

TEST(DecodeEntites, References) {
    const struct {
        const char16_t* entree;
        QString attendu;
    } cas[] = {
        {u"caf&#233; et th&#233;", QStringLiteral("café et thé")},
        {u"&#xe9;t&#xe9;", QStringLiteral("été")},
        // Windows-1252 for 0..255, Unicode beyond, U+FFFD when invalid.
        {u"prix&#128;&#146;&#8364;&#-1;&#1114112;", QStringLiteral("prix€’€\uFFFD\uFFFD")},
        // The number is read leniently: a leading space, a fraction (halves to
        // even).
        {u"&# 65;&#65.5;&#66.5;", QStringLiteral("ABB")},
        // Numeric decoding stops at a first "&#" with fewer than five characters
        // to the end or without a ";" after it; five are enough.
        {u"&#65;x&#5;", QStringLiteral("Ax&#5;")},
        {u"x&#66;", QStringLiteral("xB")},
        {u"&eacute; &#233 fin", QStringLiteral("é &#233 fin")},
        // The reference runs to the first ";" after it, whatever lies between.
        {u"&#233 &eacute;!", QStringLiteral("é!")},
        // Each reference is replaced everywhere before looking again from the
        // start, output included.
        {u"&#38;#233; &#38;#49&#38;", QStringLiteral("é &#49&")},
        // Named references, in table order: "&nbsp;" before "&amp;", "&amp;"
        // before "&lt;".
        {u"&amp;nbsp; &amp;eacute; &amp;lt;b&amp;gt;", QStringLiteral("&nbsp; é <b>")},
        {u"a&nbsp;b&shy;c", QStringLiteral("a bc")},
        // The rest of the table: Latin-1 in code order from U+00A1 to U+00FF.
        {u"&iexcl;&para;&Agrave;&times;&eacute;&divide;&yuml;", QStringLiteral("¡¶À×é÷ÿ")},
        // Case matters, and some references have no row.
        {u"&EACUTE; &quot; &apos; &euro; &uml; &otilde;", QStringLiteral("&EACUTE; &quot; &apos; &euro; &uml; &otilde;")},
    };
    for (const auto& c : cas) {
        QString texte = QString::fromUtf16(c.entree);
        SCOPED_TRACE(texte.toStdString());
        DecodeEntites(texte);
        EXPECT_EQ(texte, c.attendu);
    }
}
