// Record marking of ONC RPC over TCP: a record is one or more fragments,
// each after a 4-byte big-endian word whose top bit marks the record's last
// fragment and whose low 31 bits give the fragment's length. The reader
// takes bytes as they arrive and hands out whole records; a record that
// would pass its bound is refused before any of it is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace ksv::vxi11 {

class TRecordReader {
public:
    explicit TRecordReader(std::size_t maxRecord) : max_(maxRecord) {}

    // False once a record passes the bound: the stream cannot be trusted
    // any more and the connection is to be closed.
    bool Feed(std::string_view bytes);
    // The next whole record; false when none is complete.
    bool Next(std::string& record);

private:
    std::size_t max_;
    std::string header_;     // the fragment word read so far
    std::uint32_t left_ = 0; // bytes of the current fragment still to come
    bool inFragment_ = false, lastFragment_ = false, failed_ = false;
    std::string record_;
    std::deque<std::string> done_;
};

// `payload` as one record of a single, last fragment.
std::string FrameRecord(std::string_view payload);

} // namespace ksv::vxi11
