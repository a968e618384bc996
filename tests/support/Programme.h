// What the window tests share: a program folder for the main window, and nginx.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/frmPrincipal.h"
#include "support/Outils.h"
#include "support/ServeursReels.h"

// Makes `app` a program folder with `parametres` as the service's file; returns that file's path.
inline QString PrepareProgramme(const QTemporaryDir& app, const QByteArray& parametres) {
    QFile::copy(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"),
                app.filePath("Ramag-ListeOptions.dat"));
    frmPrincipal::DefinitCheminVerrou(app.filePath("verrou"));
    EcritFichier(app.filePath("service.txt"), parametres);
    return app.filePath("service.txt");
}
