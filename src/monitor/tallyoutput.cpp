// The archive's output file. Text reaches it only from the writer's buffer
// (HostStatWriter::flushBuffer -> writeToFile -> writeBufferToFile), and every
// new file starts with the archive header.
#include "monitor/tallyoutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "archive/hoststatwriter.h"
#include "host/hoststdout.h"
#include "host/utlexit.h"
#include "host/utlstring.h"
#include "monitor/tallymgr.h"

namespace {

const char* const OPEN_FAILED = "Error opening output file";
const char* const WRITE_FAILED = "Unable to write to output file";
const char* const FLUSH_FAILED = "Error flushing output file";
const char* const FILE_MISSING = "The output file is missing. Creating new output file.";
const char* const NAME_TOO_LONG = "Output file name is longer than 1023 characters";

void (*headerWriterForTest)(TallyMgr*) = nullptr;

// With -f stdout: the descriptor standard output was moved to, which only the
// archive writes (TallyTakeStdoutForArchive), or -1 with the reason it could
// not be taken. Each "file" is a stream on a duplicate of it, so closing a file
// (which ends a gzip member) leaves it open for the next one under -r.
int stdoutArchiveFd = -1;
int stdoutArchiveErrno = EBADF;

void fatal(const char* what) {
  fprintf(stderr, "[Tally] Fatal Error. %s\n", what);
  fflush(stderr);
  UtlExit(3, FALSE);
}

void notice(const char* what) {
  fprintf(stderr, "[Tally] %s\n", what);
  fflush(stderr);
}

// Reports why a zlib call on the archive failed. zlib keeps the first error of
// a stream and fails every later call with it without writing again, so errno
// names the cause only when the failing call itself set it (callers clear it
// before the call); otherwise zlib's own message, which names the cause of the
// first failure, is reported. An older errno is never reported as the cause.
void postGzipError(TallyMgr* mgr, gzFile stream, int errnoOfCall) {
  int errnum = Z_OK;
  const char* msg = gzerror(stream, &errnum);
  if (errnum == Z_ERRNO && errnoOfCall != 0) {
    mgr->postHostError(errnoOfCall);
    return;
  }
  fprintf(stderr, "[Error] %s\n", msg);
  fflush(stderr);
}

// A write that failed for good ends the run; the exit path then closes the
// stream without writing or reporting again.
void writeFailed(TallyMgr* mgr) {
  mgr->outputFailed = TRUE;
  fatal(WRITE_FAILED);
}

// A flush or a close that could not write. A file keeps running: its next
// write reports a lasting failure. Standard output has no file to re-create and
// a reader that has gone stays gone, so there a failed flush is a failed write.
void flushFailed(TallyMgr* mgr) {
  if (mgr->useStdout) {
    writeFailed(mgr);
  } else {
    notice(FLUSH_FAILED);
  }
}

size_t suffixLength(const TallyMgr* mgr) {
  size_t n = strlen(".out");
  if (mgr->isCompressed) n += strlen(".gz");
  if (mgr->restartCount > 0) n += (size_t)snprintf(nullptr, 0, "-%d", mgr->restartCount);
  return n;
}

}  // namespace

size_t TallyDataFileNameLength(const TallyMgr* mgr) {
  if (mgr->useStdout) return strlen("stdout");
  return strnlen(mgr->sampleFileName, sizeof mgr->sampleFileName) + suffixLength(mgr);
}

void TallyCheckDataFileName(TallyMgr* mgr) {
  if (TallyDataFileNameLength(mgr) > TALLY_MAX_DATA_FILE_NAME) fatal(NAME_TOO_LONG);
}

void TallySetHeaderWriterForTest(void (*writeHeader)(TallyMgr*)) { headerWriterForTest = writeHeader; }

void TallyTakeStdoutForArchive() {
  if (stdoutArchiveFd >= 0) return;
  stdoutArchiveFd = HostTakeStdoutForData();
  if (stdoutArchiveFd < 0) stdoutArchiveErrno = errno;
}

const char* TallyMgr::TallyDataFile() {
  if (useStdout) return "stdout";
  // Checked before building, so that an oversized name is refused with a
  // message instead of tripping the bounded copies below.
  if (TallyDataFileNameLength(this) > TALLY_MAX_DATA_FILE_NAME) {
    fatal(NAME_TOO_LONG);
    UtlStrCpyCut(actualName, sampleFileName, sizeof actualName);  // only reached under a test exit hook
    return actualName;
  }
  UtlStrCpy(actualName, sampleFileName, sizeof actualName);
  if (restartCount > 0) {
    char number[16];
    UtlSnprintf(number, sizeof number, "-%d", restartCount);
    UtlStrCat(actualName, number, sizeof actualName);
  }
  UtlStrCat(actualName, ".out", sizeof actualName);
  if (isCompressed) UtlStrCat(actualName, ".gz", sizeof actualName);
  return actualName;
}

namespace {

// A stream on an open descriptor, or null with the descriptor closed and the
// error number stored (0 for gzip: openOutFile reports memory exhaustion).
void* streamOnDescriptor(int fd, BoolType compressed, int* errorNumber) {
  errno = 0;
  void* stream;
  if (compressed) {
    stream = gzdopen(fd, "wb");
    *errorNumber = 0;
  } else {
    FILE* f = fdopen(fd, "wb");
    // The writer buffers a whole sample itself; an unbuffered stream hands each
    // buffer straight to write(), so a full disk or a reader that has gone is
    // seen by the write that hit it.
    if (f) setvbuf(f, nullptr, _IONBF, 0);
    stream = f;
    *errorNumber = errno ? errno : ENOMEM;
  }
  if (!stream) {
    close(fd);
    return nullptr;
  }
  *errorNumber = 0;
  return stream;
}

// The next "file" on standard output: a stream on a duplicate of the taken descriptor.
void* openStdoutStream(BoolType compressed, int* errorNumber) {
  if (stdoutArchiveFd < 0) {
    *errorNumber = stdoutArchiveErrno;
    return nullptr;
  }
  int fd = fcntl(stdoutArchiveFd, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) {
    *errorNumber = errno;
    return nullptr;
  }
  return streamOnDescriptor(fd, compressed, errorNumber);
}

}  // namespace

void* TallyMgr::basicOpenOutFile(BoolType compressed, int* errorNumber) {
  const char* name = TallyDataFile();
  errno = 0;
  int fd;
  do {
    // Exclusive creation: an archive that is already there is never overwritten.
    fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *errorNumber = errno;
    return nullptr;
  }
  void* stream = streamOnDescriptor(fd, compressed, errorNumber);
  // The file is empty and ours (created exclusively): remove it, so that a
  // second attempt is not refused because of it.
  if (!stream) unlink(name);
  return stream;
}

BoolType TallyMgr::openOutFile() {
  currentNumberOfSamples = 0;
  restartTime = 0;
  int e = 0;
  if (isCompressed) {
    outFile = useStdout ? openStdoutStream(TRUE, &e) : basicOpenOutFile(TRUE, &e);
    if (!outFile) {
      if (e != 0) {
        postHostError(e);
      } else {
        fprintf(stderr, "[Error] memory exhaustion in gzopen()\n");
        fflush(stderr);
      }
      fatal(OPEN_FAILED);
      return TRUE;  // only reached under a test exit hook
    }
  } else {
    outFile = useStdout ? openStdoutStream(FALSE, &e) : basicOpenOutFile(FALSE, &e);
    if (!outFile) {
      postHostError(e);
      fatal(OPEN_FAILED);
      return TRUE;
    }
  }
  if (restartCount > 1 && !quietMode) fprintf(stderr, "  Output file is:     %s\n", TallyDataFile());
  if (headerWriterForTest) {
    headerWriterForTest(this);
  } else {
    printStatDescription();  // ends with a hand-over of the writer's buffer
  }
  return TRUE;
}

void TallyMgr::writeToFile(char* text, size_t length) {
  if (outputFailed) return;
  struct stat st;
  if (!useStdout && outFile && stat(TallyDataFile(), &st) != 0) {
    hostErr.theErrno = errno;
    // Only a name that is gone is re-created; a status query that fails for any
    // other reason (a directory turned unreadable) keeps writing to the open file.
    if (hostErr.theErrno == ENOENT || hostErr.theErrno == ENOTDIR) {
      notice(FILE_MISSING);
      // The pending text normally is the writer's own buffer, and the new file's
      // header is written through that same buffer. So the pending records are
      // copied aside and the buffer emptied first; the header then fills the
      // buffer from its start and is handed over by its own flush, and the
      // copy follows it. The new file gets the header first and every pending
      // record exactly once.
      char* pending = (char*)UtlMallocHalt(length ? length : 1, "pending archive text");
      memcpy(pending, text, length);
      HostStatWriter* w = statWriter;
      uintptr_t at = (uintptr_t)text;
      if (w && w->buffer && at >= (uintptr_t)w->buffer && at < (uintptr_t)w->bufLimit) {
        w->bufPtr = w->buffer;
        *w->bufPtr = '\0';
      }
      if (isCompressed) {
        gzclose((gzFile)outFile);
      } else {
        fclose((FILE*)outFile);
      }
      outFile = nullptr;
      if (restartCount > 0) restartCount++;
      openOutFile();
      if (outFile) writeBufferToFile(pending, length);
      UtlFree(pending);
      return;
    }
  }
  if (outFile) writeBufferToFile(text, length);
}

void TallyMgr::writeBufferToFile(char* text, size_t length) {
  size_t done = 0;
  while (done < length) {
    size_t written;
    if (isCompressed) {
      size_t chunk = length - done;
      if (chunk > (size_t)INT_MAX) chunk = (size_t)INT_MAX;  // gzwrite reports counts as int
      errno = 0;
      int n = gzwrite((gzFile)outFile, text + done, (unsigned)chunk);
      if (n <= 0) {
        postGzipError(this, (gzFile)outFile, errno);
        writeFailed(this);
        return;  // a second exit request (from inside the exit path) returns here
      }
      written = (size_t)n;
    } else {
      // At most a megabyte per write: measured here, the kernel took 0.85 ns a
      // byte to add one 3 MB write to a file and 0.21 ns a byte for the same
      // bytes in 1 MB writes, so a large sample cost more per byte than a small.
      const size_t kWriteChunk = (size_t)1 << 20;
      FILE* f = (FILE*)outFile;
      clearerr(f);
      errno = 0;
      written = fwrite(text + done, 1, std::min(length - done, kWriteChunk), f);
      if (written == 0 || ferror(f)) {
        postHostError(errno);
        writeFailed(this);
        return;
      }
    }
    done += written;
  }
}

void TallyMgr::flushOutFile() {
  if (!outFile || outputFailed) return;
  if (isCompressed) {
    errno = 0;
    int rc = gzflush((gzFile)outFile, Z_PARTIAL_FLUSH);
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      postGzipError(this, (gzFile)outFile, errno);
      flushFailed(this);
    }
  } else if (fflush((FILE*)outFile) != 0) {
    postHostError();
    flushFailed(this);
  }
}

void TallyMgr::closeOutFile() {
  if (!outFile) return;
  if (statWriter) statWriter->flushBuffer();  // may itself re-create a vanished file
  void* stream = outFile;
  if (!stream) return;
  errno = 0;
  int rc = isCompressed ? gzclose((gzFile)stream) : fclose((FILE*)stream);
  int cause = errno;
  // Cleared only once the stream is closed: a shutdown that interrupts this
  // one still finds the stream.
  outFile = nullptr;
  // After a failed write the run is already ending with that write's report;
  // the close meets the same fault and has nothing new to say.
  if (rc == 0 || outputFailed) return;  // Z_OK is 0
  if (cause != 0 || !isCompressed) {
    postHostError(cause);
  } else {
    fprintf(stderr, "[Error] closing the output stream failed (zlib error %d)\n", rc);
    fflush(stderr);
  }
  flushFailed(this);
}

void TallyMgr::postHostError(int errorNumber) {
  hostErr.theErrno = errorNumber;
  char text[sizeof(ErrMsgStrType)];
  HostGetErrMsg(&hostErr, text, sizeof text);
  fprintf(stderr, "[Error] %s\n", text);
  fflush(stderr);
}

void TallyMgr::postHostError() { postHostError(errno); }
