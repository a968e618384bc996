// Message seam: one place that shows messages and asks questions.
#include "util/Fonctions_Messages.h"

#include <cstdio>

namespace {

class MessagesConsole final : public GestionnaireMessages {
public:
    ReponseMessage Affiche(const QString& texte, IconeMessage, BoutonsMessage boutons,
                           const QString& titre) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(titre), qPrintable(texte));
        return boutons == BoutonsMessage::OuiNon ? ReponseMessage::Non : ReponseMessage::Ok;
    }
    bool Demande(const QString&, const QString&, QString& reponse) override {
        reponse.clear();
        return false;
    }
};

MessagesConsole gConsole;
GestionnaireMessages* gGestionnaire = &gConsole;

} // namespace

GestionnaireMessages* InstalleGestionnaireMessages(GestionnaireMessages* gestionnaire) {
    GestionnaireMessages* ancien = gGestionnaire;
    gGestionnaire = gestionnaire ? gestionnaire : &gConsole;
    return ancien == &gConsole ? nullptr : ancien;
}

ReponseMessage MsgBox(const QString& texte, IconeMessage icone, BoutonsMessage boutons,
                      const QString& titre) {
    return gGestionnaire->Affiche(texte, icone, boutons, titre);
}

QString InputBox(const QString& invite, const QString& titre) {
    QString reponse;
    if (!gGestionnaire->Demande(invite, titre, reponse))
        return QString();
    return reponse;
}
