#pragma once

#include <hivex.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "registry/key_tree.h"

namespace quillet::examples {

// Writes a key tree into a Windows hive file with libhivex. libhivex cannot make a hive from
// nothing, so every hive starts as a copy of a base hive (a valid hive with an empty root key),
// and the keys are added below its root. Every libhivex failure ends up as the text of
// lastError(), naming the file. Not thread-safe.
class HiveWriter {
  public:
    // Opens `baseHive` for writing; null, with the reason in *reason, when libhivex cannot.
    static std::unique_ptr<HiveWriter> Open(const std::filesystem::path& baseHive,
                                            std::string* reason);
    ~HiveWriter();
    HiveWriter(const HiveWriter&) = delete;
    HiveWriter& operator=(const HiveWriter&) = delete;

    hive_node_h root() const;
    // The subkey `name` of `parent`, added when missing; 0 on failure.
    hive_node_h child(hive_node_h parent, std::string_view name);
    // Writes the values of `from` (every type, their bytes as they are) to `node` and, below it,
    // the subkeys of `from` with everything below them. False on the first failure.
    bool writeTree(hive_node_h node, const registry::KeyNode& from);
    // Writes the values of `from` only, replacing those `node` had.
    bool writeValues(hive_node_h node, const registry::KeyNode& from);
    // Writes the hive to `file`. False on failure.
    bool commit(const std::filesystem::path& file);

    const std::string& lastError() const { return m_lastError; }

  private:
    HiveWriter(hive_h* handle, std::filesystem::path baseHive);
    bool fail(std::string_view what);

    hive_h* m_handle;
    std::filesystem::path m_baseHive;
    std::string m_lastError;
};

}  // namespace quillet::examples
