#include "mailstore/mbox_from_line.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet::mailstore {
namespace {

struct DateCase {
    const char* date;
    const char* asctime;  // nullptr: not readable
};

class MailDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(MailDateTest, ReadsRfc2822DatesIntoUtc) {
    const auto seconds = ParseMailDate(GetParam().date);
    if (GetParam().asctime == nullptr) {
        EXPECT_FALSE(seconds.has_value()) << *seconds;
        return;
    }
    ASSERT_TRUE(seconds.has_value());
    EXPECT_EQ(AsctimeUtc(*seconds), GetParam().asctime);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, MailDateTest,
    ::testing::Values(DateCase{"Tue, 8 Dec 2026 19:30:05 +0100", "Tue Dec  8 18:30:05 2026"},
                      DateCase{"8 Dec 2026 19:30 -0230", "Tue Dec  8 22:00:00 2026"},
                      DateCase{"Thu, 31 Dec 2026 23:59:59 -0100", "Fri Jan  1 00:59:59 2027"},
                      DateCase{"Fri, 01 Mar 02 07:05:09 EST", "Fri Mar  1 12:05:09 2002"},
                      DateCase{"29 Feb 2000 00:00:00 GMT (Greenwich)", "Tue Feb 29 00:00:00 2000"},
                      DateCase{"1 jan 99 1:2:3 pdt", "Fri Jan  1 08:02:03 1999"},
                      DateCase{"29 Feb 2001 00:00:00 +0000", nullptr},
                      DateCase{"8 Dec 2026 24:00:00 +0000", nullptr},
                      DateCase{"8 Dec 2026 10:00:00 +0160", nullptr}, DateCase{"8 Decem", nullptr},
                      DateCase{"yesterday", nullptr}, DateCase{"", nullptr}));

TEST(AsctimeUtcTest, BeforeTheEpochAndOutsideFourDigitYears) {
    EXPECT_EQ(AsctimeUtc(-1), "Wed Dec 31 23:59:59 1969");
    EXPECT_EQ(AsctimeUtc(253402300800), kUnknownDate);  // year 10000
}

struct SenderCase {
    const char* header;
    const char* sender;  // nullptr: kUnknownSender
};

class SenderAddressTest : public ::testing::TestWithParam<SenderCase> {};

TEST_P(SenderAddressTest, TakesReturnPathElseFrom) {
    const std::string expected =
        GetParam().sender == nullptr ? std::string(kUnknownSender) : GetParam().sender;
    EXPECT_EQ(SenderAddress(GetParam().header), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Senders, SenderAddressTest,
    ::testing::Values(
        SenderCase{"From: Ann <ann@example.org>\r\nReturn-Path: <bounce@example.org>\r\n\r\n",
                   "bounce@example.org"},
        SenderCase{"Return-path: <>\r\nFrom: \"Ann B\" <ann@example.org>\r\n", nullptr},
        SenderCase{"From: ann@example.org (Ann B)\r\n", "ann@example.org"},
        SenderCase{"From:\r\n  Ann\r\n  <ann@example.org>\r\n\r\n", "ann@example.org"},
        SenderCase{"Subject: hi\r\n\r\nFrom: body@example.org\r\n", nullptr},
        SenderCase{"From: Ann Other\r\n", nullptr}, SenderCase{"", nullptr}));

TEST(MboxFromLineTest, JoinsSenderAndDateOrThePlaceholders) {
    EXPECT_EQ(MboxFromLine("From: a@b.c\r\nDate: Thu, 1 Jan 1970 00:00:01 +0000\r\n\r\n"),
              "From a@b.c Thu Jan  1 00:00:01 1970");
    EXPECT_EQ(MboxFromLine("Date: not a date\r\n"),
              "From " + std::string(kUnknownSender) + " " + std::string(kUnknownDate));
}

}  // namespace
}  // namespace quillet::mailstore
