// The result list's model.
#include "search/ModeleListe.h"

#include <numeric>

ModeleListe::ModeleListe(QObject* parent) : QAbstractListModel(parent) {}

void ModeleListe::Definit(std::shared_ptr<LignesListe> lignes, int colonne) {
    beginResetModel();
    lignes_ = std::move(lignes);
    colonne_ = colonne;
    rangees_.assign(size_t(lignes_ ? lignes_->Nombre() : 0), 0);
    std::iota(rangees_.begin(), rangees_.end(), 0);
    endResetModel();
}

void ModeleListe::Vide() { Definit(nullptr, 0); }

QString ModeleListe::Texte(int r) const {
    QString texte = lignes_->Colonne(rangees_[size_t(r)], colonne_);
    if (texte.size() > LongueurAffichee)
        texte = texte.left(LongueurAffichee) + QChar(0x2026);
    return texte;
}

void ModeleListe::RetireRangees(const std::vector<int>& rangees) {
    // From the last to the first, one signal per run of neighbouring rows, so
    // that the places still to remove do not move.
    size_t fin = rangees.size();
    while (fin > 0) {
        size_t debut = fin - 1;
        while (debut > 0 && rangees[debut - 1] == rangees[debut] - 1)
            --debut;
        const int premiere = rangees[debut], derniere = rangees[fin - 1];
        beginRemoveRows(QModelIndex(), premiere, derniere);
        rangees_.erase(rangees_.begin() + premiere, rangees_.begin() + derniere + 1);
        endRemoveRows();
        fin = debut;
    }
}

void ModeleListe::Renumerote(const std::vector<qint32>& nouvelIndice) {
    std::vector<int> perdues;
    for (size_t r = 0; r < rangees_.size(); ++r) {
        const qint32 ancienne = rangees_[r];
        const qint32 nouvelle = ancienne >= 0 && size_t(ancienne) < nouvelIndice.size() ? nouvelIndice[size_t(ancienne)] : -1;
        rangees_[r] = nouvelle;
        if (nouvelle < 0)
            perdues.push_back(int(r));
    }
    if (!perdues.empty())
        RetireRangees(perdues);
}

int ModeleListe::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rangees_.size());
}

QVariant ModeleListe::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rangees_.size()))
        return {};
    if (role == Qt::DisplayRole)
        return Texte(index.row());
    return {};
}
