#pragma once

// What the ZIP fast paths may use beyond the x86-64 base: BMI2 with BMI1
// (bextr) for the Huffman loop, carry-less multiplication on 128 bits (with
// SSE4.1) and on 512 bits (with AVX-512) for CRC-32. Read from the processor
// once; each path falls back to plain code where a set is missing.
struct JeuxInstructions {
    bool bmi2 = false;
    bool clmul = false;
    bool vpclmul = false;
};

// What the processor has.
JeuxInstructions JeuxDuProcesseur();

// What the fast paths use: the processor's sets, or fewer after
// LimiteJeuxInstructions.
JeuxInstructions JeuxUtilises();

// Test seam: from now on, use only the sets of `permis` that the processor
// has, to run the paths an older processor takes. JeuxDuProcesseur() puts
// everything back.
void LimiteJeuxInstructions(const JeuxInstructions& permis);
