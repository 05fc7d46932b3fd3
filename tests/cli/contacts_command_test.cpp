// quillet-cli contacts and check on the sample prefix's address book, and on a protected backup
// of it.

#include <gtest/gtest.h>

#include "cli/sample_prefix_cli.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"
#include "wab/vcard_export.h"

namespace quillet::testing {
namespace {

using ContactsCommandTest = SamplePrefixCliTest;

// The system's Python, which has the packages the system installed.
constexpr char kDebianPython[] = "/usr/bin/python3";

TEST_F(ContactsCommandTest, ContactsOfAProtectedBackupEqualThoseOfThePrefix) {
    const std::string fromPrefix = (temp / "prefix.vcf").string();
    CliRun direct = run({"contacts", "--out", fromPrefix});
    // The sample's group is left out and named, so the run is partial.
    EXPECT_EQ(direct.exitCode, kExitPartial) << direct.err;
    EXPECT_NE(direct.out.find(wab::kGroupsNotCarried), std::string::npos) << direct.out;

    WriteFileBytes(temp / "password.txt", "PASSWORD\n");
    const std::string backup = (temp / "sample.qbk").string();
    ASSERT_EQ(run({"backup", "--identity", "Main Identity", "--out", backup, "--password-file",
                   (temp / "password.txt").string()})
                  .exitCode,
              kExitOk);
    const std::string fromBackup = (temp / "backup.vcf").string();
    CliRun restored = runAsGiven({"contacts", backup, "--password-file",
                                  (temp / "password.txt").string(), "--out", fromBackup});
    EXPECT_EQ(restored.exitCode, kExitPartial) << restored.err;
    EXPECT_EQ(ReadFileBytes(fromBackup), ReadFileBytes(fromPrefix));
    EXPECT_TRUE(FolderListing(temp / "tmp").empty()) << "the work folders are removed";

    // The salvage adds the deleted contact the file still holds.
    const std::string salvaged = (temp / "salvaged.vcf").string();
    EXPECT_EQ(run({"contacts", "--out", salvaged, "--salvage"}).exitCode, kExitPartial);
    CliRun checked = runAsGiven({"check", SampleAddressBook(prefix).string()});
    EXPECT_EQ(checked.exitCode, kExitOk) << checked.err;
    EXPECT_EQ(
        checked.out.rfind("quillet.wab\tsound\trecords 4\tdeleted or lost records readable 1", 0),
        0u)
        << checked.out;

    // An independent reader finds every card and its names.
    if (RunProgram({kDebianPython, "-c", "import vobject"}).exitCode != 0) {
        GTEST_SKIP() << "Python's vobject is not installed";
    }
    ProgramRun read = RunProgram(
        {kDebianPython, "-c",
         "import sys, vobject\n"
         "for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):\n"
         "    print(card.fn.value, '|', card.n.value.family, '|', len(card.contents.get('email', "
         "[])))\n",
         salvaged});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out,
              "Alice Example | Example | 2\nFrédéric Martin | Martin | 1\n"
              "Åsa Lindström | Lindström | 1\nOld Neighbour |  | 1\n");
}

}  // namespace
}  // namespace quillet::testing
