// A download run's view recording what the windows would show; lines count as shown once
// published (Publie), and `montrees` holds what was shown at each pause or server's wait.
#pragma once

#include <QStringList>
#include <functional>
#include <vector>

#include "download/MoteurTelechargement.h"

struct VueEnregistreuse final : VueTelechargement {
    void DebutRun() override {
        ++debuts;
        debutRun = int(lignes.size()); // the windows empty the report: its lines count from here
    }
    void DebutFichier(int k, int n) override { fichiers.push_back({k, n}); }
    void AjouteLigne(const QString& texte) override {
        lignes << texte;
        raisons << QString();
    }
    void RemplaceDerniereLigne(const QString& texte, const QString& raison) override {
        if (lignes.isEmpty())
            AjouteLigne(texte);
        lignes.last() = texte;
        raisons.last() = raison;
    }
    void Publie() override { publiees = int(lignes.size()); }
    void RemplaceLigne(int ligne, const QString& texte, const QString& raison) override {
        ligne += debutRun;
        if (ligne >= 0 && ligne < lignes.size()) {
            lignes[ligne] = texte;
            raisons[ligne] = raison;
        }
    }
    SurfaceJauge* Jauge() override { return nullptr; }
    void RangeeTelechargee(int rangee) override { rangees.push_back(rangee); }
    void Pause(int secondes) override { Attente(pauses, secondes); }
    void AttenteServeur(int secondes) override { Attente(attentes, secondes); }
    void Attente(std::vector<int>& liste, int secondes) {
        liste.push_back(secondes);
        montrees << lignes.mid(0, publiees).join('|');
        if (surPause)
            surPause(secondes);
    }
    void FinRun() override { ++fins; }
    void ListeRecrite(const std::vector<qint32>& nouvelIndice) override { renumerotation = nouvelIndice; }
    void ListePerdue() override { perdue = true; }

    int debuts = 0, fins = 0, debutRun = 0;
    std::vector<std::pair<int, int>> fichiers;
    QStringList lignes, raisons;
    int publiees = 0;    // lines shown
    QStringList montrees; // the lines shown at each pause or wait, joined by "|"
    std::vector<int> rangees, pauses, attentes; // attentes: those the server asked for
    std::vector<qint32> renumerotation;
    bool perdue = false;
    std::function<void(int)> surPause;
};
