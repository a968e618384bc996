// The check of a signed list: Ed25519 over a 10 MB list, from memory and from
// the list copy on disk (mapped), beside SHA-512 over the same bytes (the hash
// Ed25519 runs over the message: the floor of any check of those bytes made
// after they arrived), and the part the search leaves for the end, having
// hashed the list while it came.
//   build/bench_signature [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <openssl/evp.h>

#include "search/SignatureListe.h"

namespace {

struct Liste {
    QByteArray texte, cle, signature;
    QTemporaryDir dossier;
    QString chemin;
    Liste() {
        for (int i = 0; texte.size() < 10'000'000; ++i)
            texte += "fichier-" + QByteArray::number(i) + ".pdf\tDocument numéro " + QByteArray::number(i) +
                     "\t" + QByteArray::number(i * 37 % 100000) + "\tG\t1.2." + QByteArray::number(i % 50) +
                     "\r\n";
        EVP_PKEY* brute = nullptr;
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
        EVP_PKEY_keygen_init(ctx);
        EVP_PKEY_keygen(ctx, &brute);
        EVP_PKEY_CTX_free(ctx);
        unsigned char publique[32], sig[64];
        size_t n = 32, m = 64;
        EVP_PKEY_get_raw_public_key(brute, publique, &n);
        EVP_MD_CTX* md = EVP_MD_CTX_new();
        EVP_DigestSignInit(md, nullptr, nullptr, nullptr, brute);
        EVP_DigestSign(md, sig, &m, reinterpret_cast<const unsigned char*>(texte.constData()),
                       size_t(texte.size()));
        EVP_MD_CTX_free(md);
        EVP_PKEY_free(brute);
        cle = QByteArray(reinterpret_cast<const char*>(publique), 32);
        signature = QByteArray(reinterpret_cast<const char*>(sig), 64);
        chemin = dossier.filePath(QStringLiteral("Liste.tmp"));
        QFile f(chemin);
        if (!f.open(QIODevice::WriteOnly) || f.write(texte) != texte.size())
            std::abort();
    }
};

Liste& LaListe() {
    static Liste liste;
    return liste;
}

void BM_VerifieEnMemoire(benchmark::State& etat) {
    Liste& l = LaListe();
    for (auto _ : etat)
        if (!VerifieSignatureEd25519(l.cle, l.signature, l.texte))
            etat.SkipWithError("signature refused");
    etat.SetBytesProcessed(etat.iterations() * l.texte.size());
}

void BM_VerifieListeCopiee(benchmark::State& etat) {
    Liste& l = LaListe();
    const QByteArray texte = l.signature.toBase64() + '\n';
    for (auto _ : etat)
        if (VerifieSignatureListe(l.cle, texte, l.chemin) != VerdictSignature::Valide)
            etat.SkipWithError("signature refused");
    etat.SetBytesProcessed(etat.iterations() * l.texte.size());
}

// What the search does once the list has arrived: its hash was computed on
// the way, by the writer thread, at the speed of BM_Sha512 and overlapping
// the transfer; only the curve arithmetic remains.
void BM_ConclutApresArrivee(benchmark::State& etat) {
    Liste& l = LaListe();
    unsigned char h[64];
    unsigned int n = 0;
    const QByteArray tout = PrefixeEd25519(l.cle, l.signature) + l.texte;
    EVP_Digest(tout.constData(), size_t(tout.size()), h, &n, EVP_sha512(), nullptr);
    const QByteArray hachage(reinterpret_cast<const char*>(h), 64);
    for (auto _ : etat)
        if (!ConclutEd25519(l.cle, l.signature, hachage))
            etat.SkipWithError("signature refused");
}

void BM_Sha512(benchmark::State& etat) {
    Liste& l = LaListe();
    unsigned char empreinte[64];
    unsigned int n = 0;
    for (auto _ : etat)
        EVP_Digest(l.texte.constData(), size_t(l.texte.size()), empreinte, &n, EVP_sha512(), nullptr);
    etat.SetBytesProcessed(etat.iterations() * l.texte.size());
}

} // namespace

BENCHMARK(BM_VerifieEnMemoire)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifieListeCopiee)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConclutApresArrivee)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sha512)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
