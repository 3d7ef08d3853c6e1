#include "watch/core/recent_list.h"

#include "watch/core/ascii_text.h"
#include "watch/core/utf8_text.h"

namespace mail {

namespace {

    constexpr char kMagic[] = "larkbell-recent 1";
    constexpr size_t kFieldBytes = 512;

    std::string Field(std::string_view text) { return DisplayText(text, kFieldBytes); }

    // Fields as EncodeRecentList writes them: fit to show, so no tab or line break.
    bool IsCleanField(std::string_view text) { return text.size() <= kFieldBytes && Field(text) == text; }

    bool ParseTime(std::string_view text, int64_t* time)
    {
        uint64_t value = 0;
        if (!ParseDecimal(text, 999999999999, &value, 12))
            return false;
        *time = static_cast<int64_t>(value);
        return true;
    }

} // namespace

void AddNewest(RecentList* list, std::vector<RecentMessage> batch)
{
    for (RecentMessage& message : batch) {
        message.account = Field(message.account);
        message.sender = Field(message.sender);
        message.subject = Field(message.subject);
        message.time = message.time < 0 ? 0 : message.time % 1000000000000;
    }
    batch.insert(batch.end(), list->messages.begin(), list->messages.end());
    if (batch.size() > kRecentKept)
        batch.resize(kRecentKept);
    list->messages = std::move(batch);
}

std::string EncodeRecentList(const RecentList& list, size_t max_bytes)
{
    std::string text = std::string(kMagic) + (list.several_accounts ? " several\n" : " one\n");
    if (text.size() > max_bytes)
        return {};
    for (const RecentMessage& message : list.messages) {
        const std::string line = std::to_string(message.time) + '\t' + Field(message.account) + '\t'
            + Field(message.sender) + '\t' + Field(message.subject) + '\n';
        if (text.size() + line.size() > max_bytes)
            break;
        text += line;
    }
    return text;
}

bool DecodeRecentList(std::string_view text, RecentList* list)
{
    *list = RecentList();
    std::vector<std::string_view> lines = Split(text, '\n', kRecentKept + 2);
    if (lines.size() > kRecentKept + 2 || !lines.back().empty())
        return false;
    lines.pop_back();
    const std::string several = std::string(kMagic) + " several", one = std::string(kMagic) + " one";
    if (lines.empty() || (lines[0] != several && lines[0] != one))
        return false;
    RecentList decoded;
    decoded.several_accounts = lines[0] == several;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string_view> fields = Split(lines[i], '\t', 4);
        RecentMessage message;
        if (fields.size() != 4 || !ParseTime(fields[0], &message.time) || !IsCleanField(fields[1])
            || !IsCleanField(fields[2]) || !IsCleanField(fields[3]))
            return false;
        message.account = fields[1];
        message.sender = fields[2];
        message.subject = fields[3];
        decoded.messages.push_back(std::move(message));
    }
    *list = std::move(decoded);
    return true;
}

PanelExtent PanelLines(size_t listed, int lines_setting, int32_t count)
{
    const size_t lines = lines_setting < 1                     ? 1
        : static_cast<size_t>(lines_setting) > kRecentMaxLines ? kRecentMaxLines
                                                               : static_cast<size_t>(lines_setting);
    PanelExtent extent;
    extent.shown = listed < lines ? listed : lines;
    const int64_t beyond = static_cast<int64_t>(count) - static_cast<int64_t>(extent.shown);
    extent.more = beyond > 0 ? beyond : 0;
    return extent;
}

} // namespace mail
