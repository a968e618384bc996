// Link extraction from a downloaded HTML page: frames, images, page backgrounds,
// anchors and JavaScript "location.href" redirections, each made absolute
// against a base address. A tolerant text scanner, not an HTML parser: comments
// and script blocks are removed by delimiter search, the rest is cut into tags
// at "<" and ">", and one attribute is read from four tag names.
// The scanner reads the page's bytes as they are (UTF-8, or Windows-1252 when
// the page is not valid UTF-8) and decodes only what it keeps, so that a page
// costs little more than its own bytes in memory.
#pragma once

#include "util/ListeAuto.h"

#include <QByteArray>
#include <QByteArrayView>
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

// The same extraction on the bytes of a page file, read as the file would be:
// UTF-8 when valid (a leading byte order mark dropped), else Windows-1252; a
// carriage return is dropped with the line feed that follows it, a lone line
// feed stays. The bytes are worked on in place: hand them over (std::move)
// rather than share them, or they are copied once.
void ExtraitLiensOctets(QByteArray page, const QString& adresseBase, ListeAuto& adresses,
                        ListeAuto& types, ListeAuto* textes = nullptr);

// The same extraction on a page already held as text (line ends already
// handled): the text is scanned in its UTF-8 form.
void ExtraitLiensTexte(const QString& page, const QString& adresseBase, ListeAuto& adresses,
                       ListeAuto& types, ListeAuto* textes = nullptr);

// Removes, in place, every segment from `debut` through the next `fin`, looking
// again from the start of the text after each cut; an unterminated `debut` and
// everything after it stay. The delimiters are ASCII; the text is UTF-8 when
// `utf8`, else one byte per character. Ignoring case compares capitals
// character by character, so the dotless i and the long s of a UTF-8 text
// match "I" and "S".
void SupprimeSegments(QByteArray& texte, QByteArrayView debut, QByteArrayView fin, bool ignorerCasse,
                      bool utf8 = true);
