#pragma once
// Calls through the hand-over that bring back a result, and an exception: work that
// throws on the UI thread throws again on the calling thread, where the caller's own
// guard deals with it (the hand-over itself must never see an exception leave the work).

#include "core/HandOver.h"

#include <exception>
#include <type_traits>
#include <utility>

namespace ql {

template <typename Work>
auto CallOnUiThread(THandOver& handOver, Work&& work) -> std::invoke_result_t<Work&>
{
    using Result = std::invoke_result_t<Work&>;
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        handOver.RunOnUiThread([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure)
            std::rethrow_exception(failure);
    } else {
        Result result{};
        handOver.RunOnUiThread([&] {
            try {
                result = work();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure)
            std::rethrow_exception(failure);
        return result;
    }
}

}  // namespace ql
