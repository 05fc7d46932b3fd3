#include "wab/vcard_writer.h"

#include <gtest/gtest.h>

namespace quillet::wab {
namespace {

TEST(VCardWriterTest, EscapesTextValues) {
    const std::pair<std::string, std::string> rows[] = {
        {"plain", "plain"},
        {"a,b;c\\d", "a\\,b\\;c\\\\d"},
        {"one\r\ntwo\nthree\rfour", "one\\ntwo\\nthree\\nfour"},
        {"Zoë, Ångström", "Zoë\\, Ångström"},
    };
    for (const auto& [text, escaped] : rows) EXPECT_EQ(EscapeVCardText(text), escaped) << text;
}

TEST(VCardWriterTest, FoldsLongLinesWithoutSplittingCharacters) {
    const std::string ascii(200, 'a');
    const std::string accents = "NOTE:" + std::string(69, 'x') + "ééé" + std::string(80, 'y');
    for (const std::string& line : {std::string("FN:short"), ascii, accents}) {
        const std::string folded = FoldVCardLine(line);
        std::string unfolded;
        std::size_t start = 0;
        while (start < folded.size()) {
            const std::size_t end = folded.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            const std::string piece = folded.substr(start, end - start);
            EXPECT_LE(piece.size(), 75u) << line;
            // No piece starts or ends inside a character.
            const std::string text = start == 0 ? piece : piece.substr(1);
            if (start != 0) {
                EXPECT_EQ(piece[0], ' ');
            }
            EXPECT_NE(static_cast<unsigned char>(text[0]) & 0xC0, 0x80u) << line;
            unfolded += text;
            start = end + 2;
        }
        EXPECT_EQ(unfolded, line);
    }
}

TEST(VCardWriterTest, WritesEachFieldOfAPerson) {
    Contact contact;
    contact.displayName = "Ann Lee";
    contact.givenName = "Ann";
    contact.surname = "Lee";
    contact.nickname = "Annie";
    contact.email = "ann@example.org";
    contact.otherEmails = {"ann@example.org", "lee@example.net"};
    contact.businessPhone = "1";
    contact.homePhone = "2";
    contact.mobilePhone = "3";
    contact.pager = "4";
    contact.businessFax = "5";
    contact.homeFax = "6";
    contact.company = "Lee, Inc.";
    contact.department = "R;D";
    contact.title = "Boss";
    contact.businessAddress = {"1 Main St", "Town", "ST", "12345", "Land"};
    contact.office = "Room 4";
    contact.homeAddress.city = "Home Town";
    contact.businessWebPage = "http://example.org/a,b";
    contact.comment = "line1\r\nline2";
    EXPECT_EQ(
        ContactToVCard(contact, "c0ffee"),
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nN:Lee;Ann;;;\r\nNICKNAME:Annie\r\n"
        "EMAIL;TYPE=INTERNET,PREF:ann@example.org\r\nEMAIL;TYPE=INTERNET:lee@example.net\r\n"
        "TEL;TYPE=WORK,VOICE:1\r\nTEL;TYPE=HOME,VOICE:2\r\nTEL;TYPE=CELL:3\r\n"
        "TEL;TYPE=PAGER:4\r\nTEL;TYPE=WORK,FAX:5\r\nTEL;TYPE=HOME,FAX:6\r\n"
        "ORG:Lee\\, Inc.;R\\;D\r\nTITLE:Boss\r\n"
        "ADR;TYPE=WORK:;Room 4;1 Main St;Town;ST;12345;Land\r\nADR;TYPE=HOME:;;;Home Town;;;\r\n"
        "URL:http://example.org/a,b\r\nNOTE:line1\\nline2\r\nUID:c0ffee\r\nEND:VCARD\r\n");
}

}  // namespace
}  // namespace quillet::wab
