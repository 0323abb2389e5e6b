#include "atomicfile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kolta {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
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

} // namespace

QString writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return QStringLiteral("No file name was given.");
    const QFileInfo target(path);
    if (target.isDir())
        return QStringLiteral("It is a folder.");

    const QByteArray targetPath = QFile::encodeName(target.absoluteFilePath());
    QByteArray pattern = QFile::encodeName(target.absolutePath() + QLatin1String("/.")
                                           + target.fileName() + QLatin1String(".XXXXXX"));
    TempFile temp;
    temp.fd = ::mkstemp(pattern.data());
    if (temp.fd < 0)
        return systemReason(errno);
    temp.path = pattern;

    // A new file gets the usual permissions; a replaced one keeps its own.
    struct stat existing;
    mode_t mode;
    if (::stat(targetPath.constData(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(temp.fd, mode) != 0)
        return systemReason(errno);

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(temp.fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return systemReason(errno);
        }
        if (written == 0)
            return systemReason(ENOSPC);
        data += written;
        left -= written;
    }
    if (::fsync(temp.fd) != 0)
        return systemReason(errno);
    struct stat written;
    if (::fstat(temp.fd, &written) != 0)
        return systemReason(errno);
    if (written.st_size != bytes.size())
        return QStringLiteral("The file was not written completely.");
    const int fd = std::exchange(temp.fd, -1);
    if (::close(fd) != 0)
        return systemReason(errno);
    if (::rename(temp.path.constData(), targetPath.constData()) != 0)
        return systemReason(errno);
    temp.path.clear();
    return QString();
}

} // namespace kolta
