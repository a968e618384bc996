// The lines of a download report.
#include "download/ModeleRapport.h"

ModeleRapport::ModeleRapport(QObject* parent) : QAbstractListModel(parent) {}

void ModeleRapport::Vide() {
    beginResetModel();
    lignes_.clear();
    endResetModel();
}

void ModeleRapport::AjouteLigne(const QString& texte) {
    const int n = Nombre();
    beginInsertRows(QModelIndex(), n, n);
    lignes_.push_back({texte, QString()});
    endInsertRows();
}

void ModeleRapport::RemplaceDerniereLigne(const QString& texte, const QString& raison) {
    if (lignes_.empty()) {
        AjouteLigne(texte);
    }
    lignes_.back() = {texte, raison};
    const QModelIndex i = index(Nombre() - 1);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::ToolTipRole});
}

QString ModeleRapport::TexteDesLignes() const {
    QString texte;
    for (const Ligne& ligne : lignes_) {
        texte += ligne.texte;
        if (!ligne.raison.isEmpty())
            texte += QLatin1Char('\t') + ligne.raison;
        texte += QLatin1Char('\n');
    }
    return texte;
}

int ModeleRapport::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Nombre();
}

QVariant ModeleRapport::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Nombre())
        return {};
    const Ligne& ligne = lignes_[size_t(index.row())];
    if (role == Qt::DisplayRole)
        return ligne.texte;
    if (role == Qt::ToolTipRole && !ligne.raison.isEmpty())
        return ligne.raison;
    return {};
}
