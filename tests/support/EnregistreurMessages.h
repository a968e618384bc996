// Records every message the program shows and answers its questions, so tests
// can check exact texts and icons without a window.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "util/Fonctions_Messages.h"

struct MessageVu {
    QString texte;
    IconeMessage icone;
    BoutonsMessage boutons;
    QString titre;
};

class EnregistreurMessages final : public GestionnaireMessages {
public:
    // Installs itself for its lifetime; the previous handler comes back after.
    EnregistreurMessages();
    ~EnregistreurMessages() override;

    ReponseMessage Affiche(const QString& texte, IconeMessage icone, BoutonsMessage boutons,
                           const QString& titre) override;
    bool Demande(const QString& invite, const QString& titre, QString& reponse) override;

    // Answers given to Yes/No questions in turn (default: No when none is queued).
    void RepondOui() { reponses.push_back(ReponseMessage::Oui); }
    void RepondNon() { reponses.push_back(ReponseMessage::Non); }
    // Texts typed into the input box in turn; when none is queued, it is cancelled.
    void Saisit(const QString& texte) { saisies.push_back(texte); }

    QStringList Textes() const;
    void Vide() { messages.clear(); questions.clear(); }

    std::vector<MessageVu> messages;
    QStringList questions; // prompts of the input box
    std::deque<ReponseMessage> reponses;
    std::deque<QString> saisies;

private:
    GestionnaireMessages* precedent_;
};
