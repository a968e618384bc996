// Speed of the ZIP subsystem's decoders against the usual references, on the
// corpus that bench/zip.sh prepares: raw Deflate streams at levels 1, 6 and 9
// decoded by ours, by libdeflate and by zlib, and CRC-32 against both.
//   bench_zip DATA_FOLDER FILE...
// Ours is timed twice, on its two paths:
// - in memory (InflateVers, the decoder of every entry that extraction holds
//   whole): the compressed bytes in memory, the output written into a buffer
//   of the caller's, kept. That is libdeflate's contract, byte for byte the
//   same work: the figures `text` and `bin`;
// - streamed (InflateurFlux, the path of large entries): fed in pieces of
//   256 KiB and copied out of the decoder's window as it fills, into a buffer
//   of the whole size, as extraction hands every byte on to the file. One copy
//   more than libdeflate makes: `text_stream`, `bin_stream`.
// The references decode into a buffer of theirs. All the buffers are touched
// beforehand, so that no page is faulted in under a clock.
// Random bytes (stored blocks) are a matter of copies, not of decoding: there
// zlib is driven as an extractor drives it, fed from the same source and
// drained into the same sink as our streaming decoder.
// One untimed round, then the best of twenty, the decoders in turns, so that
// the load of a shared machine weighs on each alike; every output is checked
// after its clock. Prints one line per stream and a last line with the ratios
// (above 1: ours is faster).
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <libdeflate.h>
#include <zlib.h>

#include "zip/Archives_Decomp.h"
#include "zip/Cls_CRC32Init.h"
#include "zip/Cls_Encrypt.h"

namespace {

using Horloge = std::chrono::steady_clock;

double Secondes(const std::function<void()>& f) {
    const auto t0 = Horloge::now();
    f();
    return std::chrono::duration<double>(Horloge::now() - t0).count();
}

QByteArray Lit(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Compresse(const QByteArray& source, int niveau) {
    z_stream z{};
    deflateInit2(&z, niveau, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray sortie(qsizetype(deflateBound(&z, uLong(source.size()))) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source.constData()));
    z.avail_in = uInt(source.size());
    z.next_out = reinterpret_cast<Bytef*>(sortie.data());
    z.avail_out = uInt(sortie.size());
    deflate(&z, Z_FINISH);
    sortie.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return sortie;
}

bool InflateZlib(const QByteArray& c, QByteArray& sortie) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(c.constData()));
    z.avail_in = uInt(c.size());
    z.next_out = reinterpret_cast<Bytef*>(sortie.data());
    z.avail_out = uInt(sortie.size());
    const int r = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

// zlib as an extractor drives it, fed and drained as ours is: pieces of 256 KiB
// copied into its input buffer, output decoded into a buffer of 1 MiB and
// copied out each time it fills.
bool InflateZlibFlux(const QByteArray& c, QByteArray& sortie) {
    static std::unique_ptr<Bytef[]> entree(new Bytef[256 << 10]), tampon(new Bytef[1 << 20]);
    z_stream z{};
    inflateInit2(&z, -15);
    size_t lu = 0, ecrit = 0;
    int r = Z_OK;
    while (r == Z_OK) {
        if (z.avail_in == 0) {
            const size_t n = std::min(size_t(256) << 10, size_t(c.size()) - lu);
            std::memcpy(entree.get(), c.constData() + lu, n);
            lu += n;
            z.next_in = entree.get();
            z.avail_in = uInt(n);
        }
        z.next_out = tampon.get();
        z.avail_out = 1 << 20;
        r = inflate(&z, Z_NO_FLUSH);
        const size_t n = (size_t(1) << 20) - z.avail_out;
        if (n > size_t(sortie.size()) - ecrit)
            break;
        std::memcpy(sortie.data() + ecrit, tampon.get(), n);
        ecrit += n;
        if (r == Z_BUF_ERROR && lu < size_t(c.size()))
            r = Z_OK;
    }
    inflateEnd(&z);
    return r == Z_STREAM_END && ecrit == size_t(sortie.size());
}

// The streaming decoder fed from memory, its output copied out as it comes.
struct SourceMemoire final : SourceInflate {
    explicit SourceMemoire(const QByteArray& o) : octets(o) {}
    size_t Lit(uint8_t* d, size_t n) override {
        n = std::min(n, size_t(octets.size()) - lu);
        std::memcpy(d, octets.constData() + lu, n);
        lu += n;
        return n;
    }
    const QByteArray& octets;
    size_t lu = 0;
};
struct PuitsCopie final : PuitsInflate {
    explicit PuitsCopie(QByteArray& d) : dest(d) {}
    void Ecrit(const uint8_t* o, size_t n) override {
        if (n <= size_t(dest.size()) - pos) // else the checked output differs
            std::memcpy(dest.data() + pos, o, n);
        pos += n;
    }
    QByteArray& dest;
    size_t pos = 0;
};

// Classes of the corpus, by file name: each gets its own ratio on the last line.
enum Classe { Texte, Binaire, Stocke, NbClasses };

Classe ClasseDe(const QString& nom) {
    if (nom.startsWith(QLatin1String("texte")))
        return Texte;
    if (nom.startsWith(QLatin1String("aleatoire")))
        return Stocke;
    return Binaire;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_zip DATA_FOLDER FILE...\n");
        return 2;
    }
    const QString dossier = QString::fromLocal8Bit(argv[1]);
    // The first untimed; the best of 20 rounds in turns, so that a quiet
    // moment of a shared machine is found for each decoder.
    const int tours = 21;
    libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
    InflateurFlux inflateur;
    double tNous = 0, tZlib = 0, tLd = 0, octets = 0;
    // Worst stream of each class: ours against libdeflate (text, binaries)
    // or zlib (random bytes: stored blocks); in memory, and streamed.
    double pire[NbClasses] = {1e9, 1e9, 1e9}, pireFlux[NbClasses] = {1e9, 1e9, 1e9};
    QByteArray tout;
    bool faux = false;

    for (int a = 2; a < argc; ++a) {
        const QString nom = QString::fromLocal8Bit(argv[a]);
        const QByteArray source = Lit(dossier + "/" + nom);
        if (source.isEmpty()) {
            std::fprintf(stderr, "missing %s\n", qPrintable(nom));
            return 1;
        }
        tout += source;
        for (int niveau : {1, 6, 9}) {
            const QByteArray flux = Compresse(source, niveau);
            double bNous = 1e9, bFlux = 1e9, bZlib = 1e9, bLd = 1e9;
            QByteArray sortieN(source.size(), '\1'), sortieF(source.size(), '\1'), sortieZ(source.size(), '\1'),
                sortieL(source.size(), '\1');
            auto verifie = [&](const char* qui, bool ok, QByteArray& sortie) {
                if (!ok || sortie != source) {
                    std::fprintf(stderr, "%s: wrong output on %s l%d\n", qui, qPrintable(nom), niveau);
                    faux = true;
                }
                std::memset(sortie.data(), 1, size_t(sortie.size())); // the next round finds no output
            };
            for (int t = 0; t < tours; ++t) {
                auto nous = [&] {
                    BilanInflate bilan;
                    const double s = Secondes([&] {
                        bilan = InflateVers(reinterpret_cast<const uint8_t*>(flux.constData()), size_t(flux.size()),
                                            reinterpret_cast<uint8_t*>(sortieN.data()), size_t(sortieN.size()), false);
                    });
                    if (t > 0)
                        bNous = std::min(bNous, s);
                    verifie("ours", bilan.resultat == 0 && bilan.produit == size_t(source.size()), sortieN);
                };
                auto nousFlux = [&] {
                    SourceMemoire sm(flux);
                    PuitsCopie pc(sortieF);
                    BilanInflate bilan;
                    const double s = Secondes([&] { bilan = inflateur.Decode(sm, pc, source.size() - 1, false); });
                    if (t > 0)
                        bFlux = std::min(bFlux, s);
                    verifie("ours streamed", bilan.resultat == 0 && pc.pos == size_t(source.size()), sortieF);
                };
                auto zlib = [&] {
                    bool ok = false;
                    const double s = Secondes([&] {
                        ok = ClasseDe(nom) == Stocke ? InflateZlibFlux(flux, sortieZ) : InflateZlib(flux, sortieZ);
                    });
                    if (t > 0)
                        bZlib = std::min(bZlib, s);
                    verifie("zlib", ok, sortieZ);
                };
                auto libdeflate = [&] {
                    libdeflate_result rl = LIBDEFLATE_SUCCESS;
                    size_t n = 0;
                    const double s = Secondes([&] {
                        rl = libdeflate_deflate_decompress(ld, flux.constData(), size_t(flux.size()), sortieL.data(),
                                                           size_t(sortieL.size()), &n);
                    });
                    if (t > 0)
                        bLd = std::min(bLd, s);
                    verifie("libdeflate", rl == LIBDEFLATE_SUCCESS && n == size_t(source.size()), sortieL);
                };
                const std::function<void()> ordre[4] = {nous, nousFlux, zlib, libdeflate};
                for (int k = 0; k < 4; ++k)
                    ordre[(t + k) % 4]();
            }
            const double mo = source.size() / 1e6;
            const Classe c = ClasseDe(nom);
            const double reference = c == Stocke ? bZlib : bLd;
            pire[c] = std::min(pire[c], reference / bNous);
            pireFlux[c] = std::min(pireFlux[c], reference / bFlux);
            std::printf("inflate %-13s level %d ratio %5.2f  ours %6.1f  streamed %6.1f  libdeflate %6.1f"
                        "  zlib %6.1f MB/s  ours/%s %.2f streamed %.2f\n",
                        qPrintable(nom), niveau, double(source.size()) / flux.size(), mo / bNous, mo / bFlux,
                        mo / bLd, mo / bZlib, c == Stocke ? "zlib" : "libdeflate", reference / bNous,
                        reference / bFlux);
            std::fflush(stdout);
            // Stored blocks: the streaming path, the one an extractor takes.
            tNous += c == Stocke ? bFlux : bNous;
            tZlib += bZlib;
            tLd += bLd;
            octets += source.size();
        }
    }
    libdeflate_free_decompressor(ld);

    double bNous = 1e9, bZlib = 1e9, bLd = 1e9;
    uint32_t a = 0, b = 1, c = 2;
    for (int t = 0; t < 5; ++t) {
        bNous = std::min(bNous, Secondes([&] { a = CalculeCRC32(0, tout.constData(), size_t(tout.size())); }));
        bZlib = std::min(bZlib, Secondes([&] {
            b = uint32_t(crc32_z(0, reinterpret_cast<const Bytef*>(tout.constData()), size_t(tout.size())));
        }));
        bLd = std::min(bLd, Secondes([&] { c = libdeflate_crc32(0, tout.constData(), size_t(tout.size())); }));
    }
    if (a != b || a != c) {
        std::fprintf(stderr, "CRC mismatch %08x %08x %08x\n", a, b, c);
        faux = true;
    }
    // Traditional decryption of the whole corpus (a serial key chain, byte by byte).
    double bChiffre = 1e9;
    for (int t = 0; t < 3; ++t) {
        QByteArray copie = tout;
        copie.detach();
        Cls_Encrypt chiffre;
        bChiffre = std::min(bChiffre, Secondes([&] {
            chiffre.ZipPrepareKey(copie, QStringLiteral("mot de passe"));
            chiffre.ZipDecryptArray(copie.data() + 12, size_t(copie.size() - 12));
        }));
    }
    const double mo = tout.size() / 1e6;
    std::printf("decrypt %.0f MB  ours %8.1f MB/s\n", mo, mo / bChiffre);
    std::printf("crc32 %.0f MB  ours %8.1f MB/s  zlib %8.1f MB/s  libdeflate %8.1f MB/s\n", mo, mo / bNous,
                mo / bZlib, mo / bLd);
    std::printf("inflate total %.0f MB  ours %.1f MB/s  zlib %.1f MB/s  libdeflate %.1f MB/s\n", octets / 1e6,
                octets / 1e6 / tNous, octets / 1e6 / tZlib, octets / 1e6 / tLd);
    std::printf("ratios text=%.2f bin=%.2f text_stream=%.2f bin_stream=%.2f stored_vs_zlib=%.2f"
                " inflate_vs_libdeflate=%.2f inflate_vs_zlib=%.2f crc_vs_zlib=%.2f crc_vs_libdeflate=%.2f\n",
                pire[Texte], pire[Binaire], pireFlux[Texte], pireFlux[Binaire], pireFlux[Stocke], tLd / tNous,
                tZlib / tNous, bZlib / bNous, bLd / bNous);
    return faux ? 1 : 0;
}
