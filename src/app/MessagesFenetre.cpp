// The only place that creates message boxes and input dialogs.
#include "app/MessagesFenetre.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

ReponseMessage MessagesFenetre::Affiche(const QString& texte, IconeMessage icone,
                                        BoutonsMessage boutons, const QString& titre) {
    QMessageBox boite(QApplication::activeWindow());
    boite.setWindowTitle(titre);
    boite.setText(texte);
    switch (icone) {
    case IconeMessage::Aucune: boite.setIcon(QMessageBox::NoIcon); break;
    case IconeMessage::Critique: boite.setIcon(QMessageBox::Critical); break;
    case IconeMessage::Exclamation: boite.setIcon(QMessageBox::Warning); break;
    case IconeMessage::Information: boite.setIcon(QMessageBox::Information); break;
    case IconeMessage::Question: boite.setIcon(QMessageBox::Question); break;
    }
    if (boutons == BoutonsMessage::OuiNon) {
        boite.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        boite.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
        boite.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
        return boite.exec() == QMessageBox::Yes ? ReponseMessage::Oui : ReponseMessage::Non;
    }
    boite.setStandardButtons(QMessageBox::Ok);
    boite.exec();
    return ReponseMessage::Ok;
}

bool MessagesFenetre::Demande(const QString& invite, const QString& titre, QString& reponse) {
    bool ok = false;
    reponse = QInputDialog::getText(QApplication::activeWindow(), titre, invite,
                                    QLineEdit::Normal, QString(), &ok);
    if (!ok)
        reponse.clear();
    return ok;
}
