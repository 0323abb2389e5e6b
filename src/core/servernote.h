#pragma once

#include <QString>

namespace kolta::query {

// For a Set that failed on a function of Access itself (Nz, the domain
// functions, Eval): a note that the server refuses it too, and what to write
// instead. Empty for any other reason.
QString accessOnlyNote(const QString &reason);

} // namespace kolta::query
