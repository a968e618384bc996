// The options list that declares the settings, and the parameter file that
// gives them values.
#pragma once

#include <QString>

// What the options list needs from a tree view that shows it (optional).
class ArbreOptions {
public:
    virtual ~ArbreOptions() = default;
    virtual void Efface() = 0;
    // `parent` empty: a top-level node.
    virtual void AjouteNoeud(const QString& parent, const QString& cle, const QString& texte,
                             bool gras) = 0;
};

void LitFichierParametres(const QString& chemin, int numeroListe);
void ChargeListeOptions(const QString& chemin, int numeroListe, ArbreOptions* arbre,
                        bool effacer);
