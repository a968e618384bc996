// The list of a service and the steps that filter it: the embedded parameter
// block, the folder, identifier and version comparisons and the link mode.
// No widgets here: the search calls these and the windows show the result.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

inline const QString MarqueurListe = QStringLiteral("xxx Le Ramaglin V1 xxx");
inline const QString DebutParametres = QStringLiteral("-PARAMETRES-");
inline const QString FinParametres = QStringLiteral("-FIN PARAMETRES-");

class LignesListe;
class TableVariables;

// Reads the lines of a list file (CR LF or lone CR end a line). False when the
// file cannot be opened.
bool LitLignesListe(const QString& chemin, QStringList& lignes);

// The variables that a list anyone on its path could have changed (fetched
// in clear and not signed) may not set: where lists and files come from and
// go, whether one is started, the digest column, the key, the temporary folder.
const QSet<QString>& VariablesReserveesListeSure();

// The steps of the list processing, on the lines of one search held in
// memory, with that search's settings. Nothing is read from or written to
// the list copy here: the search writes it once, at the end.

// Removes the marker line and the parameter block from the lines and applies
// the block to `reglages`. False (with its message) when the marker is
// missing. Unless `listeSure`, the block's lines that set a reserved
// variable are ignored, and the user is told once which ones.
bool RecupereParametres(LignesListe& lignes, TableVariables& reglages, bool listeSure);

// Each comparison keeps the lines it keeps, shows its message when none
// stays, and returns whether some line stayed (the caller then marks its
// search as done). `reponse` is the processing's answer, updated as each
// comparison says.
bool ComparaisonRepertoire(LignesListe& lignes, const TableVariables& reglages, bool& reponse);
bool ComparaisonIdentifiant(LignesListe& lignes, const TableVariables& reglages, bool& reponse);
bool ComparaisonVersion(LignesListe& lignes, const TableVariables& reglages, bool& reponse);

// Link mode: the lines are an HTML page; they become its links, one line
// each as address TAB text (the decoded anchor text, or the address when the
// link has none). Returns the number of links kept; with none, the lines are
// left empty and the user told.
int ModeLiens(LignesListe& lignes, const TableVariables& reglages);

// A version text as its first three dotted parts, each read as a lenient 16-bit number.
struct Version {
    int p1 = 0, p2 = 0, p3 = 0;
    auto operator<=>(const Version&) const = default;
};
Version LitVersion(const QString& texte);
