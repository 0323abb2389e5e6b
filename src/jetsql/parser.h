#pragma once

#include "ast.h"
#include "result.h"

#include <QString>

namespace kolta::jetsql {

// A whole statement (an optional trailing ";" allowed), or Jet's error text.
// Statements other than SELECT are refused with the reason.
Result<std::shared_ptr<Query>> parseStatement(const QString &sql);

} // namespace kolta::jetsql
