#include "support/registry/hive_builder.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include "platform/text_encoding.h"
#include "registry/utf16_bytes.h"

namespace quillet::testing {
namespace {

// The child of `parent` named `name`, made when missing.
hive_node_h Child(hive_h* hive, hive_node_h parent, const std::string& name) {
    const hive_node_h existing = hivex_node_get_child(hive, parent, name.c_str());
    if (existing != 0) return existing;
    return hivex_node_add_child(hive, parent, name.c_str());
}

}  // namespace

std::string Utf16Z(const std::string& text) {
    return registry::Utf16LeBytes(Utf8ToUtf16(text)) + std::string(2, '\0');
}

void WriteHive(const std::filesystem::path& file, const std::vector<HiveKey>& keys) {
    const std::filesystem::path minimal =
        std::filesystem::path(QUILLET_SOURCE_DIR) / "examples" / "hives" / "minimal";
    hive_h* hive = hivex_open(minimal.c_str(), HIVEX_OPEN_WRITE);
    ASSERT_NE(hive, nullptr) << "cannot open " << minimal;
    for (const HiveKey& key : keys) {
        hive_node_h node = hivex_root(hive);
        std::size_t start = 0;
        while (start < key.path.size()) {
            std::size_t cut = key.path.find('\\', start);
            if (cut == std::string::npos) cut = key.path.size();
            node = Child(hive, node, key.path.substr(start, cut - start));
            ASSERT_NE(node, 0u) << "cannot add " << key.path;
            start = cut + 1;
        }
        std::vector<hive_set_value> values;
        for (const HiveValue& value : key.values) {
            values.push_back(hive_set_value{const_cast<char*>(value.name.c_str()),
                                            static_cast<hive_type>(value.type), value.data.size(),
                                            const_cast<char*>(value.data.data())});
        }
        ASSERT_EQ(hivex_node_set_values(hive, node, values.size(), values.data(), 0), 0)
            << "cannot set the values of " << key.path;
    }
    ASSERT_EQ(hivex_commit(hive, file.c_str(), 0), 0) << "cannot write " << file;
    hivex_close(hive);
}

}  // namespace quillet::testing
