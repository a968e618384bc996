// Speed of the ZIP subsystem's hot paths against the usual references, on the
// corpus that bench/zip.sh prepares: raw Deflate streams at levels 1, 6 and 9
// decoded by our Inflate, by zlib and by libdeflate, and CRC-32 against both.
//   bench_zip DATA_FOLDER FILE...
// Prints one line per stream and a last line with the ratios (above 1: ours is
// faster). Each measure is the best of several interleaved rounds, so that the
// load of a shared machine weighs on every decoder alike.
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

// The streaming decoder fed from memory, as extraction uses it: the output is
// decoded into its window, which is handed to the sink each time it fills. The
// timed runs' sink takes nothing (writing to the file is extraction's cost, not
// the decoder's); an untimed run copies the output out to check it.
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
    explicit PuitsCopie(QByteArray* d) : dest(d) {}
    void Ecrit(const uint8_t* o, size_t n) override {
        if (dest && n <= size_t(dest->size()) - pos) // else the checked output differs
            std::memcpy(dest->data() + pos, o, n);
        pos += n;
    }
    QByteArray* dest;
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
    const int tours = 5;
    libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
    InflateurFlux inflateur;
    double tNous = 0, tZlib = 0, tLd = 0, octets = 0;
    // Worst stream of each class, ours against libdeflate (text, binaries) or
    // zlib (stored blocks), two ways:
    // - decoder against decoder: the streaming decoder (what extraction uses
    //   for large entries) in the window it keeps, the references into a
    //   buffer of theirs touched beforehand: no page is faulted in;
    // - a whole entry into new memory: Inflate, and libdeflate into a buffer
    //   just allocated and advised for large pages as Inflate's is. On a
    //   virtual machine, fresh pages cost whatever the host makes them cost,
    //   from one run to the next: this one is the noisier.
    double pire[NbClasses] = {1e9, 1e9, 1e9};
    double pireFlux[NbClasses] = {1e9, 1e9, 1e9};
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
            // Streams are made once and kept beside the corpus.
            const QString cheminFlux = QString("%1/%2.l%3.deflate").arg(dossier, nom).arg(niveau);
            QByteArray flux = Lit(cheminFlux);
            if (flux.isEmpty()) {
                flux = Compresse(source, niveau);
                QFile f(cheminFlux);
                if (f.open(QIODevice::WriteOnly))
                    f.write(flux);
            }
            // Round 0 of the streaming decoder checks its output, untimed.
            double bNous = 1e9, bFlux = 1e9, bZlib = 1e9, bLd = 1e9, bLdNeuf = 1e9;
            QByteArray sortieZ(source.size(), '\0'), sortieL(source.size(), '\0'), sortieF(source.size(), '\0');
            for (int t = 0; t < tours; ++t) {
                // Only the decoding is timed: each decoder's output is checked after.
                // Into new memory, ours and libdeflate take turns at going
                // first: whichever follows the other's freeing of its pages
                // would find the kernel in another state.
                auto nous = [&] {
                    QByteArray d = flux;
                    short r = 0;
                    bNous = std::min(bNous, Secondes([&] { r = Inflate(d, source.size() - 1, false); }));
                    if (r != 0 || d != source) {
                        std::fprintf(stderr, "ours: wrong output on %s l%d\n", qPrintable(nom), niveau);
                        faux = true;
                    }
                };
                auto neufLd = [&] {
                    std::unique_ptr<char[]> neuf;
                    libdeflate_result rl = LIBDEFLATE_SUCCESS;
                    bLdNeuf = std::min(bLdNeuf, Secondes([&] {
                        neuf.reset(new char[size_t(source.size())]);
                        ConseillePagesLarges(neuf.get(), size_t(source.size())); // as Inflate does
                        size_t n = 0;
                        rl = libdeflate_deflate_decompress(ld, flux.constData(), size_t(flux.size()), neuf.get(),
                                                           size_t(source.size()), &n);
                    }));
                    if (rl != LIBDEFLATE_SUCCESS || std::memcmp(neuf.get(), source.constData(), size_t(source.size())))
                        std::fprintf(stderr, "libdeflate failed\n");
                };
                if (t % 2) {
                    neufLd();
                    nous();
                } else {
                    nous();
                    neufLd();
                }
                SourceMemoire sm(flux);
                PuitsCopie pc(t == 0 ? &sortieF : nullptr);
                BilanInflate bilan;
                const double tf = Secondes([&] { bilan = inflateur.Decode(sm, pc, source.size() - 1, false); });
                if (t > 0)
                    bFlux = std::min(bFlux, tf);
                if (bilan.resultat != 0 || pc.pos != size_t(source.size()) || (t == 0 && sortieF != source)) {
                    std::fprintf(stderr, "ours, streamed: wrong output on %s l%d\n", qPrintable(nom), niveau);
                    faux = true;
                }
                bool ok = false;
                bZlib = std::min(bZlib, Secondes([&] { ok = InflateZlib(flux, sortieZ); }));
                if (!ok)
                    std::fprintf(stderr, "zlib failed\n");
                libdeflate_result rl = LIBDEFLATE_SUCCESS;
                bLd = std::min(bLd, Secondes([&] {
                    size_t n = 0;
                    rl = libdeflate_deflate_decompress(ld, flux.constData(), size_t(flux.size()), sortieL.data(),
                                                       size_t(sortieL.size()), &n);
                }));
                if (rl != LIBDEFLATE_SUCCESS)
                    std::fprintf(stderr, "libdeflate failed\n");
            }
            const double mo = source.size() / 1e6;
            const Classe c = ClasseDe(nom);
            const double enMemoire = (c == Stocke ? bZlib : bLdNeuf) / bNous;
            const double enFlux = (c == Stocke ? bZlib : bLd) / bFlux;
            pire[c] = std::min(pire[c], enMemoire);
            pireFlux[c] = std::min(pireFlux[c], enFlux);
            std::printf("inflate %-13s level %d ratio %5.2f  into new memory: ours %6.1f libdeflate %6.1f MB/s"
                        "  streamed: ours %6.1f libdeflate %6.1f MB/s  zlib %6.1f MB/s  ours/%s %.2f streamed %.2f\n",
                        qPrintable(nom), niveau, double(source.size()) / flux.size(), mo / bNous, mo / bLdNeuf,
                        mo / bFlux, mo / bLd, mo / bZlib, c == Stocke ? "zlib" : "libdeflate", enMemoire, enFlux);
            std::fflush(stdout);
            tNous += bNous;
            tZlib += bZlib;
            tLd += bLdNeuf;
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
    // text= and bin=: decoder against decoder; stored_vs_zlib=: Inflate.
    std::printf("ratios inflate_vs_zlib=%.2f inflate_vs_libdeflate=%.2f text=%.2f bin=%.2f stored_vs_zlib=%.2f"
                " new_memory_text=%.2f new_memory_bin=%.2f streamed_stored_vs_zlib=%.2f"
                " crc_vs_zlib=%.2f crc_vs_libdeflate=%.2f\n",
                tZlib / tNous, tLd / tNous, pireFlux[Texte], pireFlux[Binaire], pire[Stocke], pire[Texte],
                pire[Binaire], pireFlux[Stocke], bZlib / bNous, bLd / bNous);
    return faux ? 1 : 0;
}
