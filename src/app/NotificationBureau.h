// A desktop notification at the end of a run without windows (a timer's run
// that fetched something or failed), through the session bus's notification
// service (org.freedesktop.Notifications).
#pragma once

#include <QString>

struct NotificationRun {
    QString titre;   // the summary: the service's title
    QString corps;   // "3 nouveaux fichiers", or why the run failed
    QString dossier; // offered as "Ouvrir le dossier" (empty: no action)
};

// Posts the notification when a session bus is there and says yes, from a
// process of its own (`programme` started with OptionNotification and the
// three texts): the bus library can wait far longer than a run may on a bus
// that does not answer, and gives up by ending the process. The run waits
// for that process a few seconds at most, then leaves it (it ends by
// itself) or ends it. Nothing is ever reported. False when nothing was
// posted in time.
bool NotifieBureau(const QString& programme, const NotificationRun& notification);

// The process's side: posts, says so on standard output ("1\n"), then, when
// the service offers actions, waits until the notification is closed or
// clicked, at most the time it stays on screen (10 s); a click opens the
// folder (xdg-open). Each call to the bus waits about 2 s at most. Returns the
// exit status (0: posted).
int PosteNotification(const NotificationRun& notification);

inline const char* const OptionNotification = "--notification-bureau";
