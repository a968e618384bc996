// Options list and parameter file readers.
//
// Parameter file:  NAME=VALUE per line, nothing trimmed, no comments.
// Options list:    "x" or "-" + label + "[" TYPE "]" ... "[" VARIABLE "]" ...
//                  any other line (an empty one too) is a section heading.
#include "config/Fonctions_Parametres.h"

#include <QStringList>

#include "config/Fonctions_Variables.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Texte.h"

namespace {

void Erreur(const QString& texte) { MsgBox(texte, IconeMessage::Critique); }

// The text between the first "[" and the first "]" of `texte`; false when either
// is missing or the "]" comes first. `apres` receives what follows the "]".
bool EntreCrochets(const QString& texte, QString& dedans, QString& apres) {
    const qsizetype ouvre = texte.indexOf(QLatin1Char('['));
    const qsizetype ferme = texte.indexOf(QLatin1Char(']'));
    if (ouvre < 0 || ferme < 0 || ferme < ouvre)
        return false;
    dedans = texte.mid(ouvre + 1, ferme - ouvre - 1);
    apres = texte.mid(ferme + 1);
    return true;
}

// The download's values read just now that make no sense: told, and
// emptied so that the default applies (and nothing is told again at the run).
void VerifieReglagesTransfert(TableVariables& table, int numeroListe, bool enVol, bool debit) {
    const QString nomEnVol = QStringLiteral("TRANSFERTS_SIMULTANES"), nomDebit = QStringLiteral("DEBIT_MAX");
    if (enVol) {
        const QString texte = table.Lit(nomEnVol).trimmed();
        if (!texte.isEmpty() && !TransfertsSimultanes(texte)) {
            const auto oui = [&](const QString& nom) { return table.Existe(nom, numeroListe) && table.Oui(nom); };
            const bool pauses = oui(QStringLiteral("PAUSE_SELON_TAILLE")) ||
                                oui(QStringLiteral("PAUSE_ENTRE_CHAQUE_TELECHARGEMENT"));
            MsgBox(QStringLiteral("La variable TRANSFERTS_SIMULTANES doit être un nombre de fichiers de 1 à %1 : "
                                  "« %2 » ne convient pas, %3 est pris.")
                       .arg(TransfertsMax)
                       .arg(texte)
                       .arg(pauses ? 1 : TransfertsParDefaut),
                   IconeMessage::Exclamation);
            table.Affecte(nomEnVol, QString());
        }
    }
    if (debit) {
        const QString texte = table.Lit(nomDebit).trimmed();
        if (!texte.isEmpty() && !DebitMaxOctets(texte)) {
            MsgBox(QStringLiteral("La variable DEBIT_MAX doit être un débit en Kio/s de 1 à %1 : « %2 » ne "
                                  "convient pas, le débit n'est pas limité.")
                       .arg(qint64(DebitMaxKio))
                       .arg(texte),
                   IconeMessage::Exclamation);
            table.Affecte(nomDebit, QString());
        }
    }
}

} // namespace

std::optional<int> TransfertsSimultanes(const QString& texte) {
    bool nombre = false;
    const int n = texte.trimmed().toInt(&nombre);
    return nombre && n >= 1 && n <= TransfertsMax ? std::optional<int>(n) : std::nullopt;
}

std::optional<qint64> DebitMaxOctets(const QString& texte) {
    bool nombre = false;
    const double kio = texte.trimmed().toDouble(&nombre);
    return nombre && kio >= 1 && kio <= DebitMaxKio ? std::optional<qint64>(qint64(kio * 1024)) : std::nullopt;
}

void LitFichierParametres(const QString& chemin, int numeroListe) {
    QStringList lignes;
    if (LitLignesFichier(chemin, lignes))
        LitParametres(VariablesService(), lignes, numeroListe, chemin);
}

void LitParametres(TableVariables& table, const QStringList& lignes, int numeroListe, const QString& nom,
                   const QSet<QString>& refusees, QStringList* ignorees) {
    bool enVol = false, debit = false; // set by this reading
    for (const QString& ligne : lignes) {
        if (ligne.isEmpty())
            continue;
        const qsizetype egal = ligne.indexOf(QLatin1Char('='));
        if (egal < 0) {
            Erreur(QStringLiteral("Une variable n'a pas été affectée dans le fichier ") + nom +
                   QStringLiteral("."));
            break;
        }
        const QString variable = ligne.left(egal);
        if (!table.Existe(variable, numeroListe)) {
            Erreur(QStringLiteral("Variable inconnue : ") + variable);
            break;
        }
        if (refusees.contains(variable)) {
            if (ignorees && !ignorees->contains(variable))
                ignorees->append(variable);
            continue;
        }
        table.Affecte(variable, ligne.mid(egal + 1));
        enVol = enVol || variable == QLatin1String("TRANSFERTS_SIMULTANES");
        debit = debit || variable == QLatin1String("DEBIT_MAX");
    }
    VerifieReglagesTransfert(table, numeroListe, enVol, debit);
}

void ChargeListeOptions(const QString& chemin, int numeroListe, ArbreOptions* arbre,
                        bool effacer) {
    if (effacer) {
        EffaceVariables(0);
        if (arbre)
            arbre->Efface();
    }
    int compteurSections = 0;
    QString cleSection;
    QStringList lignes;
    if (!LitLignesFichier(chemin, lignes))
        return;
    for (const QString& ligne : lignes) {
        const QChar premier = ligne.isEmpty() ? QChar() : ligne[0];
        if (premier != QLatin1Char('x') && premier != QLatin1Char('-')) {
            ++compteurSections;
            cleSection = QStringLiteral("P") + FormateNombre(numeroListe) + QStringLiteral("-") +
                         FormateNombre(compteurSections);
            if (arbre)
                arbre->AjouteNoeud(QString(), cleSection, ligne, false);
            continue;
        }
        const QString cleOption = QStringLiteral("O-") + FormateNombre(NombreVariables() + 1);
        QString type;
        QString reste;
        if (!EntreCrochets(ligne, type, reste)) {
            Erreur(QStringLiteral("L'option ") + ligne + QStringLiteral(" n'a pas de type."));
            return;
        }
        if (type != QLatin1String("TXT") && type != QLatin1String("O/N") &&
            type != QLatin1String("NUM") && type != QLatin1String("FONCTION")) {
            Erreur(QStringLiteral("L'option ") + ligne + QStringLiteral(" utilise un type non géré"));
            return;
        }
        const QString libelle = ligne.mid(1, ligne.indexOf(QLatin1Char('[')) - 1);
        QString variable;
        QString inutile;
        if (!EntreCrochets(reste, variable, inutile)) {
            Erreur(QStringLiteral("L'option ") + reste + QStringLiteral(" n'a pas de variable."));
            return;
        }
        if (premier == QLatin1Char('-')) {
            if (cleSection.isEmpty()) {
                Erreur(QStringLiteral("L'option ") + reste + QStringLiteral(" n'a pas de parent."));
                return;
            }
            if (arbre)
                arbre->AjouteNoeud(cleSection, cleOption, libelle,
                                   type == QLatin1String("FONCTION"));
        }
        if (!DefinitVariable(variable, type, QString(), numeroListe))
            return;
    }
}
