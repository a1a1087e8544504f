#!/bin/sh
# check-time64.sh FILE...
# Fails when a PowerPC program, shared library or archive calls one of the C
# library's 32-bit time or file entry points. A 32-bit board built with
# -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64 calls their 64-bit forms instead
# (__gettimeofday64, __fstat64_time64, lseek64, __ioctl_time64, ...): the
# 32-bit ones wrap after 2038-01-19 03:14:07 and fail with EOVERFLOW on
# large inode numbers and files. (The stat64 family still has 32-bit times.)
set -eu
nm=${NM:-powerpc-linux-gnu-nm}
entry_points='
time stime gettimeofday settimeofday adjtime clock_gettime clock_settime
clock_getres clock_nanosleep nanosleep setitimer getitimer timer_settime
timer_gettime timerfd_settime timerfd_gettime localtime localtime_r gmtime
gmtime_r mktime timegm timelocal ctime ctime_r difftime utime utimes futimes
lutimes futimesat futimens utimensat select pselect ppoll sigtimedwait wait3
wait4 getrusage sched_rr_get_interval sem_timedwait pthread_cond_timedwait
pthread_mutex_timedlock pthread_rwlock_timedrdlock pthread_rwlock_timedwrlock
mq_timedsend mq_timedreceive ioctl fcntl fcntl64 sendmsg recvmsg sendmmsg
recvmmsg getsockopt setsockopt
stat fstat lstat fstatat stat64 fstat64 lstat64 fstatat64 __xstat __fxstat
__lxstat __fxstatat __xstat64 __fxstat64 __lxstat64 __fxstatat64 statfs
fstatfs statvfs fstatvfs
open openat creat fopen freopen tmpfile mkstemp mkostemp lseek pread pwrite
preadv pwritev truncate ftruncate fseeko ftello fgetpos fsetpos readdir
readdir_r scandir alphasort glob ftw nftw mmap lockf posix_fadvise
posix_fallocate fallocate sendfile getrlimit setrlimit
'
failed=0
for file in "$@"; do
    case $file in
    *.a) undefined=$("$nm" -u "$file") ;;
    *) undefined=$("$nm" -D -u "$file") ;;
    esac
    calls=$(printf '%s\n' "$undefined" | awk 'NF == 2 && $1 == "U" { sub(/@.*/, "", $2); print $2 }' | sort -u)
    for name in $entry_points; do
        if printf '%s\n' "$calls" | grep -qx "$name"; then
            echo "${file##*/} calls the 32-bit $name"
            failed=1
        fi
    done
done
exit $failed
