#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "archive/source_file.h"
#include "platform/status.h"

namespace quillet::archive {

struct DeflateSettings {
    int level = 6;                     // zlib level, 1 (fastest) to 9 (smallest)
    std::size_t blockSize = 1u << 20;  // uncompressed bytes compressed as one piece
    unsigned threads = 0;              // compressing threads; 0: one per processor, 2 to 8
    std::size_t blocksInFlight = 0;    // compressed blocks held at most; 0: 2 * threads + 2
};

// Compresses a list of files, in order, into one raw deflate stream each, on several threads.
//
// Each file is cut into blocks. Threads compress blocks independently, each primed with the 32 KiB
// of input before it as a dictionary (so little is lost to the cut), ending every block but a
// file's last with a sync flush (byte-aligned, not final) and the last with the final block: the
// blocks of one file, concatenated, form one valid raw deflate stream. The CRC-32 of each file is
// computed alongside. Files are never held whole in memory: at most `blocksInFlight` compressed
// blocks and one input block per thread exist at any time. A file is open only while a thread
// reads one of its blocks (at most one file per thread is open at a time, however many files
// there are), and is checked then to be the file that was added, unchanged (SourceReader).
//
// One consumer thread reads the streams with read(), file after file; threads run ahead of it,
// across file boundaries, by at most `blocksInFlight` blocks. Everything but read() and the
// accessors is for the owning thread; read() and the accessors are for the consumer (which may be
// the owner). Destruction stops the threads.
class DeflatePipeline {
  public:
    explicit DeflatePipeline(DeflateSettings settings);
    ~DeflatePipeline();
    DeflatePipeline(const DeflatePipeline&) = delete;
    DeflatePipeline& operator=(const DeflatePipeline&) = delete;

    // Starts compressing the files, each to its size as added; they must outlive the pipeline.
    // Call once. Fails when the threads cannot be started.
    Status start(std::vector<const SourceFile*> inputs);

    // Copies the next compressed bytes of input `index` into `out`. Returns the number copied,
    // 0 once that input's stream is complete, or the reason reading or compressing failed (for
    // example the file changed since it was added: kSourceChangedReason). Inputs must be read in
    // order, each to its end; reading another input meanwhile fails.
    Result<std::size_t> read(std::size_t index, std::span<std::byte> out);

    // After read() returned 0 for `index`: its CRC-32 and the size of its compressed stream.
    std::uint32_t crc(std::size_t index) const;
    std::uint64_t compressedSize(std::size_t index) const;

    // Uncompressed bytes of all inputs whose compressed data read() has handed out so far.
    std::uint64_t consumedInputBytes() const;

    const DeflateSettings& settings() const { return m_settings; }

  private:
    struct Block;
    struct InputState;

    void work();
    Status compress(std::size_t blockNumber, std::vector<std::byte>& input, void* stream,
                    Block& block) const;
    std::size_t inputOfBlock(std::size_t blockNumber) const;

    DeflateSettings m_settings;
    std::vector<const SourceFile*> m_inputs;
    std::vector<std::size_t> m_firstBlock;  // per input, plus the total block count at the end
    std::vector<InputState> m_inputState;
    std::vector<std::unique_ptr<Block>> m_slots;
    std::vector<std::thread> m_threads;

    mutable std::mutex m_mutex;
    std::condition_variable m_blockDone;
    std::condition_variable m_slotFree;
    std::size_t m_nextBlock = 0;   // next block a thread claims
    std::size_t m_readBlock = 0;   // block the consumer is reading
    std::size_t m_readOffset = 0;  // bytes of that block already handed out
    std::uint64_t m_consumedInput = 0;
    bool m_stopping = false;
};

}  // namespace quillet::archive
