#include "mailstore/mbox_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mailstore/mbox_from_line.h"

namespace quillet::mailstore {
namespace {

// Writes the messages, each handed over in pieces of `pieceSize` bytes, each with `fields`.
std::string WriteMbox(const std::vector<std::string>& messages, std::size_t pieceSize,
                      const std::vector<StateField>& fields = {}) {
    std::string out;
    MboxWriter writer([&](std::string_view block) {
        out += block;
        return Status::Ok();
    });
    for (const std::string& message : messages) {
        writer.setFields(fields);
        for (std::size_t at = 0; at < message.size(); at += pieceSize) {
            const std::string_view piece = std::string_view(message).substr(at, pieceSize);
            EXPECT_TRUE(writer.write(std::as_bytes(std::span(piece.data(), piece.size()))).ok());
        }
        EXPECT_TRUE(writer.finishMessage().ok());
    }
    EXPECT_TRUE(writer.flush().ok());
    return out;
}

std::string Separator(std::string_view header) { return MboxFromLine(header) + "\n"; }

struct QuotingCase {
    const char* name;
    std::string message;
    std::string written;  // after the separator line
};

class MboxQuotingTest : public ::testing::TestWithParam<QuotingCase> {};

// The same output whatever the pieces' size: the quoting does not depend on where they break.
TEST_P(MboxQuotingTest, QuotesFromLinesAcrossPieces) {
    const QuotingCase& c = GetParam();
    const std::string expected = Separator(c.message) + c.written + "\n";
    for (std::size_t pieceSize : {1, 2, 3, 5, 7, 512}) {
        EXPECT_EQ(WriteMbox({c.message}, pieceSize), expected) << "pieces of " << pieceSize;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MboxQuotingTest,
    ::testing::Values(QuotingCase{"Plain", "S: x\r\n\r\nbody\r\n", "S: x\r\n\r\nbody\r\n"},
                      QuotingCase{"FromLines", "S: x\r\n\r\nFrom me\r\n>From you\r\n>>From her\r\n",
                                  "S: x\r\n\r\n>From me\r\n>>From you\r\n>>>From her\r\n"},
                      QuotingCase{
                          "NotQuite",
                          "S: x\r\n\r\nFrom\r\n>From\r\n>Fro\r\n From x\r\nFrom:\r\na From b\r\n",
                          "S: x\r\n\r\nFrom\r\n>From\r\n>Fro\r\n From x\r\nFrom:\r\na From b\r\n"},
                      QuotingCase{"AtTheEnd", "S: x\r\n\r\n>>From", "S: x\r\n\r\n>>From\r\n"},
                      QuotingCase{"MissingLineEndLf", "S: x\n\nend", "S: x\n\nend\n"},
                      QuotingCase{"EndsInCr", "S: x\r\n\r\nend\r", "S: x\r\n\r\nend\r\n"},
                      QuotingCase{"HeaderOnly", "S: x\r\n", "S: x\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST(MboxWriterTest, SeparatesMessagesByAnEmptyLine) {
    const std::string first = "From: a@b.c\r\n\r\none\r\n";
    const std::string second = "From: d@e.f\r\n\r\ntwo\r\n";
    EXPECT_EQ(WriteMbox({first, second}, 512),
              Separator(first) + first + "\n" + Separator(second) + second + "\n");
}

// Only the header block is held to find the From line, and that only up to a limit.
TEST(MboxWriterTest, TakesTheSenderFromTheHeaderBlockOnly) {
    const std::string body = "S: x\r\n\r\nFrom: late@b.c\r\n";
    EXPECT_EQ(WriteMbox({body}, 512).substr(0, Separator("").size()), Separator(""));

    std::string longHeader = "X: " + std::string(MboxWriter::kHeaderBlockLimit, 'x') + "\r\n";
    const std::string message = longHeader + "From: a@b.c\r\n\r\n";
    EXPECT_TRUE(WriteMbox({message}, 512).starts_with(Separator("")));
}

TEST(MboxWriterTest, HandsOverOutputInBlocksAndPassesOnItsFailure) {
    std::vector<std::size_t> blocks;
    MboxWriter writer([&](std::string_view block) {
        blocks.push_back(block.size());
        return blocks.size() == 2 ? Status::Error("disk full", ErrorKind::kDiskFull) : Status::Ok();
    });
    const std::string line(1000, 'a');
    const std::string piece = "S: x\r\n\r\n" + line + "\n";
    Status status = Status::Ok();
    while (status.ok() && blocks.size() < 2) {
        status = writer.write(std::as_bytes(std::span(piece.data(), piece.size())));
    }
    EXPECT_TRUE(status.is(ErrorKind::kDiskFull));
    EXPECT_GE(blocks.front(), MboxWriter::kOutputBlock);
}

// The state fields go at the end of the header block, in its line ends, in place of the
// message's own fields of those names (continuation lines too); an empty value writes none.
TEST(MboxWriterTest, PutsTheFieldsAtTheEndOfTheHeaderBlock) {
    const std::vector<StateField> fields = {
        {"Status", "RO"}, {"X-Status", ""}, {"X-Mozilla-Status", "0001"}};
    const std::vector<std::pair<std::string, std::string>> messages = {
        {"S: x\r\n\r\nbody\r\n", "S: x\r\nStatus: RO\r\nX-Mozilla-Status: 0001\r\n\r\nbody\r\n"},
        {"S: x\n\nbody\n", "S: x\nStatus: RO\nX-Mozilla-Status: 0001\n\nbody\n"},
        {"status: O\r\n\tfolded\r\nS: x\r\nX-Status : FA\r\nX-Statuses: 1\r\n"
         "X-MOZILLA-STATUS: 0000\r\n\r\nStatus: body\r\n",
         "S: x\r\nX-Statuses: 1\r\nStatus: RO\r\nX-Mozilla-Status: 0001\r\n\r\nStatus: body\r\n"},
        {"\r\nbody\r\n", "Status: RO\r\nX-Mozilla-Status: 0001\r\n\r\nbody\r\n"},
        {"S: x\r\n", "S: x\r\n"},  // no end of the header block: left as it is
    };
    for (const auto& [message, written] : messages) {
        for (std::size_t pieceSize : {1, 3, 512}) {
            EXPECT_EQ(WriteMbox({message}, pieceSize, fields), Separator(message) + written + "\n")
                << message << " in pieces of " << pieceSize;
        }
    }
}

}  // namespace
}  // namespace quillet::mailstore
