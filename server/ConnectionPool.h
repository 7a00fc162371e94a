#pragma once
// A fixed set of database connections shared by the request threads: a
// thread leases one, waiting while all are out, and the lease hands it back
// when it ends, also when the work threw.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace tidora::server {

template <typename Connection>
class ConnectionPool {
 public:
  class Lease {
   public:
    Lease(ConnectionPool& pool, std::unique_ptr<Connection> connection)
        : pool_(pool), connection_(std::move(connection)) {}
    Lease(Lease&&) = default;
    ~Lease() {
      if (connection_) pool_.Return(std::move(connection_));
    }
    Connection& operator*() const { return *connection_; }
    Connection* operator->() const { return connection_.get(); }

   private:
    ConnectionPool& pool_;
    std::unique_ptr<Connection> connection_;
  };

  void Add(std::unique_ptr<Connection> connection) { Return(std::move(connection)); }

  Lease Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    free_.wait(lock, [this] { return !idle_.empty(); });
    auto connection = std::move(idle_.back());
    idle_.pop_back();
    return Lease(*this, std::move(connection));
  }

 private:
  void Return(std::unique_ptr<Connection> connection) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      idle_.push_back(std::move(connection));
    }
    free_.notify_one();
  }

  std::mutex mutex_;
  std::condition_variable free_;
  std::vector<std::unique_ptr<Connection>> idle_;
};

}  // namespace tidora::server
