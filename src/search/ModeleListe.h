// The result list as a model over the list copy held in memory: row r shows
// one column of its line. Nothing is copied per row; a view with uniform item
// sizes asks only for the rows it draws.
#pragma once

#include <QAbstractListModel>
#include <memory>
#include <vector>

#include "search/LignesListe.h"

class ModeleListe final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ModeleListe(QObject* parent = nullptr);

    // Shows column `colonne` of every line of `lignes` (row i is line i).
    void Definit(std::shared_ptr<LignesListe> lignes, int colonne);
    // No rows any more (and no lines).
    void Vide();

    std::shared_ptr<LignesListe> Lignes() const { return lignes_; }
    // The line shown by row r (an index into Lignes()).
    qint32 LigneDeRangee(int r) const { return rangees_[size_t(r)]; }
    // The text row r shows.
    QString Texte(int r) const;

    // Removes rows, given by their current places in increasing order, in one
    // change of the list's layout.
    void RetireRangees(const std::vector<int>& rangees);
    // The lines were renumbered (Retire of LignesListe): rows follow their
    // lines, and rows whose line is gone leave the list.
    void Renumerote(const std::vector<qint32>& nouvelIndice);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // A row shows at most this much of its column: the whole line stays in the
    // list, and a row of megabytes would only stall the drawing.
    static constexpr qsizetype LongueurAffichee = 4096;

private:
    std::shared_ptr<LignesListe> lignes_;
    std::vector<qint32> rangees_; // row -> line
    int colonne_ = 0;
};
