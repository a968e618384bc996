// What a name that came from elsewhere (a list, a page's link, an archive's
// entry) may be before it becomes a file under a folder of the user's.
//
// Refused everywhere: control characters (codes below 32, and 127), and any
// element made of dots and spaces only with at least two dots (".. ", "...",
// ". ."): Windows drops an element's trailing dots and spaces, so these climb
// out of the folder there as ".." does. With the Windows rules also: the
// characters Windows refuses in a name (< > : " | ? *), an element that ends in
// a dot or a space (Windows would create another name than the one asked),
// and the device names (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with
// or without an extension). Elsewhere these stay legal: real archives hold
// "aux.c".
#pragma once

#include <QString>
#include <QStringView>

#ifdef Q_OS_WIN
inline constexpr bool ReglesWindows = true;
#else
inline constexpr bool ReglesWindows = false;
#endif

// One element of a path (no separator in it); an empty element is accepted
// (a folder entry's name ends in a separator).
bool ElementAcceptable(QStringView element, bool windows = ReglesWindows);

// Every element of `nom`, separated by "/" or "\", acceptable. Says nothing of
// a root or a drive: the callers refuse those first.
bool ElementsAcceptables(const QString& nom, bool windows = ReglesWindows);
