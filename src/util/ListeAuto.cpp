// The growable list of texts and its quick sorts.
#include "util/ListeAuto.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The quick sort both ListeAuto sorts use: middle element as pivot, scans that
// stop on keys equal to the pivot, no swap of equal keys. Keys are computed once
// per sort and swapped along with the elements; `permute` swaps the elements
// themselves (and those of a followed list).
//
// A middle pivot degrades to quadratic time on some orders (an ascending then
// descending run, for instance). Past a generous depth the remaining range is
// finished by a stable sort on the same keys: texts with different keys end in
// the same places, only texts equal apart from case may come out in another order.
template <typename Permute>
class TriExact {
public:
    TriExact(std::vector<QString> cles, qint32 base, bool croissant, Permute permute)
        : cles_(std::move(cles)), base_(base), croissant_(croissant), permute_(permute) {}

    void trie(qint32 bas, qint32 haut) {
        const double n = double(haut) - double(bas) + 1;
        const int limite = n > 1 ? 4 * int(std::log2(n)) + 32 : 0;
        trie(bas, haut, limite);
    }

private:
    std::vector<QString> cles_;
    qint32 base_;
    bool croissant_;
    Permute permute_;

    QString& cle(qint32 i) { return cles_[size_t(i - base_)]; }
    // True when key a goes strictly before key b in the chosen direction.
    bool avant(const QString& a, const QString& b) const { return croissant_ ? a < b : b < a; }

    void echange(qint32 i, qint32 j) {
        std::swap(cle(i), cle(j));
        permute_(i, j);
    }

    void trie(qint32 bas, qint32 haut, int reste) {
        while (haut > bas) {
            if (reste-- <= 0) {
                secours(bas, haut);
                return;
            }
            const QString pivot = cle(qint32((qint64(bas) + qint64(haut)) / 2));
            qint32 i = bas;
            qint32 j = haut;
            while (i <= j) {
                // The upward scan never examines element `haut` after moving onto
                // it, nor the downward scan element `bas`.
                while (avant(cle(i), pivot)) {
                    ++i;
                    if (i == haut)
                        break;
                }
                while (avant(pivot, cle(j))) {
                    --j;
                    if (j == bas)
                        break;
                }
                if (i > j)
                    break;
                if (i < j && cle(i) != cle(j))
                    echange(i, j);
                ++i;
                --j;
            }
            // The two sides are disjoint, so the order in which they are sorted
            // does not matter: recurse on the smaller, loop on the larger.
            if (qint64(j) - bas < qint64(haut) - i) {
                if (bas < j)
                    trie(bas, j, reste);
                bas = i;
            } else {
                if (i < haut)
                    trie(i, haut, reste);
                haut = j;
            }
        }
    }

    void secours(qint32 bas, qint32 haut) {
        const qint32 n = haut - bas + 1;
        std::vector<qint32> ordre(static_cast<size_t>(n));
        for (qint32 k = 0; k < n; ++k)
            ordre[size_t(k)] = bas + k;
        std::stable_sort(ordre.begin(), ordre.end(),
                         [this](qint32 a, qint32 b) { return avant(cle(a), cle(b)); });
        // Apply the permutation by swaps: ou[x] is where the element that was at
        // x now is, quoi[p] which original element sits at p.
        std::vector<qint32> ou(static_cast<size_t>(n)), quoi(static_cast<size_t>(n));
        for (qint32 k = 0; k < n; ++k)
            ou[size_t(k)] = quoi[size_t(k)] = k;
        for (qint32 t = 0; t < n; ++t) {
            const qint32 voulu = ordre[size_t(t)] - bas;
            const qint32 src = ou[size_t(voulu)];
            if (src == t)
                continue;
            echange(bas + t, bas + src);
            const qint32 deplace = quoi[size_t(t)];
            quoi[size_t(src)] = deplace;
            ou[size_t(deplace)] = src;
            quoi[size_t(t)] = voulu;
            ou[size_t(voulu)] = t;
        }
    }
};

std::vector<QString> ClesMajuscules(const QString* debut, qint32 n) {
    std::vector<QString> cles;
    cles.reserve(size_t(n));
    for (qint32 k = 0; k < n; ++k)
        cles.push_back(debut[k].toUpper());
    return cles;
}

template <typename Tableau>
void TriRapideTableauGenerique(Tableau& tableau, qint32 bas, qint32 haut, bool triCroissant) {
    bas = std::max<qint32>(bas, 0);
    haut = qint32(std::min<qint64>(haut, qint64(tableau.size()) - 1));
    if (haut <= bas)
        return;
    auto permute = [&tableau](qint32 i, qint32 j) { std::swap(tableau[i], tableau[j]); };
    TriExact<decltype(permute)> tri(ClesMajuscules(&tableau[bas], haut - bas + 1), bas, triCroissant,
                                    permute);
    tri.trie(bas, haut);
}

} // namespace

void TriRapideTableau(std::vector<QString>& tableau, qint32 bas, qint32 haut, bool triCroissant) {
    TriRapideTableauGenerique(tableau, bas, haut, triCroissant);
}

void TriRapideTableau(QStringList& tableau, qint32 bas, qint32 haut, bool triCroissant) {
    if (!tableau.isEmpty())
        tableau.detach();
    TriRapideTableauGenerique(tableau, bas, haut, triCroissant);
}

ListeAuto::ListeAuto() = default;

void ListeAuto::EffaceTableau() {
    std::vector<QString>().swap(stockage_);
    trou_ = tailleTrou_ = 0;
    nb_ = 0;
    emplacements_ = 51;
    triEnAttente_ = false;
    prefixeTrie_ = 0;
    connuCroissant_ = connuDecroissant_ = true;
    index_.clear();
    indexValide_ = false;
    recherchesSansIndex_ = 0;
}

void ListeAuto::fermeTrou() const {
    if (tailleTrou_ == 0)
        return;
    std::move(stockage_.begin() + trou_ + tailleTrou_, stockage_.end(), stockage_.begin() + trou_);
    stockage_.resize(size_t(nb_));
    trou_ = tailleTrou_ = 0;
}

bool ListeAuto::estTrie(bool croissant) const {
    return nb_ <= 1 || (croissant ? connuCroissant_ : connuDecroissant_);
}

void ListeAuto::resoutTri() const {
    if (!triEnAttente_)
        return;
    triEnAttente_ = false;
    fermeTrou();
    indexValide_ = false;
    recherchesSansIndex_ = 0;
    const bool d = sensEnAttente_;
    const qint32 n = nb_;
    const qint32 m = std::min(prefixeTrie_, n);
    if (m <= 0) {
        TriRapideTableau(stockage_, 0, n - 1, d);
    } else if (m < n) {
        // The first m elements are in order: sort the appended ones and merge
        // them in, each after the elements whose key equals its own.
        TriRapideTableau(stockage_, m, n - 1, d);
        const qint32 k = n - m;
        std::vector<QString> queue(std::make_move_iterator(stockage_.begin() + m),
                                   std::make_move_iterator(stockage_.end()));
        std::vector<qint32> places(static_cast<size_t>(k));
        qint32 bas = 0;
        for (qint32 t = 0; t < k; ++t) {
            const QString cle = queue[size_t(t)].toUpper();
            qint32 lo = bas, hi = m; // first base element that goes after `cle`
            while (lo < hi) {
                const qint32 mid = lo + (hi - lo) / 2;
                const QString autre = stockage_[size_t(mid)].toUpper();
                if (d ? cle < autre : autre < cle)
                    hi = mid;
                else
                    lo = mid + 1;
            }
            places[size_t(t)] = bas = lo;
        }
        qint32 b = m;
        qint32 w = n;
        for (qint32 t = k - 1; t >= 0; --t) {
            while (b > places[size_t(t)])
                stockage_[size_t(--w)] = std::move(stockage_[size_t(--b)]);
            stockage_[size_t(--w)] = std::move(queue[size_t(t)]);
        }
    }
    connuCroissant_ = d || n <= 1;
    connuDecroissant_ = !d || n <= 1;
}

void ListeAuto::prepare() const { resoutTri(); }

void ListeAuto::changeContenu() {
    indexValide_ = false;
    recherchesSansIndex_ = 0;
}

void ListeAuto::marqueDesordre() {
    connuCroissant_ = connuDecroissant_ = false;
    changeContenu();
}

QString ListeAuto::RenvoieElement(qint32 NbElementDemande) const {
    prepare();
    if (NbElementDemande < 0 || NbElementDemande >= nb_)
        return QString();
    return element(NbElementDemande);
}

void ListeAuto::ModifieElement(qint32 NbElementDemande, const QString& NouvelleValeur,
                               bool TriAutomatique, bool TriCroissant) {
    prepare();
    const qint32 i = NbElementDemande;
    if (i < 0 || i >= nb_)
        return;
    changeContenu();
    if (!TriAutomatique) {
        // Keep what is known of the order when the new value fits between its
        // neighbours.
        if (nb_ > 1 && (connuCroissant_ || connuDecroissant_)) {
            const QString cle = NouvelleValeur.toUpper();
            if (i > 0) {
                const QString avant = element(i - 1).toUpper();
                connuCroissant_ = connuCroissant_ && !(cle < avant);
                connuDecroissant_ = connuDecroissant_ && !(avant < cle);
            }
            if (i + 1 < nb_) {
                const QString apres = element(i + 1).toUpper();
                connuCroissant_ = connuCroissant_ && !(apres < cle);
                connuDecroissant_ = connuDecroissant_ && !(cle < apres);
            }
        }
        element(i) = NouvelleValeur;
        return;
    }
    fermeTrou();
    if (estTrie(TriCroissant) && nb_ > 1) {
        // The others stay in order: move the changed one to the end and let the
        // pending sort merge it back.
        std::rotate(stockage_.begin() + i, stockage_.begin() + i + 1, stockage_.end());
        stockage_.back() = NouvelleValeur;
        prefixeTrie_ = nb_ - 1;
    } else {
        stockage_[size_t(i)] = NouvelleValeur;
        prefixeTrie_ = 0;
    }
    triEnAttente_ = true;
    sensEnAttente_ = TriCroissant;
}

void ListeAuto::PermuteElements(qint32 NbElement1, qint32 NbElement2) {
    prepare();
    if (NbElement1 < 0 || NbElement1 >= nb_ || NbElement2 < 0 || NbElement2 >= nb_ ||
        NbElement1 == NbElement2)
        return;
    std::swap(element(NbElement1), element(NbElement2));
    marqueDesordre();
}

void ListeAuto::AjoutElement(const QString& ElementAAjouter, bool TriAutomatique,
                             bool TriCroissant) {
    if (nb_ >= emplacements_)
        emplacements_ += 20;
    if (TriAutomatique) {
        if (triEnAttente_) {
            if (sensEnAttente_ != TriCroissant) {
                sensEnAttente_ = TriCroissant;
                prefixeTrie_ = 0;
            }
        } else {
            prefixeTrie_ = estTrie(TriCroissant) ? nb_ : 0;
            triEnAttente_ = true;
            sensEnAttente_ = TriCroissant;
        }
        fermeTrou();
        stockage_.push_back(ElementAAjouter);
        ++nb_;
        changeContenu();
        return;
    }
    prepare();
    fermeTrou();
    if (nb_ == 0) {
        connuCroissant_ = connuDecroissant_ = true;
    } else if (estTrie(true) || estTrie(false)) {
        const bool c = estTrie(true), dc = estTrie(false);
        const QString cle = ElementAAjouter.toUpper();
        const QString dernier = stockage_.back().toUpper();
        connuCroissant_ = c && !(cle < dernier);
        connuDecroissant_ = dc && !(dernier < cle);
    }
    stockage_.push_back(ElementAAjouter);
    ++nb_;
    if (indexValide_) {
        if (!index_.contains(ElementAAjouter))
            index_.insert(ElementAAjouter, nb_ - 1);
    }
}

void ListeAuto::SupprimeElement(qint32 NbElementAEnlever) {
    prepare();
    const qint32 i = NbElementAEnlever;
    if (i < 0 || i >= nb_)
        return;
    changeContenu();
    const qint32 l = tailleTrou_;
    if (l == 0) {
        stockage_[size_t(i)] = QString();
    } else if (i >= trou_) {
        // Bring the elements between the gap and i in front of the gap.
        for (qint32 k = trou_; k < i; ++k)
            stockage_[size_t(k)] = std::move(stockage_[size_t(k + l)]);
        stockage_[size_t(i + l)] = QString();
    } else {
        // Send the elements between i and the gap behind it.
        for (qint32 k = trou_ - 1; k > i; --k)
            stockage_[size_t(k + l)] = std::move(stockage_[size_t(k)]);
        stockage_[size_t(i)] = QString();
    }
    trou_ = i;
    tailleTrou_ = l + 1;
    --nb_;
    if (nb_ == 0) {
        stockage_.clear();
        trou_ = tailleTrou_ = 0;
    }
}

qint32 ListeAuto::ChercheElement(const QString& ValeurElement) const {
    prepare();
    if (indexValide_) {
        const auto it = index_.constFind(ValeurElement);
        return it == index_.constEnd() ? -1 : it.value();
    }
    // A few searches scan; a caller that searches the same list over and over
    // gets a hash index, kept up to date by appends.
    if (nb_ >= 64 && ++recherchesSansIndex_ > 8) {
        fermeTrou();
        index_.clear();
        index_.reserve(nb_);
        for (qint32 k = 0; k < nb_; ++k) {
            if (!index_.contains(stockage_[size_t(k)]))
                index_.insert(stockage_[size_t(k)], k);
        }
        indexValide_ = true;
        const auto it = index_.constFind(ValeurElement);
        return it == index_.constEnd() ? -1 : it.value();
    }
    for (qint32 k = 0; k < nb_; ++k) {
        if (element(k) == ValeurElement)
            return k;
    }
    return -1;
}

void ListeAuto::TriEtSupprimeDoublons(bool TriCroissant, ListeAuto* ListeSuivie) {
    if (ListeSuivie == this)
        ListeSuivie = nullptr;
    if (ListeSuivie) {
        TriRapideSuivi(*ListeSuivie, TriCroissant);
    } else {
        prepare();
        fermeTrou();
        // The sort leaves a list already in that order untouched.
        if (!estTrie(TriCroissant)) {
            TriRapideTableau(stockage_, 0, nb_ - 1, TriCroissant);
            changeContenu();
        }
        connuCroissant_ = TriCroissant || nb_ <= 1;
        connuDecroissant_ = !TriCroissant || nb_ <= 1;
    }
    prepare();
    fermeTrou();
    const qint32 n = nb_;
    if (n <= 1)
        return;
    // An element goes when it equals the last one kept; the followed list loses
    // the entries of the same original indices (those it has).
    std::vector<char> garde(static_cast<size_t>(n), 1);
    qint32 precedent = 0;
    qint32 w = 1;
    for (qint32 k = 1; k < n; ++k) {
        if (stockage_[size_t(k)] != stockage_[size_t(precedent)]) {
            if (w != k)
                stockage_[size_t(w)] = std::move(stockage_[size_t(k)]);
            precedent = w++;
        } else {
            garde[size_t(k)] = 0;
        }
    }
    if (w == n)
        return;
    stockage_.resize(size_t(w));
    nb_ = w;
    changeContenu();
    if (ListeSuivie) {
        ListeAuto& s = *ListeSuivie;
        s.prepare();
        s.fermeTrou();
        const qint32 m = s.nb_;
        qint32 ws = 0;
        for (qint32 k = 0; k < m; ++k) {
            if (k < n && !garde[size_t(k)])
                continue;
            if (ws != k)
                s.stockage_[size_t(ws)] = std::move(s.stockage_[size_t(k)]);
            ++ws;
        }
        s.stockage_.resize(size_t(ws));
        s.nb_ = ws;
        s.changeContenu();
    }
}

qint32 ListeAuto::NbElementsListe() const { return nb_; }

void ListeAuto::triRapidePlage(qint32 bas, qint32 haut, bool croissant, ListeAuto* suivie) {
    if (haut <= bas)
        return;
    std::vector<QString> cles;
    cles.reserve(size_t(haut - bas + 1));
    for (qint32 k = bas; k <= haut; ++k)
        cles.push_back(stockage_[size_t(k)].toLower());
    auto permute = [this, suivie](qint32 i, qint32 j) {
        std::swap(stockage_[size_t(i)], stockage_[size_t(j)]);
        if (suivie)
            suivie->PermuteElements(i, j);
    };
    TriExact<decltype(permute)> tri(std::move(cles), bas, croissant, permute);
    tri.trie(bas, haut);
}

void ListeAuto::TriRapide(bool TriCroissant) {
    prepare();
    fermeTrou();
    triRapidePlage(0, nb_ - 1, TriCroissant, nullptr);
    marqueDesordre();
}

void ListeAuto::TriRapideSuivi(ListeAuto& ListeSuivie, bool TriCroissant) {
    prepare();
    fermeTrou();
    ListeSuivie.prepare();
    triRapidePlage(0, nb_ - 1, TriCroissant, &ListeSuivie);
    marqueDesordre();
}

QStringList ListeAuto::Elements() const {
    prepare();
    QStringList liste;
    liste.reserve(nb_);
    for (qint32 k = 0; k < nb_; ++k)
        liste.append(element(k));
    return liste;
}
