#include "header_text.h"

#include <vector>

#include "ascii_text.h"
#include "base64.h"
#include "utf8_text.h"

namespace mail {

namespace {

    constexpr size_t kEncodedWordLimit = 1024; // longer than RFC 2047's 75, shorter than a hostile run

    bool IsWsp(char c) { return c == ' ' || c == '\t'; }

    // A field not yet unfolded may still hold its line breaks.
    bool IsBlankOrBreak(char c) { return IsWsp(c) || c == '\r' || c == '\n'; }

    std::string_view Trim(std::string_view text)
    {
        while (!text.empty() && IsBlankOrBreak(text.front()))
            text.remove_prefix(1);
        while (!text.empty() && IsBlankOrBreak(text.back()))
            text.remove_suffix(1);
        return text;
    }

    // Raw header bytes: UTF-8 when they are (RFC 6532), else code page 932,
    // else each byte with the high bit set shown as U+FFFD.
    std::string RawToUtf8(std::string_view bytes, const CharsetConverter& converter)
    {
        std::string utf8;
        if (IsAscii(bytes) || IsValidUtf8(bytes))
            return std::string(bytes);
        if (converter.ToUtf8(kCodePageCp932, bytes, &utf8))
            return utf8;
        utf8.clear();
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) < 0x80)
                utf8 += c;
            else
                AppendUtf8(0xfffd, &utf8);
        }
        return utf8;
    }

    bool DecodeQ(std::string_view text, std::string* bytes)
    {
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '_') {
                *bytes += ' ';
            } else if (text[i] == '=') {
                const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
                const int low = high < 0 ? -1 : HexValue(text[i + 2]);
                if (low < 0)
                    return false;
                *bytes += static_cast<char>(high * 16 + low);
                i += 2;
            } else {
                *bytes += text[i];
            }
        }
        return true;
    }

    // Many mailers leave the padding off.
    bool DecodeB(std::string_view text, std::string* bytes)
    {
        std::string padded(text);
        while (padded.size() % 4 != 0)
            padded += '=';
        return Base64Decode(padded, bytes);
    }

    struct EncodedWord {
        std::string_view charset;
        std::string bytes;
        size_t length = 0; // of "=?charset?E?text?=" in the field
    };

    // "=?charset?E?text?=" at the start of `text`, with text decoded.
    bool ReadEncodedWord(std::string_view text, EncodedWord* word)
    {
        if (text.substr(0, 2) != "=?")
            return false;
        text = text.substr(0, kEncodedWordLimit);
        const size_t charset_end = text.find('?', 2);
        if (charset_end == std::string_view::npos || charset_end == 2 || charset_end + 2 >= text.size()
            || text[charset_end + 2] != '?')
            return false;
        const size_t text_end = text.find("?=", charset_end + 3);
        if (text_end == std::string_view::npos)
            return false;
        word->charset = text.substr(2, charset_end - 2);
        const std::string_view encoded = text.substr(charset_end + 3, text_end - charset_end - 3);
        for (char c : std::string_view(text.data(), text_end))
            if (IsWsp(c) || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                return false;
        word->bytes.clear();
        word->length = text_end + 2;
        const char encoding = UpperAscii(text[charset_end + 1]);
        return encoding == 'B' ? DecodeB(encoded, &word->bytes) : encoding == 'Q' && DecodeQ(encoded, &word->bytes);
    }

    // Adjacent encoded words in one charset: their bytes are decoded together,
    // since a mailer may split a character, or an ISO-2022-JP escape, between them.
    class WordRun {
    public:
        explicit WordRun(const CharsetConverter& converter)
            : converter_(converter)
        {
        }

        bool Continues(const EncodedWord& word) const
        {
            return !raw_.empty() && EqualsIgnoringCase(word.charset, charset_);
        }

        void Add(const EncodedWord& word, std::string_view raw)
        {
            charset_ = word.charset;
            bytes_ += word.bytes;
            raw_.emplace_back(raw);
            words_.push_back(word.bytes);
        }

        // Whole, else word by word, each broken one as its raw text.
        void Flush(std::string* out)
        {
            if (raw_.empty())
                return;
            std::string utf8;
            if (CharsetToUtf8(charset_, bytes_, converter_, &utf8)) {
                *out += utf8;
            } else {
                for (size_t i = 0; i < raw_.size(); ++i) {
                    utf8.clear();
                    *out += CharsetToUtf8(charset_, words_[i], converter_, &utf8) ? utf8 : raw_[i];
                }
            }
            bytes_.clear();
            raw_.clear();
            words_.clear();
        }

        bool Empty() const { return raw_.empty(); }

    private:
        const CharsetConverter& converter_;
        std::string_view charset_;
        std::string bytes_;
        std::vector<std::string> raw_;
        std::vector<std::string> words_;
    };

    std::string DecodeWords(std::string_view value, const CharsetConverter& converter)
    {
        std::string out;
        std::string plain; // raw bytes since the last encoded word
        WordRun run(converter);
        EncodedWord word;
        for (size_t i = 0; i < value.size();) {
            if (!ReadEncodedWord(value.substr(i), &word)) {
                plain += value[i++];
                continue;
            }
            // Blanks between two encoded words are not part of the text.
            if (!run.Empty() && Trim(plain).empty())
                plain.clear();
            if (!plain.empty() || !run.Continues(word)) {
                run.Flush(&out);
                out += RawToUtf8(plain, converter);
                plain.clear();
            }
            run.Add(word, value.substr(i, word.length));
            i += word.length;
        }
        run.Flush(&out);
        out += RawToUtf8(plain, converter);
        return out;
    }

    // The quoted-string's content, comments dropped; what is left of the
    // phrase as it stands.
    std::string PhraseText(std::string_view phrase)
    {
        std::string text;
        bool quoted = false;
        int comment_depth = 0;
        for (size_t i = 0; i < phrase.size(); ++i) {
            const char c = phrase[i];
            if (c == '\\' && (quoted || comment_depth > 0) && i + 1 < phrase.size()) {
                if (comment_depth == 0)
                    text += phrase[i + 1];
                ++i;
            } else if (c == '"' && comment_depth == 0) {
                quoted = !quoted;
            } else if (c == '(' && !quoted) {
                ++comment_depth;
            } else if (c == ')' && !quoted && comment_depth > 0) {
                --comment_depth;
            } else if (comment_depth == 0) {
                text += c;
            }
        }
        return text;
    }

    struct Mailbox {
        std::string_view phrase; // before "<", or the comment after a bare address
        std::string_view address;
    };

    // The first mailbox: stops at a comma outside quotes, comments and angle brackets.
    Mailbox FirstMailbox(std::string_view value)
    {
        Mailbox mailbox;
        bool quoted = false;
        int comment_depth = 0;
        size_t comment_start = std::string_view::npos;
        size_t comment_end = std::string_view::npos;
        size_t end = value.size();
        for (size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if (c == '\\') {
                ++i;
            } else if (c == '"' && comment_depth == 0) {
                quoted = !quoted;
            } else if (quoted) {
                continue;
            } else if (c == '(') {
                if (comment_depth++ == 0 && comment_start == std::string_view::npos)
                    comment_start = i + 1;
            } else if (c == ')' && comment_depth > 0) {
                if (--comment_depth == 0 && comment_end == std::string_view::npos)
                    comment_end = i;
            } else if (comment_depth > 0) {
                continue;
            } else if (c == '<') {
                const size_t close = value.find('>', i);
                mailbox.phrase = value.substr(0, i);
                mailbox.address = value.substr(i + 1, close == std::string_view::npos ? close : close - i - 1);
                return mailbox;
            } else if (c == ',') {
                end = i;
                break;
            }
        }
        if (comment_start != std::string_view::npos && comment_end != std::string_view::npos
            && comment_end > comment_start && comment_end <= end) {
            mailbox.phrase = value.substr(comment_start, comment_end - comment_start);
            mailbox.address = value.substr(0, comment_start - 1);
        } else {
            mailbox.address = value.substr(0, end);
        }
        return mailbox;
    }

    struct HeaderFields {
        std::string from;
        std::string subject;
        std::string date;
        bool has_from = false;
        bool has_subject = false;
        bool has_date = false;
    };

    void Keep(std::string_view name, std::string_view value, HeaderFields* fields)
    {
        const struct {
            const char* name;
            std::string* value;
            bool* seen;
        } kWanted[] = { { "from", &fields->from, &fields->has_from },
            { "subject", &fields->subject, &fields->has_subject }, { "date", &fields->date, &fields->has_date } };
        for (const auto& wanted : kWanted) {
            if (!*wanted.seen && EqualsIgnoringCase(Trim(name), wanted.name)) {
                wanted.value->assign(value);
                *wanted.seen = true;
            }
        }
    }

    // Unfolded field by field, up to the blank line that ends the header.
    HeaderFields ReadFields(std::string_view header)
    {
        HeaderFields fields;
        std::string name, value;
        bool in_field = false;
        while (!header.empty()) {
            const size_t line_end = header.find('\n');
            std::string_view line = header.substr(0, line_end);
            header = line_end == std::string_view::npos ? std::string_view() : header.substr(line_end + 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.empty())
                break;
            if (IsWsp(line.front())) {
                if (in_field)
                    value += line;
                continue;
            }
            if (in_field)
                Keep(name, value, &fields);
            const size_t colon = line.find(':');
            in_field = colon != std::string_view::npos;
            if (in_field) {
                name.assign(line.substr(0, colon));
                value.assign(line.substr(colon + 1));
            }
        }
        if (in_field)
            Keep(name, value, &fields);
        return fields;
    }

    // Days since 1970-01-01 of a proleptic Gregorian date.
    int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day)
    {
        year -= month <= 2;
        const int64_t era = (year >= 0 ? year : year - 399) / 400;
        const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
        const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
        const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
        return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
    }

    bool Number(std::string_view text, size_t min_digits, size_t max_digits, int max, int* value)
    {
        uint64_t number = 0;
        if (text.size() < min_digits || !ParseDecimal(text, static_cast<uint64_t>(max), &number, max_digits))
            return false;
        *value = static_cast<int>(number);
        return true;
    }

    // Minutes east of UTC; obsolete names other than the US zones count as UTC (RFC 5322 4.3).
    bool ZoneOffset(std::string_view zone, int* minutes)
    {
        *minutes = 0;
        if (!zone.empty() && (zone[0] == '+' || zone[0] == '-')) {
            int hhmm = 0;
            if (!Number(zone.substr(1), 4, 4, 9959, &hhmm) || hhmm % 100 > 59)
                return false;
            *minutes = (hhmm / 100 * 60 + hhmm % 100) * (zone[0] == '-' ? -1 : 1);
            return true;
        }
        static const struct {
            const char* name;
            int hours;
        } kZones[] = { { "edt", -4 }, { "est", -5 }, { "cdt", -5 }, { "cst", -6 }, { "mdt", -6 }, { "mst", -7 },
            { "pdt", -7 }, { "pst", -8 } };
        for (const auto& known : kZones)
            if (EqualsIgnoringCase(zone, known.name))
                *minutes = known.hours * 60;
        return true;
    }

    std::vector<std::string_view> DateTokens(const std::string& text)
    {
        std::vector<std::string_view> tokens;
        std::string_view rest(text);
        while (!rest.empty() && tokens.size() < 8) {
            const size_t start = rest.find_first_not_of(" \t,");
            if (start == std::string_view::npos)
                break;
            rest.remove_prefix(start);
            const size_t end = rest.find_first_of(" \t,");
            tokens.push_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        }
        return tokens;
    }

} // namespace

std::string DecodeHeaderText(std::string_view value, const CharsetConverter& converter)
{
    return DisplayText(DecodeWords(value.substr(0, kHeaderLimit), converter), kShownFieldLimit);
}

std::string DecodeSender(std::string_view value, const CharsetConverter& converter)
{
    const Mailbox mailbox = FirstMailbox(value.substr(0, kHeaderLimit));
    std::string name = DecodeHeaderText(PhraseText(mailbox.phrase), converter);
    if (!name.empty())
        return name;
    return DisplayText(RawToUtf8(PhraseText(mailbox.address), converter), kShownFieldLimit);
}

std::optional<int64_t> ParseMailDate(std::string_view value)
{
    const std::string text = PhraseText(value.substr(0, 256));
    std::vector<std::string_view> tokens = DateTokens(text);
    static const char* const kDays[] = { "mon", "tue", "wed", "thu", "fri", "sat", "sun" };
    for (const char* day : kDays)
        if (!tokens.empty() && EqualsIgnoringCase(tokens.front().substr(0, 3), day))
            tokens.erase(tokens.begin());
    if (tokens.size() < 4)
        return std::nullopt;
    static const char* const kMonths[]
        = { "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec" };
    unsigned month = 0;
    for (unsigned m = 0; m < 12; ++m)
        if (EqualsIgnoringCase(tokens[1].substr(0, 3), kMonths[m]) && tokens[1].size() <= 9)
            month = m + 1;
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, zone = 0;
    const std::string_view clock = tokens[3];
    const size_t colon = clock.find(':');
    const size_t colon2 = colon == std::string_view::npos ? colon : clock.find(':', colon + 1);
    if (month == 0 || !Number(tokens[0], 1, 2, 31, &day) || day == 0 || !Number(tokens[2], 2, 4, 9999, &year)
        || colon == std::string_view::npos || !Number(clock.substr(0, colon), 1, 2, 23, &hour)
        || !Number(
            clock.substr(colon + 1, colon2 == std::string_view::npos ? colon2 : colon2 - colon - 1), 2, 2, 59, &minute)
        || (colon2 != std::string_view::npos && !Number(clock.substr(colon2 + 1), 2, 2, 60, &second))
        || !ZoneOffset(tokens.size() > 4 ? tokens[4] : std::string_view(), &zone))
        return std::nullopt;
    if (tokens[2].size() == 2)
        year += year < 50 ? 2000 : 1900;
    else if (tokens[2].size() == 3)
        year += 1900;
    const int64_t days = DaysFromCivil(year, month, static_cast<unsigned>(day));
    return days * 86400 + hour * 3600 + minute * 60 + second - zone * 60;
}

MessageSummary SummarizeHeader(std::string_view header, const CharsetConverter& converter)
{
    const HeaderFields fields = ReadFields(header.substr(0, kHeaderLimit));
    MessageSummary summary;
    summary.sender = DecodeSender(fields.from, converter);
    summary.subject = DecodeHeaderText(fields.subject, converter);
    if (fields.has_date)
        summary.date = ParseMailDate(fields.date);
    return summary;
}

} // namespace mail
