// Loading a service's configuration.
#include "config/Service.h"

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Messages.h"

bool ChargeService(const QString& cheminApplication, const QString& fichierParametres) {
    if (fichierParametres.isEmpty()) {
        MsgBox(QStringLiteral("Fichier paramètre non précisé"), IconeMessage::Critique);
        return false;
    }
    if (!FichierExiste(fichierParametres)) {
        MsgBox(QStringLiteral("Fichier paramètre inexistant : ") + fichierParametres,
               IconeMessage::Critique);
        return false;
    }
    ChargeListeOptions(cheminApplication + QStringLiteral("Ramag-ListeOptions.dat"), 1, nullptr, true);
    LitFichierParametres(fichierParametres, 1);
    if (LitVariable(QStringLiteral("FICHIER_CONFIG_SUPPR")) == QLatin1String("O"))
        EffaceFichier(fichierParametres, false);
    const QString repTmp = LitVariable(QStringLiteral("REP_TMP"));
    if (!repTmp.endsWith(SeparateurDossier()))
        AffecteVariable(QStringLiteral("REP_TMP"), repTmp + SeparateurDossier());
    return true;
}
