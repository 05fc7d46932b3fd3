#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/mod_reg.h"

namespace quillet::thunderbird {

// One account of the Internet Account Manager: its key and its values as the registry holds them.
struct OutlookAccount {
    std::string key;
    registry::ValueList values;

    // The value as text; empty when it is missing or no text.
    std::string text(std::string_view name) const;
    // The value as a number; nullopt when it is missing or no number.
    std::optional<std::int32_t> number(std::string_view name) const;
};

// An identity's signature: a text, or a file the signature is read from (a Windows path).
struct OutlookSignature {
    std::string name;
    std::optional<std::string> text;  // with the registry's CR LF line breaks
    std::optional<std::string> file;
};

// What of an identity's settings moves to another mail program: its accounts (the identity's own
// accounts key when it has one, else the shared one, as Outlook Express itself chooses), the
// default mail account's key, its default signature, the senders it blocks (the Value of each
// Block Senders criterion, mail and news) and the names of its message rules.
struct OutlookSettings {
    std::vector<OutlookAccount> accounts;  // in key order
    std::string defaultMailAccount;        // empty when the registry names none
    std::optional<OutlookSignature> signature;
    std::vector<std::string> blockedMailSenders;
    std::vector<std::string> blockedNewsSenders;
    std::vector<std::string> ruleNames;  // mail rules, then news rules
};

// Reads the settings of the identity at `identityKey` from the registry `modReg` holds; what is
// missing stays empty (an identity without accounts, signatures or rules is no error).
OutlookSettings ReadOutlookSettings(registry::ModReg& modReg, const std::string& identityKey);

}  // namespace quillet::thunderbird
