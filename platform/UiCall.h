#pragma once
// Calls through the hand-over that bring back a result, and an exception: work that
// throws on the UI thread throws again on the calling thread, where the caller's own
// guard deals with it (the hand-over itself must never see an exception leave the work).

#include "platform/HandOver.h"
#include "platform/LogSink.h"

#include "app/MessageCatalogue.h"
#include "app/MessageFormat.h"

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

// Log lines of a background thread: formatted where they arise, written by the UI thread
// while the thread waits, so its lines appear in order and before its next step.
class THandedLog {
public:
    THandedLog(THandOver& handOver, TLogSink& sink) : handOver_(handOver), sink_(sink) {}

    void Text(TLogKind kind, int device, const QString& text)
    {
        handOver_.RunOnUiThread([&] { sink_.LogDeviceText(kind, device, text); });
    }

    template <typename... Args>
    void Message(TLogKind kind, int device, int message, const Args&... args)
    {
        Text(kind, device, FormatText(Msg(message), args...));
    }

private:
    THandOver& handOver_;
    TLogSink& sink_;
};

}  // namespace ql
