#include "firmware/SharedBytes.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace ql {
namespace {

// Every byte store handed out by Shared() that is still held somewhere. Few are alive at
// a time (the image of the sessions running, an image just loaded), so a list will do.
struct TSharedStores {
    std::mutex Lock;
    std::vector<std::weak_ptr<const TSharedBytes::TStore>> Alive;
};

TSharedStores& Stores()
{
    static TSharedStores stores;
    return stores;
}

}  // namespace

TSharedBytes TSharedBytes::Shared(TStore bytes)
{
    TSharedStores& stores = Stores();
    std::lock_guard guard(stores.Lock);
    std::erase_if(stores.Alive, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : stores.Alive) {
        std::shared_ptr<const TStore> store = weak.lock();
        if (store && store->size() == bytes.size()
            && (bytes.empty() || std::memcmp(store->data(), bytes.data(), bytes.size()) == 0))
            return TSharedBytes(std::move(store));
    }
    auto store = std::make_shared<const TStore>(std::move(bytes));
    stores.Alive.push_back(store);
    return TSharedBytes(std::move(store));
}

TSharedBytes TSharedBytes::Own(TStore bytes)
{
    return TSharedBytes(std::make_shared<const TStore>(std::move(bytes)));
}

}  // namespace ql
