#pragma once
// The one way a background thread reaches the window: run this on the UI thread and wait
// until it has run. Engine code sees only this interface; the window supplies the real
// one, tests supply their own.

#include <functional>

namespace ql {

class THandOver {
public:
    virtual ~THandOver() = default;
    virtual void RunOnUiThread(const std::function<void()>& work) = 0;
};

// Runs the work at once on the calling thread: for tools and tests without a UI thread.
class TDirectHandOver : public THandOver {
public:
    void RunOnUiThread(const std::function<void()>& work) override { work(); }
};

}  // namespace ql
