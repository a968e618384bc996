// Opening a downloaded file, its folder or an address the way the desktop
// would: programs are started directly (and can be waited for), documents,
// folders and addresses are handed to the desktop with a verb.
#pragma once

#include <QString>

// `fichier`: a path (possibly in double quotes, possibly followed by the
// program's parameters) or an Internet address. With `verifierExistence`, a
// missing file is reported and nothing is started. `verbe` ("open",
// "explore"; emptied for a program), `parametres` and `dossier` may be
// changed. `modeFenetre`: "1" minimized, "2" normal, "3" maximized, other:
// hidden. With `attendre`, waits for a started program to end (a document
// cannot be waited for: said, then opened). True when the launch started.
bool LanceFichier(const QString& fichier, bool verifierExistence, QString& verbe,
                  QString& parametres, QString& dossier, const QString& modeFenetre,
                  bool& attendre);
