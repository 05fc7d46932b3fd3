#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mailstore/dbx_builder.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/store_bytes.h"
#include "support/platform/temp_dir.h"

namespace quillet::mailstore {

// A store of four messages of two chunks each, in file order: one the tree reaches, one whose
// chain it does not reach, one deleted, and another the tree reaches.
class SalvageTestStore : public ::testing::Test {
  public:
    static constexpr std::size_t kIndexed = 0, kLost = 1, kDeleted = 2, kLastIndexed = 3;

    const testing::DbxMessageLayout& indexed() const { return m_layout.messages[kIndexed]; }
    const testing::DbxMessageLayout& lost() const { return m_layout.messages[kLost]; }
    const testing::DbxMessageLayout& deleted() const { return m_layout.messages[kDeleted]; }
    const std::filesystem::path& file() const { return m_file; }

  protected:
    SalvageTestStore() {
        testing::DbxStoreBuilder builder(m_file);
        for (std::size_t i = 0; i < m_texts.size(); ++i) {
            const auto placement = i == kLost      ? testing::DbxPlacement::kLost
                                   : i == kDeleted ? testing::DbxPlacement::kDeleted
                                                   : testing::DbxPlacement::kIndexed;
            builder.addMessage(m_texts[i], {.placement = placement});
        }
        m_layout = builder.finish();
        reopen();
    }

    // Opens the store file again, after a test patched it.
    void reopen() {
        auto opened = OpenStoreFile(m_file);
        ASSERT_TRUE(opened) << opened.reason();
        m_bytes = std::move(*opened);
    }
    const StoreBytes& bytes() const { return *m_bytes; }

    static std::string Message(char fill) {
        return std::string("Subject: ") + fill + "\r\n\r\n" + std::string(kChunkDataSize, fill) +
               "\r\n";
    }

    // What a deleted message still holds: each chunk's first data bytes are lost.
    static std::string WithoutLostBytes(const std::string& message) {
        constexpr std::size_t kLostBytes = kDeletedChunkPrevious + 4 - kChunkData;
        std::string kept;
        for (std::size_t at = 0; at < message.size(); at += kChunkDataSize) {
            if (at + kLostBytes < message.size()) {
                kept += message.substr(at + kLostBytes, kChunkDataSize - kLostBytes);
            }
        }
        return kept;
    }

    // A sink that appends to `out`.
    static auto Collect(std::string& out) {
        return [&out](std::span<const std::byte> bytes) {
            out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            return Status::Ok();
        };
    }

    testing::TempDir m_dir;
    std::filesystem::path m_file = m_dir / "Inbox.dbx";
    std::vector<std::string> m_texts = {Message('a'), Message('b'), Message('c'), Message('d')};
    testing::DbxStoreLayout m_layout;
    std::unique_ptr<StoreBytes> m_bytes;
};

}  // namespace quillet::mailstore
