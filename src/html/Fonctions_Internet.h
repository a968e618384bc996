// Link extraction from a downloaded HTML page: frames, images, page backgrounds,
// anchors and JavaScript "location.href" redirections, each made absolute
// against a base address. A tolerant text scanner, not an HTML parser: comments
// and script blocks are removed by delimiter search, the rest is cut into tags
// at "<" and ">", and one attribute is read from four tag names.
#pragma once

#include "util/ListeAuto.h"

#include <QString>

// Kind codes of a link, appended as decimal text to the kinds list.
enum TypeLien {
    LienAucun = 0,
    LienFrame = 1,        // FRAME SRC
    LienImage = 2,        // IMG SRC
    LienJavascript = 3,   // location.href = ... in a script block
    LienImageFond = 4,    // BODY BACKGROUND
    LienClic = 5,         // A HREF
    LienRedirection = 6,
};

// "Aucun lien", "Frame HTML", "Image", "Appel Javascript", "Image de fond",
// "Clic souris", "Redirection"; "" for any other code.
QString NomTypeLien(int code);

// Reads the page file and appends one entry per link, in the order found, to
// `adresses` (absolute address), `types` (kind code "1" to "5") and, when given,
// `textes` (anchor text, empty except for anchors holding plain text). Script
// redirections come first. False, with the lists unchanged, when the file
// cannot be read.
bool ExtraitLiensHTML(const QString& cheminPage, const QString& adresseBase, ListeAuto& adresses,
                      ListeAuto& types, ListeAuto* textes = nullptr);

// The page file as one text: decoded as UTF-8 when valid, else Windows-1252;
// carriage returns are dropped with the line feed that follows each, while a
// lone line feed stays. `ok` is false when the file cannot be read.
QString LitPageHTML(const QString& cheminPage, bool& ok);
// The same from the file's bytes.
QString TextePageHTML(const QByteArray& octets);

// The same extraction on a page already read with LitPageHTML.
void ExtraitLiensTexte(QString page, const QString& adresseBase, ListeAuto& adresses,
                       ListeAuto& types, ListeAuto* textes = nullptr);

// The redirections written in <Script Language="JAVASCRIPT"> blocks as
// "location.href = value;" (kind 3, with an empty text when `textes` is given).
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

// Remove leading or trailing spaces (the space character only).
void SupprimeEspacesDebut(QString& texte);
void SupprimeEspacesFin(QString& texte);
