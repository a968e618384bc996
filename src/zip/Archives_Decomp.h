// The Deflate decoder of the archive reader: ZIP methods 8 (Deflate) and 9
// (enhanced Deflate, the 64 KiB-window variant).
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>

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
