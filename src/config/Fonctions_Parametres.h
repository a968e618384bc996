// The options list that declares the settings, and the parameter file that
// gives them values.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

class TableVariables;

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
// The same reading on lines already in memory, into `table`; `nom` names
// them in the messages. A line that sets one of the `refusees` variables is
// not applied: its name goes, once, to `ignorees`.
void LitParametres(TableVariables& table, const QStringList& lignes, int numeroListe, const QString& nom,
                   const QSet<QString>& refusees = {}, QStringList* ignorees = nullptr);
void ChargeListeOptions(const QString& chemin, int numeroListe, ArbreOptions* arbre,
                        bool effacer);
