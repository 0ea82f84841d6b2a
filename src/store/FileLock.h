#pragma once
// One writer per database file. A lock file "<file>.lock" beside the file
// names the process that has it open for editing (its id and host name).
// The owner keeps the lock file locked (flock) while it runs, so the lock of
// a program that was killed is known as stale and taken over.
#include <QString>

namespace qv {

class FileLock {
public:
    enum class State {
        Taken,        // this process holds it now (a stale lock was taken over, if there was one)
        Held,         // another running program holds it: owner() says which
        Unavailable,  // no lock file can be made here (a folder that cannot be written)
    };
    struct Owner {
        long long pid = 0;
        QString host;
    };

    FileLock() = default;
    ~FileLock() { release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept { swap(other); }
    FileLock& operator=(FileLock&& other) noexcept
    {
        if (this != &other) {
            release();
            swap(other);
        }
        return *this;
    }

    // Takes the lock of `file`, the file a save writes (a link's target).
    State acquire(const QString& file);
    // Gives the lock up and removes its file.
    void release();
    bool held() const { return m_fd >= 0; }
    const Owner& owner() const { return m_owner; }
    int error() const { return m_error; }   // the errno when Unavailable
    bool tookOver() const { return m_tookOver; }

    static QString lockFileName(const QString& file) { return file + QStringLiteral(".lock"); }
    static QString thisHost();

private:
    void swap(FileLock& other) noexcept;

    int m_fd = -1;
    QString m_path;
    Owner m_owner;
    int m_error = 0;
    bool m_tookOver = false;
};

}  // namespace qv
