#pragma once

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quill::testing {

// A forked child that holds a classic write lock on a file until told to go.
class LockingChild
{
public:
    explicit LockingChild(const QString& path, off_t start = 0, off_t length = 0)
    {
        int ready[2];
        int quit[2];
        if (::pipe(ready) != 0 || ::pipe(quit) != 0)
            return;
        const QByteArray name = QFile::encodeName(path);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(quit[1]); // so that the parent's close is seen as the end
            ::close(ready[0]);
            const int fd = ::open(name.constData(), O_RDWR);
            struct flock lock = {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = start;
            lock.l_len = length;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(quit[0], &c, 1);
            ::_exit(0);
        }
        char ok = '0';
        (void)!::read(ready[0], &ok, 1);
        m_locked = ok == '1';
        m_quit = quit[1];
        ::close(ready[0]);
        ::close(ready[1]);
        ::close(quit[0]);
    }
    ~LockingChild()
    {
        if (m_pid <= 0)
            return;
        // A byte, not only EOF: another process forked meanwhile may hold a copy of the write end.
        const char go = 'q';
        (void)!::write(m_quit, &go, 1);
        ::close(m_quit);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_quit = -1;
    bool m_locked = false;
};

} // namespace quill::testing
