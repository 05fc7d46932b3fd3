#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "support/cli/cli_runner.h"
#include "support/platform/fake_environment.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {

// quillet-cli run in this process over a fresh copy of the sample prefix, with a home and a
// temporary folder of its own.
class SamplePrefixCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MakeSamplePrefix(prefix));
        std::filesystem::create_directories(temp / "home");
        std::filesystem::create_directories(temp / "tmp");
    }

    // The command line with "--prefix <the sample prefix>" in front.
    CliRun run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--prefix", prefix.string()});
        return RunCliInProcess(context, arguments);
    }
    // The command line as given.
    CliRun runAsGiven(const std::vector<std::string>& arguments) {
        return RunCliInProcess(context, arguments);
    }

    // The lines of a command's output.
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    TempDir temp;
    std::filesystem::path prefix = temp / "prefix";
    cli::CliContext context{FakeEnvironment({{"HOME", (temp / "home").string()},
                                             {"TMPDIR", (temp / "tmp").string()},
                                             {"USER", "quillet"}})};
};

}  // namespace quillet::testing
