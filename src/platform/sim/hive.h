// The simulated machine's registry: one SQLite file that the engine, the
// helper program and installer scripts all read and write at once. Every
// change is its own transaction, so concurrent writers never lose a write.
#pragma once

#include <filesystem>
#include <memory>
#include <map>
#include <mutex>
#include <string>

#include "platform/registry.h"
#include "platform/sqlite_db.h"

namespace vx::sim {

class Hive : public platform::Registry {
 public:
  // Opens an existing hive file (create=false) or makes a new empty one.
  // On failure error holds a sentence naming the file and the reason.
  static std::unique_ptr<Hive> Open(const std::filesystem::path& file, bool create,
                                    std::string& error);

  Result<std::unique_ptr<platform::RegKey>> OpenKey(platform::RegRoot root, std::string_view path,
                                                    bool writable) override;
  Result<std::unique_ptr<platform::RegKey>> CreateKey(platform::RegRoot root,
                                                      std::string_view path) override;
  Status DeleteKey(platform::RegRoot root, std::string_view path) override;
  Status DeleteTree(platform::RegRoot root, std::string_view path) override;

  // One read transaction over several reads of this thread, which keeps the
  // hive to itself meanwhile: each read otherwise takes and drops the WAL
  // read lock on its own, which costs more than the read. The reads see the
  // hive as of one moment. Reads only: a write inside would join the
  // transaction. Batches nest.
  class ReadBatch {
   public:
    explicit ReadBatch(Hive& hive);
    ~ReadBatch();
    ReadBatch(const ReadBatch&) = delete;
    ReadBatch& operator=(const ReadBatch&) = delete;

   private:
    Hive& hive_;
    std::unique_lock<std::recursive_mutex> lock_;
    bool own_transaction_ = false;
  };

  // Test switch: every write fails with this code while it is non-zero.
  void set_write_fault(uint32_t code) { write_fault_ = code; }

  // Used by the key objects.
  bool KeyExists(int64_t id);
  Result<platform::RegValue> Query(int64_t key, std::string_view name);
  Status Set(int64_t key, std::string_view name, const platform::RegValue& value);
  Status Unset(int64_t key, std::string_view name);
  Result<std::vector<std::string>> Children(int64_t key);
  Result<std::vector<std::string>> Names(int64_t key);

  struct Key {};  // only the factories construct
  explicit Hive(Key) {}

 private:
  Result<int64_t> Find(platform::RegRoot root, std::string_view path);
  Status Busy(int rc);
  // The statement of `sql` (a literal), prepared on first use and kept:
  // the read paths run for every registry access of a scan.
  SqliteStatement& Cached(const char* sql);

  // Recursive: a ReadBatch holds it around the reads that take it again.
  std::recursive_mutex mu_;
  SqliteDb db_;
  std::map<const char*, SqliteStatement> cached_;
  uint32_t write_fault_ = 0;
};

// Case folding for registry names (Windows compares them upper-cased).
std::string FoldRegName(std::string_view name);

}  // namespace vx::sim
