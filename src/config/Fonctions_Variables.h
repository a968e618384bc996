// The table of named settings every part of the program reads by name.
//
// A table is a value: the parameter file is read once into the service's
// table, and each search works on a copy of it, to which its list's block is
// applied; the copy lives as long as that search and the run that follows
// it. Nothing a list sets can outlive its search.
#pragma once

#include <QString>
#include <vector>

inline constexpr int CapaciteVariables = 81;

struct LigneVariable {
    QString nom;
    QString type;        // "O/N", "TXT", "NUM" or "FONCTION", as declared
    QString valeur;
    QString numeroListe; // decimal text of the list that declared it
};

class TableVariables {
public:
    // Number of rows in use (rows 1..Nombre()).
    int Nombre() const { return int(lignes_.size()); }
    // Row `index` (1..Nombre()); for display and tests.
    const LigneVariable& Numero(int index) const;

    bool Definit(const QString& nom, const QString& type, const QString& valeur, int numeroListe);
    bool Existe(const QString& nom, int numeroListe) const;
    void Affecte(const QString& nom, const QString& valeur);
    // An undeclared name is told to the user and reads as the empty text.
    QString Lit(const QString& nom) const;
    // A setting that means yes only when it is exactly "O".
    bool Oui(const QString& nom) const { return Lit(nom) == QLatin1String("O"); }
    QString ListeDe(int index) const;
    void Efface(int numeroListe);

private:
    int Cherche(const QString& nom) const;

    std::vector<LigneVariable> lignes_; // row i is lignes_[i - 1]
};

// The service's own table: what the options list declared and the parameter
// file gave. The windows read it; a search starts from a copy of it.
TableVariables& VariablesService();

// The same operations on the service's table, by their classic names.
inline int NombreVariables() { return VariablesService().Nombre(); }
inline const LigneVariable& VariableNumero(int index) { return VariablesService().Numero(index); }
inline bool DefinitVariable(const QString& nom, const QString& type, const QString& valeur, int numeroListe) {
    return VariablesService().Definit(nom, type, valeur, numeroListe);
}
inline bool VariableExiste(const QString& nom, int numeroListe) { return VariablesService().Existe(nom, numeroListe); }
inline void AffecteVariable(const QString& nom, const QString& valeur) { VariablesService().Affecte(nom, valeur); }
inline QString LitVariable(const QString& nom) { return VariablesService().Lit(nom); }
inline QString ListeDeVariable(int index) { return VariablesService().ListeDe(index); }
inline void EffaceVariables(int numeroListe) { VariablesService().Efface(numeroListe); }
