// Sizes in bytes as the French text shown to the user ("12 Ko", "28,57 Ko").
#pragma once

#include <QString>

// `valeur` with its fraction cut (towards zero) to `decimales` decimals:
// 1.999 with 2 decimals gives 1.99.
double TronqueDecimales(double valeur, int decimales);

// A size in bytes in octets, Ko, Mo or Go (powers of 1024), the fraction cut to
// two decimals, or to none when `sansDecimales` is true. The number is written
// in its shortest form with the separator of the default locale: "0 octet",
// "1023 octets", "1,5 Ko", "1023,99 Ko".
QString FormateTaille(double taille, bool sansDecimales);
