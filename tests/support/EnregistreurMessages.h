// Records the messages shown and answers the questions, in place of the previous handler.
#pragma once

#include <QStringList>
#include <deque>
#include <vector>

#include "util/Fonctions_Messages.h"

struct MessageVu { QString texte; IconeMessage icone; BoutonsMessage boutons; QString titre; };

class EnregistreurMessages final : public GestionnaireMessages {
public:
    EnregistreurMessages() : precedent_(InstalleGestionnaireMessages(this)) {}
    ~EnregistreurMessages() override { InstalleGestionnaireMessages(precedent_); }

    ReponseMessage Affiche(const QString& texte, IconeMessage icone, BoutonsMessage boutons,
                           const QString& titre) override {
        messages.push_back({texte, icone, boutons, titre});
        return boutons == BoutonsMessage::Ok ? ReponseMessage::Ok
                                             : Suivante(reponses, ReponseMessage::Non);
    }
    bool Demande(const QString& invite, const QString&, QString& reponse) override {
        questions.append(invite);
        return !(reponse = Suivante(saisies, QString())).isNull();
    }

    // Answers to Yes/No questions, then texts typed into the input box, in turn (none
    // queued: No, or the box cancelled).
    void RepondOui() { reponses.push_back(ReponseMessage::Oui); }
    void RepondNon() { reponses.push_back(ReponseMessage::Non); }
    void Saisit(const QString& texte) { saisies.push_back(texte.isNull() ? "" : texte); }

    QStringList Textes() const {
        QStringList textes;
        for (const MessageVu& m : messages)
            textes.append(m.texte);
        return textes;
    }
    void Vide() { messages.clear(); questions.clear(); }

    std::vector<MessageVu> messages;
    QStringList questions; // prompts of the input box
    std::deque<ReponseMessage> reponses;
    std::deque<QString> saisies;

private:
    template <typename T>
    static T Suivante(std::deque<T>& file, T sinon) {
        if (!file.empty())
            sinon = file.front(), file.pop_front();
        return sinon;
    }
    GestionnaireMessages* precedent_;
};
