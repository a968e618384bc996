// Decoding of character references in link texts.
#include "search/DecodeEntites.h"

#include <gtest/gtest.h>

#include <QString>

TEST(DecodeEntites, References) {
    const std::pair<QString, QString> cas[] = {
        {"caf&#233; et th&#233;", "café et thé"}, {"&#xe9;t&#xe9;", "été"},
        // Windows-1252 for 0..255, Unicode beyond, U+FFFD when invalid.
        {"prix&#128;&#146;&#8364;&#-1;&#1114112;", "prix€’€\uFFFD\uFFFD"},
        // The number is read leniently: a leading space, a fraction (halves to even).
        {"&# 65;&#65.5;&#66.5;", "ABB"},
        // Numeric decoding stops at a first "&#" with fewer than five characters
        // to the end or without a ";" after it; five are enough.
        {"&#65;x&#5;", "Ax&#5;"}, {"x&#66;", "xB"}, {"&eacute; &#233 fin", "é &#233 fin"},
        // The reference runs to the first ";" after it, whatever lies between.
        {"&#233 &eacute;!", "é!"},
        // Each reference is replaced everywhere before looking again from the
        // start, output included.
        {"&#38;#233; &#38;#49&#38;", "é &#49&"},
        // Named references, in table order: "&nbsp;" before "&amp;", "&amp;" before "&lt;".
        {"&amp;nbsp; &amp;eacute; &amp;lt;b&amp;gt;", "&nbsp; é <b>"}, {"a&nbsp;b&shy;c", "a bc"},
        // The rest of the table: Latin-1 in code order from U+00A1 to U+00FF.
        {"&iexcl;&para;&Agrave;&times;&eacute;&divide;&yuml;", "¡¶À×é÷ÿ"},
        // Case matters, and some references have no row.
        {"&EACUTE; &quot; &apos; &euro; &uml; &otilde;", "&EACUTE; &quot; &apos; &euro; &uml; &otilde;"},
    };
    for (auto [texte, attendu] : cas) {
        SCOPED_TRACE(texte.toStdString());
        DecodeEntites(texte);
        EXPECT_EQ(texte, attendu);
    }
}
