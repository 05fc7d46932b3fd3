#include "archive/deflate_pipeline.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <system_error>

namespace quillet::archive {

namespace {

constexpr std::size_t kDictionarySize = 32 * 1024;  // the deflate window
constexpr int kRawDeflate = -15;
constexpr int kMemoryLevel = 8;

unsigned DefaultThreads() {
    const unsigned processors = std::thread::hardware_concurrency();
    return std::clamp(processors, 2u, 8u);
}

}  // namespace

struct DeflatePipeline::Block {
    std::size_t number = 0;
    bool ready = false;
    std::vector<std::byte> data;  // compressed bytes; capacity kept between uses
    std::size_t size = 0;
    std::uint32_t crc = 0;
    std::uint64_t inputSize = 0;
    Status failure = Status::Ok();
};

struct DeflatePipeline::InputState {
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    bool done = false;
};

DeflatePipeline::DeflatePipeline(DeflateSettings settings) : m_settings(settings) {
    if (m_settings.threads == 0) m_settings.threads = DefaultThreads();
    if (m_settings.blocksInFlight == 0) m_settings.blocksInFlight = 2 * m_settings.threads + 2;
    m_settings.level = std::clamp(m_settings.level, 1, 9);
    m_settings.blockSize = std::max<std::size_t>(m_settings.blockSize, 64 * 1024);
}

DeflatePipeline::~DeflatePipeline() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_slotFree.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

Status DeflatePipeline::start(std::vector<const SourceFile*> inputs) {
    m_inputs = std::move(inputs);
    m_inputState.assign(m_inputs.size(), InputState{});
    m_firstBlock.clear();
    std::size_t blocks = 0;
    for (const SourceFile* input : m_inputs) {
        m_firstBlock.push_back(blocks);
        // An empty input still gets one (empty, final) block, so its stream is valid.
        blocks += std::max<std::uint64_t>(
            1, (input->size + m_settings.blockSize - 1) / m_settings.blockSize);
    }
    m_firstBlock.push_back(blocks);

    m_slots.clear();
    for (std::size_t i = 0; i < m_settings.blocksInFlight; ++i) {
        m_slots.push_back(std::make_unique<Block>());
    }
    const unsigned threads = static_cast<unsigned>(
        std::min<std::size_t>(m_settings.threads, std::max<std::size_t>(1, blocks)));
    try {
        for (unsigned i = 0; i < threads; ++i) m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error& error) {
        return Status::Error(std::string("Cannot start the compressing threads: ") + error.what());
    }
    return Status::Ok();
}

std::size_t DeflatePipeline::inputOfBlock(std::size_t blockNumber) const {
    const auto after = std::upper_bound(m_firstBlock.begin(), m_firstBlock.end(), blockNumber);
    return static_cast<std::size_t>(after - m_firstBlock.begin()) - 1;
}

void DeflatePipeline::work() {
    z_stream stream{};
    if (deflateInit2(&stream, m_settings.level, Z_DEFLATED, kRawDeflate, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        stream.state = nullptr;
    }
    std::vector<std::byte> input;
    const std::size_t totalBlocks = m_firstBlock.back();

    for (;;) {
        std::size_t number = 0;
        {
            std::unique_lock lock(m_mutex);
            m_slotFree.wait(lock, [&] {
                return m_stopping || m_nextBlock >= totalBlocks ||
                       m_nextBlock < m_readBlock + m_slots.size();
            });
            if (m_stopping || m_nextBlock >= totalBlocks) break;
            number = m_nextBlock++;
        }
        // The slot is this thread's alone until it is marked ready: the consumer reads a slot only
        // when ready, and no other block maps to it until the consumer has moved past this one.
        Block& block = *m_slots[number % m_slots.size()];
        block.number = number;
        block.failure = stream.state != nullptr
                            ? compress(number, input, &stream, block)
                            : Status::Error("Cannot set up the compressor (out of memory)");
        {
            std::lock_guard lock(m_mutex);
            block.ready = true;
        }
        m_blockDone.notify_all();
    }
    if (stream.state != nullptr) deflateEnd(&stream);
}

Status DeflatePipeline::compress(std::size_t blockNumber, std::vector<std::byte>& input,
                                 void* streamPointer, Block& block) const {
    auto& stream = *static_cast<z_stream*>(streamPointer);
    const std::size_t index = inputOfBlock(blockNumber);
    const SourceFile& source = *m_inputs[index];
    const std::uint64_t blockInInput = blockNumber - m_firstBlock[index];
    const std::uint64_t offset = blockInInput * m_settings.blockSize;
    const std::size_t length = static_cast<std::size_t>(
        std::min<std::uint64_t>(m_settings.blockSize, source.size - offset));
    const std::size_t dictionary =
        static_cast<std::size_t>(std::min<std::uint64_t>(kDictionarySize, offset));
    const bool last = blockNumber + 1 == m_firstBlock[index + 1];

    // Opened for this block alone: the open files are bounded by the threads, not the inputs. The
    // check after the read also catches a change made while an earlier block was read.
    input.resize(dictionary + length);
    {
        SourceReader reader(source);
        if (Status opened = reader.open(); !opened) return opened;
        if (Status read = reader.readAt(offset - dictionary, input); !read) return read;
        if (Status same = reader.checkUnchanged(); !same) return same;
    }

    const auto* data = reinterpret_cast<const Bytef*>(input.data());
    block.inputSize = length;
    block.crc = static_cast<std::uint32_t>(crc32(0, data + dictionary, static_cast<uInt>(length)));

    if (deflateReset(&stream) != Z_OK) return Status::Error("The compressor failed to reset");
    if (dictionary > 0 &&
        deflateSetDictionary(&stream, data, static_cast<uInt>(dictionary)) != Z_OK) {
        return Status::Error("The compressor refused its dictionary");
    }
    // deflateBound() covers a finished stream; a sync flush adds at most a few bytes more.
    const std::size_t bound = deflateBound(&stream, static_cast<uLong>(length)) + 64;
    if (block.data.size() < bound) block.data.resize(bound);

    stream.next_in = const_cast<Bytef*>(data + dictionary);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = reinterpret_cast<Bytef*>(block.data.data());
    stream.avail_out = static_cast<uInt>(block.data.size());
    const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool complete = last ? result == Z_STREAM_END
                               : (result == Z_OK && stream.avail_in == 0 && stream.avail_out > 0);
    if (!complete) {
        return Status::Error("The compressor failed (zlib error " + std::to_string(result) + ")");
    }
    block.size = block.data.size() - stream.avail_out;
    return Status::Ok();
}

Result<std::size_t> DeflatePipeline::read(std::size_t index, std::span<std::byte> out) {
    if (index >= m_inputs.size()) return Status::Error("No such compressed stream");
    if (out.empty()) return std::size_t{0};
    std::unique_lock lock(m_mutex);
    if (m_inputState[index].done) return std::size_t{0};
    if (m_readBlock >= m_firstBlock.back() || inputOfBlock(m_readBlock) != index) {
        return Status::Error("Compressed streams were read out of order");
    }
    Block& block = *m_slots[m_readBlock % m_slots.size()];
    m_blockDone.wait(lock, [&] { return block.ready && block.number == m_readBlock; });
    if (!block.failure.ok()) return block.failure;
    lock.unlock();

    // The block is ready and stays ours until m_readBlock moves past it: copy without the lock.
    const std::size_t count = std::min(out.size(), block.size - m_readOffset);
    std::memcpy(out.data(), block.data.data() + m_readOffset, count);

    lock.lock();
    m_readOffset += count;
    if (m_readOffset == block.size) {
        InputState& state = m_inputState[index];
        state.crc = static_cast<std::uint32_t>(
            crc32_combine(state.crc, block.crc, static_cast<z_off_t>(block.inputSize)));
        state.compressedSize += block.size;
        m_consumedInput += block.inputSize;
        block.ready = false;
        m_readOffset = 0;
        ++m_readBlock;
        if (m_readBlock == m_firstBlock[index + 1]) state.done = true;
        lock.unlock();
        m_slotFree.notify_all();
    }
    // Never 0 here: a block always holds at least the end marker or the flush marker.
    return count;
}

std::uint32_t DeflatePipeline::crc(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    return m_inputState.at(index).crc;
}

std::uint64_t DeflatePipeline::compressedSize(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    return m_inputState.at(index).compressedSize;
}

std::uint64_t DeflatePipeline::consumedInputBytes() const {
    std::lock_guard lock(m_mutex);
    return m_consumedInput;
}

}  // namespace quillet::archive
