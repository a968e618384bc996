#include "util/NomsFichiers.h"

#include <QStringList>

namespace {

bool NomPeripherique(QStringView element) {
    // The part before the first dot, without its trailing spaces, names the
    // device whatever follows: "nul.txt" and "COM1 .log" are devices.
    QStringView base = element.left(element.indexOf(QLatin1Char('.')));
    while (base.endsWith(QLatin1Char(' ')))
        base.chop(1);
    for (const char* nom : {"CON", "PRN", "AUX", "NUL"})
        if (base.compare(QLatin1String(nom), Qt::CaseInsensitive) == 0)
            return true;
    if (base.size() != 4)
        return false;
    const QStringView prefixe = base.left(3);
    const QChar chiffre = base[3];
    // Windows also takes the superscript digits ¹ ² ³ as port numbers.
    const bool numero = (chiffre >= QLatin1Char('1') && chiffre <= QLatin1Char('9')) ||
                        chiffre == QChar(0xB9) || chiffre == QChar(0xB2) || chiffre == QChar(0xB3);
    return numero && (prefixe.compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0 ||
                      prefixe.compare(QLatin1String("LPT"), Qt::CaseInsensitive) == 0);
}

} // namespace

bool ElementAcceptable(QStringView element, bool windows) {
    int points = 0;
    bool pointsEtEspaces = true;
    for (const QChar c : element) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return false;
        if (windows && QStringView(u"<>:\"|?*").contains(c))
            return false;
        points += c == QLatin1Char('.');
        pointsEtEspaces = pointsEtEspaces && (c == QLatin1Char('.') || c == QLatin1Char(' '));
    }
    if (pointsEtEspaces && points >= 2)
        return false;
    if (!windows || element.isEmpty() || element == QLatin1String("."))
        return true;
    if (element.endsWith(QLatin1Char('.')) || element.endsWith(QLatin1Char(' ')))
        return false;
    return !NomPeripherique(element);
}

bool ElementsAcceptables(const QString& nom, bool windows) {
    qsizetype debut = 0;
    for (qsizetype i = 0; i <= nom.size(); ++i) {
        if (i == nom.size() || nom[i] == QLatin1Char('/') || nom[i] == QLatin1Char('\\')) {
            if (!ElementAcceptable(QStringView(nom).mid(debut, i - debut), windows))
                return false;
            debut = i + 1;
        }
    }
    return true;
}
