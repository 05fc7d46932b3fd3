#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/status.h"
#include "registry/registry_store.h"

namespace quillet::registry {

// Subkey names in enumeration order; a name can also be looked up (without regard to case).
class SubkeyList {
  public:
    void add(std::string name) { m_names.push_back(std::move(name)); }
    std::size_t size() const { return m_names.size(); }
    bool empty() const { return m_names.empty(); }
    const std::string& operator[](std::size_t index) const { return m_names[index]; }
    bool contains(std::string_view name) const;
    auto begin() const { return m_names.begin(); }
    auto end() const { return m_names.end(); }

  private:
    std::vector<std::string> m_names;
};

// A value's data as EnumValues gives it: text for string and expandable-string values, a signed
// 32-bit integer for numbers, the stored bytes for every other type.
using ValueData = std::variant<std::string, std::int32_t, std::vector<std::uint8_t>>;

// Values in enumeration order, looked up by name without regard to case.
class ValueList {
  public:
    void add(std::string name, ValueData data) {
        m_items.emplace_back(std::move(name), std::move(data));
    }
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const std::pair<std::string, ValueData>& operator[](std::size_t index) const {
        return m_items[index];
    }
    const ValueData* find(std::string_view name) const;
    // The named value as text; null when it is missing or not text.
    const std::string* findText(std::string_view name) const;
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    std::vector<std::pair<std::string, ValueData>> m_items;
};

// Told of a key path that does not begin with "HKEY_" or that ends with a backslash, with the
// text the user is shown for it: "Incorrect Format:", a blank line and the path. The desktop
// program shows it in a message box without an icon; quillet-cli prints it on its error stream.
using BadKeyPathListener = std::function<void(const std::string& text)>;

// Registry access by key path: a key named by one text, a root name such as
// HKEY_CURRENT_USER optionally followed by a backslash and a subkey path.
//
// Failures are results: a malformed key path fails as a missing key would and is also told to
// the bad-key-path listener, if there is one.
// Each operation that changes the registry commits its change before it returns, unless it runs
// inside a Batch, whose end commits once. A failed commit leaves the registry as the store's
// Commit() says (as it was, but for a store of two files whose second failed after the first was
// replaced) and is reported through CreateKey's result or Batch::commit(); DeleteKey and
// DeleteKeyTree report nothing, so a caller that must know runs them inside a Batch.
// Not thread-safe; one thread at a time.
class ModReg {
  public:
    explicit ModReg(RegistryStore& store, BadKeyPathListener onBadKeyPath = {});

    static HKey RootFromName(std::string_view rootName);
    // Returns the root and replaces `path` by its subkey path; kNoRoot (path unchanged) when
    // the format is wrong (after telling the listener) or the root name is unknown.
    HKey SplitKeyPath(std::string& path);

    bool KeyExists(const std::string& keyPath);
    RegResult CreateKey(const std::string& keyPath);
    void DeleteKey(const std::string& keyPath);
    void DeleteKeyTree(const std::string& keyPath);
    SubkeyList EnumSubkeys(const std::string& keyPath);
    ValueList EnumValues(const std::string& keyPath);
    std::string ReadStringValue(const std::string& keyPath, const std::string& valueName);
    bool ReadDefaultValue(const std::string& keyPath, std::string& value);

    // Groups several changes into one commit, made when the outermost batch ends; commit()
    // reports its outcome (a batch not committed discards its changes when it ends).
    class Batch {
      public:
        explicit Batch(ModReg& modReg);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        Status commit();

      private:
        ModReg& m_modReg;
        bool m_done = false;
    };

    // Opens the key at a key path for reading; false when it cannot be opened (a malformed path
    // is told to the listener). The caller closes the key.
    bool OpenForReading(const std::string& keyPath, HKey* key);

    RegistryStore& store() { return m_store; }

  private:
    void deleteKeyTree(const std::string& keyPath);
    // Commits a change made outside a batch; inside one, leaves it to the batch.
    Status commitChange();

    RegistryStore& m_store;
    BadKeyPathListener m_onBadKeyPath;
    int m_batchDepth = 0;
};

}  // namespace quillet::registry
