#include "wab/vcard_writer.h"

#include <utility>
#include <vector>

namespace quillet::wab {
namespace {

constexpr std::size_t kMaxLineOctets = 75;

bool IsUtf8Continuation(char octet) { return (static_cast<unsigned char>(octet) & 0xC0) == 0x80; }

// A structured value: its components escaped one by one, joined by `;`.
std::string Structured(std::initializer_list<std::string_view> components) {
    std::string out;
    bool first = true;
    for (std::string_view component : components) {
        if (!first) out += ';';
        out += EscapeVCardText(component);
        first = false;
    }
    return out;
}

void AddLine(std::string& card, std::string_view nameAndParameters, const std::string& value) {
    card += FoldVCardLine(std::string(nameAndParameters) + ":" + value);
}

void AddText(std::string& card, std::string_view name, const std::string& text) {
    if (!text.empty()) AddLine(card, name, EscapeVCardText(text));
}

// `extended` is the address's second part (an office, a room).
void AddAddress(std::string& card, std::string_view type, const PostalAddress& address,
                const std::string& extended = {}) {
    if (address.empty() && extended.empty()) return;
    AddLine(card, std::string("ADR;TYPE=") + std::string(type),
            Structured({"", extended, address.street, address.city, address.region,
                        address.postalCode, address.country}));
}

}  // namespace

std::string ContactFullName(const Contact& contact) {
    if (!contact.displayName.empty()) return contact.displayName;
    std::string name = contact.givenName;
    if (!name.empty() && !contact.surname.empty()) name += ' ';
    name += contact.surname;
    if (!name.empty()) return name;
    return !contact.email.empty() ? contact.email
                                  : (contact.otherEmails.empty() ? "" : contact.otherEmails[0]);
}

std::vector<std::string> ContactEmails(const Contact& contact) {
    std::vector<std::string> emails;
    auto add = [&](const std::string& email) {
        if (email.empty()) return;
        for (const std::string& known : emails) {
            if (known == email) return;
        }
        emails.push_back(email);
    };
    add(contact.email);
    for (const std::string& email : contact.otherEmails) add(email);
    return emails;
}

std::string EscapeVCardText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\\n";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string FoldVCardLine(std::string_view line) {
    std::string out;
    std::size_t room = kMaxLineOctets;
    while (line.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && IsUtf8Continuation(line[cut])) --cut;
        if (cut == 0) cut = room;  // no character starts in reach: not UTF-8, cut anywhere
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        room = kMaxLineOctets - 1;  // the blank that starts a continuation counts
    }
    out.append(line);
    out += "\r\n";
    return out;
}

std::string ContactToVCard(const Contact& contact, std::string_view uid) {
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    AddLine(card, "FN", EscapeVCardText(ContactFullName(contact)));
    AddLine(card, "N", Structured({contact.surname, contact.givenName, "", "", ""}));
    AddText(card, "NICKNAME", contact.nickname);
    bool first = true;
    for (const std::string& email : ContactEmails(contact)) {
        AddText(card, first ? "EMAIL;TYPE=INTERNET,PREF" : "EMAIL;TYPE=INTERNET", email);
        first = false;
    }
    const std::pair<const char*, const std::string*> phones[] = {
        {"TEL;TYPE=WORK,VOICE", &contact.businessPhone},
        {"TEL;TYPE=HOME,VOICE", &contact.homePhone},
        {"TEL;TYPE=CELL", &contact.mobilePhone},
        {"TEL;TYPE=PAGER", &contact.pager},
        {"TEL;TYPE=WORK,FAX", &contact.businessFax},
        {"TEL;TYPE=HOME,FAX", &contact.homeFax},
    };
    for (const auto& [name, number] : phones) AddText(card, name, *number);
    if (!contact.company.empty() || !contact.department.empty()) {
        AddLine(card, "ORG",
                contact.department.empty() ? EscapeVCardText(contact.company)
                                           : Structured({contact.company, contact.department}));
    }
    AddText(card, "TITLE", contact.title);
    AddAddress(card, "WORK", contact.businessAddress, contact.office);
    AddAddress(card, "HOME", contact.homeAddress);
    // A URL is a URI, not text: nothing is escaped, but a line break cannot stay.
    for (const std::string* page : {&contact.businessWebPage, &contact.personalWebPage}) {
        std::string uri;
        for (char c : *page) {
            if (c != '\r' && c != '\n') uri += c;
        }
        if (!uri.empty()) AddLine(card, "URL", uri);
    }
    AddText(card, "NOTE", contact.comment);
    if (!uid.empty()) AddLine(card, "UID", EscapeVCardText(uid));
    card += "END:VCARD\r\n";
    return card;
}

}  // namespace quillet::wab
