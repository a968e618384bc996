// Decoding of character references in link texts.
#include "search/DecodeEntites.h"

#include <gtest/gtest.h>

#include <QStringList>

TEST(DecodeEntites, References) {
    const QString nul(QChar(0));
    const struct {
        const char16_t* entree;
        QString attendu;
    } cas[] = {
        {u"caf&#233; et th&#233;", QStringLiteral("café et thé")},
        {u"&#xe9;t&#xe9;", QStringLiteral("été")},
        // Windows-1252 for 0..255, Unicode beyond, U+FFFD when invalid.
        {u"prix&#128;&#146;&#8364;&#-1;&#1114112;", QStringLiteral("prix€’€\uFFFD\uFFFD")},
        // The number is read leniently: a leading space, a fraction (halves to
        // even), nothing or a hexadecimal form (code 0).
        {u"&# 65;&#65.5;&#66.5;", QStringLiteral("ABB")},
        {u"&#;a&#x41;b", nul + QStringLiteral("a") + nul + QStringLiteral("b")},
        // Numeric decoding stops at a first "&#" with fewer than five characters
        // to the end or without a ";" after it.
        {u"&#65;x&#5;", QStringLiteral("Ax&#5;")},
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
        // Case matters, and some references have no row.
        {u"&EACUTE; &quot; &apos; &euro;", QStringLiteral("&EACUTE; &quot; &apos; &euro;")},
    };
    for (const auto& c : cas) {
        QString texte = QString::fromUtf16(c.entree);
        SCOPED_TRACE(texte.toStdString());
        DecodeEntites(texte);
        EXPECT_EQ(texte, c.attendu);
    }
}

// Every other named reference stands for the Latin-1 character of its place in
// code order from U+00A1 ("uml" and "otilde" have no row, "shy" is removed).
TEST(DecodeEntites, TableDesNomsComplete) {
    const QStringList noms = QStringLiteral(
        "iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn "
        "sup2 sup3 acute micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave "
        "Aacute Acirc Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc "
        "Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times Oslash Ugrave Uacute Ucirc Uuml "
        "Yacute THORN szlig agrave aacute acirc atilde auml aring aelig ccedil egrave eacute ecirc "
        "euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide oslash "
        "ugrave uacute ucirc uuml yacute thorn yuml").split(' ');
    ASSERT_EQ(noms.size(), 0x100 - 0xA1);
    for (int k = 0; k < noms.size(); ++k) {
        const QString source = QLatin1Char('&') + noms[k] + QLatin1Char(';');
        QString texte = source;
        DecodeEntites(texte);
        const bool sansLigne = noms[k] == QLatin1String("uml") || noms[k] == QLatin1String("otilde");
        EXPECT_EQ(texte, sansLigne ? source : noms[k] == QLatin1String("shy") ? QString() : QString(QChar(0xA1 + k)))
            << source.toStdString();
    }
}
