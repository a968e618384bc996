#include "support/EnregistreurMessages.h"

EnregistreurMessages::EnregistreurMessages() : precedent_(InstalleGestionnaireMessages(this)) {}

EnregistreurMessages::~EnregistreurMessages() { InstalleGestionnaireMessages(precedent_); }

ReponseMessage EnregistreurMessages::Affiche(const QString& texte, IconeMessage icone,
                                             BoutonsMessage boutons, const QString& titre) {
    messages.push_back({texte, icone, boutons, titre});
    if (boutons == BoutonsMessage::Ok)
        return ReponseMessage::Ok;
    if (reponses.empty())
        return ReponseMessage::Non;
    const ReponseMessage r = reponses.front();
    reponses.pop_front();
    return r;
}

bool EnregistreurMessages::Demande(const QString& invite, const QString&, QString& reponse) {
    questions.append(invite);
    if (saisies.empty()) {
        reponse.clear();
        return false;
    }
    reponse = saisies.front();
    saisies.pop_front();
    return true;
}

QStringList EnregistreurMessages::Textes() const {
    QStringList textes;
    for (const MessageVu& m : messages)
        textes.append(m.texte);
    return textes;
}
