// The lines of a download report, with the reason of each failure, as a model
// that any list view can show. Adding a line costs the same whatever the
// number of lines before it.
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
    // Overwrites the last line (adds one when there is none); a failure's
    // reason shows as the line's tooltip.
    void RemplaceDerniereLigne(const QString& texte, const QString& raison = QString());

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
};
