// Progress gauge: a bar filled from the left in proportion to a percentage,
// with a caption centred on it, redrawn only when the percentage changes.
#pragma once

#include <QString>

// What the gauge is drawn on. The windows give a widget; tests give a recorder.
class SurfaceJauge {
public:
    virtual ~SurfaceJauge() = default;
    virtual void MontreSurface(bool visible) = 0;
    // Clears the surface, then draws the bar for `pourcentage` (none at 0) and,
    // when not empty, the caption centred on it.
    virtual void DessineSurface(int pourcentage, const QString& legende) = 0;

    // Decimal text of the percentage drawn last.
    QString Tag;
};

void InitialiseJauge(SurfaceJauge& jauge);
void AfficheJauge(SurfaceJauge& jauge, int pourcentage, const QString& legende);
void MasqueJauge(SurfaceJauge& jauge);
