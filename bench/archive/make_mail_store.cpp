// Writes a synthetic, deterministic message store for the archive benchmark: FOLDER/Folder01.dbx
// ... with mail-like text (headers, paragraphs, quoted replies, base64 attachments).
//
//   bench_mail_store FOLDER [TOTAL_MB=620] [FILES=20] [LARGEST_MB=160] [ATTACHMENT_EVERY=15]
//
// The first file is LARGEST_MB; the others share the rest equally. One message in
// ATTACHMENT_EVERY carries a base64 attachment (1 makes the store mostly attachments, which deflate
// to about three quarters of their size). Same arguments, same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../mail_text.h"

namespace {

using quillet::bench::Base64Lines;
using quillet::bench::kPersonNames;
using quillet::bench::MailDate;
using quillet::bench::Random;

const char* const kWords[] = {
    "the",       "of",        "and",      "to",       "a",          "in",         "is",
    "you",       "that",      "it",       "for",      "on",         "was",        "with",
    "as",        "have",      "be",       "at",       "this",       "we",         "from",
    "or",        "by",        "will",     "can",      "not",        "are",        "but",
    "all",       "your",      "please",   "meeting",  "project",    "report",     "thanks",
    "regards",   "attached",  "budget",   "schedule", "tomorrow",   "office",     "customer",
    "invoice",   "order",     "delivery", "question", "answer",     "review",     "draft",
    "version",   "update",    "release",  "server",   "backup",     "account",    "password",
    "message",   "folder",    "address",  "book",     "rules",      "signature",  "weekend",
    "holiday",   "family",    "dinner",   "photos",   "travel",     "flight",     "hotel",
    "booking",   "confirm",   "cancel",   "agenda",   "minutes",    "department", "manager",
    "team",      "colleague", "contract", "proposal", "quarter",    "figures",    "sales",
    "marketing", "support",   "ticket",   "problem",  "solution",   "install",    "computer",
    "printer",   "network",   "internet", "email",    "newsletter", "subscribe",  "unsubscribe",
    "offer",     "discount",  "price",    "product",  "service",    "Monday",     "Tuesday",
    "Wednesday", "Thursday",  "Friday",   "January",  "February",   "March",      "April",
    "May",       "June",      "July",     "August",   "September",  "October",    "November",
    "December",  "would",     "could",    "should",   "about",      "there",      "their",
    "which",     "when",      "what",     "where",    "some",       "more",       "other",
    "time",      "just",      "know",     "think",    "like",       "good",       "great",
    "new",       "first",     "last",     "next",     "week",       "month",      "year",
    "today",     "again",     "still",    "also",
};
constexpr std::size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);
const char* const kDomains[] = {"example.com", "example.org", "mail.example.net", "corp.example",
                                "home.example"};

class MailWriter {
  public:
    MailWriter(std::FILE* out, std::uint64_t seed, std::size_t attachmentEvery)
        : m_out(out), m_random(seed), m_attachmentEvery(attachmentEvery) {}

    void message(std::uint64_t number) {
        const char* from = kPersonNames[m_random.below(16)];
        const char* to = kPersonNames[m_random.below(16)];
        const char* domain = kDomains[m_random.below(5)];
        line("Return-Path: <" + lower(from) + "@" + domain + ">");
        for (int hop = 0; hop < 2 + static_cast<int>(m_random.below(3)); ++hop) {
            line("Received: from mx" + std::to_string(m_random.below(20)) + "." + domain + " (mx." +
                 domain + " [10." + std::to_string(m_random.below(256)) + "." +
                 std::to_string(m_random.below(256)) + ".1]) by mail.example.com with ESMTP id " +
                 hex(12) + "; " + MailDate(m_random));
        }
        line("Message-ID: <" + hex(16) + "." + std::to_string(number) + "@" + domain + ">");
        line(std::string("From: ") + from + " <" + lower(from) + "@" + domain + ">");
        line(std::string("To: ") + to + " <" + lower(to) + "@example.com>");
        line("Subject: " + std::string(m_random.below(3) == 0 ? "Re: " : "") +
             words(3 + m_random.below(6)));
        line("Date: " + MailDate(m_random));
        line("MIME-Version: 1.0");
        line("X-Mailer: Mail Client 6.00.2900.2180");
        const bool attachment = m_random.below(m_attachmentEvery) == 0;
        const std::string boundary = "----=_NextPart_000_" + hex(8);
        if (attachment) {
            line("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
            line("");
            line("--" + boundary);
        }
        line("Content-Type: text/plain; charset=\"iso-8859-1\"");
        line("Content-Transfer-Encoding: 7bit");
        line("");
        std::vector<std::string> body;
        for (std::size_t p = 0, paragraphs = 1 + m_random.below(5); p < paragraphs; ++p) {
            for (std::size_t l = 0, lines = 1 + m_random.below(6); l < lines; ++l) {
                body.push_back(words(6 + m_random.below(8)));
            }
            body.emplace_back();
        }
        for (const auto& text : body) line(text);
        if (!m_previous.empty() && m_random.below(2) == 0) {  // a reply quotes the last message
            line("----- Original Message -----");
            for (const auto& text : m_previous) line("> " + text);
        }
        line(std::string("Regards, ") + from);
        m_previous = std::move(body);
        if (attachment) {
            line("");
            line("--" + boundary);
            line("Content-Type: application/octet-stream; name=\"file" + std::to_string(number) +
                 ".bin\"");
            line("Content-Transfer-Encoding: base64");
            line("");
            Base64Lines(m_random, 1024 + m_random.below(30000),
                        [this](const std::string& text) { line(text); });
            line("--" + boundary + "--");
        }
        line("");
    }

  private:
    void line(const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), m_out);
        std::fwrite("\r\n", 1, 2, m_out);
    }
    std::string words(std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0) text += ' ';
            text += kWords[m_random.skewed(kWordCount)];
        }
        return text;
    }
    std::string hex(std::size_t digits) {
        static const char kHex[] = "0123456789ABCDEF";
        std::string text;
        for (std::size_t i = 0; i < digits; ++i) text += kHex[m_random.below(16)];
        return text;
    }
    static std::string lower(std::string text) {
        for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return text;
    }

    std::FILE* m_out;
    Random m_random;
    std::size_t m_attachmentEvery;
    std::vector<std::string> m_previous;
};

bool WriteStore(const std::filesystem::path& file, std::uint64_t bytes, std::uint64_t seed,
                std::size_t attachmentEvery) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) return false;
    static std::vector<char> buffer(1 << 20);
    std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
    MailWriter writer(out, seed, attachmentEvery);
    for (std::uint64_t number = 0; static_cast<std::uint64_t>(std::ftell(out)) < bytes; ++number) {
        writer.message(number);
    }
    const bool ok = std::ferror(out) == 0;
    return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: bench_mail_store FOLDER [TOTAL_MB] [FILES] [LARGEST_MB] "
                     "[ATTACHMENT_EVERY]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::uint64_t totalMb = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 620;
    const std::uint64_t files = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20;
    const std::uint64_t largestMb = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 160;
    const std::uint64_t attachmentEvery = argc > 5 ? std::strtoull(argv[5], nullptr, 10) : 15;
    if (files < 2 || largestMb >= totalMb || attachmentEvery == 0) {
        std::fprintf(stderr,
                     "bench_mail_store: need at least 2 files, LARGEST_MB < TOTAL_MB and "
                     "ATTACHMENT_EVERY >= 1\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::uint64_t mb = 1000 * 1000;
    for (std::uint64_t i = 0; i < files; ++i) {
        const std::uint64_t bytes =
            i == 0 ? largestMb * mb : (totalMb - largestMb) * mb / (files - 1);
        char name[32];
        std::snprintf(name, sizeof(name), "Folder%02llu.dbx",
                      static_cast<unsigned long long>(i + 1));
        if (!WriteStore(folder / name, bytes, 1000 + i, attachmentEvery)) {
            std::fprintf(stderr, "bench_mail_store: cannot write %s\n", (folder / name).c_str());
            return 1;
        }
    }
    return 0;
}
