// Raw Deflate by zlib, the reference encoder of the zip tests.
#pragma once

#include <QByteArray>
#include <zlib.h>

// `bloc` repeated `fois` times, at a level and strategy of zlib's.
inline QByteArray Deflate(const QByteArray& bloc, int fois = 1, int niveau = 1, int strategie = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    deflateInit2(&z, niveau, Z_DEFLATED, -15, 9, strategie);
    QByteArray sortie, tampon(1 << 20, '\0');
    for (int i = 0; i < fois; ++i) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bloc.constData()));
        z.avail_in = uInt(bloc.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(tampon.data());
            z.avail_out = uInt(tampon.size());
            deflate(&z, i + 1 == fois ? Z_FINISH : Z_NO_FLUSH);
            sortie.append(tampon.constData(), tampon.size() - qsizetype(z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return sortie;
}

