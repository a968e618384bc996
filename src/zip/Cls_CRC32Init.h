// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320): the check of every
// extracted entry and the engine of the traditional encryption's key updates.
#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// Continues a CRC-32 over `n` bytes. `crc` is the finished value of the bytes
// before (0 to start); the result is the finished value including these bytes,
// as zlib's crc32() counts it. Uses carry-less multiplication when the processor
// has it, eight table look-ups per 8 bytes otherwise.
uint32_t CalculeCRC32(uint32_t crc, const void* octets, size_t n);

// The byte table of the register (256 entries): one step is
// r = table[(r ^ byte) & 0xFF] ^ (r >> 8). Static, for callers that inline the
// step in their own loops (the cipher's key updates).
const uint32_t* TableCRC32();

class Cls_CRC32Init {
public:
    Cls_CRC32Init();

    // Register = 0xFFFFFFFF: the start of a new sum.
    void ResetCRC32();
    // Feeds one byte into the register.
    void CalcCRC32Byte(uint8_t NewVal);
    // The sum of the bytes fed since the reset (the register complemented).
    uint32_t CRC32() const;
    // Loads the register as is.
    void CRC32(uint32_t CrcValue);
    // One entry of the table (TabNum 0 to 255; anything else gives 0).
    uint32_t GetcrcTable(int TabNum) const;
    // The CRC-32 of a whole array; afterwards the register holds that value.
    uint32_t CalcCRC32File(const QByteArray& ByteArray);

private:
    uint32_t registre_ = 0xFFFFFFFFu;
};
