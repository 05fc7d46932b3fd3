// The desktop program's open system: a Wine prefix or a Windows disk opened from the "File" menu
// or at a start without a system, the title naming it, a disk's restore tab, a backup from a disk.
#include "gui/desktop_session.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "gui/gui_world.h"
#include "gui/window_texts.h"
#include "support/platform/fake_environment.h"
#include "support/registry/hive_builder.h"
#include "system/windows_disk_system.h"

namespace quillet::testing {
namespace {

using List = ScriptedDialogs::List;
using registry::kRegSz;

constexpr char kDiskComputer[] = "OLDPC";

// A mounted Windows XP disk of the computer kDiskComputer whose profiles `users` each hold one
// identity, named after the user, with one mail rule.
void MakeDisk(const std::filesystem::path& root, const std::vector<std::string>& users) {
    const std::filesystem::path config = root / "WINDOWS" / "system32" / "config";
    std::filesystem::create_directories(config);
    const std::string identity = "Identities\\{D15C0000-0000-4000-8000-000000000001}";
    std::vector<HiveKey> profiles;
    for (const std::string& user : users) {
        profiles.push_back({"Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-" + user,
                            {{"ProfileImagePath", registry::kRegExpandSz,
                              Utf16Z("%SystemDrive%\\Documents and Settings\\" + user)}}});
        const std::filesystem::path profile = root / "Documents and Settings" / user;
        std::filesystem::create_directories(profile);
        WriteHive(profile / "NTUSER.DAT",
                  {{identity, {{"Username", kRegSz, Utf16Z(user)}}},
                   {identity + "\\Software\\Microsoft\\Outlook Express\\5.0\\Rules\\Mail\\000",
                    {{"Name", kRegSz, Utf16Z("From the boss")}}}});
    }
    WriteHive(config / "software", profiles);
    WriteHive(config / "system", {{"Select", {{"Current", registry::kRegDword, {1, 0, 0, 0}}}},
                                  {"ControlSet001\\Control\\ComputerName\\ComputerName",
                                   {{"ComputerName", kRegSz, Utf16Z(kDiskComputer)}}}});
}

class DesktopSessionTest : public ::testing::Test {
  protected:
    DesktopSessionTest() {
        if (!MakeSamplePrefix(prefix)) throw std::runtime_error("no sample prefix");
        std::filesystem::create_directories(temp / "work");
        MakeDisk(disk, {"ann"});
    }
    ~DesktopSessionTest() override { session.reset(); }

    DesktopSession& makeSession() {
        session.reset();
        dialogs = ScriptedDialogs();
        const std::filesystem::path work = temp / "work";
        session = std::make_unique<DesktopSession>(DesktopServices{
            .archive = archive,
            .dialogs = dialogs,
            .env = env,
            .dataFolder = ShippedDataFolder(),
            .makeWorkFolder = [work] { return WorkFolder::CreateIn(work); },
            .entryPauseMs = 0,
        });
        return *session;
    }
    MainWindow& startOnPrefix() {
        makeSession().start(system::WineSystem::Open(prefix.string(), env, dialogs));
        if (session->window() == nullptr) throw std::runtime_error("the prefix did not open");
        return *session->window();
    }

    std::string prefixTitle() const {
        return std::string(kMainWindowCaption) + " - " + prefix.string();
    }
    std::string diskTitle(const std::filesystem::path& root, const std::string& user) const {
        return std::string(kMainWindowCaption) + " - Windows disk " + root.string() + " (" + user +
               ")";
    }
    std::string title() const { return session->window()->windowTitle().toStdString(); }

    TempDir temp;
    const std::filesystem::path prefix = temp / "prefix";
    const std::filesystem::path disk = temp / "disk";
    // No $WINEPREFIX and no ~/.wine.
    const Environment env = FakeEnvironment({{"HOME", temp.path().string()}});
    ScriptedDialogs dialogs;
    archive::ZipArchive archive;
    std::unique_ptr<DesktopSession> session;
};

TEST_F(DesktopSessionTest, OpeningADiskFromTheFileMenuNamesItAndLeavesOnlyTheBackupTab) {
    MainWindow& first = startOnPrefix();
    dialogs.folderAnswers = {disk.string(), prefix.string()};
    Child<QAction>(first, "opendisk").trigger();
    ASSERT_NE(session->window(), &first);
    MainWindow& window = *session->window();
    EXPECT_FALSE(first.isVisible());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(title(), diskTitle(disk, "ann"));
    EXPECT_EQ(Child<QComboBox>(window, "cbSource").currentText(), "ann");
    EXPECT_EQ(Child<QLabel>(window, "lblSourceOnly").text(), MainWindow::kSourceOnlyText);
    for (const char* control : {"cmdSourceFile", "cbTarget", "restoreFrame", "txtSourceFile"}) {
        EXPECT_FALSE(Child<QWidget>(window, control).isEnabled()) << control;
    }
    EXPECT_FALSE(Child<QAction>(window, "restore").isEnabled());
    Child<QTabWidget>(window, "SSTab1").setCurrentIndex(1);
    EXPECT_FALSE(Child<QPushButton>(window, "cmdApply").isEnabled());
    Child<QTabWidget>(window, "SSTab1").setCurrentIndex(0);
    EXPECT_TRUE(Child<QPushButton>(window, "cmdApply").isEnabled());

    // Back on a prefix, everything can be restored again.
    Child<QAction>(window, "openprefix").trigger();
    EXPECT_EQ(title(), prefixTitle());
    EXPECT_TRUE(Child<QAction>(*session->window(), "restore").isEnabled());
    EXPECT_EQ(session->window()->findChild<QLabel*>("lblSourceOnly"), nullptr);
    const std::vector<std::string> titles{DesktopSession::kWindowsDiskTitle,
                                          DesktopSession::kWinePrefixTitle};
    EXPECT_EQ(dialogs.folderDialogs, titles);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.problems(), std::vector<std::string>{});
}

TEST_F(DesktopSessionTest, SeveralProfilesAreChosenFromAListAndCancelOrAFailureKeepsTheSystem) {
    const std::filesystem::path shared = temp / "shared";
    MakeDisk(shared, {"ann", "bob"});
    MainWindow& first = startOnPrefix();
    dialogs.folderAnswers = {std::nullopt, shared.string(), prefix.string(), shared.string()};
    dialogs.listAnswers = {std::nullopt, 1};
    for (int attempt = 0; attempt < 3; ++attempt) {
        Child<QAction>(first, "opendisk").trigger();
        EXPECT_EQ(session->window(), &first) << "attempt " << attempt;
    }
    const auto refused = system::WindowsDiskSystem::Open(prefix, std::nullopt, dialogs);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(dialogs.messages,
              (std::vector<ScriptedDialogs::Message>{
                  {refused.reason(), MessageIcon::Critical, MessageButtons::Ok}}));

    Child<QAction>(first, "opendisk").trigger();
    EXPECT_EQ(title(), diskTitle(shared, "bob"));
    const List profiles{DesktopSession::kChooseProfilePrompt, {"ann", "bob"}};
    EXPECT_EQ(dialogs.lists, (std::vector<List>{profiles, profiles}));
    EXPECT_EQ(dialogs.problems(), std::vector<std::string>{});
}

TEST_F(DesktopSessionTest, AStartWithoutASystemOffersBothChoicesAndCancelEndsTheProgram) {
    const struct {
        std::optional<std::size_t> choice;  // nullopt: Cancel
        std::string folder;
        std::string title;  // empty: the program ends
    } cases[] = {
        {std::nullopt, "", ""},
        {0, prefix.string(), prefixTitle()},
        {1, disk.string(), diskTitle(disk, "ann")},
    };
    const auto none = system::WineSystem::Open(std::nullopt, env, dialogs);
    ASSERT_FALSE(none.ok());
    const List offered{
        DesktopSession::NoSystemPrompt(none.reason()),
        {std::begin(DesktopSession::kStartChoices), std::end(DesktopSession::kStartChoices)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        DesktopSession& started = makeSession();
        dialogs.listAnswers = {c.choice};
        if (c.choice) dialogs.folderAnswers = {c.folder};
        EXPECT_EQ(started.start(system::WineSystem::Open(std::nullopt, env, dialogs)),
                  !c.title.empty());
        EXPECT_EQ(dialogs.lists, std::vector<List>{offered});
        EXPECT_EQ(started.window() ? title() : "", c.title);
        EXPECT_EQ(dialogs.problems(), std::vector<std::string>{});
    }
}

TEST_F(DesktopSessionTest, ABackupFromADiskRecordsTheDisksComputerAndUser) {
    DesktopSession& started = makeSession();
    ASSERT_TRUE(started.start(started.openWindowsDisk(disk, std::nullopt)));
    MainWindow& window = *started.window();
    const std::filesystem::path backup = temp / "from-disk.qbk";
    dialogs.saveAnswers = {backup.string()};
    Child<QPushButton>(window, "cmdTargetFile").click();
    Child<QCheckBox>(window, QString("backupitem(%1)").arg(kRules)).setChecked(true);

    dialogs.answers.push_back(MessageAnswer::Cancel);  // no disc
    window.RunBackup();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information) << dialogs.messages[0];
    EXPECT_EQ(dialogs.messages[1].text, MainWindow::kDiscQuestion);
    const auto lines = ReadBackupContents(backup, "").informationLines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("BackupComputer=") + kDiskComputer);
    EXPECT_EQ(lines[1], "BackupLogonUser=ann");
    EXPECT_EQ(dialogs.problems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillet::testing
