// The steps of the link extraction, each usable on its own on a text.
//
// The page extractor (ExtraitLiensOctets, Fonctions_Internet.h) no longer
// goes through these: it scans the page's bytes in place, so that a large
// page costs little more than its own size. They remain the module's
// interface for callers that hold a page, a tag or a script as text, and
// they give what the extractor gives: the same delimiters, quote rules and
// capitals.
#pragma once

#include "util/ListeAuto.h"

#include <QString>

// The redirections written in <Script Language="JAVASCRIPT"> blocks as
// "location.href = value;" (kind 3, with an empty text when `textes` is given),
// made absolute against `adresseBase`.
void ExtraitLiensScripts(const QString& page, const QString& adresseBase, ListeAuto& adresses,
                         ListeAuto& types, ListeAuto* textes = nullptr);

// Cuts a text into tags: the text between each "<" and the next ">" (both
// looked for outside double quotes), and the 1-based position of its "<" as
// decimal text when `positions` is given. An unfinished last tag is dropped.
void DecoupeBalises(const QString& texte, ListeAuto& balises, ListeAuto* positions = nullptr);

// Value of the attribute `nomAttribut` (any case) in the attribute text of a
// tag, quotes removed; "" when it is not there.
QString ValeurAttribut(const QString& nomAttribut, const QString& texteAttributs);

// The n-th segment (n from 1) strictly between `debut` and the next `fin`, the
// search going on after each `fin`. False and "" when there are fewer segments.
bool ExtraitSegment(const QString& texte, const QString& debut, const QString& fin, int n,
                    bool ignorerCasse, QString& segment);

// Removes every segment from `debut` through the next `fin`, looking again from
// the start of the text after each cut; an unterminated `debut` and everything
// after it stay.
void SupprimeSegments(QString& texte, const QString& debut, const QString& fin, bool ignorerCasse);

// Remove leading or trailing spaces (the space character only, not tabs).
void SupprimeEspacesDebut(QString& texte);
void SupprimeEspacesFin(QString& texte);
