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

void fatal(const char* what) {
  fprintf(stderr, "[Tally] Fatal Error. %s\n", what);
  fflush(stderr);
  UtlExit(3, FALSE);
}

void notice(const char* what) {
  fprintf(stderr, "[Tally] %s\n", what);
  fflush(stderr);
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
  void* stream;
  if (compressed) {
    stream = gzdopen(fd, "wb");
    *errorNumber = 0;  // no error number: openOutFile reports memory exhaustion
  } else {
    FILE* f = fdopen(fd, "wb");
    // The writer buffers a whole sample itself; an unbuffered stream hands each
    // buffer straight to write(), so a full disk is seen by the write that hit it.
    if (f) setvbuf(f, nullptr, _IONBF, 0);
    stream = f;
    *errorNumber = errno ? errno : ENOMEM;
  }
  if (!stream) {
    // The file is empty and ours (created exclusively): remove it, so that a
    // second attempt is not refused because of it.
    close(fd);
    unlink(name);
    return nullptr;
  }
  *errorNumber = 0;
  return stream;
}

BoolType TallyMgr::openOutFile() {
  currentNumberOfSamples = 0;
  restartTime = 0;
  int e = 0;
  if (isCompressed) {
    outFile = useStdout ? (void*)gzdopen(1, "wb") : basicOpenOutFile(TRUE, &e);
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
    outFile = useStdout ? (void*)stdout : basicOpenOutFile(FALSE, &e);
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
      int n = gzwrite((gzFile)outFile, text + done, (unsigned)chunk);
      if (n <= 0) {
        int errnum = 0;
        const char* msg = gzerror((gzFile)outFile, &errnum);
        if (errnum != Z_ERRNO) {
          fprintf(stderr, "[Error] %s\n", msg);
          fflush(stderr);
        } else {
          postHostError(errno);
        }
        fatal(WRITE_FAILED);
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
        fatal(WRITE_FAILED);
        return;
      }
    }
    done += written;
  }
}

void TallyMgr::flushOutFile() {
  if (!outFile) return;
  if (isCompressed) {
    int rc = gzflush((gzFile)outFile, Z_PARTIAL_FLUSH);
    if (rc == Z_ERRNO) {
      postHostError();
      notice(FLUSH_FAILED);
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      int errnum = 0;
      fprintf(stderr, "[Error] %s\n", gzerror((gzFile)outFile, &errnum));
      fflush(stderr);
      notice(FLUSH_FAILED);
    }
  } else if (fflush((FILE*)outFile) != 0) {
    // Standard output is a buffered stream; its write errors surface here.
    postHostError();
    notice(FLUSH_FAILED);
  }
}

void TallyMgr::closeOutFile() {
  if (!outFile) return;
  if (statWriter) statWriter->flushBuffer();  // may itself re-create a vanished file
  void* stream = outFile;
  if (!stream) return;
  int rc;
  if (isCompressed) {
    rc = gzclose((gzFile)stream);
    rc = (rc == Z_OK) ? 0 : -1;
  } else {
    rc = fclose((FILE*)stream);
  }
  // Cleared only once the stream is closed: a shutdown that interrupts this
  // one still finds the stream.
  outFile = nullptr;
  if (rc != 0) {
    postHostError();
    notice(FLUSH_FAILED);
  }
}

void TallyMgr::postHostError(int errorNumber) {
  hostErr.theErrno = errorNumber;
  char text[sizeof(ErrMsgStrType)];
  HostGetErrMsg(&hostErr, text, sizeof text);
  fprintf(stderr, "[Error] %s\n", text);
  fflush(stderr);
}

void TallyMgr::postHostError() { postHostError(errno); }

void doSafeClose(int* descriptor) {
  UTL_GUARANTEE(*descriptor < 0 || *descriptor > 2);
  // Linux releases the descriptor even when close is interrupted; the repeat
  // then ends with EBADF (the process is single-threaded, so the number cannot
  // have been handed out again in between).
  while (close(*descriptor) != 0 && errno == EINTR) {
  }
  *descriptor = -1;
}
