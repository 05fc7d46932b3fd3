// Reads any bytes as a Wine registry file. Whatever it accepts must be written back as a file it
// accepts again, and a file it wrote must come back byte for byte: unchanged, and with every key
// rewritten in Wine's form.
#include <vector>

#include "fuzz_support.h"
#include "registry/wine_registry_file.h"

namespace {

using quillet::fuzz::Fail;
using quillet::registry::KeyNode;
using quillet::registry::KeyTree;
using quillet::registry::ParseWineRegistry;
using quillet::registry::SerializeWineRegistry;

constexpr std::uint64_t kNow = 0x1d9c5a0f0000000;

// Marks every key as changed, so that the writer writes each in its own form.
void ChangeEveryKey(KeyTree& tree) {
    tree.changed = true;
    std::vector<KeyNode*> pending{tree.root.get()};
    while (!pending.empty()) {
        KeyNode* node = pending.back();
        pending.pop_back();
        node->changed = true;
        for (const auto& subkey : node->subkeys()) pending.push_back(subkey.get());
    }
}

// Reads text the writer produced; it must be accepted and written back as it stands.
void ExpectStable(const std::string& written, const char* what) {
    auto again = ParseWineRegistry(written);
    if (!again) Fail(std::string(what) + " is not read back: " + again.reason());
    if (SerializeWineRegistry(**again, kNow) != written) {
        Fail(std::string(what) + " does not come back byte for byte");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto tree = ParseWineRegistry(quillet::fuzz::InputText(data, size));
    if (!tree) return 0;
    ExpectStable(SerializeWineRegistry(**tree, kNow), "the unchanged key tree");
    ChangeEveryKey(**tree);
    ExpectStable(SerializeWineRegistry(**tree, kNow), "the key tree written in Wine's form");
    return 0;
}
