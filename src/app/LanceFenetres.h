// The program with its windows: the main window of the service named on the
// command line, until it closes.
#pragma once

// Returns the exit status.
int LanceFenetres(int argc, char** argv);
