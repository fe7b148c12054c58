#pragma once
// Bytes that never change once made, shared by whoever holds them. A rack of write
// sessions all write the same image: made through Shared(), each session's copy is the one
// copy already alive in the program, so the image exists once however many sessions run.
// Each holder keeps what it was given; a file that changes meanwhile gives new bytes to
// later loads only.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ql {

class TSharedBytes {
public:
    using TStore = std::vector<uint8_t>;

    TSharedBytes() = default;
    // The copy of these bytes that is alive in the program, if one is; else these bytes,
    // from now on the copy that later calls with the same bytes get. Any thread.
    static TSharedBytes Shared(TStore bytes);
    // These bytes, not looked up nor offered to later calls.
    static TSharedBytes Own(TStore bytes);
    // The bytes a reference taken earlier (Weak()) names while someone holds them; else none.
    static TSharedBytes Held(const std::weak_ptr<const TStore>& bytes) { return TSharedBytes(bytes.lock()); }

    const uint8_t* data() const { return store_ ? store_->data() : nullptr; }
    size_t size() const { return store_ ? store_->size() : 0; }
    bool empty() const { return size() == 0; }
    // Whether a reference taken earlier (Weak()) is still these very bytes.
    bool Is(const std::weak_ptr<const TStore>& other) const
    {
        return store_ && !other.owner_before(store_) && !store_.owner_before(other);
    }
    std::weak_ptr<const TStore> Weak() const { return store_; }

private:
    explicit TSharedBytes(std::shared_ptr<const TStore> store) : store_(std::move(store)) {}
    std::shared_ptr<const TStore> store_;
};

}  // namespace ql
