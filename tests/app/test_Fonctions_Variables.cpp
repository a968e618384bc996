#include <gtest/gtest.h>

#include "app/Fonctions_Variables.h"
#include "support/EnregistreurMessages.h"

namespace {

class TableVariables : public ::testing::Test {
protected:
    void SetUp() override { EffaceVariables(0); }
    void TearDown() override { EffaceVariables(0); }
    QStringList Noms() const {
        QStringList noms;
        for (int i = 1; i <= NombreVariables(); ++i)
            noms << VariableNumero(i).nom;
        return noms;
    }
    EnregistreurMessages rec;
};

TEST_F(TableVariables, CapaciteDe81) {
    for (int i = 1; i <= 81; ++i)
        ASSERT_TRUE(DefinitVariable(QString("V%1").arg(i), "TXT", "", 1));
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_FALSE(DefinitVariable("V82", "TXT", "", 1));
    EXPECT_EQ(NombreVariables(), 81);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].texte, "Il y a trop de variables définies");
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
}

TEST_F(TableVariables, NomsUniquesSensiblesALaCasse) {
    EXPECT_TRUE(DefinitVariable("REP_TMP", "TXT", "", 1));
    EXPECT_FALSE(DefinitVariable("REP_TMP", "O/N", "x", 1));
    EXPECT_TRUE(DefinitVariable("rep_tmp", "TXT", "", 1));
    EXPECT_EQ(rec.Textes(), QStringList{"Variable utilisée deux fois : REP_TMP"});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
    AffecteVariable("REP_TMP", " valeur = telle quelle ");
    EXPECT_EQ(LitVariable("REP_TMP"), " valeur = telle quelle ");
    EXPECT_EQ(LitVariable("rep_tmp"), "");
}

TEST_F(TableVariables, NonTrouveeAChaqueLecture) {
    EXPECT_EQ(LitVariable("ABSENTE"), "");
    EXPECT_EQ(LitVariable("ABSENTE"), "");
    AffecteVariable("AUTRE", "x");
    EXPECT_EQ(rec.Textes(), (QStringList{"Variable ABSENTE non trouvée.",
                                         "Variable ABSENTE non trouvée.",
                                         "Variable AUTRE non trouvée."}));
    for (const MessageVu& m : rec.messages)
        EXPECT_EQ(m.icone, IconeMessage::Critique);
    EXPECT_FALSE(VariableOui("ABSENTE"));
}

TEST_F(TableVariables, AutreListe) {
    DefinitVariable("X", "TXT", "", 1);
    EXPECT_TRUE(VariableExiste("X", 0));
    EXPECT_TRUE(VariableExiste("X", 1));
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_TRUE(VariableExiste("X", 2));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].texte, "La variable X existe dans une autre liste.");
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Aucune);
    EXPECT_FALSE(VariableExiste("Y", 2));
}

TEST_F(TableVariables, ListeDeVariableHorsLimites) {
    DefinitVariable("A", "TXT", "", 3);
    EXPECT_EQ(ListeDeVariable(1), "3");
    EXPECT_EQ(ListeDeVariable(2), "0");
    EXPECT_EQ(ListeDeVariable(0), "0");
    EXPECT_EQ(ListeDeVariable(-4), "0");
    EXPECT_EQ(rec.Textes(), (QStringList{"Variable  2 non trouvée.", "Variable  0 non trouvée.",
                                         "Variable -4 non trouvée."}));
}

TEST_F(TableVariables, EffacementParListe) {
    const std::pair<const char*, int> lignes[] = {{"A", 1}, {"B", 2}, {"C", 1}, {"D", 1}, {"E", 2}};
    for (const auto& [nom, liste] : lignes)
        DefinitVariable(nom, "TXT", QString(nom).toLower(), liste);
    EffaceVariables(1);
    EXPECT_EQ(Noms(), (QStringList{"B", "E"}));
    EXPECT_EQ(LitVariable("E"), "e");
    EXPECT_EQ(VariableNumero(2).numeroListe, "2");
    EffaceVariables(0);
    EXPECT_EQ(NombreVariables(), 0);
    EXPECT_TRUE(rec.messages.empty());
    LitVariable("B");
    EXPECT_EQ(rec.Textes(), QStringList{"Variable B non trouvée."});
}

} // namespace
