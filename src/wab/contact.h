#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillet::wab {

// A postal address as MAPI splits it.
struct PostalAddress {
    std::string street;
    std::string city;
    std::string region;  // state or province
    std::string postalCode;
    std::string country;

    bool empty() const {
        return street.empty() && city.empty() && region.empty() && postalCode.empty() &&
               country.empty();
    }
};

// One entry of an address book: a person, or a group of other entries. Texts are UTF-8; a field
// the record does not hold is empty.
struct Contact {
    std::uint32_t recordId = 0;
    std::uint64_t offset = 0;  // where its record starts in the file
    bool recovered = false;    // read from a deleted record that the file still holds
    bool isGroup = false;      // a group (distribution list): it names members
    std::uint32_t groupMembers = 0;

    std::string displayName;
    std::string givenName;
    std::string surname;
    std::string nickname;
    std::string initials;
    std::string email;        // the default address
    std::string addressType;  // "SMTP"
    std::vector<std::string> otherEmails;
    std::vector<std::string> otherEmailTypes;
    std::string comment;

    std::string company;
    std::string department;
    std::string title;
    std::string office;

    std::string businessPhone;
    std::string homePhone;
    std::string mobilePhone;
    std::string pager;
    std::string businessFax;
    std::string homeFax;

    PostalAddress businessAddress;
    PostalAddress homeAddress;
    std::string personalWebPage;
    std::string businessWebPage;
};

}  // namespace quillet::wab
