/* Test-only LD_PRELOAD library: counts the file-system calls a program makes, by kind, and fails the
 * N-th call of one kind with a chosen errno.
 *
 *   QUILL_FAULT=kind:N:ERRNO     e.g. write:17:ENOSPC (ERRNO: ENOSPC or EIO; SHORT for a write that
 *                                writes only the first half of its bytes and says so)
 *   QUILL_FAULT_COUNTS=file      the counts of every kind are written there at exit
 *
 * Kinds: write (write, pwrite, writev to a regular file), open (open that may create or write), rename
 * (rename and link), mkdir, sync (fsync, fdatasync, syncfs). Calls from inside the C library itself
 * (stdio's own writes, for instance) are not seen. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum Kind
{
    kWrite,
    kOpen,
    kRename,
    kMkdir,
    kSync,
    kKinds
};
static const char* const kNames[kKinds] = {"write", "open", "rename", "mkdir", "sync"};

static long counts[kKinds];
static int faultKind = -1;
static long faultAt;
static int faultErrno;
static int faultShort;

static void __attribute__((constructor)) setUp(void)
{
    const char* fault = getenv("QUILL_FAULT");
    if (!fault)
        return;
    char kind[16] = {0}, code[16] = {0};
    if (sscanf(fault, "%15[a-z]:%ld:%15[A-Z]", kind, &faultAt, code) != 3)
        return;
    for (int k = 0; k < kKinds; ++k)
        if (strcmp(kind, kNames[k]) == 0)
            faultKind = k;
    faultErrno = strcmp(code, "EIO") == 0 ? EIO : ENOSPC;
    faultShort = strcmp(code, "SHORT") == 0;
}

static void __attribute__((destructor)) tearDown(void)
{
    const char* path = getenv("QUILL_FAULT_COUNTS");
    if (!path)
        return;
    FILE* out = fopen(path, "w");
    if (!out)
        return;
    for (int k = 0; k < kKinds; ++k)
        fprintf(out, "%s %ld\n", kNames[k], __atomic_load_n(&counts[k], __ATOMIC_SEQ_CST));
    fclose(out);
}

/* Counts the call; nonzero when it is the one to fail (errno is then set). */
static int fails(enum Kind kind)
{
    const long n = __atomic_add_fetch(&counts[kind], 1, __ATOMIC_SEQ_CST);
    if ((int)kind == faultKind && n == faultAt) {
        errno = faultErrno;
        return 1;
    }
    return 0;
}

static int isRegular(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

static int writes(int flags)
{
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t write(int fd, const void* data, size_t size)
{
    if (isRegular(fd) && fails(kWrite))
        return faultShort ? NEXT(write)(fd, data, size > 1 ? size / 2 : size) : -1;
    return NEXT(write)(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset)
{
    if (isRegular(fd) && fails(kWrite))
        return faultShort ? NEXT(pwrite)(fd, data, size > 1 ? size / 2 : size, offset) : -1;
    return NEXT(pwrite)(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset)
{
    if (isRegular(fd) && fails(kWrite))
        return faultShort ? NEXT(pwrite64)(fd, data, size > 1 ? size / 2 : size, offset) : -1;
    return NEXT(pwrite64)(fd, data, size, offset);
}

ssize_t writev(int fd, const struct iovec* iov, int count)
{
    if (isRegular(fd) && fails(kWrite))
        return -1;
    return NEXT(writev)(fd, iov, count);
}

static mode_t modeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (writes(flags) && fails(kOpen))
        return -1;
    return NEXT(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (writes(flags) && fails(kOpen))
        return -1;
    return NEXT(open64)(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (writes(flags) && fails(kOpen))
        return -1;
    return NEXT(openat)(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (writes(flags) && fails(kOpen))
        return -1;
    return NEXT(openat64)(dir, path, flags, mode);
}

int __open_2(const char* path, int flags)
{
    if (writes(flags) && fails(kOpen))
        return -1;
    return NEXT(__open_2)(path, flags);
}

int __open64_2(const char* path, int flags)
{
    if (writes(flags) && fails(kOpen))
        return -1;
    return NEXT(__open64_2)(path, flags);
}

int creat(const char* path, mode_t mode)
{
    if (fails(kOpen))
        return -1;
    return NEXT(creat)(path, mode);
}

int rename(const char* from, const char* to)
{
    if (fails(kRename))
        return -1;
    return NEXT(rename)(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    if (fails(kRename))
        return -1;
    return NEXT(renameat)(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags)
{
    if (fails(kRename))
        return -1;
    return NEXT(renameat2)(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to)
{
    if (fails(kRename))
        return -1;
    return NEXT(link)(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    if (fails(kRename))
        return -1;
    return NEXT(linkat)(fromDir, from, toDir, to, flags);
}

int mkdir(const char* path, mode_t mode)
{
    if (fails(kMkdir))
        return -1;
    return NEXT(mkdir)(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode)
{
    if (fails(kMkdir))
        return -1;
    return NEXT(mkdirat)(dir, path, mode);
}

int fsync(int fd)
{
    if (fails(kSync))
        return -1;
    return NEXT(fsync)(fd);
}

int fdatasync(int fd)
{
    if (fails(kSync))
        return -1;
    return NEXT(fdatasync)(fd);
}

int syncfs(int fd)
{
    if (fails(kSync))
        return -1;
    return NEXT(syncfs)(fd);
}
