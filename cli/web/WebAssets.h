// The page's files, compiled into the binary from cli/web/assets.
#pragma once

#include <string_view>

namespace ksv::web {

struct TAsset {
    std::string_view Path; // "/app.js"
    std::string_view ContentType;
    std::string_view Body;
};

// Null for a path that is no asset.
const TAsset* FindAsset(std::string_view path);

} // namespace ksv::web
