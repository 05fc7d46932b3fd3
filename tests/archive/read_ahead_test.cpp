#include "archive/read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace quillet::archive {
namespace {

// A reader of `pieces` pieces, piece k being `size` bytes of the letter 'a' + k % 26, and then
// the end. It records how far it ever ran ahead of the pieces consumed.
struct CountingReader {
    std::size_t pieces;
    std::size_t size;
    std::atomic<std::size_t> consumed{0};
    std::atomic<std::size_t> calls{0};
    std::atomic<std::size_t> furthestAhead{0};
    std::atomic<bool> otherThreadOnly{true};
    std::thread::id consumerThread = std::this_thread::get_id();

    ReadAhead::Reader reader() {
        return [this](std::span<std::byte> out) -> Result<std::size_t> {
            if (std::this_thread::get_id() == consumerThread) otherThreadOnly = false;
            const std::size_t call = calls++;
            const std::size_t ahead = call - std::min(call, consumed.load());
            if (ahead > furthestAhead) furthestAhead = ahead;
            if (call >= pieces) return std::size_t{0};
            const std::size_t count = std::min(size, out.size());
            std::memset(out.data(), 'a' + static_cast<int>(call % 26), count);
            return count;
        };
    }
};

std::string AsText(std::span<const std::byte> piece) {
    return std::string(reinterpret_cast<const char*>(piece.data()), piece.size());
}

TEST(ReadAheadTest, DeliversEveryPieceInOrderAndStaysWithinItsBuffers) {
    struct Case {
        std::size_t pieces;
        std::size_t buffers;
    };
    for (const Case test : {Case{0, 2}, Case{1, 2}, Case{50, 2}, Case{50, 4}, Case{3, 8}}) {
        SCOPED_TRACE(std::to_string(test.pieces) + " pieces, " + std::to_string(test.buffers) +
                     " buffers");
        CountingReader counting{test.pieces, 1000};
        ReadAhead ahead(counting.reader(), 1000, test.buffers);
        ASSERT_TRUE(ahead.start().ok());
        std::size_t received = 0;
        for (;;) {
            Result<std::span<const std::byte>> piece = ahead.next();
            ASSERT_TRUE(piece.ok()) << piece.reason();
            if (piece->empty()) break;
            EXPECT_EQ(AsText(*piece), std::string(1000, static_cast<char>('a' + received % 26)));
            ++received;
            ++counting.consumed;
        }
        EXPECT_EQ(received, test.pieces);
        EXPECT_LT(counting.furthestAhead.load(), test.buffers) << "bounded read-ahead";
        EXPECT_TRUE(ahead.next()->empty()) << "the end is reported again";
        EXPECT_TRUE(counting.otherThreadOnly) << "the reader runs on its own thread";
    }
}

TEST(ReadAheadTest, PassesOnAFailureAfterThePiecesBeforeIt) {
    int calls = 0;
    ReadAhead ahead(
        [&calls](std::span<std::byte> out) -> Result<std::size_t> {
            if (calls++ < 2) {
                out[0] = std::byte{'x'};
                return std::size_t{1};
            }
            return Status::Error("the disk is on fire");
        },
        16, 3);
    ASSERT_TRUE(ahead.start().ok());
    EXPECT_EQ(AsText(*ahead.next()), "x");
    EXPECT_EQ(AsText(*ahead.next()), "x");
    for (int again = 0; again < 2; ++again) {
        Result<std::span<const std::byte>> failed = ahead.next();
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.reason(), "the disk is on fire");
    }
    ahead.stop();
    EXPECT_EQ(calls, 3) << "no call after the failure";
}

// A consumer that gives up early (a failed write, say) must be able to stop a reader that still
// has data, whether the reader is waiting for a free buffer or not.
TEST(ReadAheadTest, StopsWhileTheReaderStillHasData) {
    for (const std::size_t consumed : {0u, 1u, 5u}) {
        SCOPED_TRACE(std::to_string(consumed) + " pieces consumed");
        CountingReader endless{static_cast<std::size_t>(-1), 64};
        {
            ReadAhead ahead(endless.reader(), 64, 2);
            ASSERT_TRUE(ahead.start().ok());
            for (std::size_t i = 0; i < consumed; ++i) ASSERT_FALSE(ahead.next()->empty());
        }  // destroyed: must return
        EXPECT_LE(endless.calls.load(), consumed + 2) << "bounded read-ahead";
    }
}

}  // namespace
}  // namespace quillet::archive
