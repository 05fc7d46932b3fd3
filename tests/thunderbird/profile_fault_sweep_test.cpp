#include <gtest/gtest.h>

#include "mailstore/dbx_builder.h"
#include "mailstore/folder_mail_source.h"
#include "support/platform/fault_sweep.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/temp_dir.h"
#include "thunderbird/thunderbird_profile.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

// One POP3 account and two folders of mail.
class StoreFolderSource : public thunderbird::ProfileSource {
  public:
    explicit StoreFolderSource(const fs::path& stores)
        : m_mail(mailstore::MakeFolderMailSource(
              "stores", stores,
              {{"Folders.dbx", fs::file_size(stores / "Folders.dbx")},
               {"Inbox.dbx", fs::file_size(stores / "Inbox.dbx")},
               {"Sent.dbx", fs::file_size(stores / "Sent.dbx")}})) {}
    std::string identityName() const override { return "Me"; }
    thunderbird::OutlookSettings settings() override {
        thunderbird::OutlookSettings settings;
        settings.accounts.push_back({"00000001", {}});
        settings.accounts.back().values.add("POP3 Server", std::string("pop.example.com"));
        settings.blockedMailSenders = {"spam@example.com"};
        return settings;
    }
    mailstore::MailSource* mail() override { return m_mail.get(); }
    std::string noMailReason() const override { return {}; }
    Result<std::string> signatureFile(const std::string&) override { return std::string(); }
    Result<AddressBookSource> addressBook() override {
        return Status::Error("none", ErrorKind::kNotFound);
    }

  private:
    std::unique_ptr<mailstore::MailSource> m_mail;
};

class ProfileFaultSweepTest : public ::testing::TestWithParam<FaultKind> {};

// Whichever file call of the making of a profile fails, there is a whole profile or none, no
// temporary beside it, and a Thunderbird list of profiles as it was or with the profile added.
TEST_P(ProfileFaultSweepTest, EveryFailingCallLeavesAWholeProfileOrNone) {
    TempDir dir;
    const fs::path stores = dir / "stores";
    fs::create_directories(stores);
    WriteDbxFolderList(stores / "Folders.dbx", {{0, 0xFFFFFFFF, "Outlook Express", "", 0},
                                                {1, 0, "Inbox", "Inbox.dbx", 1},
                                                {2, 0, "Sent", "Sent.dbx", 3}});
    for (const char* name : {"Inbox.dbx", "Sent.dbx"}) {
        WriteDbxStore(stores / name, {std::string("Subject: ") + name + "\r\n\r\nbody\r\n"});
    }
    StoreFolderSource source(stores);
    const fs::path parent = dir / "profiles", ini = dir / "home" / "profiles.ini";
    fs::create_directories(parent);
    const thunderbird::ProfileOptions options{parent / "oe", "Me", ini};
    ASSERT_TRUE(thunderbird::MakeThunderbirdProfile(source, options, nullptr).ok());
    const TreeSnapshot whole = SnapshotTree(parent);
    const std::string registered = ReadFileBytes(ini);

    SweepFaults(GetParam(), [&](FaultyFileOperations& files, const std::function<void()>& arm) {
        fs::remove_all(parent / "oe");
        fs::remove_all(ini.parent_path());
        arm();
        auto made = thunderbird::MakeThunderbirdProfile(source, options, nullptr, files);
        const TreeSnapshot left = SnapshotTree(parent);
        EXPECT_TRUE(left.empty() || left == whole) << "a half profile or a temporary stayed";
        EXPECT_EQ(made.ok(), left == whole);
        if (fs::exists(ini)) {
            EXPECT_EQ(ReadFileBytes(ini), registered);
        }
        if (made.ok() && made->notRegistered.empty()) {
            EXPECT_TRUE(fs::exists(ini));
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Faults, ProfileFaultSweepTest, ::testing::ValuesIn(FaultKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::testing
