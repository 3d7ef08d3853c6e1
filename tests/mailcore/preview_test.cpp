#include <gtest/gtest.h>

#include <string>

#include "tests/mailcore/table_converter.h"
#include "watch/core/header_text.h"
#include "watch/core/imap_fetch.h"
#include "watch/core/mail_date.h"
#include "watch/core/recent_list.h"
#include "watch/core/utf8_text.h"

namespace {

using namespace mail;

// Subjects as mailers really write them: ISO-2022-JP cut mid-character
// between two words and folded; UTF-8 emoji cut between Q words; raw
// Shift_JIS and raw UTF-8; the other Asian and Latin charsets; and what
// must show as it stands (unknown charset, broken Base64 or Q) without
// spoiling the words around it; direction overrides and controls removed.
TEST(HeaderText, DecodesEncodedWordsAndRawBytes)
{
    const std::string a511(511, 'a'), word(1024 - 12, 'w'); // "=?UTF-8?Q?" and "?=" make the word 1,024
    const std::pair<std::string, std::string> cases[] = {
        { "=?ISO-2022-JP?B?GyRCMnE1?= =?ISO-2022-JP?B?RCRON28kSyREJCQkRhsoQg==?=", "会議の件について" },
        { "=?iso-2022-jp?B?GyRCMnE1?=\r\n\t=?ISO-2022-JP?b?RCRON28kSyREJCQkRhsoQg?=", "会議の件について" },
        { "=?ISO-2022-JP?B?GyhJNkA2RRsoQg==?=", "ｶﾀｶﾅ" },
        { "=?ISO-2022-JP?B?GyRCLSEbKEI=?=", "①" },
        { "=?UTF-8?Q?=F0=9F=8E?= =?UTF-8?Q?=89_Party_time?=", "🎉 Party time" },
        { "Re: =?UTF-8?B?5pel5pys?= test", "Re: 日本 test" },
        { "=?utf-8*ja?B?5pel5pys?=", "日本" },
        { "\x8C\x8F\x96\xBC\x83\x65\x83\x58\x83\x67", "件名テスト" },
        { "Caf\xC3\xA9 \xF0\x9F\x8D\xB0", "Café 🍰" },
        { "=?ISO-8859-1?Q?Caf=E9?= =?UTF-8?Q?_ok?=", "Café ok" },
        { "=?EUC-JP?B?xvzL3Ljs?=", "日本語" },
        { "=?GBK?B?1tDOxA==?= =?Big5?B?pKSk5Q==?= =?EUC-KR?B?x9Gxub7u?=", "中文中文한국어" },
        { "=?x-unknown?B?5pel?= =?UTF-8?B?5pys?=", "=?x-unknown?B?5pel?=本" },
        { "=?UTF-8?B?@@@@?= after", "=?UTF-8?B?@@@@?= after" },
        { "=?UTF-8?Q?bad=G?= =?UTF-8?Q?good?=", "=?UTF-8?Q?bad=G?= good" },
        { "=?ISO-2022-JP?B?GyRCMnE1?= =?UTF-8?B?5pys?=", "=?ISO-2022-JP?B?GyRCMnE1?=本" },
        { "=?UTF-8?B?YWJj4oCudHh0LmV4ZQc=?=", "abctxt.exe" },
        { "a\x01\x1B[31m  b\tc\x7F", "a[31m b c" },
        { "=?UTF-8?B?5pel?=", "日" },
        { "\xFF\xFE\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" },
        { "=??B?YQ==?= =?UTF-8?X?a?= =?UTF-8?B?YQ==", "=??B?YQ==?= =?UTF-8?X?a?= =?UTF-8?B?YQ==" },
        // Windows-1250 to 1258 and ISO 8859-1 to 9 by name; a number past either end is unknown.
        { "=?windows-1250?Q?#?= =?windows-1258?Q?#?= =?cp1250?Q?#?= =?cp1258?Q?#?= =?iso-8859-9?Q?#?=",
            "1250125812501258"
            "28599" },
        { "=?windows-1249?Q?#?=", "=?windows-1249?Q?#?=" },
        { "=?windows-1259?Q?#?=", "=?windows-1259?Q?#?=" },
        { "=?cp1259?Q?#?=", "=?cp1259?Q?#?=" },
        { "=?iso-8859-10?Q?#?=", "=?iso-8859-10?Q?#?=" },
        { "=?iso-8859-0?Q?#?=", "=?iso-8859-0?Q?#?=" },
        // 512 bytes are shown; a character that would cross them is left out whole.
        { a511 + "b", a511 + "b" },
        { a511 + "bc", a511 + "b" },
        { a511.substr(2) + "日", a511.substr(2) + "日" },
        { a511.substr(1) + "日", a511.substr(1) },
        { a511 + "Ã©", a511 },
        // An encoded word of 1,024 characters is decoded, a longer one shown as it stands.
        { "=?UTF-8?Q?" + word + "?=", word.substr(0, 512) },
        { "=?UTF-8?Q?" + word + "w?=", ("=?UTF-8?Q?" + word).substr(0, 512) },
        // Only the first 8,192 bytes of a field are looked at.
        { std::string(8191, ' ') + "Z", "Z" },
        { std::string(8192, ' ') + "Z", "" },
    };
    const TableConverter converter;
    for (const auto& [raw, shown] : cases)
        EXPECT_EQ(DecodeHeaderText(raw, converter), shown) << raw.substr(0, 80);
}

TEST(HeaderText, TakesTheFirstMailboxsNameElseItsAddress)
{
    const std::pair<const char*, const char*> cases[]
        = { { "\"=?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?=\" <taro@example.jp>", "山田太郎" },
              { "=?UTF-8?B?5aSq6YOO8J+OiQ==?= <t@example.jp>", "太郎🎉" }, { "<only@example.com>", "only@example.com" },
              { " bare@example.com ", "bare@example.com" }, { "bare@example.com (Bare Name)", "Bare Name" },
              { "\"Doe, John\" <j@example.com>, Other <o@example.com>", "Doe, John" },
              { "\"Say \\\"hi\\\"\" (work) <q@example.com>", "Say \"hi\"" },
              { "\x8E\x52\x93\x63 <y@example.jp>", "山田" }, { "\"\" <empty@example.com>", "empty@example.com" },
              { "\"\xE2\x80\xAE\" <rlo@example.com>", "rlo@example.com" }, { "", "" }, { "a@b, <c@d>", "a@b" } };
    const TableConverter converter;
    for (const auto& [from, shown] : cases)
        EXPECT_EQ(DecodeSender(from, converter), shown) << from;
}

TEST(HeaderText, ReadsDatesWithTheirZone)
{
    // The time in UTC; -1: refused.
    const std::pair<const char*, int64_t> cases[] = { { "Mon, 7 Dec 2026 14:23:58 +0900", 1796621038 },
        { "Mon, 7 Dec 2026 14:23:58 +0900 (JST)", 1796621038 }, { "7 Dec 26 05:00 GMT", 1796619600 },
        { "Tue, 1 Jan 2030 00:00:00 -0130", 1893461400 }, { "Thu, 29 Feb 2024 23:59:60 PST", 1709280000 },
        { "Mon,07 December 2026 05:00:00", 1796619600 }, { "yesterday", -1 }, { "32 Dec 2026 00:00 +0000", -1 },
        { "7 Foo 2026 10:00 +0000", -1 }, { "7 Dec 2026 24:00 +0000", -1 }, { "7 Dec 2026 10:00 +09", -1 },
        { "7 Dec 2026 10:0 +0000", -1 }, { "7 Dec 2026", -1 } };
    for (const auto& [date, utc] : cases)
        EXPECT_EQ(ParseMailDate(date).value_or(-1), utc) << date;
}

// The fields of a header block: unfolded, first one wins, the body and
// whatever lies past the bound unread.
TEST(HeaderText, SummarizesAHeaderBlock)
{
    const TableConverter converter;
    const MessageSummary summary = SummarizeHeader("Received: from x\r\n\tby y\r\n"
                                                   "SUBJECT: =?ISO-2022-JP?B?GyRCMnE1?=\r\n"
                                                   " =?ISO-2022-JP?B?RCRON28kSyREJCQkRhsoQg==?=\r\n"
                                                   "From: =?UTF-8?B?5aSq6YOO8J+OiQ==?= <t@example.jp>\r\n"
                                                   "Subject: second\r\n"
                                                   "Date: Mon, 7 Dec 2026 14:23:58 +0900\r\n"
                                                   "\r\n"
                                                   "From: body <b@example.jp>\r\n",
        converter);
    EXPECT_EQ(summary.subject, "会議の件について");
    EXPECT_EQ(summary.sender, "太郎🎉");
    EXPECT_EQ(summary.date.value_or(-1), 1796621038);

    const MessageSummary beyond
        = SummarizeHeader("X-Pad: " + std::string(8192, 'x') + "\r\nSubject: late\r\n\r\n", converter);
    EXPECT_EQ(beyond.subject, "");
    EXPECT_FALSE(beyond.date.has_value());
}

// What the watcher writes the popup reads back; what another hand wrote
// (a field with a line break, a tab too many, a list too long, no header
// line, a bad time) is refused whole.
TEST(RecentList, KeepsTheNewestAndReadsBackOnlyWhatItWrites)
{
    RecentList list;
    list.several_accounts = true;
    AddNewest(&list, { { 10, "home", "Old", "first" } });
    std::vector<RecentMessage> batch;
    for (int i = 0; i < static_cast<int>(kRecentKept); ++i)
        batch.push_back({ 100 - i, "work\tplace", "\xE5\xA4\xAA\xE9\x83\x8E\r\n", "s" + std::to_string(i) });
    AddNewest(&list, batch);
    ASSERT_EQ(list.messages.size(), kRecentKept);
    EXPECT_EQ(list.messages.front().time, 100);
    EXPECT_EQ(list.messages.front().account, "work place");
    EXPECT_EQ(list.messages.front().sender, "\xE5\xA4\xAA\xE9\x83\x8E");
    EXPECT_EQ(list.messages.back().subject, "s19"); // "first" fell off the end

    RecentList read;
    ASSERT_TRUE(DecodeRecentList(EncodeRecentList(list, 65536), &read));
    EXPECT_TRUE(read.several_accounts);
    ASSERT_EQ(read.messages.size(), kRecentKept);
    EXPECT_EQ(read.messages[3].subject, "s3");
    const std::string small = EncodeRecentList(list, 100);
    EXPECT_LE(small.size(), 100u);
    ASSERT_TRUE(DecodeRecentList(small, &read));
    EXPECT_EQ(read.messages.size(), 3u);

    const char* const refused[] = { "", "larkbell-recent 1 one", "larkbell-recent 2 one\n",
        "larkbell-recent 1 one\n5\ta\tb\n", "larkbell-recent 1 one\n5\ta\tb\tc\td\n",
        "larkbell-recent 1 one\n-5\ta\tb\tc\n", "larkbell-recent 1 one\n5\ta\tb\x01\tc\n",
        "larkbell-recent 1 one\n5\ta\t\xE2\x80\xAE"
        "b\tc\n",
        "larkbell-recent 1 one\n5\ta\tb\tc" };
    for (const char* text : refused) {
        read.messages.resize(1);
        EXPECT_FALSE(DecodeRecentList(text, &read)) << text;
        EXPECT_TRUE(read.messages.empty());
    }
    // At their limits and one past: 20 messages, fields of 512 bytes, 12 digits of time.
    std::string twenty = "larkbell-recent 1 one\n";
    for (int i = 0; i < 20; ++i)
        twenty += "5\ta\tb\tc\n";
    const std::string head = "larkbell-recent 1 one\n", field(512, 'f');
    const std::pair<std::string, bool> limits[] = { { twenty, true }, { twenty + "5\ta\tb\tc\n", false },
        { head + "5\ta\tb\t" + field + "\n", true }, { head + "5\ta\tb\t" + field + "f\n", false },
        { head + "999999999999\ta\tb\tc\n", true }, { head + "1000000000000\ta\tb\tc\n", false } };
    for (const auto& [text, taken] : limits)
        EXPECT_EQ(DecodeRecentList(text, &read), taken) << text.substr(0, 80);
    RecentList single;
    AddNewest(&single, { { 5, "a", "b", field + "f" } });
    const std::string encoded = EncodeRecentList(single, 65536); // the field cut to 512 bytes
    EXPECT_EQ(encoded, head + "5\ta\tb\t" + field + "\n");
    EXPECT_EQ(EncodeRecentList(single, encoded.size()), encoded); // a message that just fits the room is written
    EXPECT_EQ(EncodeRecentList(single, encoded.size() - 1), head);
}

TEST(RecentList, ShowsUpToTheLinesSetAndCountsTheRest)
{
    const std::tuple<size_t, int, int32_t, size_t, int64_t> cases[] = { { 3, 5, 3, 3, 0 }, { 8, 5, 8, 5, 3 },
        { 8, 5, 30, 5, 25 }, { 2, 5, 7, 2, 5 }, { 8, 0, 8, 1, 7 }, { 30, 99, 40, 20, 20 }, { 30, 20, 40, 20, 20 },
        { 30, 21, 40, 20, 20 }, { 30, 1, 40, 1, 39 }, { 4, 5, -3, 4, 0 } }; // 1 to 20 lines
    for (const auto& [listed, lines, count, shown, more] : cases) {
        const PanelExtent extent = PanelLines(listed, lines, count);
        EXPECT_EQ(extent.shown, shown) << listed << " " << lines << " " << count;
        EXPECT_EQ(extent.more, more) << listed << " " << lines << " " << count;
    }
}

// The newest 20 UIDs are asked for, newest first; the answer's items come
// in any order among others; a FETCH that is only a flag change, or one cut
// short, is not a header.
TEST(ImapFetch, AsksForTheNewestHeadersAndReadsThemBack)
{
    std::vector<uint32_t> uids;
    for (uint32_t uid = 1; uid <= 21; ++uid)
        uids.push_back(uid);
    uids.push_back(21);
    EXPECT_EQ(HeaderFetchCommand(uids),
        "UID FETCH 21,20,19,18,17,16,15,14,13,12,11,10,9,8,7,6,5,4,3,2 "
        "(UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])");

    const std::tuple<std::string, uint32_t, std::string> cases[] = {
        { "* 3 FETCH (UID 7 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {25}\r\nFrom: a@b\r\nSubject: x\r\n\r\n)", 7,
            "From: a@b\r\nSubject: x\r\n\r\n" },
        { "* 3 fetch (FLAGS (\\Recent $X) body[HEADER.FIELDS (\"From\")] {2+}\r\n\r\n UID 9 MODSEQ (12))", 9, "\r\n" },
        { "* 4 FETCH (BODY[HEADER.FIELDS (FROM)] NIL UID 10)", 10, "" },
        { "* 4 FETCH (UID 11 BODY[HEADER.FIELDS (SUBJECT)] \"Subject: \\\"q\\\"\")", 11, "Subject: \"q\"" },
        { "* 5 FETCH (UID 12 BODY[HEADER.FIELDS (FROM)] {8192}\r\n" + std::string(8192, 'h') + ")", 12,
            std::string(8192, 'h') }, // a header is kept to 8 KiB
        { "* 5 FETCH (UID 12 BODY[HEADER.FIELDS (FROM)] {8193}\r\n" + std::string(8193, 'h') + ")", 12,
            std::string(8192, 'h') },
        { "* 3 FETCH (UID 7 FLAGS (\\Seen))", 0, "" },
        { "* 3 FETCH (UID 7 BODY[HEADER.FIELDS (FROM)] {30}\r\nFrom: a@b\r\n)", 0, "" },
        { "* 3 FETCH (UID 99999999999 BODY[HEADER.FIELDS (FROM)] NIL)", 0, "" },
        { "* 3 FETCH (UID 7 BODY[HEADER.FIELDS (FROM)] NIL", 0, "" },
        { "* 3 EXISTS", 0, "" },
    };
    for (const auto& [response, expected_uid, expected_header] : cases) { // 0: refused
        uint32_t uid = 0;
        std::string header;
        const bool parsed = ParseFetchHeader(response, &uid, &header);
        EXPECT_EQ(parsed ? uid : 0, expected_uid) << response;
        if (parsed) {
            EXPECT_EQ(header, expected_header) << response;
        }
    }
}

} // namespace
