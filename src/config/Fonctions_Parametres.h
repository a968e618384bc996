// The options list that declares the settings, and the parameter file that
// gives them values.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

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
// not applied: its name goes, once, to `ignorees`. A TRANSFERTS_SIMULTANES or
// DEBIT_MAX read here that makes no sense is told then, once, and emptied:
// the download takes its default.
void LitParametres(TableVariables& table, const QStringList& lignes, int numeroListe, const QString& nom,
                   const QSet<QString>& refusees = {}, QStringList* ignorees = nullptr);

// Files in flight at most during a download: TRANSFERTS_SIMULTANES (1 to
// TransfertsMax), else TransfertsParDefaut, or 1 when the service declares
// pauses (it wants one file at a time).
constexpr int TransfertsParDefaut = 4;
constexpr int TransfertsMax = 16;
// TRANSFERTS_SIMULTANES, and DEBIT_MAX (Kio/s, 1 to DebitMaxKio) in bytes per
// second, from their text: none when it is empty or makes no sense.
constexpr double DebitMaxKio = 1e9;
std::optional<int> TransfertsSimultanes(const QString& texte);
std::optional<qint64> DebitMaxOctets(const QString& texte);

void ChargeListeOptions(const QString& chemin, int numeroListe, ArbreOptions* arbre,
                        bool effacer);
