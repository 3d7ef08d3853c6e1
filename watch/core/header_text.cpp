#include "watch/core/header_text.h"

#include <vector>

#include "watch/core/mail_date.h"

#include "watch/core/ascii_text.h"
#include "watch/core/base64.h"
#include "watch/core/utf8_text.h"

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

} // namespace

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
