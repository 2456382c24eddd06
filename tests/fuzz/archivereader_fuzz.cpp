// Fuzz target of the archive reader: any bytes, read as an archive the way the
// commands read one (on past bad lines to the end), must give records that
// agree with their header, and never a crash, a read out of bounds or a hang.
// Built and run as tests/fuzz/CMakeLists.txt says.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "archivereader.h"
#include "extract.h"
#include "summarystats.h"

using namespace tallyread;

namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Through a file, as the commands read, so that gzip input is decoded too.
  int fd = memfd_create("archive", 0);
  require(fd >= 0);
  require(write(fd, data, size) == (ssize_t)size);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  ArchiveReader reader;
  ArchiveError err;
  require(reader.openFile(path, &err));

  // The commands' own walk: every record, rates of every total, the summary.
  {
    Series series({path}, [](const std::string& message) { require(!message.empty()); });
    Selection selection(SelectionOptions{});
    Extractor extractor(series, selection, ExtractOptions{true, 250.0});
    SummaryStats stats;
    ShownRecord shown;
    while (extractor.next(&shown)) {
      require(shown.type && shown.instance);
      for (const Cell& cell : shown.cells) require(!cell.value || cell.text == formatNumber(*cell.value) ||
                                                   !cell.isRate);
      stats.add(shown);
    }
  }
  close(fd);
  if (!reader.readHeader(&err)) {
    require(!err.empty() && err.line >= 1);
    return 0;
  }
  ArchiveRecord record;
  size_t lastLine = 0;
  for (;;) {
    if (reader.nextRecord(&record, &err)) {
      const ArchiveType* type = reader.header().typeById(record.typeId);
      require(type != nullptr);
      require(type->openEnded ? record.tokenCount() >= type->fields.size()
                              : record.tokenCount() == type->fields.size());
      require(record.line > lastLine);
      lastLine = record.line;
      require(!record.instance().empty());
    } else if (err.empty()) {
      break;
    } else {
      if (reader.finished()) break;
      require(err.line > lastLine);  // reading on past a bad line always moves forward
      lastLine = err.line;
    }
  }
  // A whole-archive read of the same bytes agrees with the streaming one.
  Archive archive;
  if (parseArchiveText(std::string((const char*)data, size), &archive, &err))
    for (const ArchiveRecord& r : archive.records) require(archive.typeOf(r) != nullptr);
  return 0;
}
