// A first look at a service file: a parameter file received by mail or from a
// web page can write anywhere, open what it downloads, delete itself or start
// its search as soon as it is opened. The first time the window opens such a
// file it says what the file will do and asks once; the answer is remembered
// for that path and that content (SHA-256), so a file changed since it was
// accepted is asked about again.
//
// The accepted files are kept in the program's state folder (DossierFraicheur:
// $XDG_STATE_HOME/ramaglin), one small file per parameter file. A folder that
// cannot be written only means the question comes back every time.
#pragma once

#include <QByteArray>
#include <QString>

class TableVariables;

// The question for a service's settings, e.g. "Ce service enregistrera les
// fichiers dans /x et ouvrira le fichier téléchargé. Continuer ?"; empty
// when the file sets none of those behaviours.
QString QuestionPremierRegard(const TableVariables& service);

// Asks the question when there is one and the file at `chemin`, as `contenu`,
// was not accepted before; remembers a Yes. False when the user said No.
bool PremierRegard(const QString& chemin, const QByteArray& contenu, const TableVariables& service);
