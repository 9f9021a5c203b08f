/* fault_inject: an LD_PRELOAD library that makes the system refuse the
 * output of one named file, for the early-stop checks.
 *
 * Environment:
 *   QUAKE_FAULT_FILE   the file, by its last path component ("pairs.txt")
 *   QUAKE_FAULT_OP     write, ftruncate or close
 *   QUAKE_FAULT_ERRNO  EIO or ENOSPC
 *   QUAKE_FAULT_AFTER  for write: bytes the file takes before the refusal
 *                      (a write that crosses the mark is cut short there)
 * Every other descriptor, and the named file for the other operations, is
 * served as usual. close() closes the file and then reports the error, as a
 * network file system may. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

static long long taken; /* bytes of the named file written so far */

/* Whether descriptor fd is the named file, for operation op. */
static int faulty(int fd, const char* op) {
    const char* want_op = getenv("QUAKE_FAULT_OP");
    const char* name = getenv("QUAKE_FAULT_FILE");
    if (!want_op || !name || strcmp(want_op, op) != 0) return 0;
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = '\0';
    const char* base = strrchr(path, '/');
    return base && strcmp(base + 1, name) == 0;
}

static int fault_errno(void) {
    const char* e = getenv("QUAKE_FAULT_ERRNO");
    return e && strcmp(e, "ENOSPC") == 0 ? ENOSPC : EIO;
}

ssize_t write(int fd, const void* buf, size_t count) {
    if (faulty(fd, "write")) {
        const char* a = getenv("QUAKE_FAULT_AFTER");
        long long after = a ? atoll(a) : 0;
        long long room = after - taken;
        if (room <= 0) {
            errno = fault_errno();
            return -1;
        }
        if ((long long)count > room) count = (size_t)room;
        long k = syscall(SYS_write, fd, buf, count);
        if (k > 0) taken += k;
        return k;
    }
    return syscall(SYS_write, fd, buf, count);
}

int ftruncate(int fd, off_t length) {
    if (faulty(fd, "ftruncate")) {
        errno = fault_errno();
        return -1;
    }
    return (int)syscall(SYS_ftruncate, fd, length);
}

int ftruncate64(int fd, off_t length) { return ftruncate(fd, length); }

int close(int fd) {
    int bad = faulty(fd, "close");
    int r = (int)syscall(SYS_close, fd);
    if (bad && r == 0) {
        errno = fault_errno();
        return -1;
    }
    return r;
}
