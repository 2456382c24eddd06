// The text of an operating-system error number: "errno=N," and a table entry of
// the symbolic name and a description. The table is keyed by symbolic name, so
// each entry carries this platform's number for that name.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/syserror.h"

namespace {

struct ErrText {
  int number;
  const char* text;
};

// Linux gives two pairs of names one number each: EDEADLOCK is an alias of
// EDEADLK and ENOTSUP of EOPNOTSUPP. One entry per number is kept, under the
// name the kernel itself uses (EDEADLK, EOPNOTSUPP).
const ErrText ERR_TEXTS[] = {
    {EPERM, "EPERM, Operation not permitted"},
    {ENOENT, "ENOENT, The file or directory specified cannot be found"},
    {ESRCH, "ESRCH, No such process"},
    {EINTR, "EINTR, Interrupted system call (signal has aborted a syscall)"},
    {EIO, "EIO, I/O error (a physical read or write failed)"},
    {ENXIO, "ENXIO, No such device or address"},
    {E2BIG, "E2BIG, Argument list too long"},
    {ENOEXEC, "ENOEXEC, Exec format error"},
    {EBADF, "EBADF, Bad file number (file not open or opened for a different access)"},
    {ECHILD, "ECHILD, No child processes"},
    {EAGAIN, "EAGAIN, Resource temporarily unavailable (try again)"},
    {ENOMEM, "ENOMEM, Not enough memory"},
    {EACCES, "EACCES, Authorization failure (permission denied)"},
    {EFAULT, "EFAULT, Bad address (programmer error)"},
    {ENOTBLK, "ENOTBLK, Block device required"},
    {EBUSY, "EBUSY, Device or resource busy"},
    {EEXIST, "EEXIST, The file already exists"},
    {EXDEV, "EXDEV, Cross-device link"},
    {ENODEV, "ENODEV, No such device"},
    {ENOTDIR, "ENOTDIR, Not a directory"},
    {EISDIR, "EISDIR, Is a directory"},
    {EINVAL, "EINVAL, Invalid argument (programmer error)"},
    {ENFILE, "ENFILE, File table overflow (too many files open in the system)"},
    {EMFILE, "EMFILE, Too many open files in this process"},
    {ENOTTY, "ENOTTY, Inappropriate ioctl for device"},
    {ETXTBSY, "ETXTBSY, Text file busy"},
    {EFBIG, "EFBIG, File too large"},
    {ENOSPC, "ENOSPC, There is no space left on the device (or, in fcntl(), there are no more record locks)"},
    {ESPIPE, "ESPIPE, Illegal seek (on a pipe or socket)"},
    {EROFS, "EROFS, Read-only file system"},
    {EMLINK, "EMLINK, Too many links"},
    {EPIPE, "EPIPE, Broken pipe (the reader has gone away)"},
    {EDOM, "EDOM, Math argument out of domain of function"},
    {ERANGE, "ERANGE, Math result not representable"},
    {EDEADLK, "EDEADLK, Resource deadlock would occur"},
    {ENAMETOOLONG, "ENAMETOOLONG, File name too long"},
    {ENOLCK, "ENOLCK, No record locks available"},
    {ENOSYS, "ENOSYS, Function not implemented"},
    {ENOTEMPTY, "ENOTEMPTY, Directory not empty"},
    {ELOOP, "ELOOP, Too many levels of symbolic links"},
    {ENOMSG, "ENOMSG, No message of desired type"},
    {EIDRM, "EIDRM, Identifier removed (resource such as semaphore or shared memory has been deleted)"},
    {ECHRNG, "ECHRNG, Channel number out of range"},
    {EL2NSYNC, "EL2NSYNC, Level 2 not synchronized"},
    {EL3HLT, "EL3HLT, Level 3 halted"},
    {EL3RST, "EL3RST, Level 3 reset"},
    {ELNRNG, "ELNRNG, Link number out of range"},
    {EUNATCH, "EUNATCH, Protocol driver not attached"},
    {ENOCSI, "ENOCSI, No CSI structure available"},
    {EL2HLT, "EL2HLT, Level 2 halted"},
    {EBADE, "EBADE, Invalid exchange"},
    {EBADR, "EBADR, Invalid request descriptor"},
    {EXFULL, "EXFULL, Exchange full"},
    {ENOANO, "ENOANO, No anode"},
    {EBADRQC, "EBADRQC, Invalid request code"},
    {EBADSLT, "EBADSLT, Invalid slot"},
    {EBFONT, "EBFONT, Bad font file format"},
    {ENOSTR, "ENOSTR, Device not a stream"},
    {ENODATA, "ENODATA, No data available"},
    {ETIME, "ETIME, Timer expired"},
    {ENOSR, "ENOSR, Out of streams resources"},
    {ENONET, "ENONET, Machine is not on the network"},
    {ENOPKG, "ENOPKG, Package not installed"},
    {EREMOTE, "EREMOTE, Object is remote"},
    {ENOLINK, "ENOLINK, Link has been severed"},
    {EADV, "EADV, Advertise error"},
    {ESRMNT, "ESRMNT, Srmount error"},
    {ECOMM, "ECOMM, Communication error on send"},
    {EPROTO, "EPROTO, Protocol error"},
    {EMULTIHOP, "EMULTIHOP, Multihop attempted"},
    {EBADMSG, "EBADMSG, Not a data message"},
    {EOVERFLOW, "EOVERFLOW, Value too large for defined data type"},
    {ENOTUNIQ, "ENOTUNIQ, Name not unique on network"},
    {EBADFD, "EBADFD, File descriptor in bad state"},
    {EREMCHG, "EREMCHG, Remote address changed"},
    {ELIBACC, "ELIBACC, Can not access a needed shared library"},
    {ELIBBAD, "ELIBBAD, Accessing a corrupted shared library"},
    {ELIBSCN, "ELIBSCN, .lib section in a.out corrupted"},
    {ELIBMAX, "ELIBMAX, Attempting to link in too many shared libraries"},
    {ELIBEXEC, "ELIBEXEC, Cannot exec a shared library directly"},
    {EILSEQ, "EILSEQ, Illegal byte sequence"},
    {ERESTART, "ERESTART, Restartable system call"},
    {ESTRPIPE, "ESTRPIPE, Streams pipe error"},
    {EUSERS, "EUSERS, Too many users"},
    {ENOTSOCK, "ENOTSOCK, Socket operation on non-socket"},
    {EDESTADDRREQ, "EDESTADDRREQ, Destination address required"},
    {EMSGSIZE, "EMSGSIZE, Message too long"},
    {EPROTOTYPE, "EPROTOTYPE, Protocol wrong type for socket"},
    {ENOPROTOOPT, "ENOPROTOOPT, Protocol not available"},
    {EPROTONOSUPPORT, "EPROTONOSUPPORT, Protocol not supported"},
    {ESOCKTNOSUPPORT, "ESOCKTNOSUPPORT, Socket type not supported"},
    {EOPNOTSUPP, "EOPNOTSUPP, Operation not supported on this object"},
    {EPFNOSUPPORT, "EPFNOSUPPORT, Protocol family not supported"},
    {EAFNOSUPPORT, "EAFNOSUPPORT, Address family not supported by protocol"},
    {EADDRINUSE, "EADDRINUSE, Address already in use"},
    {EADDRNOTAVAIL, "EADDRNOTAVAIL, Cannot assign requested address"},
    {ENETDOWN, "ENETDOWN, Network is down"},
    {ENETUNREACH, "ENETUNREACH, Network is unreachable"},
    {ENETRESET, "ENETRESET, Network dropped connection because of reset"},
    {ECONNABORTED, "ECONNABORTED, Software caused connection abort"},
    {ECONNRESET, "ECONNRESET, Connection reset by peer"},
    {ENOBUFS, "ENOBUFS, No buffer space available"},
    {EISCONN, "EISCONN, Transport endpoint is already connected"},
    {ENOTCONN, "ENOTCONN, Transport endpoint is not connected"},
    {ESHUTDOWN, "ESHUTDOWN, Cannot send after transport endpoint shutdown"},
    {ETOOMANYREFS, "ETOOMANYREFS, Too many references: cannot splice"},
    {ETIMEDOUT, "ETIMEDOUT, Connection timed out"},
    {ECONNREFUSED, "ECONNREFUSED, Connection refused"},
    {EHOSTDOWN, "EHOSTDOWN, Host is down"},
    {EHOSTUNREACH, "EHOSTUNREACH, No route to host"},
    {EALREADY, "EALREADY, Operation already in progress"},
    {EINPROGRESS, "EINPROGRESS, Operation now in progress"},
    {ESTALE, "ESTALE, Stale file handle"},
    {EDQUOT, "EDQUOT, Disk quota exceeded"},
};

const char* tableText(int number) {
  for (const ErrText& entry : ERR_TEXTS)
    if (entry.number == number) return entry.text;
  return nullptr;
}

}  // namespace

void HostGetErrMsg(const HostErrSType* err, char* buffer, size_t size) {
  if (size == 0) return;
  int number = err->theErrno;
  if (number == 0) {
    buffer[0] = '\0';
    return;
  }
  const char* text = tableText(number);
  char fallback[256];
  if (!text) {
    fprintf(stderr, "unixerr: no string for %d\n", number);
    // strerror_r of the GNU library may return a static text instead of filling ours.
    text = strerror_r(number, fallback, sizeof fallback);
  }
  // The text is cut to the buffer by design.
  int n = snprintf(buffer, size, "errno=%d,%s", number, text);
  (void)n;
}
