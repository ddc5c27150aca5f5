// ParallelFor: runs work(0) ... work(count - 1) on up to jobs threads (the calling one and
// std::threads), each taking the next index that no other has taken, and returns when all
// are done; with one job, or one index, everything runs on the calling thread. work must
// not throw (an exception leaving a thread ends the program): it catches what it can fail
// with and keeps its result by index, so results come out in index order whatever the
// order of completion.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

namespace kvs::tool {

inline void ParallelFor(size_t count, unsigned int jobs, const std::function<void(size_t)>& work)
{
    const size_t threads = std::min<size_t>(std::max(jobs, 1u), count);
    if (threads <= 1) {
        for (size_t i = 0; i < count; ++i) work(i);
        return;
    }
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i = next++; i < count; i = next++) work(i);
    };
    // The calling thread is one of the workers; a thread that cannot be started leaves
    // its share to the others.
    std::vector<std::thread> pool;
    try {
        pool.reserve(threads - 1);
        for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
    } catch (const std::exception&) {
    }
    worker();
    for (std::thread& t : pool) t.join();
}

// The number of cores, at least 1: the default number of jobs.
inline unsigned int DefaultJobs()
{
    return std::max(std::thread::hardware_concurrency(), 1u);
}

} // namespace kvs::tool
