#include "fileheader.h"

#include "rc4.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <mdbtools.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kolta::jet::engine {

namespace {

constexpr int HeaderBytes = 4096;
constexpr int HeaderKeyOffset = 0x18;
constexpr int DbKeyOffset = 0x3e;
constexpr int PasswordOffset = 0x42;
constexpr int CreationDateOffset = 0x72;
constexpr int VersionOffset = 0x14;

QString systemReason(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the file does not exist");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission to read it is denied");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Office wraps password-encrypted Access files into a compound document
// whose directory names the streams "EncryptionInfo" and "EncryptedPackage".
bool isEncryptedPackage(const QByteArray &start, int fd)
{
    static const unsigned char compoundMagic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (start.size() < 8 || std::memcmp(start.constData(), compoundMagic, 8) != 0)
        return false;
    QByteArray head(64 * 1024, '\0');
    const ssize_t got = ::pread(fd, head.data(), size_t(head.size()), 0);
    if (got <= 0)
        return false;
    head.truncate(got);
    const QString name = QStringLiteral("EncryptedPackage");
    const QByteArray utf16(reinterpret_cast<const char *>(name.utf16()), name.size() * 2);
    return head.contains(utf16);
}

} // namespace

Result<FileHeader> checkFile(const QString &path)
{
    if (path.isEmpty())
        return Error{QStringLiteral("no file name was given")};
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        // A name whose bytes are not UTF-8 reaches us with those bytes lost.
        if (errno == ENOENT && path.contains(QChar::ReplacementCharacter))
            return Error{QStringLiteral("its name is not valid UTF-8 text, so it cannot be opened by that name "
                                        "(rename the file)")};
        return Error{systemReason(errno)};
    }
    if (S_ISDIR(info.st_mode))
        return Error{QStringLiteral("it is a folder, not a database file")};
    if (!S_ISREG(info.st_mode))
        return Error{QStringLiteral("it is not a regular file")};

    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Error{systemReason(errno)};
    QByteArray page(HeaderBytes, '\0');
    const ssize_t got = ::pread(fd, page.data(), HeaderBytes, 0);
    const int readError = errno;
    const bool encrypted = got > 0 && isEncryptedPackage(page.left(got), fd);
    ::close(fd);
    if (got < 0)
        return Error{systemReason(readError)};
    if (got == 0)
        return Error{QStringLiteral("the file is empty, not an Access database")};
    if (encrypted)
        return Error{QStringLiteral("the database is encrypted with a password, which cannot be read")};

    static const char magic[] = {0, 1, 0, 0};
    // A workgroup file is a Jet database under its own name, padded with blanks.
    const bool jet = std::memcmp(page.constData() + 4, "Standard Jet DB", 16) == 0
        || std::memcmp(page.constData() + 4, "Standard ACE DB", 16) == 0
        || std::memcmp(page.constData() + 4, "Jet System DB  ", 16) == 0;
    if (got < 0x100 || std::memcmp(page.constData(), magic, 4) != 0 || !jet)
        return Error{QStringLiteral("it is not an Access (Jet) database")};

    FileHeader result;
    result.fileSize = info.st_size;
    result.jetVersion = static_cast<unsigned char>(page.at(VersionOffset));
    if (result.jetVersion > MDB_VER_ACCDB_2019)
        return Error{QStringLiteral("its format version (%1) is not known").arg(result.jetVersion)};
    result.pageSize = result.jetVersion == MDB_VER_JET3 ? 2048 : 4096;
    // Page 0 describes the file, page 1 maps free pages, page 2 is the catalog.
    if (result.fileSize < 3 * result.pageSize)
        return Error{QStringLiteral("the file is truncated (it is too short to hold a database)")};
    if (result.fileSize % result.pageSize != 0)
        return Error{QStringLiteral("the file is truncated (it ends in the middle of a page)")};

    auto *bytes = reinterpret_cast<unsigned char *>(page.data());
    static const unsigned char headerKey[] = {0xC7, 0xDA, 0x39, 0x6B};
    rc4(headerKey, 4, bytes + HeaderKeyOffset, result.jetVersion == MDB_VER_JET3 ? 126 : 128);
    result.dbKey = qFromLittleEndian<quint32>(bytes + DbKeyOffset);
    if (result.jetVersion == MDB_VER_JET3) {
        for (int i = 0; i < 20; ++i)
            result.hasPassword |= bytes[PasswordOffset + i] != 0;
    } else {
        // Jet 4 masks the password once more with the creation date's whole
        // days; a file written without the mask has all zeros there.
        const double created = qFromLittleEndian<double>(bytes + CreationDateOffset);
        const qint32 days = (created > -2e9 && created < 2e9) ? qint32(created) : 0;
        unsigned char mask[4];
        qToLittleEndian<qint32>(days, mask);
        bool masked = false;
        bool raw = false;
        for (int i = 0; i < 40; ++i) {
            masked |= (bytes[PasswordOffset + i] ^ mask[i % 4]) != 0;
            raw |= bytes[PasswordOffset + i] != 0;
        }
        result.hasPassword = masked && raw;
    }
    if (result.hasPassword)
        return Error{QStringLiteral("the database is protected by a database password")};
    // Access 2007 and later encrypt every page after the first when a file
    // has a database password; the key's place then holds a value.
    if (result.jetVersion >= MDB_VER_ACCDB_2007 && result.dbKey != 0)
        return Error{QStringLiteral("the database is encrypted with a database password, which cannot be read")};
    return result;
}

} // namespace kolta::jet::engine
