// Decoding of character references in link texts.
#include "search/DecodeEntites.h"

#include <gtest/gtest.h>

namespace {

struct Cas {
    const char16_t* entree;
    QString attendu;
};

} // namespace

TEST(DecodeEntites, References) {
    const Cas cas[] = {
        {u"", QString()},
        {u"sans référence", QStringLiteral("sans référence")},
        {u"caf&#233; et th&#233;", QStringLiteral("café et thé")},
        {u"&#xe9;t&#xe9;", QStringLiteral("été")},
        // Windows-1252 for 128..159.
        {u"prix&#128;&#146;", QStringLiteral("prix€’")},
        {u"&#65;&#66;&#67;", QStringLiteral("ABC")},
        // A number with a leading space or a fraction is read leniently.
        {u"&# 65;&#65.5;", QStringLiteral("AB")},
        // Beyond the code page: the Unicode character; invalid: U+FFFD.
        {u"&#8364;&#-1;&#1114112;", QStringLiteral("€\uFFFD\uFFFD")},
        // Fewer than five characters from the first "&#" to the end: stop, even
        // for references that would come later.
        {u"&#65;x&#5;", QStringLiteral("Ax&#5;")},
        {u"abc&#9;", QStringLiteral("abc&#9;")},
        // No ";" after the first "&#": numeric decoding stops, named goes on.
        {u"&eacute; &#233 fin", QStringLiteral("é &#233 fin")},
        // The reference runs to the first ";" after it, whatever lies between.
        {u"&#233 &eacute;!", QStringLiteral("é!")},
        // Each reference is replaced everywhere before looking again from the
        // start, output included.
        {u"&#38;#233;", QStringLiteral("é")},
        {u"&#38;#49&#38;", QStringLiteral("&#49&")},
        // Named references, in table order.
        {u"&amp;eacute;", QStringLiteral("é")},
        {u"&amp;nbsp;", QStringLiteral("&nbsp;")},
        {u"&amp;lt;b&amp;gt;", QStringLiteral("<b>")},
        {u"a&nbsp;b&shy;c", QStringLiteral("a bc")},
        {u"&Eacute;t&eacute; &agrave; &Icirc;le &laquo;&raquo; &copy; &yuml; &szlig;",
         QStringLiteral("Été à Île «» © ÿ ß")},
        // Case matters, and some references have no row.
        {u"&EACUTE; &quot; &apos; &otilde; &euro;",
         QStringLiteral("&EACUTE; &quot; &apos; &otilde; &euro;")},
        {u"&#;&#abc;", QString(QChar(0)) + QChar(0)},
    };
    for (const Cas& c : cas) {
        QString texte = QString::fromUtf16(c.entree);
        SCOPED_TRACE(texte.toStdString());
        DecodeEntites(texte);
        EXPECT_EQ(texte, c.attendu);
    }
}

TEST(DecodeEntites, ReferenceHexadecimaleDonneLeCodeZero) {
    QString texte = QStringLiteral("a&#x41;b");
    DecodeEntites(texte);
    EXPECT_EQ(texte, QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
}

// Every named reference of the table stands for the Latin-1 character that
// follows it in code order, except the two the table skips.
TEST(DecodeEntites, TableDesNomsComplete) {
    const char* noms[] = {
        "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf",
        "laquo", "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute",
        "micro", "para", "middot", "cedil", "sup1", "ordm", "raquo", "frac14", "frac12",
        "frac34", "iquest", "Agrave", "Aacute", "Acirc", "Atilde", "Auml", "Aring", "AElig",
        "Ccedil", "Egrave", "Eacute", "Ecirc", "Euml", "Igrave", "Iacute", "Icirc", "Iuml",
        "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde", "Ouml", "times", "Oslash",
        "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN", "szlig", "agrave", "aacute",
        "acirc", "atilde", "auml", "aring", "aelig", "ccedil", "egrave", "eacute", "ecirc",
        "euml", "igrave", "iacute", "icirc", "iuml", "eth", "ntilde", "ograve", "oacute",
        "ocirc", "otilde", "ouml", "divide", "oslash", "ugrave", "uacute", "ucirc", "uuml",
        "yacute", "thorn", "yuml"};
    char16_t code = 0xA1;
    for (const char* nom : noms) {
        QString texte = QStringLiteral("&%1;").arg(QLatin1String(nom));
        SCOPED_TRACE(texte.toStdString());
        DecodeEntites(texte);
        const QString nomTexte = QLatin1String(nom);
        if (nomTexte == QLatin1String("uml") || nomTexte == QLatin1String("otilde"))
            EXPECT_EQ(texte, QStringLiteral("&%1;").arg(nomTexte));
        else if (nomTexte == QLatin1String("shy"))
            EXPECT_EQ(texte, QString());
        else
            EXPECT_EQ(texte, QString(QChar(code)));
        ++code;
    }
    EXPECT_EQ(code, 0x100);
}
