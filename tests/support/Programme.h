// What the window tests share: a program folder ready for the main window's
// start-up (and the suite served by nginx, from ServeursReels.h).
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/frmPrincipal.h"
#include "support/Outils.h"
#include "support/ServeursReels.h"

// Makes `app` a program folder (the options file, a lock of its own), writes
// `parametres` there as the service's parameter file and returns its path.
inline QString PrepareProgramme(const QTemporaryDir& app, const QByteArray& parametres) {
    QFile::copy(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"),
                app.filePath("Ramag-ListeOptions.dat"));
    frmPrincipal::DefinitCheminVerrou(app.filePath("verrou"));
    EcritFichier(app.filePath("service.txt"), parametres);
    return app.filePath("service.txt");
}
