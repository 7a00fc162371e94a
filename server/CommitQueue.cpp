#include "CommitQueue.h"

#include <algorithm>

namespace tidora::server {

std::string CommitQueue::Add(const UsageReport& report, const ReportOrigin& origin) {
  PendingReport pending{report, origin, {}, nullptr, false};
  std::unique_lock<std::mutex> lock(mutex_);
  queue_.push_back(&pending);
  // Whoever finds no commit under way commits everything queued so far.
  while (!pending.done) {
    if (committing_) {
      batchDone_.wait(lock);
      continue;
    }
    committing_ = true;
    size_t take = std::min(queue_.size(), kMaxBatch);
    std::vector<PendingReport*> batch(queue_.begin(), queue_.begin() + take);
    queue_.erase(queue_.begin(), queue_.begin() + take);
    lock.unlock();
    try {
      commit_(batch);
    } catch (...) {
      // Nothing of the batch is known to be durable: none may be acknowledged.
      for (PendingReport* one : batch) one->error = std::current_exception();
    }
    lock.lock();
    for (PendingReport* one : batch) one->done = true;
    committing_ = false;
    batchDone_.notify_all();
  }
  if (pending.error) std::rethrow_exception(pending.error);
  return pending.id;
}

}  // namespace tidora::server
