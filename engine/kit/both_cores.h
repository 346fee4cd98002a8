#pragma once

#include <exception>
#include <thread>

namespace corvane {

// Whether a pass may split its work between two threads.
inline bool twoCores() { return std::thread::hardware_concurrency() >= 2; }

// Runs here() on this thread and there() on a thread of its own, and returns
// when both are done. An exception from either comes out here, once both
// have ended.
template <typename Here, typename There>
void runBoth(Here&& here, There&& there) {
    std::exception_ptr thereFailed;
    std::thread helper([&] {
        try {
            there();
        } catch (...) {
            thereFailed = std::current_exception();
        }
    });
    std::exception_ptr hereFailed;
    try {
        here();
    } catch (...) {
        hereFailed = std::current_exception();
    }
    helper.join();
    if (hereFailed) std::rethrow_exception(hereFailed);
    if (thereFailed) std::rethrow_exception(thereFailed);
}

// Does `work` for each share, the two at once on two threads when there are
// two; a share's work must not touch another's.
template <typename Shares, typename Work>
void eachShare(Shares& shares, const Work& work) {
    if (shares.size() == 2)
        runBoth([&] { work(shares[0]); }, [&] { work(shares[1]); });
    else
        for (auto& share : shares) work(share);
}

}  // namespace corvane
