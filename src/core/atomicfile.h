#pragma once

#include "result.h"

#include <QByteArray>
#include <QString>

namespace kolta {

// Replaces the file at path with bytes, or leaves it as it was: the bytes go
// to a temporary file in the same folder, every write, the flush to disk and
// the size are checked, and only then is it renamed over the target, and the
// folder is synced. A symbolic link is written through (the link stays);
// anything but an ordinary file, a read-only file and one with several names
// (hard links) are refused.
Result<void> writeFileAtomically(const QString &path, const QByteArray &bytes);

} // namespace kolta
