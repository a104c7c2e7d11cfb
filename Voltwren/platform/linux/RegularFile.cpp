#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace RegularFile {

namespace {

QString errorText(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

Contents unreadable(const QString& error) {
    return Contents{Contents::State::unreadable, {}, error};
}

// Why a file of this type is not read.
QString notRegular(mode_t mode) {
    return S_ISDIR(mode) ? QStringLiteral("it is a folder") : QStringLiteral("it is not a regular file");
}

} // namespace

Contents read(const QString& path, qint64 maximumSize) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        const int error = errno;
        struct stat link {};
        if ((error == ENOENT || error == ENOTDIR) && ::lstat(native.constData(), &link) != 0)
            return {};
        return unreadable(errorText(error));
    }
    if (!S_ISREG(info.st_mode))
        return unreadable(notRegular(info.st_mode));
    if (info.st_size > maximumSize)
        return {Contents::State::tooLarge, {}, {}};

    // Non-blocking even so: it may have been swapped for a FIFO since.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unreadable(errorText(errno));
    Contents contents{Contents::State::read, {}, {}};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        contents = unreadable(QStringLiteral("it is not a regular file"));
    // Up to one byte past the bound, which tells a file that grew meanwhile.
    char buffer[64 * 1024];
    while (contents.state == Contents::State::read && contents.bytes.size() <= maximumSize) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            contents = unreadable(errorText(errno));
        else if (count == 0)
            break;
        else
            contents.bytes.append(buffer, count);
    }
    ::close(fd);
    if (contents.bytes.size() > maximumSize)
        return {Contents::State::tooLarge, {}, {}};
    return contents;
}

QString temporaryPrefix(const QString& path) {
    const QFileInfo file(path);
    return file.absolutePath() + QStringLiteral("/.") + file.fileName() + QStringLiteral(".saving-");
}

std::optional<QString> replace(const QString& path, const QByteArray& bytes) {
    QFileInfo target(path);
    if (target.isSymLink())
        target = QFileInfo(target.symLinkTarget());
    QTemporaryFile file(temporaryPrefix(target.absoluteFilePath()) + QStringLiteral("XXXXXX"));
    if (!file.open())
        return file.errorString();
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    // On disk before the rename, so a crash leaves the old file or the new one.
    if (::fsync(file.handle()) != 0)
        return errorText(errno);
    if (target.exists())
        file.setPermissions(target.permissions());
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return errorText(errno);
    file.setAutoRemove(false);
    return std::nullopt;
}

} // namespace RegularFile
