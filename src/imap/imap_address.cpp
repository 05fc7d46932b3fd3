#include "imap/imap_address.h"

#include <charconv>

namespace quillet::imap {

namespace {

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr ==
                text.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

Status Bad(std::string_view url, const std::string& why) {
    return Status::Error(
        "Not an IMAP account address (imaps://USER@HOST[:PORT]): " + std::string(url) + ": " + why,
        ErrorKind::kBadInput);
}

}  // namespace

std::string ImapAddress::text() const {
    return (startTls ? "imap://" : "imaps://") + user + "@" + host + ":" + std::to_string(port);
}

Result<ImapAddress> ParseImapAddress(std::string_view url, bool startTls) {
    constexpr std::string_view kImaps = "imaps://";
    constexpr std::string_view kImap = "imap://";
    std::string_view rest;
    if (url.starts_with(kImaps)) {
        rest = url.substr(kImaps.size());
    } else if (url.starts_with(kImap) && startTls) {
        rest = url.substr(kImap.size());
    } else {
        return Bad(url, url.starts_with(kImap) ? "imap:// sends in the clear; use --starttls"
                                               : "it must start with imaps://");
    }
    if (rest.ends_with('/')) rest.remove_suffix(1);
    const std::size_t at = rest.rfind('@');
    if (at == std::string_view::npos || at == 0) return Bad(url, "no user");
    ImapAddress address;
    address.user = Unescaped(rest.substr(0, at));
    address.startTls = startTls;
    std::string_view host = rest.substr(at + 1);
    address.port = startTls ? kImapPort : kImapsPort;
    if (const std::size_t colon = host.rfind(':');
        colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) {
        const std::string_view digits = host.substr(colon + 1);
        unsigned port = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (error != std::errc() || end != digits.data() + digits.size() || port == 0 ||
            port > 65535) {
            return Bad(url, "the port is not a number from 1 to 65535");
        }
        address.port = static_cast<std::uint16_t>(port);
        host = host.substr(0, colon);
    }
    if (host.starts_with('[') && host.ends_with(']')) host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("/?#@ ") != std::string_view::npos) {
        return Bad(url, "no host name");
    }
    address.host = std::string(host);
    return address;
}

}  // namespace quillet::imap
