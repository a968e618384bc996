// What the window tests share: a suite whose files nginx serves from a folder
// of its own, and a program folder ready for the main window's start-up.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/frmPrincipal.h"
#include "support/Outils.h"
#include "support/ServeursReels.h"

// One nginx per suite (`Suite` is the deriving class) serving `racine`, which
// the suite's own SetUpTestSuite may fill after calling this one.
template <typename Suite>
class SuiteNginx : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        racine = new QTemporaryDir;
        nginx = new Nginx(racine->path());
        ASSERT_TRUE(nginx->Demarre()) << nginx->Erreur().toStdString();
    }
    static void TearDownTestSuite() { delete nginx; delete racine; }
    static inline QTemporaryDir* racine = nullptr;
    static inline Nginx* nginx = nullptr;
};

// Makes `app` a program folder (the options file, a lock of its own), writes
// `parametres` there as the service's parameter file and returns its path.
inline QString PrepareProgramme(const QTemporaryDir& app, const QByteArray& parametres) {
    QFile::copy(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"),
                app.filePath("Ramag-ListeOptions.dat"));
    frmPrincipal::DefinitCheminVerrou(app.filePath("verrou"));
    EcritFichier(app.filePath("service.txt"), parametres);
    return app.filePath("service.txt");
}
