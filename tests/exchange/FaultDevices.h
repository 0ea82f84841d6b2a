#pragma once
// Ways to make writing and reading fail part-way, for the export and import tests.
#include <QIODevice>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

// Takes `budget` bytes, then every write fails. Reads hand out `data` up to
// `budget` bytes, then fail.
class FailDevice : public QIODevice {
public:
    explicit FailDevice(qint64 budget, QByteArray data = {}) : m_budget(budget), m_data(std::move(data)) {}
    QByteArray written;

protected:
    qint64 writeData(const char* p, qint64 n) override
    {
        if (qint64(written.size()) + n > m_budget) {
            setErrorString(QStringLiteral("设备已满"));
            return -1;
        }
        written.append(p, n);
        return n;
    }
    qint64 readData(char* p, qint64 n) override
    {
        if (m_pos >= m_budget) {
            setErrorString(QStringLiteral("读取错误"));
            return -1;
        }
        n = std::min({n, m_budget - m_pos, qint64(m_data.size()) - m_pos});
        std::memcpy(p, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }

private:
    qint64 m_budget;
    QByteArray m_data;
    qint64 m_pos = 0;
};

// Files may not grow past `bytes` while this lives; writes beyond fail
// (EFBIG) even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// At most `more` further files can be opened while this lives.
class OpenFileLimit {
public:
    explicit OpenFileLimit(int more)
    {
        getrlimit(RLIMIT_NOFILE, &m_old);
        const int lowestFree = fcntl(2, F_DUPFD_CLOEXEC, 0);
        close(lowestFree);
        rlimit lim = m_old;
        lim.rlim_cur = rlim_t(lowestFree + more);
        m_ok = lowestFree >= 0 && setrlimit(RLIMIT_NOFILE, &lim) == 0;
    }
    ~OpenFileLimit() { setrlimit(RLIMIT_NOFILE, &m_old); }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    bool m_ok = false;
};
