// The windows as the view of a download run: the report window for its lines,
// gauge and stop button, the result list for the rows that leave it, the pause
// window for the pauses.
#pragma once

#include <memory>
#include <optional>

#include "download/MoteurTelechargement.h"
#include "download/Progression.h"

class frmPrincipal;
class RetraitsDiffere;
class RepeintsEspaces;

class VueFenetres final : public VueTelechargement {
public:
    explicit VueFenetres(frmPrincipal& fenetre);
    ~VueFenetres() override;
    VueFenetres(const VueFenetres&) = delete;
    VueFenetres& operator=(const VueFenetres&) = delete;

    void DebutRun() override;
    void DebutFichier(int k, int n) override;
    void Publie() override;
    void AjouteLigne(const QString& texte) override;
    void RemplaceDerniereLigne(const QString& texte, const QString& raison) override;
    void RemplaceLigne(int ligne, const QString& texte, const QString& raison) override;
    SurfaceJauge* Jauge() override;
    void RangeeTelechargee(int rangee) override;
    void Pause(int secondes) override;
    void AttenteServeur(int secondes) override;
    void FinRun() override;
    void ListeRecrite(const std::vector<qint32>& nouvelIndice) override;
    void ListePerdue() override;

private:
    frmPrincipal& f_;
    std::unique_ptr<RetraitsDiffere> retraits_;
    std::unique_ptr<RepeintsEspaces> repeints_;
    JaugeSuivie suivi_; // the report's gauge, and its progress line
};
