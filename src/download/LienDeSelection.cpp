// Download through a link page.
#include "app/frmPrincipal.h"

bool frmPrincipal::RetelechargeLienDeSelection(QString page, QString dossier) {
    (void)page;
    (void)dossier;
    return false;
}
