// Writes an address book of COUNT people, each with the fields an address book commonly holds
// (names, three e-mail addresses, phones, a company, a business address, a note), for run.sh.
//
//   make_contacts_wab FILE COUNT

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "wab/wab_builder.h"
#include "wab/wab_layout.h"

using namespace quillet;
using namespace quillet::testing;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_contacts_wab FILE COUNT\n");
        return 2;
    }
    const long count = std::strtol(argv[2], nullptr, 10);
    std::vector<WabRecord> records;
    records.reserve(static_cast<std::size_t>(count));
    for (long i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        const std::string given = "Given" + n, surname = "Sürname" + n;
        const std::string email = "person" + n + "@example.com";
        records.push_back(
            {static_cast<std::uint32_t>(i),
             {TextProperty(wab::kDisplayName, given + " " + surname),
              TextProperty(wab::kGivenName, given), TextProperty(wab::kSurname, surname),
              TextProperty(wab::kAddressType, "SMTP"), TextProperty(wab::kEmailAddress, email),
              TextListProperty(wab::kOtherEmails,
                               {email, "work" + n + "@example.net", "home" + n + "@example.org"}),
              TextListProperty(wab::kOtherAddressTypes, {"SMTP", "SMTP", "SMTP"}),
              TextProperty(wab::kBusinessPhone, "+1 555 01" + n),
              TextProperty(wab::kMobilePhone, "+1 555 02" + n),
              TextProperty(wab::kCompany, "Example Widgets, Inc."),
              TextProperty(wab::kTitle, "Engineer"),
              TextProperty(wab::kBusinessStreet, n + " Main Street"),
              TextProperty(wab::kBusinessCity, "Springfield"),
              TextProperty(wab::kBusinessPostalCode, "62701"),
              TextProperty(wab::kComment, "Met at the garden club; likes roses, tulips.")}});
    }
    const BuiltWab built = BuildWab(records);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(built.bytes.data(), static_cast<std::streamsize>(built.bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "make_contacts_wab: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu bytes\n", built.bytes.size());
    return 0;
}
