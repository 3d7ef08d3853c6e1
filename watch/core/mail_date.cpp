#include "watch/core/mail_date.h"

#include <string>
#include <vector>

#include "watch/core/ascii_text.h"
#include "watch/core/header_text.h"

namespace mail {

namespace {

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

} // namespace mail
