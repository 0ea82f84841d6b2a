#pragma once
// Ways to make writing and reading fail part-way.
#include <QIODevice>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

// Writes succeed for `budget` bytes, then fail; reads hand out `data` up to
// `budget` bytes, then fail.
class FailDevice : public QIODevice {
public:
    explicit FailDevice(qint64 budget, QByteArray data = {}) : m_budget(budget), m_data(std::move(data)) {}
    QByteArray written;

    bool seek(qint64 pos) override
    {
        m_pos = pos;
        return QIODevice::seek(pos);
    }

protected:
    qint64 writeData(const char* p, qint64 n) override
    {
        if (written.size() + n > m_budget)
            return setErrorString(QStringLiteral("设备已满")), -1;
        written.append(p, n);
        return n;
    }
    qint64 readData(char* p, qint64 n) override
    {
        if (m_pos >= m_budget)
            return setErrorString(QStringLiteral("读取错误")), -1;
        n = std::min({n, m_budget - m_pos, m_data.size() - m_pos});
        std::memcpy(p, m_data.constData() + m_pos, size_t(n));
        return m_pos += n, n;
    }

private:
    qint64 m_budget;
    QByteArray m_data;
    qint64 m_pos = 0;
};

// Lowers a resource limit of the process while it lives: RLIMIT_FSIZE makes
// writes fail (EFBIG, even for root), RLIMIT_NOFILE makes opening fail.
class ResourceLimit {
public:
    ResourceLimit(int resource, rlim_t value) : m_resource(resource)
    {
        getrlimit(m_resource, &m_old);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = m_old;
        lim.rlim_cur = value;
        m_ok = setrlimit(m_resource, &lim) == 0;
    }
    ~ResourceLimit()
    {
        setrlimit(m_resource, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    bool ok() const { return m_ok; }
    // The lowest descriptor number free now.
    static int lowestFreeFd()
    {
        const int fd = fcntl(2, F_DUPFD_CLOEXEC, 0);
        close(fd);
        return fd;
    }

private:
    int m_resource;
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
    bool m_ok = false;
};
