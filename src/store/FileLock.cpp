#include "store/FileLock.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <climits>
#include <utility>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

FileLock::Owner readOwner(int fd)
{
    char buf[512];
    const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    FileLock::Owner owner;
    if (n <= 0)
        return owner;
    const QList<QByteArray> lines = QByteArray(buf, int(n)).split('\n');
    owner.pid = lines.value(0).trimmed().toLongLong();
    owner.host = QString::fromUtf8(lines.value(1).trimmed());
    return owner;
}

bool alive(long long pid)
{
    if (pid <= 0 || pid > INT_MAX)
        return false;
    return kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

QString FileLock::thisHost()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return QString();
    return QString::fromUtf8(name);
}

FileLock::State FileLock::acquire(const QString& file)
{
    release();
    m_owner = Owner();
    m_error = 0;
    m_tookOver = false;
    const QString path = lockFileName(file);
    const QByteArray native = QFile::encodeName(path);
    const QString host = thisHost();
    // A few rounds: the lock file of a program that closes meanwhile goes away under us.
    for (int round = 0; round < 8; ++round) {
        const int fd = open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            m_error = errno;
            return State::Unavailable;
        }
        bool locks = true;  // the file system keeps locks
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                m_owner = readOwner(fd);
                close(fd);
                return State::Held;
            }
            locks = false;
        }
        struct stat opened, named;
        if (fstat(fd, &opened) != 0 || stat(native.constData(), &named) != 0 || opened.st_ino != named.st_ino ||
            opened.st_dev != named.st_dev) {
            close(fd);
            continue;
        }
        const Owner before = readOwner(fd);
        if (before.pid != 0) {
            // Locked by nobody, yet named: on this host its owner is gone
            // (the kernel drops the lock of a process that ends) and the lock
            // is taken over. The owner on another host cannot be asked.
            const bool here = before.host == host;
            const bool stale = here && (locks || !alive(before.pid));
            if (!stale) {
                m_owner = before;
                close(fd);
                return State::Held;
            }
            m_tookOver = true;
        }
        const QByteArray text = QByteArray::number(qint64(getpid())) + '\n' + host.toUtf8() + '\n';
        if (ftruncate(fd, 0) != 0 || pwrite(fd, text.constData(), size_t(text.size()), 0) != text.size()) {
            m_error = errno;
            close(fd);
            unlink(native.constData());
            return State::Unavailable;
        }
        m_fd = fd;
        m_path = path;
        m_owner = Owner{qint64(getpid()), host};
        return State::Taken;
    }
    m_error = EAGAIN;
    return State::Unavailable;
}

void FileLock::release()
{
    if (m_fd < 0)
        return;
    // Only the lock file that is still ours goes.
    const QByteArray native = QFile::encodeName(m_path);
    struct stat held, named;
    if (fstat(m_fd, &held) == 0 && stat(native.constData(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev)
        unlink(native.constData());
    close(m_fd);
    m_fd = -1;
    m_path.clear();
}

void FileLock::swap(FileLock& other) noexcept
{
    std::swap(m_fd, other.m_fd);
    std::swap(m_path, other.m_path);
    std::swap(m_owner, other.m_owner);
    std::swap(m_error, other.m_error);
    std::swap(m_tookOver, other.m_tookOver);
}

}  // namespace qv
