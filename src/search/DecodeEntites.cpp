// Decoding of HTML character references in link texts.
#include "search/DecodeEntites.h"

#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Texte.h"

#include <cmath>

namespace {

// Named references in the order they are replaced. The order is part of the
// behaviour: "&nbsp;" comes before "&amp;", so "&amp;nbsp;" ends as "&nbsp;",
// while "&amp;" comes before "&lt;", so "&amp;lt;" ends as "<".
struct Entite {
    const char* nom;
    char16_t caractere; // 0: the reference is removed
};

constexpr Entite kEntites[] = {
    {"&nbsp;", u' '},     {"&iexcl;", u'¡'},   {"&cent;", u'¢'},    {"&pound;", u'£'},
    {"&curren;", u'¤'},   {"&yen;", u'¥'},     {"&brvbar;", u'¦'},  {"&sect;", u'§'},
    {"&copy;", u'©'},     {"&ordf;", u'ª'},    {"&laquo;", u'«'},   {"&not;", u'¬'},
    {"&shy;", 0},         {"&reg;", u'®'},     {"&macr;", u'¯'},    {"&deg;", u'°'},
    {"&plusmn;", u'±'},   {"&sup2;", u'²'},    {"&sup3;", u'³'},    {"&acute;", u'´'},
    {"&amp;", u'&'},      {"&lt;", u'<'},      {"&gt;", u'>'},      {"&micro;", u'µ'},
    {"&para;", u'¶'},     {"&middot;", u'·'},  {"&cedil;", u'¸'},   {"&sup1;", u'¹'},
    {"&ordm;", u'º'},     {"&raquo;", u'»'},   {"&frac14;", u'¼'},  {"&frac12;", u'½'},
    {"&frac34;", u'¾'},   {"&iquest;", u'¿'},  {"&Agrave;", u'À'},  {"&Aacute;", u'Á'},
    {"&Acirc;", u'Â'},    {"&Atilde;", u'Ã'},  {"&Auml;", u'Ä'},    {"&Aring;", u'Å'},
    {"&AElig;", u'Æ'},    {"&Ccedil;", u'Ç'},  {"&Egrave;", u'È'},  {"&Eacute;", u'É'},
    {"&Ecirc;", u'Ê'},    {"&Euml;", u'Ë'},    {"&Igrave;", u'Ì'},  {"&Iacute;", u'Í'},
    {"&Icirc;", u'Î'},    {"&Iuml;", u'Ï'},    {"&ETH;", u'Ð'},     {"&Ntilde;", u'Ñ'},
    {"&Ograve;", u'Ò'},   {"&Oacute;", u'Ó'},  {"&Ocirc;", u'Ô'},   {"&Otilde;", u'Õ'},
    {"&Ouml;", u'Ö'},     {"&times;", u'×'},   {"&Oslash;", u'Ø'},  {"&Ugrave;", u'Ù'},
    {"&Uacute;", u'Ú'},   {"&Ucirc;", u'Û'},   {"&Uuml;", u'Ü'},    {"&Yacute;", u'Ý'},
    {"&THORN;", u'Þ'},    {"&szlig;", u'ß'},   {"&agrave;", u'à'},  {"&aacute;", u'á'},
    {"&acirc;", u'â'},    {"&atilde;", u'ã'},  {"&auml;", u'ä'},    {"&aring;", u'å'},
    {"&aelig;", u'æ'},    {"&ccedil;", u'ç'},  {"&egrave;", u'è'},  {"&eacute;", u'é'},
    {"&ecirc;", u'ê'},    {"&euml;", u'ë'},    {"&igrave;", u'ì'},  {"&iacute;", u'í'},
    {"&icirc;", u'î'},    {"&iuml;", u'ï'},    {"&eth;", u'ð'},     {"&ntilde;", u'ñ'},
    {"&ograve;", u'ò'},   {"&oacute;", u'ó'},  {"&ocirc;", u'ô'},   {"&ouml;", u'ö'},
    {"&divide;", u'÷'},   {"&oslash;", u'ø'},  {"&ugrave;", u'ù'},  {"&uacute;", u'ú'},
    {"&ucirc;", u'û'},    {"&uuml;", u'ü'},    {"&yacute;", u'ý'},  {"&thorn;", u'þ'},
    {"&yuml;", u'ÿ'},
};
static_assert(sizeof(kEntites) / sizeof(kEntites[0]) == 97);

} // namespace

QString CaractereReference(qint64 code) {
    if (code >= 0 && code <= 255)
        return QString(CaractereWindows1252(static_cast<unsigned char>(code)));
    if (code > 255 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
        const char32_t point = char32_t(code);
        return QString::fromUcs4(&point, 1);
    }
    return QString(QChar(0xFFFD));
}

void DecodeEntites(QString& texte) {
    if (!texte.contains(QLatin1Char('&')))
        return;
    Remplace(texte, QStringLiteral("&#xe9;"), QStringLiteral("é"), false, -1);

    // Numeric references: take the first "&#", read up to the first ";" after
    // it, and replace that exact reference everywhere before looking again from
    // the start. Each turn shortens the text, so this ends.
    const QString debutRef = QStringLiteral("&#");
    for (;;) {
        const qsizetype p = texte.indexOf(debutRef);
        if (p < 0)
            break;
        // Fewer than five characters from the "&" to the end: not a reference.
        if (p + 5 > texte.size())
            break;
        const qsizetype fin = texte.indexOf(QLatin1Char(';'), p + 1);
        if (fin < 0)
            break;
        const QString reference = texte.mid(p, fin - p + 1);
        // The number is read leniently: "x41" (hexadecimal) reads as 0.
        const double valeur = NombreSouple(reference.mid(2, reference.size() - 3));
        const double arrondi = std::nearbyint(valeur); // halves to even
        const qint64 code = std::isfinite(arrondi) && std::fabs(arrondi) < 1e15 ? qint64(arrondi) : -1;
        Remplace(texte, reference, CaractereReference(code), false, -1);
    }

    for (const Entite& e : kEntites) {
        const QString nom = QString::fromLatin1(e.nom);
        if (!texte.contains(nom))
            continue;
        Remplace(texte, nom, e.caractere ? QString(QChar(e.caractere)) : QString(), false, -1);
    }
}
