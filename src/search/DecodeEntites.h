// Decoding of the HTML character references found in link texts, so that the
// result list shows readable French text.
#pragma once

#include <QString>

// Replaces, in place, the numeric references (decimal, through Windows-1252 for
// codes 0 to 255) and the named references of the Latin-1 range by the
// characters they stand for. Numeric references are decoded one distinct
// reference at a time, each replaced everywhere, before the named ones, which
// are replaced in a fixed order ("&amp;" before "&lt;" and "&gt;").
void DecodeEntites(QString& texte);

// The character a numeric reference's code stands for: Windows-1252 for 0 to
// 255, the Unicode character for larger valid code points, U+FFFD otherwise.
QString CaractereReference(qint64 code);
