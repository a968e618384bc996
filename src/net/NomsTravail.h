// The work file of a fetch: made in the hidden folder of work files beside
// its destination under a name no one can foresee, and put in the
// destination's place at the end.
#pragma once

#include <QString>

namespace DetailTransfert {

// A work file that cannot be resumed, held for as long as this object lives:
// on systems that lock files, a lock on it tells the cleanup of a later run
// (or of another program) that its fetch is still alive. One left by a
// program that was killed is removed by the next fetch into the same folder.
class FichierNonRepris {
public:
    FichierNonRepris() = default;
    ~FichierNonRepris() { Libere(); }
    FichierNonRepris(const FichierNonRepris&) = delete;
    FichierNonRepris& operator=(const FichierNonRepris&) = delete;

    // Creates an empty work file for `destination` in the folder of work
    // files beside it (on the destination's file system, so that the final
    // rename stays one step); false when the folder does not take it.
    bool Cree(const QString& destination);
    const QString& Chemin() const { return chemin_; }
    // The file is in the folder of work files (which then exists).
    bool DansDossier() const { return !chemin_.isEmpty() && !dossier_.isEmpty(); }
    // Lets the file go (renamed into place, or removed by the caller): the
    // lock dropped, the folder of work files removed when nothing else is
    // in it.
    void Libere();

private:
    QString chemin_, dossier_;
    int verrou_ = -1;
};

// Puts the work file in the destination's place (replacing an older file).
bool RemplaceDestination(const QString& temporaire, const QString& destination);

} // namespace DetailTransfert
