#include <gtest/gtest.h>

#include <string>

#include "watch/core/imap_fragmenter.h"
#include "watch/core/imap_response.h"

namespace {

using namespace mail;

TEST(ImapFragmenter, CutsWholeResponsesAtEverySplit)
{
    // Responses joined by '|', or "TOO LONG" once a limit is hit.
    const auto cut = [](const std::vector<std::string>& chunks) {
        ImapFragmenter fragmenter;
        std::deque<std::string> out;
        bool ok = true;
        for (const std::string& chunk : chunks)
            ok = fragmenter.feed(chunk, out) && ok;
        std::string result;
        for (const std::string& response : out)
            result += response + "|";
        return ok ? result : result + "TOO LONG";
    };
    const std::string big_literal = "* 1 FETCH (BODY[] {65536}\r\n" + std::string(65536, 'x') + ")\r\n";
    const size_t kMiB = 1024 * 1024; // the response limit, written out so that a moved limit fails here
    const std::string longest_line = std::string(kMiB - 2, 'a') + "\r\n";
    std::string many_literals = "* A";
    for (int i = 0; i < 17; ++i)
        many_literals += " {64000}\r\n" + std::string(64000, 'x');
    std::string literals = "* A"; // then one literal announced in " {nnnnn}\r\n" that ends at the limit
    for (int i = 0; i < 15; ++i)
        literals += " {65536}\r\n" + std::string(65536, 'x');
    const size_t room = kMiB - literals.size() - 10;
    const std::pair<std::string, std::string> cases[] = {
        { "a1 OK done\r\n* 3 EXISTS\r\n", "a1 OK done|* 3 EXISTS|" },
        { "* 1 FETCH (BODY[] {5}\r\nab\r\nc)\r\n", "* 1 FETCH (BODY[] {5}\r\nab\r\nc)|" },
        { "* LIST () \"/\" {3+}\r\na}b\r\n* X {0}\r\n {2}\r\n\r\n\r\n",
            "* LIST () \"/\" {3+}\r\na}b|* X {0}\r\n {2}\r\n\r\n|" },
        { "* 1 FETCH (BINARY[] ~{5}\r\n{9}\r\n)\r\n", "* 1 FETCH (BINARY[] ~{5}\r\n{9}\r\n)|" },
        { "* OK {}\r\n* OK {x}\r\n+\n", "* OK {}|* OK {x}|+|" }, // no literal; a bare LF ends a line too
        { "* OK partial", "" },
        { "* 1 X {3}\r\n{9}\r\na1 OK\r\n", "* 1 X {3}\r\n{9}|a1 OK|" }, // a literal's bytes announce nothing
        { big_literal, big_literal.substr(0, big_literal.size() - 2) + "|" }, // the largest literal taken
        { "* 1 FETCH (BODY[] {65537}\r\n", "TOO LONG" }, // refused before any of it arrives
        { "* 1 FETCH (BODY[] {99999999999999999999999}\r\n", "TOO LONG" },
        { longest_line, longest_line.substr(0, longest_line.size() - 2) + "|" }, { "a" + longest_line, "TOO LONG" },
        { std::string(kMiB + 1, 'a'), "TOO LONG" }, // no line end at all
        { literals + " {" + std::to_string(room) + "}\r\n", "" }, // a literal may end at the limit
        { literals + " {" + std::to_string(room + 1) + "}\r\n", "TOO LONG" }, // refused before it arrives
        { many_literals, "TOO LONG" }, // literals count towards the whole response
        { "a1 OK\r\n* 1 X {65537}\r\na2 OK\r\n", "a1 OK|TOO LONG" } // and nothing after that
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input.substr(0, 60));
        EXPECT_EQ(cut({ input }), expected);
        std::vector<std::string> bytes;
        for (size_t i = 0; input.size() < 1000 && i < input.size(); ++i)
            bytes.emplace_back(1, input[i]);
        if (!bytes.empty()) {
            EXPECT_EQ(cut(bytes), expected);
        }
        for (size_t split = 1; input.size() < 100 && split < input.size(); ++split)
            EXPECT_EQ(cut({ input.substr(0, split), input.substr(split) }), expected) << "split at " << split;
    }
}

// A response rendered as "kind tag status data number [search] [caps] code=n text".
std::string Parsed(const std::string& line)
{
    ImapResponse r;
    if (!ParseResponse(line, &r))
        return "ERROR";
    const char* kinds[] = { "T", "U", "+" };
    const char* statuses[] = { "-", "OK", "NO", "BAD", "BYE", "PREAUTH" };
    const char* data[] = { "-", "CAPABILITY", "EXISTS", "EXPUNGE", "SEARCH", "FLAGS", "LIST", "FETCH", "OTHER" };
    std::string out = std::string(kinds[static_cast<int>(r.kind)]) + " " + r.tag + " "
        + statuses[static_cast<int>(r.status)] + " " + data[static_cast<int>(r.data)] + " " + std::to_string(r.number)
        + " [";
    for (uint32_t uid : r.search)
        out += std::to_string(uid) + ",";
    out += "] [";
    for (const std::string& capability : r.capabilities)
        out += capability + ",";
    if (r.data == ImapResponse::Data::List)
        out += r.list_delimiter ? std::string("] delimiter ") + r.list_delimiter : std::string("] delimiter NIL");
    if (r.fetch_uid)
        out += "] uid " + std::to_string(r.fetch_uid);
    return out + "] " + r.code + "=" + std::to_string(r.code_number) + " " + r.text;
}

TEST(ImapResponse, ParsesWhatTheWatcherNeedsAndRejectsTheRest)
{
    const std::pair<const char*, const char*> cases[] = {
        { "* OK [CAPABILITY IMAP4rev1 idle LITERAL+] ready",
            "U  OK - 0 [] [IMAP4REV1,IDLE,LITERAL+,] CAPABILITY=0 ready" },
        { "* capability IMAP4rev1 AUTH=PLAIN", "U  - CAPABILITY 0 [] [IMAP4REV1,AUTH=PLAIN,] =0 " },
        { "a12 ok [UIDVALIDITY 4294967295] done", "T a12 OK - 0 [] [] UIDVALIDITY=4294967295 done" },
        { "* OK [UIDNEXT 5]", "U  OK - 0 [] [] UIDNEXT=5 " },
        { "* NO [ALERT] Disk [almost] full", "U  NO - 0 [] [] ALERT=0 Disk [almost] full" },
        { "a1 NO [AUTHENTICATIONFAILED] nope", "T a1 NO - 0 [] [] AUTHENTICATIONFAILED=0 nope" },
        { "* BYE", "U  BYE - 0 [] [] =0 " }, { "* PREAUTH hi", "U  PREAUTH - 0 [] [] =0 hi" },
        { "* 4294967295 EXISTS", "U  - EXISTS 4294967295 [] [] =0 " }, { "* 7 expunge", "U  - EXPUNGE 7 [] [] =0 " },
        { "* 7 FETCH (FLAGS (\\Seen) BODY[] {3}\r\n)))", "U  - FETCH 7 [] [] =0 " },
        { "* 7 FETCH (UID 4294967295)", "U  - FETCH 7 [] [] uid 4294967295] =0 " },
        { "* 7 fetch (FLAGS (\\Seen UID) uid 12 UID 13)", "U  - FETCH 7 [] [] uid 12] =0 " }, // the item, not a flag
        { "* 7 FETCH (BODY[] \"UID 5\" UID 6)", "U  - FETCH 7 [] [] =0 " }, // a string ends the look
        { "* 7 FETCH (BODY[] {5}\r\nUID 5 UID 6)", "U  - FETCH 7 [] [] =0 " }, // and so does a literal
        { "* 7 FETCH (UID 4294967296)", "ERROR" }, { "* 7 FETCH (UID 0)", "ERROR" }, { "* 7 FETCH (UID)", "ERROR" },
        { "* SEARCH", "U  - SEARCH 0 [] [] =0 " },
        { "* SEARCH 1 4294967295 7 (MODSEQ 9)", "U  - SEARCH 0 [1,4294967295,7,] [] =0 " },
        { "* FLAGS (\\Seen)", "U  - FLAGS 0 [] [] =0 " },
        { "* LIST () \"/\" INBOX", "U  - LIST 0 [] [] delimiter /] =0 " },
        { "* LIST (\\Noselect) \".\" \"\"", "U  - LIST 0 [] [] delimiter .] =0 " },
        { "* list (\\Noselect) \"\\\\\" \"\"", "U  - LIST 0 [] [] delimiter \\] =0 " },
        { "* LIST (\\Noselect) NIL \"\"", "U  - LIST 0 [] [] delimiter NIL] =0 " },
        { "* LIST (\\Noselect) \"//\" \"\"", "ERROR" }, { "* LIST (\\Noselect) \"\"", "ERROR" },
        { "* LIST (\\Noselect \"/\" \"\"", "ERROR" }, { "* LIST \"/\" \"\"", "ERROR" },
        { "* LIST () \"\\\" \"\"", "ERROR" }, { "* LIST () \"\x01\" \"\"", "ERROR" },
        { "+ idling", "+  - - 0 [] [] =0 idling" }, { "+", "+  - - 0 [] [] =0 " },
        { "* 4294967296 EXISTS", "ERROR" }, // numbers are 32 bits
        { "* SEARCH 1 99999999999", "ERROR" }, { "* OK [UIDVALIDITY 4294967296]", "ERROR" },
        { "* OK [UIDVALIDITY x]", "ERROR" }, { "* OK [UIDVALIDITY 5", "ERROR" }, { "* SEARCH 1  2", "ERROR" },
        { "* SEARCH -1", "ERROR" }, { "* 5", "ERROR" }, { "a1 BYE", "ERROR" }, { "a1 MAYBE", "ERROR" },
        { "a1", "ERROR" }, { "a+1 OK", "ERROR" }, { "", "ERROR" }, { "*", "ERROR" }, { "* CAPABILITY", "ERROR" }
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(Parsed(line), expected) << line;
}

} // namespace
