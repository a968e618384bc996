// Fuzz target: an arbitrary file read as an archive, then every entry extracted
// into a scratch folder (the password box answers "secret"). Inputs of an odd
// size take every entry through the streaming extraction, the others decode
// entries whole (all of them, at these sizes).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "Soutien.h"
#include "zip/Cls_Zip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* octets, size_t n) {
    Muet::Installe();
    static QTemporaryDir racine;
    const QString archive = racine.path() + QStringLiteral("/archive.zip");
    const QString dest = racine.path() + QStringLiteral("/dest");
    {
        QFile f(archive);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(octets), static_cast<qint64>(n));
    }
    Cls_Zip::FixeSeuilFlux(n % 2 ? 0 : qint64(1) << 20);
    Cls_Zip zip;
    if (zip.Get_Contents(archive) == Cls_Zip::ZipOk) {
        for (int i = 0; i <= zip.FileCount() + 1; ++i) {
            (void)zip.FileName(i);
            (void)zip.Method(i);
            (void)zip.FileDateTime(i);
            (void)zip.SystemMadeBy(i);
        }
        QDir().mkpath(dest);
        const QList<bool> tout(zip.FileCount() + 1, true);
        zip.UnPack(tout, dest);
        // Nothing may land outside the scratch folder's "dest".
        const QStringList dehors = QDir(racine.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (const QString& nom : dehors)
            if (nom != QLatin1String("dest") && nom != QLatin1String("archive.zip"))
                __builtin_trap();
        QDir(dest).removeRecursively();
    }
    return 0;
}
