#pragma once

// Who may open a database: the accounts of a workgroup file.

#include "result.h"
#include "schema.h"

#include <QString>

namespace kolta::jet::engine {

// The login check done before a database is opened: the account must exist,
// and a password must be typed exactly when the account has one. Whether a
// typed password is the right one is left to the server.
Result<PasswordCheck> checkLogin(const QString &systemDb, const QString &user, const QString &password);

} // namespace kolta::jet::engine
