// SIGINT and SIGTERM as events of the event loop, for the window and for the
// run without windows alike.
//
// A signal handler may do almost nothing safely: ours writes one byte to a
// pipe, and a notifier on its other end calls the program back in the event
// loop, at once, whatever the loop is waiting for (a pause, a server's wait,
// data). A flag that a timer polls would leave the stop waiting for the timer;
// a call from the handler itself could land in the middle of anything.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

class SignauxArret final {
public:
    // From now until the object goes, SIGINT and SIGTERM call `surSignal`
    // (with the signal's number) in the event loop, once. A second signal ends
    // the program at once (status 128 + its number): whoever sends it will not
    // wait for the end of the run. One object at a time.
    explicit SignauxArret(std::function<void(int)> surSignal);
    ~SignauxArret(); // the handlers from before come back
    SignauxArret(const SignauxArret&) = delete;
    SignauxArret& operator=(const SignauxArret&) = delete;

    // The signal received (0: none), from the moment it lands, before the
    // event loop has read it.
    static int Recu();

private:
    void Lit();

    std::function<void(int)> surSignal_;
    std::unique_ptr<QSocketNotifier> notificateur_;
    bool appele_ = false;
};
