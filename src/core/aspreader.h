#pragma once

#include "module1.h"
#include "result.h"

#include <QByteArray>

namespace kolta::pagegen {

// The session values a page of composeAspPage was written from: database,
// login, statement, headings, header and page options (parameters without
// their values). A page that does not write back byte for byte is refused,
// with what could not be read.
Result<Module1> readAspPage(const QByteArray &bytes);

} // namespace kolta::pagegen
