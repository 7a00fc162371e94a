#pragma once
// Group commit: reports that arrive while one commit is on its way to disk
// wait and are then committed together in the next transaction, one flush
// for the lot. The back end supplies the transaction; this unit only decides
// who commits what and hands each caller its own outcome.
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Report.h"

namespace tidora::server {

// What came with a report besides its body.
struct ReportOrigin {
  std::string version;  // User-Version, "" when absent or malformed
  std::string userId;   // User-Union, "" when absent or malformed
  int64_t received = 0; // seconds since 1970 (UTC)
};

// One report waiting for its commit. The back end sets id, or error for a
// report it could not write; an error for the whole batch is set on each.
struct PendingReport {
  const UsageReport& report;
  const ReportOrigin& origin;
  std::string id;
  std::exception_ptr error;
  bool done = false;
};

class CommitQueue {
 public:
  // Writes and commits the batch (at most kMaxBatch reports). It must leave
  // every report either with an id and durable, or with an error.
  using CommitBatch = std::function<void(const std::vector<PendingReport*>&)>;
  static constexpr size_t kMaxBatch = 256;

  explicit CommitQueue(CommitBatch commit) : commit_(std::move(commit)) {}

  // Returns the report's id once its batch has committed; rethrows its error.
  std::string Add(const UsageReport& report, const ReportOrigin& origin);

 private:
  CommitBatch commit_;
  std::mutex mutex_;
  std::condition_variable batchDone_;
  std::vector<PendingReport*> queue_;
  bool committing_ = false;
};

}  // namespace tidora::server
