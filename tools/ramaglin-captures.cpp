// Renders the main window's three tabs and a message box to PNG files, offscreen,
// for the documentation: ramaglin-captures DOSSIER_SORTIE FICHIER_PARAMETRE
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/JaugeWidget.h"
#include "app/frmPrincipal.h"
#include "util/Fonctions_Messages.h"

namespace {

bool Enregistre(QWidget* w, const QString& chemin) {
    QApplication::processEvents();
    const bool ok = w->grab().save(chemin);
    std::printf("%s %s\n", ok ? "capture" : "ECHEC", qPrintable(chemin));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if (argc < 3) {
        std::fprintf(stderr, "usage: ramaglin-captures DOSSIER_SORTIE FICHIER_PARAMETRE\n");
        return 2;
    }
    const QString sortie = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(sortie);

    frmPrincipal f;
    if (f.Form_Load(QLatin1Char('"') + QString::fromLocal8Bit(argv[2]) + QLatin1Char('"')) !=
        frmPrincipal::Demarrage::Afficher)
        return 1;
    f.resize(720, 480);
    f.show();
    bool ok = true;

    f.TypeConnexion[1]->setChecked(true);
    f.Onglets->setCurrentIndex(0);
    ok &= Enregistre(&f, sortie + QStringLiteral("/ecran-parametres.png"));
    f.TypeConnexion[0]->setChecked(true);

    // The search tab as it looks while a list arrives.
    f.Onglets->setCurrentIndex(1);
    InitialiseJauge(*f.Jauge);
    AfficheJauge(*f.Jauge, 42, QStringLiteral("42 % (12 Ko sur 28,57 Ko) - 6 Ko/sec"));
    ok &= Enregistre(&f, sortie + QStringLiteral("/ecran-rechercher.png"));
    MasqueJauge(*f.Jauge);

    f.cmdRecherche_Click();
    if (f.ListeSources->count() > 3) {
        f.ListeSources->item(0)->setSelected(true);
        f.ListeSources->item(2)->setSelected(true);
        f.ListeSources->item(3)->setSelected(true);
        f.InfoSelection();
    }
    ok &= Enregistre(&f, sortie + QStringLiteral("/ecran-telechargement.png"));

    QMessageBox boite(QMessageBox::Critical, TitreApplication,
                      QStringLiteral("Fichier paramètre inexistant : /home/moi/service.txt"),
                      QMessageBox::Ok, &f);
    boite.show();
    ok &= Enregistre(&boite, sortie + QStringLiteral("/ecran-message.png"));
    return ok ? 0 : 1;
}
