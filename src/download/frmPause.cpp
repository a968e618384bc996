// The pause between downloads.
#include "download/frmPause.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Messages.h"
#include "util/Arret.h"

frmPause::frmPause(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmPause"));
    setWindowTitle(QStringLiteral("Pause des téléchargements"));
    // While it counts, the other windows are out of sight: closing it at 0
    // must not be taken for the program's last window closing.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* Shape1 = new QFrame;
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameShape(QFrame::StyledPanel);
    auto* Shape2 = new QFrame;
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setFrameShape(QFrame::StyledPanel);

    LabelPause = new QLabel(QStringLiteral(
        "Afin d'éviter que certains utilisateurs soient prioritaires sur les autres et "
        "emcombrent ainsi le serveur, vos téléchargements vont être momentanément mis en pause."));
    LabelPause->setObjectName(QStringLiteral("LabelPause"));
    LabelPause->setWordWrap(true);
    Label1 = new QLabel(QStringLiteral("Ils reprendront automatiquement dans :"));
    Label1->setObjectName(QStringLiteral("Label1"));
    lblTempsRestant = new QLabel(QStringLiteral("0 seconde"));
    lblTempsRestant->setObjectName(QStringLiteral("lblTempsRestant"));
    lblTempsRestant->setAlignment(Qt::AlignCenter);
    QFont grand = lblTempsRestant->font();
    grand.setBold(true);
    grand.setPointSizeF(grand.pointSizeF() * 1.6);
    lblTempsRestant->setFont(grand);
    ArretTelechargement = new QPushButton(QStringLiteral("Arrêter les téléchargements"));
    ArretTelechargement->setObjectName(QStringLiteral("ArretTelechargement"));
    connect(ArretTelechargement, &QPushButton::clicked, this, &frmPause::ArretTelechargement_Click);

    TimerPause = new QTimer(this);
    TimerPause->setObjectName(QStringLiteral("TimerPause"));
    TimerPause->setInterval(1000);
    connect(TimerPause, &QTimer::timeout, this, &frmPause::TimerPause_Timer);

    auto* haut = new QVBoxLayout(Shape1);
    haut->addWidget(LabelPause);
    auto* compte = new QVBoxLayout(Shape2);
    compte->addWidget(Label1);
    compte->addWidget(lblTempsRestant);
    auto* bas = new QHBoxLayout;
    bas->addStretch(1);
    bas->addWidget(ArretTelechargement);
    bas->addStretch(1);
    auto* v = new QVBoxLayout(this);
    v->addWidget(Shape1);
    v->addWidget(Shape2);
    v->addLayout(bas);
    setFixedWidth(420);
}

void frmPause::Form_Load() {
    charge_ = true;
    ArretTelechargement->setEnabled(true);
    AfficheTemps();
}

void frmPause::AfficheTemps() {
    if (!charge_) {
        Form_Load(); // which shows the time itself
        return;
    }
    lblTempsRestant->setText(
        Pluriel(arret_ ? int(arret_->TempsPauseRestant) : 0, QStringLiteral("# seconde"), QStringLiteral("# secondes")));
}

void frmPause::TimerPause_Timer() {
    if (arret_)
        --arret_->TempsPauseRestant;
    AfficheTemps();
    if (!arret_ || arret_->TempsPauseRestant == 0)
        Decharge();
}

void frmPause::ArretTelechargement_Click() {
    if (MsgBox(QStringLiteral("Êtes-vous sûr de vouloir interrompre le téléchargement ?"),
               IconeMessage::Question, BoutonsMessage::OuiNon) != ReponseMessage::Oui)
        return;
    if (arret_)
        arret_->Demande();
    Interrompt();
}

void frmPause::Interrompt() {
    if (!charge_)
        return;
    ArretTelechargement->setEnabled(false);
    if (arret_)
        arret_->TempsPauseRestant = 1;
    TimerPause_Timer();
}

void frmPause::Decharge() {
    TimerPause->stop();
    charge_ = false;
    dechargement_ = true;
    close();
    dechargement_ = false;
}

void frmPause::showEvent(QShowEvent* event) {
    // Counts only while shown.
    QWidget::showEvent(event);
    if (charge_)
        TimerPause->start();
}

void frmPause::closeEvent(QCloseEvent* event) {
    // The close button is the stop button: the countdown goes on if refused.
    if (!dechargement_ && charge_) {
        event->ignore();
        if (ArretTelechargement->isEnabled())
            ArretTelechargement_Click();
        return;
    }
    event->accept();
}
