// Process-wide flags shared by the windows and the long operations. They are
// only touched from the user-interface thread, between turns of the event loop.
#pragma once

// True once the user has confirmed a stop request (report or pause window).
extern bool ArretDemande;
// Seconds left in the current pause between downloads.
extern int TempsPauseRestant;

// A stop, whoever asks for it (a stop button, the main window's close, a
// signal): raises ArretDemande and wakes the event loop, so that a wait in
// progress (a pause, a server's wait, a wait between tries) sees it at its
// next turn, now, rather than at the end of its current slice.
void DemandeArret();
