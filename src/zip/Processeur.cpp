#include "zip/Processeur.h"

#include <atomic>

namespace {

JeuxInstructions Detecte() {
    JeuxInstructions j;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    j.bmi2 = __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("bmi"); // with bextr
    j.clmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    j.vpclmul = j.clmul && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
                __builtin_cpu_supports("avx512vl");
#endif
    return j;
}

// Read on every block and every sum: relaxed atomics cost a plain load.
struct Etat {
    std::atomic<bool> bmi2, clmul, vpclmul;
    Etat() {
        const JeuxInstructions j = JeuxDuProcesseur();
        bmi2 = j.bmi2;
        clmul = j.clmul;
        vpclmul = j.vpclmul;
    }
};

Etat& EtatGlobal() {
    static Etat e;
    return e;
}

} // namespace

JeuxInstructions JeuxDuProcesseur() {
    static const JeuxInstructions j = Detecte();
    return j;
}

JeuxInstructions JeuxUtilises() {
    const Etat& e = EtatGlobal();
    return {e.bmi2.load(std::memory_order_relaxed), e.clmul.load(std::memory_order_relaxed),
            e.vpclmul.load(std::memory_order_relaxed)};
}

void LimiteJeuxInstructions(const JeuxInstructions& permis) {
    const JeuxInstructions p = JeuxDuProcesseur();
    Etat& e = EtatGlobal();
    e.bmi2 = permis.bmi2 && p.bmi2;
    e.clmul = permis.clmul && p.clmul;
    e.vpclmul = permis.vpclmul && p.vpclmul;
}
