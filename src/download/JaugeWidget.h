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
};
