// Waiting on the user-interface thread without freezing it. Every wait of the
// transfer layer (for data, for the end of a request, for the disk) goes
// through these two, so that they all serve the event loop the same way.
#pragma once

// Serves the event loop until the next event (data, the end of a request, a
// click) or for at most `delaiMs` milliseconds, without spinning.
void PatienteUnPeu(int delaiMs = 20);

// Lets the event loop turn when it has not for a few milliseconds. Receiving
// loops call it after every block: a turn per kilobyte would cost more than
// the transfer itself on a fast link, and a few milliseconds are far below
// what the eye or the hand notices, so the window stays as responsive.
void CedeDeTempsEnTemps();
