#pragma once

#include "ast.h"

#include <QString>
#include <variant>

namespace kolta::jetsql {

// A whole statement (an optional trailing ";" allowed), or Jet's error text.
// Statements other than SELECT are refused with the reason.
std::variant<std::shared_ptr<Query>, QString> parseStatement(const QString &sql);

} // namespace kolta::jetsql
