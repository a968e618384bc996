// The name of a thread of ours, as tools show it (top -H, debuggers,
// profilers): the transfers, the file writer.
#pragma once

#ifdef __linux__
#include <pthread.h>
#endif

// Names the calling thread (15 characters at most are kept).
inline void NommeFil([[maybe_unused]] const char* nom) {
#ifdef __linux__
    pthread_setname_np(pthread_self(), nom);
#endif
}
