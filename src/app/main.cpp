// Le Ramaglin: entry point.
#include <QApplication>
#include <QLabel>

#include "app/MessagesFenetre.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    MessagesFenetre messages;
    InstalleGestionnaireMessages(&messages);
    QLabel fenetre(QStringLiteral("Le Ramaglin"));
    fenetre.setWindowTitle(TitreApplication);
    fenetre.show();
    return app.exec();
}
