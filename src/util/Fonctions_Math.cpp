// Size texts of the gauges, the report and the selection summary.
#include "util/Fonctions_Math.h"

#include <cmath>

#include <QLocale>

double TronqueDecimales(double valeur, int decimales) {
    const double p = std::pow(10.0, decimales);
    return std::trunc(valeur * p) / p;
}

namespace {

// Shortest decimal text: no trailing zeros, no grouping, the locale's separator.
QString NombreCourt(double valeur, int decimales) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString texte = locale.toString(valeur, 'f', decimales);
    const QString separateur = locale.decimalPoint();
    if (decimales > 0 && texte.contains(separateur)) {
        while (texte.endsWith(QLatin1Char('0')))
            texte.chop(1);
        if (texte.endsWith(separateur))
            texte.chop(separateur.size());
    }
    if (texte == QLatin1String("-0"))
        texte = QStringLiteral("0");
    return texte;
}

} // namespace

QString FormateTaille(double taille, bool sansDecimales) {
    const int d = sansDecimales ? 0 : 2;
    if (taille == 0)
        return QStringLiteral("0 octet");
    if (taille < 1024) {
        QString texte = NombreCourt(TronqueDecimales(taille, d), d) + QStringLiteral(" octet");
        if (taille > 1)
            texte += QLatin1Char('s');
        return texte;
    }
    if (taille < 1048576.0)
        return NombreCourt(TronqueDecimales(taille / 1024.0, d), d) + QStringLiteral(" Ko");
    if (taille < 1073741824.0)
        return NombreCourt(TronqueDecimales(taille / 1048576.0, d), d) + QStringLiteral(" Mo");
    return NombreCourt(TronqueDecimales(taille / 1073741824.0, d), d) + QStringLiteral(" Go");
}
