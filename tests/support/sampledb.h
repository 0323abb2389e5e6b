#pragma once

#include <QString>

namespace kolta::sample {

// Writes the small invented lending library (tables Books, Loans, Members)
// to path. Returns an error text, empty on success.
QString writeLibrary(const QString &path);

} // namespace kolta::sample
