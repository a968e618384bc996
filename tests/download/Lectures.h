// What the tests read back: a folder's tree and the texts of a list.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QStringList>

#include "support/Outils.h"

// Every file and folder under `racine` (hidden ones too): relative path ->
// contents, "<dossier>" for a folder.
inline QMap<QString, QByteArray> Arbre(const QString& racine) {
    QMap<QString, QByteArray> r;
    QDirIterator it(racine, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        r[QDir(racine).relativeFilePath(f)] = QFileInfo(f).isDir() ? "<dossier>" : LitFichier(f);
    }
    return r;
}

// The texts of a list widget's rows, "*" after the selected ones when asked.
template <typename Liste>
QStringList Textes(const Liste* l, bool selection = false) {
    QStringList r;
    for (int i = 0; i < l->count(); ++i)
        r << l->item(i)->text() + (selection && l->item(i)->isSelected() ? "*" : "");
    return r;
}
