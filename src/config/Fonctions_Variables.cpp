// Variable table: 81 named rows, scanned linearly, names compared exactly.
#include "config/Fonctions_Variables.h"

#include <array>

#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Messages.h"

namespace {

// Row 0 is never used, so that row numbers are those the messages show.
std::array<LigneVariable, CapaciteVariables + 1> gTable;
int gNombre = 0;

int ChercheVariable(const QString& nom) {
    for (int i = 1; i <= gNombre; ++i)
        if (gTable[i].nom == nom)
            return i;
    return 0;
}

void MessageNonTrouvee(const QString& nom) {
    MsgBox(QStringLiteral("Variable ") + nom + QStringLiteral(" non trouvée."),
           IconeMessage::Critique);
}

} // namespace

int NombreVariables() { return gNombre; }

const LigneVariable& VariableNumero(int index) {
    static const LigneVariable vide;
    return index >= 1 && index <= gNombre ? gTable[index] : vide;
}

bool DefinitVariable(const QString& nom, const QString& type, const QString& valeur,
                     int numeroListe) {
    if (gNombre >= CapaciteVariables) {
        MsgBox(QStringLiteral("Il y a trop de variables définies"), IconeMessage::Critique);
        return false;
    }
    if (VariableExiste(nom, 0)) {
        MsgBox(QStringLiteral("Variable utilisée deux fois : ") + nom, IconeMessage::Critique);
        return false;
    }
    ++gNombre;
    gTable[gNombre] = {nom, type, valeur, QString::number(numeroListe)};
    return true;
}

bool VariableExiste(const QString& nom, int numeroListe) {
    const int i = ChercheVariable(nom);
    if (i == 0)
        return false;
    if (numeroListe >= 1 && EntierSouple(gTable[i].numeroListe) != numeroListe)
        MsgBox(QStringLiteral("La variable ") + nom +
               QStringLiteral(" existe dans une autre liste."));
    return true;
}

void AffecteVariable(const QString& nom, const QString& valeur) {
    const int i = ChercheVariable(nom);
    if (i == 0) {
        MessageNonTrouvee(nom);
        return;
    }
    gTable[i].valeur = valeur;
}

QString LitVariable(const QString& nom) {
    const int i = ChercheVariable(nom);
    if (i == 0) {
        MessageNonTrouvee(nom);
        return QString();
    }
    return gTable[i].valeur;
}

QString ListeDeVariable(int index) {
    if (index >= 1 && index <= gNombre)
        return gTable[index].numeroListe;
    // The number is printed the classic way: a space stands for a missing sign.
    const QString nombre = index >= 0 ? QStringLiteral(" ") + QString::number(index)
                                      : QString::number(index);
    MessageNonTrouvee(nombre);
    return QStringLiteral("0");
}

void EffaceVariables(int numeroListe) {
    if (numeroListe == 0) {
        gNombre = 0;
        return;
    }
    for (int i = 1; i <= gNombre; ++i) {
        while (i <= gNombre && EntierSouple(ListeDeVariable(i)) == numeroListe) {
            for (int j = i; j < gNombre; ++j)
                gTable[j] = gTable[j + 1];
            gTable[gNombre] = LigneVariable();
            --gNombre;
        }
    }
}
