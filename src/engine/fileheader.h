#pragma once

// The first page of a Jet file, read without libmdb: whether the file is one
// the engine can read at all, before libmdb is let near it.

#include "result.h"

#include <QString>
#include <QtGlobal>

namespace kolta::jet::engine {

// What the first page of a file says.
struct FileHeader
{
    int jetVersion = 0;      // 0 Jet 3, 1 Jet 4, 2.. ACE
    int pageSize = 0;
    quint32 dbKey = 0;       // non-zero: pages are RC4-encoded
    bool hasPassword = false;
    qint64 fileSize = 0;
};

// Checks that path names a readable, complete Jet file; the reason in plain
// words when it does not.
Result<FileHeader> checkFile(const QString &path);

} // namespace kolta::jet::engine
