#include "logincheck.h"

#include "jetfile.h"
#include "reasons.h"

#include <QByteArray>

namespace kolta::jet::engine {

namespace {

// An empty password as a workgroup file stores it in MSysAccounts: one 8-byte
// block of Jet's fixed-key cipher, twice. The same in every workgroup file,
// so an account's having a password is known even though the cipher is not.
bool storesEmptyPassword(const QByteArray &stored)
{
    static const char block[] = {'\x69', '\x52', '\xad', '\x67', '\xf3', '\xd5', '\xe1', '\xe6'};
    const QByteArray empty = QByteArray(block, 8).repeated(2);
    return stored.isEmpty() || stored == empty;
}

} // namespace

Result<PasswordCheck> checkLogin(const QString &systemDb, const QString &user, const QString &password)
{
    if (systemDb.isEmpty()) {
        // The default workgroup's password is not at hand; Jet's own holds
        // only Admin, with none.
        if (user.compare(QLatin1String("Admin"), Qt::CaseInsensitive) != 0)
            return Error{QStringLiteral("the user %1 is not an account of the default workgroup "
                                        "(set a workgroup file to log in as another user)")
                             .arg(quoted(user))};
        return PasswordCheck::Checked;
    }
    const QString workgroup = QStringLiteral("the workgroup file %1").arg(quoted(systemDb));
    const auto unusable = [&](const QString &reason) {
        return Error{workgroup + QStringLiteral(" cannot be used: ") + reason};
    };
    const Result<std::unique_ptr<JetFile>> opened = JetFile::open(systemDb);
    if (!opened.ok())
        return unusable(opened.error().message);
    JetFile &file = *opened.value();
    const Result<QList<CatalogEntry>> entries = file.readCatalog();
    if (!entries.ok())
        return unusable(entries.error().message);
    const CatalogEntry *accounts = nullptr;
    for (const CatalogEntry &entry : entries.value()) {
        if (entry.type == LocalTable && entry.name.compare(QLatin1String("MSysAccounts"), Qt::CaseInsensitive) == 0)
            accounts = &entry;
    }
    if (!accounts)
        return Error{workgroup + QStringLiteral(" is not a workgroup file (it holds no accounts)")};
    bool found = false;
    QByteArray stored;
    const QStringList columns = {QStringLiteral("Name"), QStringLiteral("FGroup"), QStringLiteral("Password")};
    QList<QByteArray> bytes;
    const Result<void> scanned = file.scanRows(*accounts, columns, [&](const QStringList &values) {
        // Jet compares account names without regard to case; groups cannot
        // log in.
        const bool group = !values.at(1).isEmpty() && values.at(1) != QLatin1String("0");
        found = !group && values.at(0).compare(user, Qt::CaseInsensitive) == 0;
        if (found)
            stored = bytes.at(2);
        return !found;
    }, &bytes);
    if (!scanned.ok())
        return unusable(scanned.error().message);
    if (!found)
        return Error{QStringLiteral("the user %1 is not an account of %2").arg(quoted(user), workgroup)};
    if (storesEmptyPassword(stored) != password.isEmpty())
        return Error{QString(reasons::NotValidAccount)};
    return password.isEmpty() ? PasswordCheck::Checked : PasswordCheck::LeftToServer;
}

} // namespace kolta::jet::engine
