#include "support/registry/memory_registry_store.h"

#include <memory>

#include "registry/wine_registry_file.h"

namespace quillet::registry {
namespace {

constexpr char kEmptyFileText[] = "WINE REGISTRY Version 2\n";

int SlotOf(HKey root) {
    if (root == kHkeyCurrentUser) return 0;
    if (root == kHkeyLocalMachine) return 1;
    return -1;
}

}  // namespace

class MemoryRegistryStore::Backend : public KeyTreeBackend {
  public:
    explicit Backend(TickClock clock) : m_clock(std::move(clock)) {}

    KeyTree* tree(HKey root, std::string* reason) override {
        const int slot = SlotOf(root);
        if (slot < 0) {
            *reason = "this registry root holds no keys";
            return nullptr;
        }
        if (!m_trees[slot]) {
            auto parsed = ParseWineRegistry(m_committed[slot]);
            if (!parsed) {
                *reason = parsed.reason();
                return nullptr;
            }
            m_trees[slot] = std::move(parsed.value());
        }
        return m_trees[slot].get();
    }

    Status commit() override {
        if (!m_failure.empty()) {
            std::string reason = std::move(m_failure);
            m_failure.clear();
            discard();
            return Status::Error(reason);
        }
        for (int slot = 0; slot < 2; ++slot) {
            if (m_trees[slot] && m_trees[slot]->changed) {
                m_committed[slot] = SerializeWineRegistry(*m_trees[slot], m_clock());
            }
        }
        ++m_commits;
        return Status::Ok();
    }

    void discard() override {
        for (auto& tree : m_trees) tree.reset();
    }

    bool hasChanges() const override {
        for (const auto& tree : m_trees) {
            if (tree && tree->changed) return true;
        }
        return false;
    }

    TickClock m_clock;
    std::unique_ptr<KeyTree> m_trees[2];
    std::string m_committed[2] = {kEmptyFileText, kEmptyFileText};
    std::string m_failure;
    int m_commits = 0;
};

MemoryRegistryStore::MemoryRegistryStore(TickClock clock)
    : TreeRegistryStore(std::make_unique<Backend>(std::move(clock))),
      m_backend(static_cast<Backend*>(&backend())) {}

void MemoryRegistryStore::failNextCommit(std::string reason) {
    m_backend->m_failure = std::move(reason);
}

int MemoryRegistryStore::commitCount() const { return m_backend->m_commits; }

std::string MemoryRegistryStore::committedText(HKey root) const {
    const int slot = SlotOf(root);
    return slot < 0 ? std::string() : m_backend->m_committed[slot];
}

}  // namespace quillet::registry
