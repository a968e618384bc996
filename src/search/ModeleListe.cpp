// The result list's model.
#include "search/ModeleListe.h"

#include <algorithm>
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
    // One change of layout for all of them, rather than a removal signal per
    // run of neighbouring rows: the downloaded rows are rarely neighbours, and
    // each removal signal walks every slot of the model's table of persistent
    // indexes, a table that keeps the size it once had (the selection of
    // thousands of separate rows makes it large). A long run spent more time
    // there than in its transfers, and grew with the square of its length.
    if (rangees.empty())
        return;
    emit layoutAboutToBeChanged();
    size_t k = 0, ecrites = 0;
    for (size_t r = 0; r < rangees_.size(); ++r) {
        if (k < rangees.size() && rangees[k] == int(r)) {
            ++k;
            continue;
        }
        rangees_[ecrites++] = rangees_[r];
    }
    rangees_.resize(ecrites);
    // The indexes kept on rows (the current row, those of the views) follow
    // them, or go with them.
    const QModelIndexList avant = persistentIndexList();
    QModelIndexList apres;
    apres.reserve(avant.size());
    for (const QModelIndex& i : avant) {
        const auto place = std::lower_bound(rangees.begin(), rangees.end(), i.row());
        apres.append(place != rangees.end() && *place == i.row()
                         ? QModelIndex()
                         : index(i.row() - int(place - rangees.begin())));
    }
    changePersistentIndexList(avant, apres);
    emit layoutChanged();
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
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return Texte(index.row());
    return {};
}
