// The report window of a download run.
#include "download/frmRapport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "download/JaugeWidget.h"
#include "download/ModeleRapport.h"
#include "util/Fonctions_Messages.h"
#include "util/Arret.h"

frmRapport::frmRapport(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmRapport"));
    setWindowTitle(QStringLiteral("Rapport de téléchargement"));
    // Closing it never ends the program: during a pause no other window is
    // in sight, and only the main window's close may end it.
    setAttribute(Qt::WA_QuitOnClose, false);

    Lignes = new ModeleRapport(this);
    List1 = new QListView;
    List1->setModel(Lignes);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setUniformItemSizes(true);
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copier = new QAction(QStringLiteral("Copier le rapport"), List1);
    copier->setShortcut(QKeySequence::Copy);
    copier->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copier, &QAction::triggered, this, &frmRapport::CopieLignes);
    List1->addAction(copier);

    Jauge = new JaugeWidget;
    Jauge->setObjectName(QStringLiteral("Jauge"));
    Jauge->setVisible(false);
    // Its place stays when it is hidden after each file: the list keeps its
    // size instead of being laid out and drawn again twice per file.
    QSizePolicy tenue = Jauge->sizePolicy();
    tenue.setRetainSizeWhenHidden(true);
    Jauge->setSizePolicy(tenue);
    Jauge->MasqueAuProchainTour();

    lblProgression = new QLabel;
    lblProgression->setObjectName(QStringLiteral("lblProgression"));
    // Its line is kept when empty, so that the list does not move as files
    // begin and end; a long text is cut rather than widen the window.
    lblProgression->setMinimumHeight(lblProgression->fontMetrics().height());
    lblProgression->setMinimumWidth(1);
    lblProgression->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    ArretTelechargement = new QPushButton(QStringLiteral("Stop !"));
    ArretTelechargement->setObjectName(QStringLiteral("ArretTelechargement"));
    ArretTelechargement->setEnabled(false);
    connect(ArretTelechargement, &QPushButton::clicked, this, &frmRapport::ArretTelechargement_Click);

    auto* v = new QVBoxLayout(this);
    v->addWidget(List1, 1);
    v->addWidget(Jauge);
    v->addWidget(lblProgression);
    auto* bas = new QHBoxLayout;
    bas->addStretch(1);
    bas->addWidget(ArretTelechargement);
    v->addLayout(bas);
    resize(420, 300);

    suivi_ = new QTimer(this);
    suivi_->setSingleShot(true);
    connect(suivi_, &QTimer::timeout, this, &frmRapport::MontreDerniereLigne);
    suiviProgression_ = new QTimer(this);
    suiviProgression_->setSingleShot(true);
    connect(suiviProgression_, &QTimer::timeout, this, &frmRapport::AfficheProgression);
}

namespace {

constexpr int IntervalleSuivi = 100; // milliseconds, as the windows are drawn during a run

} // namespace

void frmRapport::Vide() {
    suivi_->stop();
    Lignes->Vide();
}

void frmRapport::AjouteLigne(const QString& texte) {
    Lignes->AjouteLigne(texte);
    if (suivi_->isActive())
        return; // brought into view with the lines before it
    if (!dernierSuivi_.isValid() || dernierSuivi_.elapsed() >= IntervalleSuivi)
        MontreDerniereLigne();
    else
        suivi_->start(int(IntervalleSuivi - dernierSuivi_.elapsed()));
}

void frmRapport::MontreDerniereLigne() {
    suivi_->stop();
    dernierSuivi_.start();
    Lignes->Publie();
    if (suiviProgression_->isActive())
        AfficheProgression();
    if (Lignes->Nombre() == 0)
        return;
    List1->selectionModel()->setCurrentIndex(Lignes->index(Lignes->Nombre() - 1),
                                             QItemSelectionModel::ClearAndSelect);
    List1->scrollToBottom();
}

void frmRapport::RemplaceDerniereLigne(const QString& texte, const QString& raison) {
    if (Lignes->Nombre() == 0)
        AjouteLigne(texte);
    Lignes->RemplaceDerniereLigne(texte, raison);
}

void frmRapport::RemplaceLigne(int i, const QString& texte, const QString& raison) {
    Lignes->RemplaceLigne(i, texte, raison);
}

QString frmRapport::TexteDesLignes() const { return Lignes->TexteDesLignes(); }

void frmRapport::CopieLignes() const { QApplication::clipboard()->setText(TexteDesLignes()); }

void frmRapport::ArretTelechargement_Click() {
    if (MsgBox(QStringLiteral("Êtes-vous sûr de vouloir interrompre le téléchargement (le fichier "
                              "commencé ne sera pas conservé) ?"),
               IconeMessage::Question, BoutonsMessage::OuiNon) != ReponseMessage::Oui)
        return;
    ArretTelechargement->setEnabled(false);
    if (arret_)
        arret_->Demande();
}

void frmRapport::MontreProgression(const QString& texte) {
    progression_ = texte;
    if (texte.isEmpty() || (!suiviProgression_->isActive() && (!dernierProgression_.isValid() ||
                                                               dernierProgression_.elapsed() >= IntervalleSuivi)))
        AfficheProgression();
    else if (!suiviProgression_->isActive()) // else shown with the texts before it
        suiviProgression_->start(int(IntervalleSuivi - dernierProgression_.elapsed()));
}

void frmRapport::AfficheProgression() {
    suiviProgression_->stop();
    dernierProgression_.start();
    const QString& texte = progression_;
    const int largeur = lblProgression->contentsRect().width();
    const QString montre = lblProgression->fontMetrics().elidedText(texte, Qt::ElideRight, largeur);
    lblProgression->setText(montre);
    lblProgression->setToolTip(montre == texte ? QString() : texte);
}

void frmRapport::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (suiviProgression_)
        AfficheProgression();
}

void frmRapport::closeEvent(QCloseEvent* event) {
    // During a run the close button is the stop button; after it the window
    // only goes out of sight, its lines kept.
    if (EnCours) {
        event->ignore();
        if (ArretTelechargement->isEnabled())
            ArretTelechargement_Click();
        return;
    }
    event->accept();
}
