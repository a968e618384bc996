// The stop of one search or one run: asked by a stop button, the main
// window's close or a signal, seen by the transfers and the waits of that
// search or run alone. Whoever owns the search or the run reaches it through
// them; nothing else can stop it.
#pragma once

#include <atomic>

class Arret final {
public:
    Arret() = default;
    Arret(const Arret&) = delete;
    Arret& operator=(const Arret&) = delete;

    // Asks for the stop and wakes the event loop, so that a wait in progress
    // (a pause, a server's wait, a wait between tries) sees it at its next
    // turn, now, rather than at the end of its current slice. A stop is
    // final: it holds until the search or the run ends.
    void Demande();
    bool Demandee() const { return demande_.load(std::memory_order_relaxed); }
    // A new run of the same engine starts without the last one's stop.
    void Efface() { demande_.store(false, std::memory_order_relaxed); }

    // Seconds left in the current pause between downloads (the pause window
    // counts them down).
    std::atomic<int> TempsPauseRestant{0};

private:
    std::atomic<bool> demande_{false};
};
