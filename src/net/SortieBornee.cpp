// The reasons a bounded output gives.
#include "net/SortieBornee.h"

#include "util/Fonctions_Math.h"

namespace DetailTransfert {

QString RaisonTaille(qint64 tailleMax) {
    return QStringLiteral("le fichier dépasse ") + FormateTaille(double(tailleMax), false);
}

QString RaisonEspace(qint64 espaceLibreMin) {
    return QStringLiteral("il resterait moins de ") + FormateTaille(double(espaceLibreMin), false) +
           QStringLiteral(" d'espace libre dans le dossier");
}

} // namespace DetailTransfert
