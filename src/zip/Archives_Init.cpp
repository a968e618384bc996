// The process-wide archive state.
#include "zip/Archives_Init.h"

EtatArchive ArchiveZip;

void ReinitialiseArchive() { ArchiveZip = EtatArchive(); }
