// Work on a list of items shared by the calling thread and one helper thread,
// with the results taken in list order on the calling thread.
#pragma once

#include <exception>
#include <functional>

namespace tappo {

// The threads RunInOrder works on: the calling thread is worker 0.
inline constexpr int InOrderWorkers = 2;

// Runs `work(i, worker)` for every i in [0, count), on the calling thread and
// on one helper thread (`worker` tells them apart, for buffers of their own), and
// `finish(i, error)` on the calling thread in the order 0, 1, ... as soon as `work(i)` is done;
// `error` is what `work(i)` threw, null when it returned. `work` must touch only what belongs to
// item i; `finish` may do anything the calling thread may, rethrowing `error` too. When `finish`
// returns false or throws, no more work starts, the helper is waited for and false is returned
// (or the exception thrown). Without a second core (or a thread to be had) everything runs on the
// calling thread, in order.
bool RunInOrder(int count, const std::function<void(int, int)>& work,
                const std::function<bool(int, const std::exception_ptr&)>& finish);

// Whether RunInOrder may take its helper thread (it may unless told not to);
// without it the same runs one item after another, for comparisons.
void AllowInOrderHelper(bool allowed);

} // namespace tappo
