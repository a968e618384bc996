// The table of named settings every part of the program reads by name.
#pragma once

#include <QString>

inline constexpr int CapaciteVariables = 81;

struct LigneVariable {
    QString nom;
    QString type;        // "O/N", "TXT", "NUM" or "FONCTION", as declared
    QString valeur;
    QString numeroListe; // decimal text of the list that declared it
};

// Number of rows in use (rows 1..NombreVariables()).
int NombreVariables();
// Row `index` (1..NombreVariables()); for display and tests.
const LigneVariable& VariableNumero(int index);

bool DefinitVariable(const QString& nom, const QString& type, const QString& valeur,
                     int numeroListe);
bool VariableExiste(const QString& nom, int numeroListe);
void AffecteVariable(const QString& nom, const QString& valeur);
QString LitVariable(const QString& nom);
QString ListeDeVariable(int index);
void EffaceVariables(int numeroListe);

// A setting that means yes only when it is exactly "O".
inline bool VariableOui(const QString& nom) { return LitVariable(nom) == QLatin1String("O"); }
