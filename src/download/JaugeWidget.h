// The progress gauge as a widget: a bar in the fill colour with a centred caption.
#pragma once

#include <QColor>
#include <QWidget>

#include "util/Fonctions_Jauge.h"

class JaugeWidget final : public QWidget, public SurfaceJauge {
    Q_OBJECT
public:
    explicit JaugeWidget(QWidget* parent = nullptr);

    void MontreSurface(bool visible) override;
    void DessineSurface(int pourcentage, const QString& legende) override;

    // Hidden at the next turn of the event loop rather than at once, unless
    // shown again meanwhile: a run of small files shows and hides the gauge
    // for each file, and each change of visibility lays the window out again,
    // while nothing is drawn between two turns anyway.
    void MasqueAuProchainTour() { masquageDiffere_ = true; }

    void setCouleurRemplissage(const QColor& c) { couleur_ = c; update(); }
    int pourcentage() const { return pourcentage_; }
    QString legende() const { return legende_; }
    // How many times the bar was cleared and drawn (each change of percentage).
    int nombreDessins() const { return dessins_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor couleur_;
    int pourcentage_ = 0;
    QString legende_;
    int dessins_ = 0;
    bool masquageDiffere_ = false;
    bool aMasquer_ = false; // a hide waits for the next turn
};
