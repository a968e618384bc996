// The program's general-purpose list of texts: grows by itself, indexed from 0,
// with search, removal, two quick sorts and a de-duplication. A second list (the
// "followed" list) can receive the same swaps and removals so that parallel lists
// (addresses, kinds, texts) stay aligned.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// Quick sort of tableau[bas..haut] comparing the upper-case forms of the texts,
// ascending when `triCroissant`, descending otherwise. Texts equal apart from
// case keep no defined order. Bounds outside the array are clamped.
void TriRapideTableau(std::vector<QString>& tableau, qint32 bas, qint32 haut, bool triCroissant);
void TriRapideTableau(QStringList& tableau, qint32 bas, qint32 haut, bool triCroissant);

class ListeAuto {
public:
    ListeAuto();

    // Back to the state of a new list: no element, 51 slots.
    void EffaceTableau();

    // Element `NbElementDemande`, or "" outside 0..count-1.
    QString RenvoieElement(qint32 NbElementDemande) const;

    // Replaces an existing element (any other index changes nothing), then sorts
    // the whole list with TriRapideTableau when `TriAutomatique`.
    void ModifieElement(qint32 NbElementDemande, const QString& NouvelleValeur,
                        bool TriAutomatique = false, bool TriCroissant = false);

    // Swaps two elements. Callers pass existing indices; an index outside
    // 0..count-1 makes the call do nothing.
    void PermuteElements(qint32 NbElement1, qint32 NbElement2);

    // Appends, then sorts the whole list with TriRapideTableau when `TriAutomatique`.
    void AjoutElement(const QString& ElementAAjouter, bool TriAutomatique = false,
                      bool TriCroissant = false);

    // Removes an existing element, the following ones moving down; any other
    // index changes nothing.
    void SupprimeElement(qint32 NbElementAEnlever);

    // Lowest index whose element equals `ValeurElement` exactly, or -1.
    qint32 ChercheElement(const QString& ValeurElement) const;

    // Sorts (TriRapideTableau, or TriRapideSuivi when a followed list is given),
    // then removes every element exactly equal to the one kept before it, and the
    // entry of the same index from the followed list.
    void TriEtSupprimeDoublons(bool TriCroissant, ListeAuto* ListeSuivie = nullptr);

    qint32 NbElementsListe() const;

    // Sorts the whole list comparing lower-case forms.
    void TriRapide(bool TriCroissant = false);
    // The same, with every swap repeated on `ListeSuivie`.
    void TriRapideSuivi(ListeAuto& ListeSuivie, bool TriCroissant = false);

    // Number of slots the list has reserved: 51 for a new list, 20 more each time
    // an append finds them all used. Only useful to check the growth rule.
    qint32 NbEmplacements() const { return emplacements_; }

    // The elements in order (a copy), for callers that want a plain list.
    QStringList Elements() const;

private:
    // Storage. Removals leave a gap (physical slots [trou_, trou_ + tailleTrou_))
    // that later removals move instead of shifting the whole tail each time, so a
    // loop removing many entries stays linear; any other operation closes it.
    mutable std::vector<QString> stockage_;
    mutable qint32 trou_ = 0;
    mutable qint32 tailleTrou_ = 0;
    qint32 nb_ = 0;
    qint32 emplacements_ = 51;

    // A sort asked by AjoutElement is carried out when the list is next read, so
    // that a series of sorted appends costs one sort. The first `prefixeTrie_`
    // elements are known to be in order already: the rest is merged into them.
    mutable bool triEnAttente_ = false;
    mutable bool sensEnAttente_ = true;
    mutable qint32 prefixeTrie_ = 0;

    // What is known of the order of the elements (upper-case keys).
    mutable bool connuCroissant_ = true;
    mutable bool connuDecroissant_ = true;

    // Index for ChercheElement, built once searches outnumber changes.
    mutable QHash<QString, qint32> index_;
    mutable bool indexValide_ = false;
    mutable int recherchesSansIndex_ = 0;

    const QString& element(qint32 i) const {
        return stockage_[size_t(i < trou_ ? i : i + tailleTrou_)];
    }
    QString& element(qint32 i) { return stockage_[size_t(i < trou_ ? i : i + tailleTrou_)]; }
    void fermeTrou() const;
    void resoutTri() const;
    void prepare() const;
    void changeContenu();
    void marqueDesordre();
    bool estTrie(bool croissant) const;
    void triRapidePlage(qint32 bas, qint32 haut, bool croissant, ListeAuto* suivie);
};
