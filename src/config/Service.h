// Loading a service: the options list beside the program declares the
// variables, the service's parameter file gives them their values.
#pragma once

#include <QString>
#include <functional>

// `cheminApplication` ends with a separator. Shows the message and returns
// false when the parameter file is not given or does not exist. Deletes the
// parameter file afterwards when it says so (FICHIER_CONFIG_SUPPR), and makes
// REP_TMP end with a separator. `accepte`, when given, is asked once the file
// is read and before anything is done with it (its deletion included): false
// stops there, and ChargeService returns false without a message.
bool ChargeService(const QString& cheminApplication, const QString& fichierParametres,
                   const std::function<bool()>& accepte = {});

// The temporary folder of a service: `repTmp` (the parameter file's REP_TMP)
// when it belongs to this user and no one else can write into it, or when it
// does not exist (the search says so when it needs it). Otherwise (none
// named, another user's folder, one that others can write into, such as /tmp
// itself) the program's own folder for this service,
// DossierTemporairePrive(), made for this user alone (0700) and announced
// once, when it is made.
QString ChoisitDossierTemporaire(const QString& repTmp, const QString& fichierParametres);
// $XDG_CACHE_HOME/ramaglin/<name of the parameter file>-<digest of its path>/
QString DossierTemporairePrive(const QString& fichierParametres);
