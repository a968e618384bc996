#include "util/ModuleRamaglin.h"

bool ArretDemande = false;
int TempsPauseRestant = 0;
