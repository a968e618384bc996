// The output of a fetch: its work file, written by a thread of its own, with
// the fetch's bounds (size, free space) checked before any byte reaches it,
// and a digest computed on the way.
#pragma once

#include <algorithm>

#include <QFileInfo>
#include <QIODevice>
#include <QString>

#include "net/EspaceLibre.h"
#include "net/FichierEnFond.h"
#include "net/Fonctions_Internet_INET.h"

namespace DetailTransfert {

// Why a fetch broke its bounds, for the user.
QString RaisonTaille(qint64 tailleMax);
QString RaisonEspace(qint64 espaceLibreMin);

// A digest computed on the way: SHA-256 of a file the list gives the digest of.
struct Hachage {
    const EVP_MD* algorithme = nullptr; // none
};

// The work file of a fetch, with the fetch's bounds checked before any byte
// reaches it, on both receive paths. A write that would break a bound fails
// and says why in `raison`; the fetch then drops the file.
class SortieBornee final : public QIODevice {
public:
    // `attendu`: the bytes the fetch expects, -1 when unknown.
    SortieBornee(const QString& temporaire, const BornesTransfert& bornes, double attendu)
        : fichier(temporaire), chemin(temporaire), bornes_(bornes), dossier_(QFileInfo(temporaire).absolutePath()),
          attendu_(attendu) {}

    // The bytes the GET's own response announces, once known: the
    // free-space steps follow it, and a length that breaks a bound fails the
    // fetch now rather than once the disk holds it.
    bool Annonce(double longueur) {
        attendu_ = longueur;
        if (bornes_.tailleMax >= 0 && longueur > double(bornes_.tailleMax)) {
            Refuse(RaisonTaille(bornes_.tailleMax));
            return false;
        }
        if (bornes_.espaceLibreMin >= 0) {
            const qint64 libre = EspaceLibre(dossier_);
            if (libre >= 0 && double(libre - fichier.EnAttente()) - (longueur - double(ecrits_)) <
                                  double(bornes_.espaceLibreMin)) {
                Refuse(RaisonEspace(bornes_.espaceLibreMin));
                return false;
            }
        }
        return true;
    }

    bool Ouvre(bool ajout = false) {
        if (empreinte.algorithme)
            fichier.CalculeEmpreinte(empreinte.algorithme);
        if (!fichier.Ouvre(ajout))
            return false;
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        return true;
    }

    FichierEnFond fichier;
    const QString chemin;
    QString raison;
    Hachage empreinte; // computed on the way

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* donnees, qint64 taille) override {
        if (!raison.isEmpty())
            return -1;
        if (bornes_.tailleMax >= 0 && ecrits_ + taille > bornes_.tailleMax)
            return Refuse(RaisonTaille(bornes_.tailleMax));
        if (bornes_.espaceLibreMin >= 0 && ecrits_ + taille > controleJusqua_) {
            // Asked every few megabytes, for the next few: what is still on
            // its way to the disk counts as taken already.
            qint64 pas = std::max(taille, PasEspace);
            if (attendu_ >= 0)
                pas = std::max(taille, std::min(pas, qint64(attendu_) - ecrits_));
            const qint64 libre = EspaceLibre(dossier_);
            if (libre >= 0 && libre - fichier.EnAttente() - pas < bornes_.espaceLibreMin)
                return Refuse(RaisonEspace(bornes_.espaceLibreMin));
            controleJusqua_ = ecrits_ + pas;
        }
        const qint64 ecrit = fichier.write(donnees, taille);
        if (ecrit > 0)
            ecrits_ += ecrit;
        return ecrit;
    }

private:
    static constexpr qint64 PasEspace = 2 * 1024 * 1024;

    qint64 Refuse(const QString& pourquoi) {
        raison = pourquoi;
        setErrorString(pourquoi);
        return -1;
    }

    const BornesTransfert bornes_;
    const QString dossier_;
    double attendu_;
    qint64 ecrits_ = 0;
    qint64 controleJusqua_ = 0; // bytes up to which the free space was checked
};

} // namespace DetailTransfert
