// Variable table: at most 81 named rows, scanned linearly, names compared exactly.
#include "config/Fonctions_Variables.h"

#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Messages.h"

namespace {

void MessageNonTrouvee(const QString& nom) {
    MsgBox(QStringLiteral("Variable ") + nom + QStringLiteral(" non trouvée."), IconeMessage::Critique);
}

} // namespace

TableVariables& VariablesService() {
    static TableVariables table;
    return table;
}

int TableVariables::Cherche(const QString& nom) const {
    for (size_t i = 0; i < lignes_.size(); ++i)
        if (lignes_[i].nom == nom)
            return int(i) + 1;
    return 0;
}

const LigneVariable& TableVariables::Numero(int index) const {
    static const LigneVariable vide;
    return index >= 1 && index <= Nombre() ? lignes_[size_t(index - 1)] : vide;
}

bool TableVariables::Definit(const QString& nom, const QString& type, const QString& valeur, int numeroListe) {
    if (Nombre() >= CapaciteVariables) {
        MsgBox(QStringLiteral("Il y a trop de variables définies"), IconeMessage::Critique);
        return false;
    }
    if (Existe(nom, 0)) {
        MsgBox(QStringLiteral("Variable utilisée deux fois : ") + nom, IconeMessage::Critique);
        return false;
    }
    lignes_.push_back({nom, type, valeur, QString::number(numeroListe)});
    return true;
}

bool TableVariables::Existe(const QString& nom, int numeroListe) const {
    const int i = Cherche(nom);
    if (i == 0)
        return false;
    if (numeroListe >= 1 && EntierSouple(lignes_[size_t(i - 1)].numeroListe) != numeroListe)
        MsgBox(QStringLiteral("La variable ") + nom + QStringLiteral(" existe dans une autre liste."));
    return true;
}

void TableVariables::Affecte(const QString& nom, const QString& valeur) {
    const int i = Cherche(nom);
    if (i == 0) {
        MessageNonTrouvee(nom);
        return;
    }
    lignes_[size_t(i - 1)].valeur = valeur;
}

QString TableVariables::Lit(const QString& nom) const {
    const int i = Cherche(nom);
    if (i == 0) {
        MessageNonTrouvee(nom);
        return QString();
    }
    return lignes_[size_t(i - 1)].valeur;
}

QString TableVariables::ListeDe(int index) const {
    if (index >= 1 && index <= Nombre())
        return lignes_[size_t(index - 1)].numeroListe;
    // The number is printed the classic way: a space stands for a missing sign.
    const QString nombre = index >= 0 ? QStringLiteral(" ") + QString::number(index) : QString::number(index);
    MessageNonTrouvee(nombre);
    return QStringLiteral("0");
}

void TableVariables::Efface(int numeroListe) {
    if (numeroListe == 0) {
        lignes_.clear();
        return;
    }
    std::erase_if(lignes_, [&](const LigneVariable& l) { return EntierSouple(l.numeroListe) == numeroListe; });
}
