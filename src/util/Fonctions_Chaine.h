// String helpers shared by the whole program: replacement, numbers as text and
// back, plurals, tab-separated fields and command-line arguments. Positions are
// 1-based, as the users of these helpers count them.
#pragma once

#include <QByteArrayView>
#include <QString>

// Replaces in `texte` up to `nombre` occurrences (-1: all; 0 or other negatives:
// none) of `cherche` by `par`, left to right, never searching inserted text
// again. True when at least one replacement was made.
bool Remplace(QString& texte, const QString& cherche, const QString& par, bool ignorerCasse,
              int nombre);

// Decimal text of a number with "." as separator and at most 15 significant
// digits: "3", "2.5", "0.25", "-.5".
QString FormateNombre(double valeur);

// Digits, at most one ".", and a "-" only in first position; not empty.
bool EstNombre(QStringView texte);
inline bool EstNombre(const QString& texte) { return EstNombre(QStringView(texte)); }

// "," read as "."; the value when the text is then a number, else 0.
double ValeurNombre(QStringView texte);
inline double ValeurNombre(const QString& texte) { return ValeurNombre(QStringView(texte)); }
// The same for UTF-8 bytes (a column of the list held in memory).
double ValeurNombreOctets(QByteArrayView texte);

// `singulier` for 0 and 1, `pluriel` otherwise, with every "#" replaced by the number.
QString Pluriel(qint64 nombre, const QString& singulier, const QString& pluriel);

// Field `numero` (from 1) of `ligne` split by the one-character `separateur`.
// `nbColonnes` receives the number of fields (a trailing empty field does not
// count), `position` the 1-based start of the field returned (0 when none).
QString ExtraitColonne(const QString& ligne, int numero, const QString& separateur,
                       int& nbColonnes, int& position);
QString ExtraitColonne(const QString& ligne, int numero, const QString& separateur);
// The same field as a view into the line (no copy): field `numero` of the line
// split at every `separateur`, empty when there is no such field.
QStringView ColonneVue(QStringView ligne, int numero, QChar separateur);

// Argument `numero` (from 1) of a command line: spaces separate, double quotes
// group (and stay in the argument), runs of spaces make no empty argument.
QString ArgumentLigneCommande(const QString& ligne, int numero);

// The leading decimal number of a setting's text, 0 when it does not start
// with one ("12 Ko" is 12, " 7" is 7, "abc" is 0, "-3.5x" is -3.5).
double NombreSouple(const QString& texte);

// The same, rounded to the nearest whole number (halves to even) and held in
// the 16-bit range: the way counts, columns and durations are read.
int EntierSouple(const QString& texte);

// Rounds halves to even and clamps to -32768..32767.
int Entier16(double valeur);
