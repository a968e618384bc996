// What the tests read back: a folder's tree and the texts of a list.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QAbstractItemModel>
#include <QItemSelectionModel>
#include <QStringList>

#include "support/Outils.h"

// Every file and folder under `racine`, hidden ones too: relative path -> contents, "<dossier>".
inline QMap<QString, QByteArray> Arbre(const QString& racine) {
    QMap<QString, QByteArray> r;
    QDirIterator it(racine, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        r[QDir(racine).relativeFilePath(f)] = QFileInfo(f).isDir() ? "<dossier>" : LitFichier(f);
    }
    return r;
}

// The texts of a list view's rows, "*" after the selected ones when asked.
template <typename Vue>
QStringList Textes(const Vue* v, bool selection = false) {
    QStringList r;
    const QAbstractItemModel* m = v->model();
    for (int i = 0; i < m->rowCount(); ++i) {
        const QModelIndex index = m->index(i, 0);
        r << index.data().toString() + (selection && v->selectionModel()->isSelected(index) ? "*" : "");
    }
    return r;
}
template <typename Vue> int Nombre(const Vue* v) { return v->model()->rowCount(); }
// The tooltip of row i: a failure's reason in the report.
template <typename Vue>
QString Bulle(const Vue* v, int i) { return v->model()->index(i, 0).data(Qt::ToolTipRole).toString(); }
// Adds row i to the selection, as a control-click would.
template <typename Vue> void Choisit(Vue* v, int i) {
    v->selectionModel()->select(v->model()->index(i, 0), QItemSelectionModel::Select);
}
