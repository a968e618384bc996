// The lines of a download report.
#include "download/ModeleRapport.h"

ModeleRapport::ModeleRapport(QObject* parent) : QAbstractListModel(parent) {}

void ModeleRapport::Vide() {
    beginResetModel();
    lignes_.clear();
    publiees_ = 0;
    endResetModel();
}

void ModeleRapport::AjouteLigne(const QString& texte) { lignes_.push_back({texte, QString()}); }

void ModeleRapport::Publie() {
    if (publiees_ == Nombre())
        return;
    beginInsertRows(QModelIndex(), publiees_, Nombre() - 1);
    publiees_ = Nombre();
    endInsertRows();
}

void ModeleRapport::RemplaceDerniereLigne(const QString& texte, const QString& raison) {
    if (lignes_.empty()) {
        AjouteLigne(texte);
    }
    lignes_.back() = {texte, raison};
    if (publiees_ == Nombre()) {
        const QModelIndex i = index(Nombre() - 1);
        emit dataChanged(i, i, {Qt::DisplayRole, Qt::ToolTipRole});
    }
}

void ModeleRapport::RemplaceLigne(int i, const QString& texte, const QString& raison) {
    if (i < 0 || i >= Nombre())
        return;
    lignes_[size_t(i)] = {texte, raison};
    if (i < publiees_) {
        const QModelIndex indice = index(i);
        emit dataChanged(indice, indice, {Qt::DisplayRole, Qt::ToolTipRole});
    }
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
    return parent.isValid() ? 0 : publiees_;
}

QVariant ModeleRapport::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= publiees_)
        return {};
    const Ligne& ligne = lignes_[size_t(index.row())];
    if (role == Qt::DisplayRole)
        return ligne.texte;
    if (role == Qt::ToolTipRole && !ligne.raison.isEmpty())
        return ligne.raison;
    return {};
}
