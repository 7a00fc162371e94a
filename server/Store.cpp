#include "Store.h"

#include "PostgresStore.h"
#include "SqliteStore.h"

namespace tidora::server {

bool IsPostgresAddress(const std::string& location) {
  return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Store> OpenStore(const std::string& location, size_t connections) {
  if (IsPostgresAddress(location)) return std::make_unique<PostgresStore>(location, connections);
  return std::make_unique<SqliteStore>(location, connections);
}

}  // namespace tidora::server
