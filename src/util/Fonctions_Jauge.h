// Progress gauge: a bar filled from the left in proportion to a percentage,
// with a caption centred on it, redrawn only when the percentage changes.
#pragma once

#include <memory>

#include <QString>

// What the gauge is drawn on. The windows give a widget; tests give a recorder.
class SurfaceJauge {
public:
    SurfaceJauge() = default;
    SurfaceJauge(const SurfaceJauge&) = delete;
    SurfaceJauge& operator=(const SurfaceJauge&) = delete;
    virtual ~SurfaceJauge() { *vivante_ = false; }

    // False once the surface is destroyed: a long operation that was given it
    // checks this after each turn of the event loop.
    std::shared_ptr<const bool> Vie() const { return vivante_; }

    virtual void MontreSurface(bool visible) = 0;
    // Clears the surface, then draws the bar for `pourcentage` (none at 0) and,
    // when not empty, the caption centred on it.
    virtual void DessineSurface(int pourcentage, const QString& legende) = 0;
    // The bytes behind the percentage drawn next: `recus` of `total`, for a
    // view that says them in its own words (told before DessineSurface, only
    // by the progress of a transfer).
    virtual void Octets(double /*recus*/, double /*total*/) {}

    // Decimal text of the percentage drawn last.
    QString Tag;

private:
    std::shared_ptr<bool> vivante_ = std::make_shared<bool>(true);
};

void InitialiseJauge(SurfaceJauge& jauge);
void AfficheJauge(SurfaceJauge& jauge, int pourcentage, const QString& legende);
void MasqueJauge(SurfaceJauge& jauge);
