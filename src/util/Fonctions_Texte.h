// Reading the program's text files: decoding and the line rule they share.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Bytes of a text file as text: UTF-8 when the whole file is valid UTF-8 (a
// leading BOM is dropped), Windows-1252 otherwise.
QString DecodeTexte(const QByteArray& octets);

// One Windows-1252 byte as a Unicode character (0x81, 0x8D, 0x8F, 0x90 and 0x9D,
// which the code page leaves undefined, map to the C1 control of the same value).
QChar CaractereWindows1252(unsigned char octet);

// Splits text into lines: a line ends at CR LF or at a lone CR; a lone LF stays
// inside the line. A last line without terminator counts; an empty text has no
// line, and text ending with a terminator has no empty line after it.
QStringList DecoupeLignes(const QString& texte);

// Reads a whole file and splits it as above. False when it cannot be opened.
bool LitLignesFichier(const QString& chemin, QStringList& lignes);
