// Where the records go: standard output, flushed after every record, or the
// --output file, written whole and synced to disk after every record (so an
// interrupted run keeps every finished cycle).
#pragma once

#include <string>

#include "RecordFile.h"

namespace ksv::cli {

class TRecordSink {
public:
    // Creates `path` (which must not exist yet); an empty path means
    // standard output. False with Error() set when the file cannot be had.
    bool Open(const std::string& path);
    // Writes `text` whole; false with Error() set when it could not.
    bool Write(const std::string& text);
    const std::string& Error() const { return error_; }

private:
    bool toFile_ = false;
    TRecordFile file_;
    std::string error_;
};

} // namespace ksv::cli
