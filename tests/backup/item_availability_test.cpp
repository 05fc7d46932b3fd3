// Which items can be backed up for an identity, over the sample prefix.
#include "backup/item_availability.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>

#include "backup/oe_locations.h"
#include "backup/restore_test_world.h"

namespace quillet::testing {
namespace {

ItemMask AllItems() {
    ItemMask mask;
    mask.fill(true);
    return mask;
}

ItemMask AllItemsBut(ItemIndex missing) {
    ItemMask mask = AllItems();
    mask[missing] = false;
    return mask;
}

void SetEmptyAddressBookValue(registry::ModReg& modReg) {
    registry::RegistryStore& store = modReg.store();
    std::string subkey = kAddressBookKey;
    const registry::HKey root = modReg.SplitKeyPath(subkey);
    registry::HKey key = 0;
    ASSERT_EQ(store.RegOpenKeyEx(root, subkey, registry::kKeyWrite, &key), registry::kErrorSuccess);
    const std::uint8_t empty[] = {0};
    ASSERT_EQ(store.RegSetValueEx(key, "", registry::kRegSz, empty, 1), registry::kErrorSuccess);
    store.RegCloseKey(key);
}

struct AvailabilityCase {
    const char* situation;
    std::function<void(SamplePrefixWorld&, registry::ModReg&)> change;
    const char* identity;
    ItemMask available;
};

TEST(ItemAvailability, FollowsWhatTheIdentityHas) {
    const AvailabilityCase cases[] = {
        {"everything there", [](SamplePrefixWorld&, registry::ModReg&) {}, kSampleMainIdentity,
         AllItems()},
        {"only the shared accounts", [](SamplePrefixWorld&, registry::ModReg&) {},
         kSampleZoeIdentity, AllItems()},
        {"no accounts at all",
         [](SamplePrefixWorld&, registry::ModReg& modReg) {
             modReg.DeleteKeyTree(kSharedAccountsKey);
         },
         kSampleZoeIdentity, AllItemsBut(kAccounts)},
        {"address book file missing",
         [](SamplePrefixWorld& world, registry::ModReg&) {
             std::filesystem::remove(world.addressBook());
         },
         kSampleMainIdentity, AllItemsBut(kAddressBook)},
        {"address book value empty",
         [](SamplePrefixWorld&, registry::ModReg& modReg) { SetEmptyAddressBookValue(modReg); },
         kSampleMainIdentity, AllItemsBut(kAddressBook)},
        {"address book key missing (the file too)",
         [](SamplePrefixWorld& world, registry::ModReg& modReg) {
             modReg.DeleteKeyTree(kAddressBookKey);
             std::filesystem::remove(world.addressBook());
         },
         kSampleMainIdentity, AllItems()},
        {"stationery folder holds only a subfolder",
         [](SamplePrefixWorld& world, registry::ModReg&) {
             for (const char* name : {"Ivy.htm", "Ivy.gif", "Chess.htm"}) {
                 ASSERT_TRUE(std::filesystem::remove(world.stationeryFolder() / name)) << name;
             }
         },
         kSampleMainIdentity, AllItemsBut(kStationeries)},
        {"stationery folder missing",
         [](SamplePrefixWorld& world, registry::ModReg&) {
             std::filesystem::remove_all(world.stationeryFolder());
         },
         kSampleMainIdentity, AllItemsBut(kStationeries)},
    };
    for (const AvailabilityCase& test : cases) {
        SCOPED_TRACE(test.situation);
        SamplePrefixWorld world;
        ASSERT_TRUE(world.ready());
        std::unique_ptr<system::WineSystem> system = world.openSystem();
        ASSERT_NE(system, nullptr);
        registry::ModReg modReg(system->registry(), PlainMessages(world.messages));
        test.change(world, modReg);

        EXPECT_EQ(MaskText(ItemAvailability(modReg, system->paths(), test.identity)),
                  MaskText(test.available));
        EXPECT_TRUE(world.messages.shown.empty());
    }
}

}  // namespace
}  // namespace quillet::testing
