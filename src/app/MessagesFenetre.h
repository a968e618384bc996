// Message boxes and the input box drawn with Qt Widgets.
#pragma once

#include "util/Fonctions_Messages.h"

class MessagesFenetre final : public GestionnaireMessages {
public:
    ReponseMessage Affiche(const QString& texte, IconeMessage icone,
                           BoutonsMessage boutons, const QString& titre) override;
    bool Demande(const QString& invite, const QString& titre, QString& reponse) override;
};
