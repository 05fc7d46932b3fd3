#include "registry/scratch_registry.h"

#include "registry/tree_registry_store.h"
#include "registry/wine_registry_file.h"

namespace quillet::registry {
namespace {

class ScratchBackend : public KeyTreeBackend {
  public:
    KeyTree* tree(HKey root, std::string* reason) override {
        const int slot = root == kHkeyCurrentUser ? 0 : root == kHkeyLocalMachine ? 1 : -1;
        if (slot < 0) {
            *reason = "this registry root holds no keys";
            return nullptr;
        }
        if (!m_trees[slot]) {
            auto empty = ParseWineRegistry("WINE REGISTRY Version 2\n");
            if (!empty) {
                *reason = empty.reason();
                return nullptr;
            }
            m_trees[slot] = std::move(empty.value());
        }
        return m_trees[slot].get();
    }
    // Changes are kept as they are: there is no file behind them, and nothing to roll back to.
    Status commit() override { return Status::Ok(); }
    void discard() override {}
    bool hasChanges() const override { return false; }

  private:
    std::unique_ptr<KeyTree> m_trees[2];
};

}  // namespace

std::unique_ptr<RegistryStore> MakeScratchRegistry() {
    return std::make_unique<TreeRegistryStore>(std::make_unique<ScratchBackend>());
}

}  // namespace quillet::registry
