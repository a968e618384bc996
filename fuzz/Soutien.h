// What the fuzz targets share: a message handler that answers every box at
// once, and writing the input to a file for the readers that take a path.
#pragma once

#include <QByteArray>
#include <QFile>

#include "util/Fonctions_Messages.h"

class Muet final : public GestionnaireMessages {
public:
    ReponseMessage Affiche(const QString&, IconeMessage, BoutonsMessage, const QString&) override {
        return ReponseMessage::Ok;
    }
    bool Demande(const QString&, const QString&, QString& reponse) override {
        reponse = QStringLiteral("secret");
        return true;
    }
    static void Installe() {
        static Muet muet;
        static const bool fait = (InstalleGestionnaireMessages(&muet), true);
        (void)fait;
    }
};

inline bool EcritOctets(const QString& chemin, const QByteArray& octets) {
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(octets) == octets.size();
}
