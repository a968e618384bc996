// The work file of a fetch: made beside its destination under a name no
// one can foresee, and put in the destination's place at the end.
#pragma once

#include <QString>

namespace DetailTransfert {

// An empty work file beside `destination`; empty text when the folder does
// not take it.
QString CreeFichierTemporaire(const QString& destination);
// Puts the work file in the destination's place (replacing an older file).
bool RemplaceDestination(const QString& temporaire, const QString& destination);

} // namespace DetailTransfert
