// The free space of a folder's file system, for the fetch's bounds.
#pragma once

#include <QtGlobal>

class QString;

namespace DetailTransfert {

// Free bytes on the file system that holds `dossier`, for a writer without
// privileges; -1 when the system does not say.
qint64 EspaceLibre(const QString& dossier);

} // namespace DetailTransfert
