#include "download/JaugeWidget.h"

#include <QPainter>
#include <QStyleOption>
#include <QTimer>
#include <utility>

JaugeWidget::JaugeWidget(QWidget* parent) : QWidget(parent), couleur_(0x2F, 0x6F, 0xB5) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(fontMetrics().height() + 8);
}

QSize JaugeWidget::sizeHint() const { return {300, fontMetrics().height() + 10}; }

void JaugeWidget::MontreSurface(bool visible) {
    if (visible || !masquageDiffere_) {
        aMasquer_ = false;
        setVisible(visible);
        return;
    }
    if (aMasquer_ || isHidden())
        return;
    aMasquer_ = true;
    QTimer::singleShot(0, this, [this] {
        if (std::exchange(aMasquer_, false))
            hide();
    });
}

void JaugeWidget::DessineSurface(int pourcentage, const QString& legende) {
    pourcentage_ = pourcentage;
    legende_ = legende;
    ++dessins_;
    update();
}

void JaugeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect cadre = rect();
    p.fillRect(cadre, palette().base());
    if (pourcentage_ > 0) {
        // Over 100 % the bar is simply clipped to the widget.
        const int largeur = int(qint64(pourcentage_) * cadre.width() / 100);
        p.fillRect(QRect(0, 0, std::min(largeur, cadre.width()), cadre.height()), couleur_);
        if (!legende_.isEmpty()) {
            // White over the bar, the text colour beside it, so the caption reads
            // wherever the bar ends.
            const QRect barre(0, 0, std::min(largeur, cadre.width()), cadre.height());
            p.setClipRect(barre);
            p.setPen(Qt::white);
            p.drawText(cadre, Qt::AlignCenter, legende_);
            p.setClipRegion(QRegion(cadre).subtracted(barre));
            p.setPen(palette().color(QPalette::Text));
            p.drawText(cadre, Qt::AlignCenter, legende_);
            p.setClipping(false);
        }
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(cadre.adjusted(0, 0, -1, -1));
}
