// Writes a large, deterministic Outlook Express store folder for the mail export benchmark:
// FOLDER/Folders.dbx listing the usual folders and FOLDER/Inbox.dbx holding about MB megabytes of
// varied mail (plain notes of a kilobyte or two, replies that quote, newsletters, messages with
// base64 attachments up to a few megabytes, body lines that start with "From ").
//
//   make_mail_dbx FOLDER [MB=1024] [SEED=1]
//   make_mail_dbx --loose FOLDER COUNT
//
// The store is streamed to the file: memory stays at the size of the largest message. With
// --loose it writes COUNT small stores instead ("Store00001.dbx"..., two messages each) and no
// Folders.dbx: loose stores, each exported as a folder named after its file.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../mail_text.h"
#include "mailstore/dbx_builder.h"

namespace {

using quillet::bench::Base64Lines;
using quillet::bench::kPersonNames;
using quillet::bench::MailDate;
using quillet::bench::Random;
using quillet::testing::DbxMessageOptions;
using quillet::testing::DbxStoreBuilder;

const char* const kWords[] = {
    "the",     "of",       "and",      "to",      "a",        "in",       "is",      "you",
    "that",    "it",       "for",      "on",      "was",      "with",     "as",      "have",
    "be",      "at",       "this",     "we",      "please",   "meeting",  "project", "report",
    "thanks",  "regards",  "attached", "budget",  "schedule", "tomorrow", "office",  "invoice",
    "order",   "delivery", "question", "review",  "draft",    "version",  "update",  "server",
    "backup",  "account",  "message",  "folder",  "address",  "weekend",  "holiday", "family",
    "dinner",  "photos",   "travel",   "flight",  "hotel",    "agenda",   "minutes", "manager",
    "team",    "contract", "proposal", "quarter", "figures",  "sales",    "support", "ticket",
    "problem", "solution", "printer",  "network", "offer",    "price",    "Monday",  "Friday",
    "would",   "could",    "should",   "about",   "there",    "which",    "when",    "what",
};
constexpr std::size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);
const char* const kDomains[] = {"example.com", "example.org", "mail.example.net", "corp.example"};

class MailMaker {
  public:
    explicit MailMaker(std::uint64_t seed) : m_random(seed) {}

    // One message of a randomly chosen kind, CRLF line ends.
    const std::string& make(std::uint64_t number) {
        m_text.clear();
        const std::size_t kind = m_random.below(100);
        std::size_t attachment = 0;
        if (kind >= 99) {
            attachment = m_random.between(1 << 20, 4 << 20);
        } else if (kind >= 90) {
            attachment = m_random.between(100 << 10, 1 << 20);
        } else if (kind >= 75) {
            attachment = m_random.between(4 << 10, 100 << 10);
        }
        header(number, attachment != 0);
        const std::size_t paragraphs = kind < 40 ? 1 + m_random.below(2) : 2 + m_random.below(12);
        for (std::size_t p = 0; p < paragraphs; ++p) {
            for (std::size_t l = 0, lines = 1 + m_random.below(6); l < lines; ++l) {
                // Lines that an mbox reader would take for a new message unless quoted.
                const std::size_t start = m_random.below(40);
                line((start == 0   ? "From "
                      : start == 1 ? ">From "
                                   : "") +
                     words(6 + m_random.below(8)));
            }
            line("");
        }
        if (kind % 3 == 0) {  // a reply quotes an earlier text
            line("----- Original Message -----");
            for (std::size_t l = 0, lines = 3 + m_random.below(20); l < lines; ++l) {
                line("> " + words(6 + m_random.below(8)));
            }
        }
        line("Regards,");
        if (attachment != 0) {
            line("");
            line("--" + m_boundary);
            line("Content-Type: application/octet-stream; name=\"file" + std::to_string(number) +
                 ".bin\"");
            line("Content-Transfer-Encoding: base64");
            line("Content-Disposition: attachment");
            line("");
            Base64Lines(m_random, attachment, [this](const std::string& text) { line(text); });
            line("--" + m_boundary + "--");
        }
        return m_text;
    }

  private:
    void header(std::uint64_t number, bool multipart) {
        const char* from = kPersonNames[m_random.below(16)];
        const char* to = kPersonNames[m_random.below(16)];
        const char* domain = kDomains[m_random.below(4)];
        line(std::string("Return-Path: <") + from + "@" + domain + ">");
        for (std::size_t hop = 0, hops = 2 + m_random.below(3); hop < hops; ++hop) {
            line("Received: from mx" + std::to_string(m_random.below(20)) + "." + domain +
                 " by mail.example.com with ESMTP id " + std::to_string(m_random.next()) + "; " +
                 MailDate(m_random));
        }
        line("Message-ID: <" + std::to_string(m_random.next()) + "." + std::to_string(number) +
             "@" + domain + ">");
        line(std::string("From: ") + from + " <" + from + "@" + domain + ">");
        line(std::string("To: ") + to + " <" + to + "@example.com>");
        line("Subject: " + std::string(m_random.below(3) == 0 ? "Re: " : "") +
             words(3 + m_random.below(6)));
        line("Date: " + MailDate(m_random));
        line("MIME-Version: 1.0");
        line("X-Mailer: Mail Client 6.00.2900.2180");
        if (multipart) {
            m_boundary = "----=_NextPart_000_" + std::to_string(m_random.next());
            line("Content-Type: multipart/mixed; boundary=\"" + m_boundary + "\"");
            line("");
            line("This is a multi-part message in MIME format.");
            line("");
            line("--" + m_boundary);
        }
        line("Content-Type: text/plain; charset=\"iso-8859-1\"");
        line("Content-Transfer-Encoding: 7bit");
        line("");
    }
    void line(const std::string& text) {
        m_text += text;
        m_text += "\r\n";
    }
    std::string words(std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0) text += ' ';
            text += kWords[m_random.below(kWordCount)];
        }
        return text;
    }

    Random m_random;
    std::string m_text;
    std::string m_boundary;
};

}  // namespace

int WriteLooseStores(const std::filesystem::path& folder, std::uint64_t count) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    MailMaker maker(1);
    for (std::uint64_t number = 1; number <= count; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "Store%05llu.dbx", static_cast<unsigned long long>(number));
        DbxStoreBuilder builder(folder / name);
        for (int message = 0; message < 2; ++message) builder.addMessage(maker.make(number));
        (void)builder.finish();
    }
    std::printf("%s: %llu loose stores\n", folder.c_str(), static_cast<unsigned long long>(count));
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--loose") {
        return WriteLooseStores(argv[2], std::strtoull(argv[3], nullptr, 10));
    }
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make_mail_dbx FOLDER [MB=1024] [SEED=1]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::uint64_t megabytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    // Offsets are 32-bit and the store must stay below 2 GB to be a sound store.
    if (megabytes == 0 || megabytes > 2000) {
        std::fprintf(stderr, "make_mail_dbx: MB must be 1..2000\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    (void)quillet::testing::WriteDbxFolderList(folder / "Folders.dbx",
                                               quillet::testing::StandardDbxFolders());

    DbxStoreBuilder builder(folder / "Inbox.dbx", {.recordChunks = false});
    MailMaker maker(seed);
    const std::uint64_t target = megabytes << 20;
    std::uint64_t written = 0;
    std::uint64_t received = 127000000000000000ull;  // FILETIME in 2003
    for (std::uint64_t number = 1; written < target; ++number) {
        const std::string& message = maker.make(number);
        received += 3600ull * 10000000ull;
        builder.addMessage(message, DbxMessageOptions{.receivedTime = received});
        // Chunks carry 0x10 bytes of header per 0x200 of data.
        written += (message.size() + 0x1FF) / 0x200 * 0x210 + 0x40;
    }
    const auto layout = builder.finish();
    std::printf("%s: %zu messages, %llu bytes\n", (folder / "Inbox.dbx").c_str(),
                layout.messages.size(), static_cast<unsigned long long>(layout.fileSize));
    return 0;
}
