// The Deflate decoder of the archive reader: ZIP methods 8 (Deflate) and 9
// (enhanced Deflate, the 64 KiB-window variant).
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <memory>

// Results of Inflate.
inline constexpr short InflateOk = 0;
// A reserved block type, a stream that runs past its input or past the expected
// size, or a code that the stream's own tables do not define.
inline constexpr short InflateErreur = -1;
// A stored block whose length and its complement disagree (decoding goes on).
inline constexpr short InflateLongueurStockee = -2;

// Decodes one whole entry in memory. `data` holds the compressed bytes on entry
// and the decompressed bytes on return; `lastIndex` is the expected size minus 1
// (-1 for an empty entry); `enhanced` selects method 9. Output never goes beyond
// the expected size; what was produced before a failure is returned. When the
// Huffman tables of a block cannot be built, "Error in tree creation (Static)"
// is shown and `data` is left as it was (still compressed).
short Inflate(QByteArray& data, qint64 lastIndex, bool enhanced);

// Asks the system for large pages over the interior of a buffer of `n` bytes
// about to be written once (entries and their compressed bytes); nothing when
// the buffer is small or the system has none.
void ConseillePagesLarges(void* octets, size_t n);

// Streaming: the archive reader extracts large entries through buffers of a
// fixed size, kept from one entry to the next, so that neither the memory
// taken nor the pages the system must supply grow with the entry.

// Where the compressed bytes of a streamed entry come from.
class SourceInflate {
public:
    virtual ~SourceInflate() = default;
    // Copies up to `n` of the next bytes to `octets`: how many, 0 at the end.
    virtual size_t Lit(uint8_t* octets, size_t n) = 0;
};

// Where the decoded bytes of a streamed entry go, in order.
class PuitsInflate {
public:
    virtual ~PuitsInflate() = default;
    virtual void Ecrit(const uint8_t* octets, size_t n) = 0;
};

struct BilanInflate {
    short resultat = InflateOk; // as Inflate's
    uint64_t produit = 0;       // bytes handed to the sink (InflateVers: written)
    // The Huffman tables of a block could not be built: the message was shown,
    // and the caller takes the entry as it was (still compressed), as Inflate
    // leaves it. What the sink received before is to be dropped.
    bool arbreInvalide = false;
};

// Decodes one whole entry held in memory (`n` bytes at `entree`) into
// `sortie`, a buffer of the expected size `taille` that the caller provides
// and keeps: Inflate's decoder and results, with no buffer of its own. What
// was produced (bilan.produit) is at the start of `sortie`, even after a
// failure; when a table cannot be built, the message is shown and
// bilan.arbreInvalide is set.
BilanInflate InflateVers(const uint8_t* entree, size_t n, uint8_t* sortie, size_t taille, bool enhanced);

// The decoder of Inflate, fed from a source and draining into a sink. Same
// stream, same results, same output (never beyond the expected size); only
// the buffers differ: `tailleEntree` bytes of input (256 KiB) and a window of
// 64 KiB of history plus `tailleVidage` bytes (1 MiB), handed to the sink each
// time it fills. Both are raised to kTailleMin, which holds a whole stored
// block and a whole match of the 64 KiB variant.
class InflateurFlux {
public:
    static constexpr size_t kTailleMin = size_t(72) << 10;
    explicit InflateurFlux(size_t tailleEntree = size_t(256) << 10, size_t tailleVidage = size_t(1) << 20);
    ~InflateurFlux();
    InflateurFlux(const InflateurFlux&) = delete;
    InflateurFlux& operator=(const InflateurFlux&) = delete;

    BilanInflate Decode(SourceInflate& source, PuitsInflate& puits, qint64 lastIndex, bool enhanced);

private:
    struct Etat;
    std::unique_ptr<Etat> etat_;
};
