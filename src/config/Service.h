// Loading a service: the options list beside the program declares the
// variables, the service's parameter file gives them their values.
#pragma once

#include <QString>

// `cheminApplication` ends with a separator. Shows the message and returns
// false when the parameter file is not given or does not exist. Deletes the
// parameter file afterwards when it says so (FICHIER_CONFIG_SUPPR), and makes
// REP_TMP end with a separator.
bool ChargeService(const QString& cheminApplication, const QString& fichierParametres);
