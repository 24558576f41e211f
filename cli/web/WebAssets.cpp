#include "WebAssets.h"

#include <cstddef>

namespace ksv::web {

extern const TAsset kAssets[];
extern const std::size_t kAssetCount;

const TAsset* FindAsset(std::string_view path)
{
    for (std::size_t i = 0; i < kAssetCount; ++i)
        if (kAssets[i].Path == path) return &kAssets[i];
    return nullptr;
}

} // namespace ksv::web
