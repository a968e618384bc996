// Process-wide flags shared by the windows and the long operations. They are
// only touched from the user-interface thread, between turns of the event loop.
#pragma once

// True once the user has confirmed a stop request (report or pause window).
extern bool ArretDemande;
// Seconds left in the current pause between downloads.
extern int TempsPauseRestant;
