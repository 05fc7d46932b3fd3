#include "schedule/job_command_line.h"

#include <gtest/gtest.h>

#include "startup_arguments.h"
#include "support/platform/fake_environment.h"
#include "support/platform/sample_prefix.h"

namespace quillet {
namespace {

constexpr const char* kKey = testing::kSampleMainIdentity;

TEST(JobCommandLineTest, AGoodLineSplitsIntoItsFourFields) {
    struct Case {
        std::string text;
        JobCommandLine job;
    };
    const std::string key = kKey;
    const Case cases[] = {
        {"sf=" + key + "xm=10000001ps=secretbf=/backups/main.qbk",
         {key, "10000001", "secret", "/backups/main.qbk"}},
        {"sf=" + key + "xm=10000001ps=bf=/backups/main.qbk",
         {key, "10000001", "", "/backups/main.qbk"}},
        {"sf=" + key + "xm=00000000ps=two wordsbf=/my backups/a b.qbk",
         {key, "00000000", "two words", "/my backups/a b.qbk"}},
        // Other digits than "1" are allowed; they leave their item out.
        {"sf=Kxm=12345678ps=p\xC3\xA4ssbf=C:\\backups\\b.qbk",
         {"K", "12345678", "p\xC3\xA4ss", "C:\\backups\\b.qbk"}},
        // A path may end in the letters of a key.
        {"sf=Kxm=11111111ps=xmbf=/b/psbf", {"K", "11111111", "xm", "/b/psbf"}},
        // Text before the first key is not part of the job, even when it looks like a field.
        {"junk sf=Kxm=10000001ps=pbf=/b.qbk", {"K", "10000001", "p", "/b.qbk"}},
        {"C:\\quillet.exe sf=Kxm=10000001ps=bf=/b.qbk", {"K", "10000001", "", "/b.qbk"}},
        {"bf=/old.qbk xm=1 sf=Kxm=10000001ps=pbf=/b.qbk", {"K", "10000001", "p", "/b.qbk"}},
        {"xsf=Kxm=10000001ps=pbf=/b.qbk", {"K", "10000001", "p", "/b.qbk"}},
    };
    for (const Case& c : cases) {
        const Result<JobCommandLine> job = ParseJobCommandLine(c.text);
        ASSERT_TRUE(job.ok()) << c.text << ": " << job.reason();
        EXPECT_EQ(job->identityKey, c.job.identityKey) << c.text;
        EXPECT_EQ(job->itemMask, c.job.itemMask) << c.text;
        EXPECT_EQ(job->password, c.job.password) << c.text;
        EXPECT_EQ(job->backupFile, c.job.backupFile) << c.text;
    }
}

TEST(JobCommandLineTest, AMalformedLineIsRejected) {
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"seven-character mask", "sf=Kxm=1000001ps=pbf=/b.qbk"},
        {"nine-character mask", "sf=Kxm=100000001ps=pbf=/b.qbk"},
        {"a letter in the mask", "sf=Kxm=1000000aps=pbf=/b.qbk"},
        {"a blank in the mask", "sf=Kxm=1000 001ps=pbf=/b.qbk"},
        {"empty mask", "sf=Kxm=ps=pbf=/b.qbk"},
        {"missing ps=", "sf=Kxm=10000001bf=/b.qbk"},
        {"missing bf=", "sf=Kxm=10000001ps=p"},
        {"missing sf=", "xm=10000001ps=pbf=/b.qbk"},
        {"empty sf", "sf=xm=10000001ps=pbf=/b.qbk"},
        {"empty bf", "sf=Kxm=10000001ps=pbf="},
        {"\"=\" in the password", "sf=Kxm=10000001ps=a=bbf=/b.qbk"},
        {"\"=\" in the path", "sf=Kxm=10000001ps=pbf=/b=c.qbk"},
        {"\"=\" in the identity", "sf=K=Lxm=10000001ps=pbf=/b.qbk"},
        {"fields out of order", "xm=10000001sf=Kps=pbf=/b.qbk"},
        {"bf before ps", "sf=Kxm=10000001bf=/b.qbkps=p"},
        {"misspelt key", "sf=Kxm=10000001pw=pbf=/b.qbk"},
        {"text before sf=, ps= missing", "run sf=Kxm=10000001bf=/b.qbk"},
        {"text before sf=, a short mask", "run sf=Kxm=1000001ps=pbf=/b.qbk"},
        {"text before sf=, a key twice", "run sf=Kxm=10000001ps=pbf=/b.qbkbf=/c.qbk"},
        {"sf= twice", "sf=Ksf=Lxm=10000001ps=pbf=/b.qbk"},
        {"empty line", ""},
        {"no field at all", "/backups/main.qbk"},
    };
    for (const Case& c : cases) {
        const Result<JobCommandLine> job = ParseJobCommandLine(c.text);
        EXPECT_FALSE(job.ok()) << c.what << ": " << c.text;
        EXPECT_FALSE(job.reason().empty()) << c.what;
    }
}

TEST(JobCommandLineTest, AWrittenLineReadsBackToTheSameJob) {
    const JobCommandLine jobs[] = {
        {kKey, "10000001", "", "/backups/main.qbk"},
        {kKey, "11111111", "s3cret w0rd", "/home/me/My Backups/weekly.qbk"},
        {"K", "00000000", "p\xC3\xA4ss", "C:\\backups\\b.qbk"},
    };
    for (const JobCommandLine& job : jobs) {
        const std::string text = MakeJobCommandLine(job);
        EXPECT_EQ(text, "sf=" + job.identityKey + "xm=" + job.itemMask + "ps=" + job.password +
                            "bf=" + job.backupFile);
        const Result<JobCommandLine> read = ParseJobCommandLine(text);
        ASSERT_TRUE(read.ok()) << text << ": " << read.reason();
        EXPECT_EQ(read->identityKey, job.identityKey);
        EXPECT_EQ(read->itemMask, job.itemMask);
        EXPECT_EQ(read->password, job.password);
        EXPECT_EQ(read->backupFile, job.backupFile);
    }
}

// The process arguments as a test can change them, like main()'s argv.
class Arguments {
  public:
    explicit Arguments(std::vector<std::string> texts) : m_texts(std::move(texts)) {
        for (std::string& text : m_texts) m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(m_texts.size()); }
    char** argv() { return m_pointers.data(); }
    std::vector<std::string> texts() const {
        std::vector<std::string> now;
        for (std::size_t i = 0; i < m_texts.size(); ++i) now.emplace_back(m_pointers[i]);
        return now;
    }

  private:
    std::vector<std::string> m_texts;
    std::vector<char*> m_pointers;
};

TEST(UnattendedArgumentsTest, ThePasswordIsMaskedInTheProcessArgumentsAfterBeingRead) {
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> masked;
        std::string commandLine;  // as read before masking
    };
    const Case cases[] = {
        {{"quillet", "sf=Kxm=10000001ps=secretbf=/b.qbk"},
         {"quillet", "sf=Kxm=10000001ps=******bf=/b.qbk"},
         "sf=Kxm=10000001ps=secretbf=/b.qbk"},
        // A password with a blank arrives as two arguments.
        {{"quillet", "sf=Kxm=10000001ps=two", "wordsbf=/b.qbk"},
         {"quillet", "sf=Kxm=10000001ps=***", "*****bf=/b.qbk"},
         "sf=Kxm=10000001ps=two wordsbf=/b.qbk"},
        {{"quillet", "--prefix", "/wine/prefix", "sf=Kxm=10000001ps=pwbf=/b.qbk"},
         {"quillet", "--prefix", "/wine/prefix", "sf=Kxm=10000001ps=**bf=/b.qbk"},
         "sf=Kxm=10000001ps=pwbf=/b.qbk"},
        // The program's own path is not an argument.
        {{"/opt/ps=x/quillet", "sf=Kxm=10000001ps=bf=/b.qbk"},
         {"/opt/ps=x/quillet", "sf=Kxm=10000001ps=bf=/b.qbk"},
         "sf=Kxm=10000001ps=bf=/b.qbk"},
        {{"quillet", "sf=Kxm=10000001"}, {"quillet", "sf=Kxm=10000001"}, "sf=Kxm=10000001"},
    };
    for (const Case& c : cases) {
        Arguments arguments(c.arguments);
        const StartupArguments read = ReadStartupArguments(arguments.argc(), arguments.argv());
        MaskPasswordInArguments(arguments.argc(), arguments.argv());
        EXPECT_EQ(arguments.texts(), c.masked) << c.commandLine;
        EXPECT_EQ(read.commandLine, c.commandLine);
    }
}

TEST(UnattendedArgumentsTest, TheSystemOptionsAreNotPartOfTheCommandLine) {
    using Option = std::optional<std::string> StartupArguments::*;
    const struct {
        const char* name;
        Option value;
    } options[] = {{"--prefix", &StartupArguments::prefix},
                   {"--windows-root", &StartupArguments::windowsRoot},
                   {"--user", &StartupArguments::user}};
    for (const auto& option : options) {
        const std::string name = option.name;
        for (const std::vector<std::string>& texts :
             {std::vector<std::string>{"quillet", name, "/p", "sf=Kxm=1ps=bf=/b"},
              std::vector<std::string>{"quillet", name + "=/p", "sf=Kxm=1ps=bf=/b"},
              std::vector<std::string>{"quillet", "sf=Kxm=1ps=bf=/b", name, "/p"}}) {
            Arguments arguments(texts);
            const StartupArguments read = ReadStartupArguments(arguments.argc(), arguments.argv());
            for (const auto& other : options) {
                EXPECT_EQ(read.*other.value, other.value == option.value
                                                 ? std::optional<std::string>("/p")
                                                 : std::nullopt)
                    << texts[1] << ", " << other.name;
            }
            EXPECT_EQ(read.commandLine, "sf=Kxm=1ps=bf=/b");
        }
    }
    Arguments none({"quillet"});
    const StartupArguments read = ReadStartupArguments(none.argc(), none.argv());
    EXPECT_FALSE(read.prefix.has_value());
    EXPECT_FALSE(read.windowsRoot.has_value());
    EXPECT_EQ(read.commandLine, "");
}

TEST(UnattendedArgumentsTest, HelpAloneAsksForTheUsageAndTakesNoJob) {
    const Environment env = testing::FakeEnvironment({{"QUILLET_JOB", "sf=Exm=1ps=bf=/e"}});
    for (const std::vector<std::string>& texts : {std::vector<std::string>{"quillet", "--help"},
                                                  {"quillet", "--prefix", "/p", "-h"},
                                                  {"quillet", "sf=Axm=1ps=a", "-h", "bf=/a"}}) {
        Arguments arguments(texts);
        const StartupArguments read = ReadStartupArguments(arguments.argc(), arguments.argv(), env);
        EXPECT_EQ(read.help, !texts[1].starts_with("sf=")) << texts.back();
        EXPECT_EQ(read.commandLine.empty(), read.help) << read.commandLine;
    }
}

TEST(UnattendedArgumentsTest, WithoutAJobInItsArgumentsTheProgramTakesItsEnvironmentsJob) {
    const Environment env = testing::FakeEnvironment({{"QUILLET_JOB", "sf=Exm=1ps=bf=/e"}});
    Arguments prefixOnly({"quillet", "--prefix", "/p"});
    EXPECT_EQ(ReadStartupArguments(prefixOnly.argc(), prefixOnly.argv(), env).commandLine,
              "sf=Exm=1ps=bf=/e");
    Arguments job({"quillet", "sf=Axm=1ps=bf=/a"});
    EXPECT_EQ(ReadStartupArguments(job.argc(), job.argv(), env).commandLine, "sf=Axm=1ps=bf=/a");
}

}  // namespace
}  // namespace quillet
