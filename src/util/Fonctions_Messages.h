// Every message box and the one input box of the program go through here, so
// that the core never touches a widget and tests can see and answer them.
#pragma once

#include <QString>

inline const QString TitreApplication = QStringLiteral("Le Ramaglin");

enum class IconeMessage { Aucune, Critique, Exclamation, Information, Question };
enum class BoutonsMessage { Ok, OuiNon };
enum class ReponseMessage { Ok, Oui, Non };

// What shows messages: the windows install one that draws message boxes, tests
// install one that records them. Without one, messages go to standard error and
// questions are answered No (headless tools).
class GestionnaireMessages {
public:
    virtual ~GestionnaireMessages() = default;
    virtual ReponseMessage Affiche(const QString& texte, IconeMessage icone,
                                   BoutonsMessage boutons, const QString& titre) = 0;
    // Returns false when the user cancelled; the text is then left empty.
    virtual bool Demande(const QString& invite, const QString& titre, QString& reponse) = 0;
};

// Installs a handler (nullptr: back to standard error). Returns the previous one.
GestionnaireMessages* InstalleGestionnaireMessages(GestionnaireMessages* gestionnaire);

ReponseMessage MsgBox(const QString& texte, IconeMessage icone = IconeMessage::Aucune,
                      BoutonsMessage boutons = BoutonsMessage::Ok,
                      const QString& titre = TitreApplication);

// The input box: the typed text, or "" when cancelled.
QString InputBox(const QString& invite, const QString& titre = TitreApplication);
