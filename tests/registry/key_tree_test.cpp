#include "registry/key_tree.h"

#include <gtest/gtest.h>

#include <sstream>

#include "registry/registry_name.h"

namespace quillet::registry {
namespace {

// Changes to one key's subkeys, then the order they list in. Steps: "+name" adds a subkey,
// "-name" removes the subkey of that name, "=" lists the subkeys in between.
struct SubkeySteps {
    const char* label;
    const char* steps;
    std::vector<std::string> listed;
};

void PrintTo(const SubkeySteps& steps, std::ostream* out) { *out << steps.label; }

class SubkeyOrderTest : public ::testing::TestWithParam<SubkeySteps> {};

TEST_P(SubkeyOrderTest, SubkeysListSortedByFoldedNameWhateverTheOrderOfChanges) {
    const SubkeySteps& c = GetParam();
    auto key = std::make_shared<KeyNode>();
    std::vector<std::shared_ptr<KeyNode>> removed;
    std::istringstream steps(c.steps);
    for (std::string step; steps >> step;) {
        const std::string name = step.substr(1);
        if (step[0] == '+') {
            const bool existed = key->findSubkey(FoldName(name)) != nullptr;
            bool created = false;
            const auto node = key->addSubkey(name, &created);
            EXPECT_EQ(created, !existed) << step;
            EXPECT_TRUE(NamesEqual(node->name, name)) << step;
            EXPECT_EQ(node->parent, key.get());
        } else if (step[0] == '-') {
            const auto node = key->findSubkey(FoldName(name));
            ASSERT_TRUE(node) << step;
            key->removeSubkey(node.get());
            EXPECT_TRUE(node->deleted);
            EXPECT_EQ(node->parent, nullptr);
            removed.push_back(node);
        } else {
            (void)key->subkeys();
        }
    }

    std::vector<std::string> listed;
    for (const auto& node : key->subkeys()) listed.push_back(node->name);
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(key->subkeyCount(), c.listed.size());
    for (const std::string& name : c.listed) {
        const auto node = key->findSubkey(FoldName(name));
        ASSERT_TRUE(node) << name;
        EXPECT_EQ(node->name, name);
        EXPECT_FALSE(node->deleted);
    }
    for (const auto& node : removed) {
        EXPECT_NE(key->findSubkey(node->folded), node) << node->name;
    }
}

const SubkeySteps kSubkeySteps[] = {
    {"InOrder", "+a +b +c", {"a", "b", "c"}},
    {"Reversed", "+k3 +k2 +k1", {"k1", "k2", "k3"}},
    {"FoldedOrder", "+b +A +_x +Z", {"_x", "A", "b", "Z"}},
    {"AddingAgainKeepsTheFirstCase", "+Mail +MAIL +mail", {"Mail"}},
    {"RemovedThenAddedInAnotherCase", "+a +b +c -b +B", {"a", "B", "c"}},
    {"RemovedAfterListing", "+c +a +b = -a = +d -c", {"b", "d"}},
    {"EverythingRemoved", "+a +b -a -b", {}},
    {"AddedBeforeAndAfterListing", "+m = +z +a = +n", {"a", "m", "n", "z"}},
};

INSTANTIATE_TEST_SUITE_P(Steps, SubkeyOrderTest, ::testing::ValuesIn(kSubkeySteps),
                         [](const ::testing::TestParamInfo<SubkeySteps>& info) {
                             return info.param.label;
                         });

}  // namespace
}  // namespace quillet::registry
