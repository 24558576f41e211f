#include "RpcRecord.h"

#include <algorithm>

namespace ksv::vxi11 {

bool TRecordReader::Feed(std::string_view bytes)
{
    while (!failed_ && !bytes.empty()) {
        if (!inFragment_) {
            const std::size_t take = std::min<std::size_t>(4 - header_.size(), bytes.size());
            header_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (header_.size() < 4) break;
            std::uint32_t word = 0;
            for (const char c : header_) word = (word << 8) | static_cast<unsigned char>(c);
            header_.clear();
            lastFragment_ = (word & 0x80000000u) != 0;
            left_ = word & 0x7FFFFFFFu;
            if (left_ > max_ - std::min(max_, record_.size())) {
                failed_ = true;
                break;
            }
            inFragment_ = true;
        }
        const std::size_t take = std::min<std::size_t>(left_, bytes.size());
        record_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        left_ -= static_cast<std::uint32_t>(take);
        if (left_ > 0) break;
        inFragment_ = false;
        if (lastFragment_) {
            done_.push_back(std::move(record_));
            record_.clear();
        }
    }
    return !failed_;
}

bool TRecordReader::Next(std::string& record)
{
    if (done_.empty()) return false;
    record = std::move(done_.front());
    done_.pop_front();
    return true;
}

std::string FrameRecord(std::string_view payload)
{
    const auto size = static_cast<std::uint32_t>(payload.size()) | 0x80000000u;
    std::string framed(4, '\0');
    for (int i = 0; i < 4; ++i) framed[static_cast<std::size_t>(i)] = static_cast<char>((size >> (24 - 8 * i)) & 0xFF);
    framed.append(payload);
    return framed;
}

} // namespace ksv::vxi11
