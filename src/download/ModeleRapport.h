// The lines of a download report, with the reason of each failure, as a model
// that any list view can show.
//
// New lines reach the views only when published (Publie). A list view lays
// all its rows out again after each insertion it is told of: told of every
// line of a run of 10,000 small files, it spent more time laying out than the
// transfers took, and the run's time grew with the square of its length. The
// report publishes a few times a second instead; the lines themselves (Nombre,
// Texte, TexteDesLignes) are always all there.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

class ModeleRapport final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ModeleRapport(QObject* parent = nullptr);

    void Vide();
    void AjouteLigne(const QString& texte);
    // Tells the views of the lines added since the last time.
    void Publie();
    // Overwrites the last line (adds one when there is none); a failure's
    // reason shows as the line's tooltip.
    void RemplaceDerniereLigne(const QString& texte, const QString& raison = QString());
    // Overwrites line `i` (from 0), when there is one.
    void RemplaceLigne(int i, const QString& texte, const QString& raison = QString());

    int Nombre() const { return int(lignes_.size()); }
    QString Texte(int i) const { return lignes_[size_t(i)].texte; }
    QString Raison(int i) const { return lignes_[size_t(i)].raison; }
    // The lines as text, each followed by its reason after a tab when it has one.
    QString TexteDesLignes() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Ligne {
        QString texte;
        QString raison;
    };
    std::vector<Ligne> lignes_;
    int publiees_ = 0; // the lines the views know of
};
