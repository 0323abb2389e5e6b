#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kolta {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Error systemError(int error)
{
    return Error{systemReason(error)};
}

// Every extended attribute of path that the system lets us set on fd; one
// it refuses (a security label, say) is left behind.
void copyAttributes(const QByteArray &path, int fd)
{
    const ssize_t listSize = ::listxattr(path.constData(), nullptr, 0);
    if (listSize <= 0)
        return;
    QByteArray names(listSize, Qt::Uninitialized);
    const ssize_t got = ::listxattr(path.constData(), names.data(), size_t(names.size()));
    if (got <= 0)
        return;
    for (const QByteArray &name : names.left(got).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t valueSize = ::getxattr(path.constData(), name.constData(), nullptr, 0);
        if (valueSize < 0)
            continue;
        QByteArray value(valueSize, Qt::Uninitialized);
        const ssize_t read = ::getxattr(path.constData(), name.constData(), value.data(), size_t(value.size()));
        if (read >= 0)
            (void)::fsetxattr(fd, name.constData(), value.constData(), size_t(read), 0);
    }
}

// Owns the temporary file until it has been renamed into place.
class TempFile
{
public:
    ~TempFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!path.isEmpty())
            ::unlink(path.constData());
    }
    int fd = -1;
    QByteArray path;
};

// The file a name stands for: a symbolic link is followed as far as it
// leads, to a file that may not exist yet. A relative target starts from
// the folder the link really stands in, reached through the links on the
// way as the system reaches it: ".." after a folder link leaves the folder
// it leads to, not the one its name suggests, so nothing is cleaned by name.
Result<QString> resolved(const QString &path)
{
    QString current = path.startsWith(QLatin1Char('/')) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    // As many links as the system itself follows in one name.
    for (int hops = 0; hops < 40; ++hops) {
        const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
        const QString name = current.mid(slash + 1);
        char real[PATH_MAX];
        if (!::realpath(QFile::encodeName(slash > 0 ? current.left(slash) : QStringLiteral("/")).constData(), real))
            return current;   // no such folder: the write says so
        const QString folder = QFile::decodeName(real);
        const QString here = folder == QLatin1String("/") ? folder + name : folder + QLatin1Char('/') + name;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(QFile::encodeName(here).constData(), target.data(), size_t(target.size()));
        if (length < 0)
            return here;      // not a link (or not there yet): the name itself
        target.truncate(length);
        const QString to = QFile::decodeName(target);
        current = to.startsWith(QLatin1Char('/')) ? to : folder + QLatin1Char('/') + to;
    }
    return systemError(ELOOP);
}

} // namespace

Result<void> writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return Error{QStringLiteral("No file name was given.")};
    // Saving onto a link saves the page it points to; the link stays.
    const Result<QString> resolvedName = resolved(path);
    if (!resolvedName.ok())
        return resolvedName.error();
    const QString &targetName = resolvedName.value();
    const QFileInfo target(targetName);
    const QByteArray targetPath = QFile::encodeName(targetName);

    struct stat existing;
    const bool exists = ::lstat(targetPath.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return Error{QStringLiteral("It is a folder.")};
    if (exists && !S_ISREG(existing.st_mode))
        return Error{QStringLiteral("It is not an ordinary file (a device, a pipe or a socket); a page is not "
                                    "written there.")};
    // Root may write anything, so the file's own mode is asked as well.
    if (exists && (!(existing.st_mode & S_IWUSR) || ::access(targetPath.constData(), W_OK) != 0))
        return Error{QStringLiteral("The file is read-only; it is left as it is.")};
    // A file with several names cannot be replaced for all of them at once,
    // and written in place a failed write would lose the old page: the
    // user decides.
    if (exists && existing.st_nlink > 1)
        return Error{QStringLiteral("The file has %1 names (hard links); replacing it would part them. Save under "
                                    "another name, or remove the other names first.")
                         .arg(existing.st_nlink)};

    // A short name, so that it fits in the folder beside the longest name.
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray pattern = folder + "/.kolta-XXXXXX";
    TempFile temp;
    temp.fd = ::mkstemp(pattern.data());
    if (temp.fd < 0)
        return systemError(errno);
    temp.path = pattern;

    // A new file gets the usual permissions; a replaced one keeps its own.
    mode_t mode;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // A replaced page keeps what else it had where the system lets us: its
    // owner and group, then (after the mode, which an access list refines)
    // its extended attributes, access lists among them.
    if (exists && ::fchown(temp.fd, existing.st_uid, existing.st_gid) != 0)
        (void)::fchown(temp.fd, uid_t(-1), existing.st_gid);
    if (::fchmod(temp.fd, mode) != 0)
        return systemError(errno);
    if (exists)
        copyAttributes(targetPath, temp.fd);

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(temp.fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return systemError(errno);
        }
        if (written == 0)
            return systemError(ENOSPC);
        data += written;
        left -= written;
    }
    if (::fsync(temp.fd) != 0)
        return systemError(errno);
    struct stat written;
    if (::fstat(temp.fd, &written) != 0)
        return systemError(errno);
    if (written.st_size != bytes.size())
        return Error{QStringLiteral("The file was not written completely.")};
    const int fd = std::exchange(temp.fd, -1);
    if (::close(fd) != 0)
        return systemError(errno);
    if (::rename(temp.path.constData(), targetPath.constData()) != 0)
        return systemError(errno);
    temp.path.clear();
    // The rename itself lasts only once the folder is on disk.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        const int synced = ::fsync(folderFd);
        const int error = errno;
        ::close(folderFd);
        if (synced != 0 && error == EIO)
            return Error{QStringLiteral("The page was written, but the folder could not be flushed to disk: %1.")
                             .arg(systemReason(error))};
    }
    return {};
}

} // namespace kolta
