#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "wab/contact.h"

namespace quillet::wab {

// vCard 3.0 (RFC 2426), UTF-8, CRLF line ends.

// A text value with `\`, `,` and `;` escaped by a backslash and each line break (CR LF, CR or LF)
// written as `\n`.
std::string EscapeVCardText(std::string_view text);

// One content line (without its end) folded so that no line passes 75 octets: each continuation
// starts with a blank and no UTF-8 character is split. Returns the line with its CRLF end(s).
std::string FoldVCardLine(std::string_view line);

// The card of one person: FN, N, NICKNAME, every EMAIL (the default first, TYPE=PREF), TEL by
// kind, ORG (company;department), TITLE, ADR by kind (the office as the work address's extended
// part), URL, NOTE; fields the contact lacks are left out. FN falls back on the given name and
// surname, then the e-mail address. A group has no card (it is not meant to be given here). A
// non-empty `uid` is written as the card's UID.
std::string ContactToVCard(const Contact& contact, std::string_view uid = {});

// The name a card shows: the display name, else the given name and surname, else the first
// e-mail address.
std::string ContactFullName(const Contact& contact);

// Every e-mail address of a contact once, the default first.
std::vector<std::string> ContactEmails(const Contact& contact);

}  // namespace quillet::wab
