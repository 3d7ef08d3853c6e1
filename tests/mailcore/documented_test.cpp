// The samples and the guide against the code: every key the settings readers
// take is in its sample and nothing else is; every command line the documents
// show is one the programs accept.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "notifier/settings_keys.h"
#include "watch/core/command_line.h"
#include "watch/shell/watch_settings.h"

namespace {

std::string SourceFile(const std::string& path)
{
    std::ifstream file(std::string(LARKBELL_SOURCE_DIR) + "/" + path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Keys of the sections whose name starts with `prefix`, set or commented out
// (";key=value"); prose comments start with "; ".
std::set<std::string> DocumentedKeys(const std::string& text, const std::string& prefix)
{
    std::set<std::string> keys;
    std::istringstream lines(text);
    bool inside = false;
    static const std::regex key(R"(^;?([a-z0-9_]+)=)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (line.rfind("[", 0) == 0)
            inside = line.compare(1, prefix.size(), prefix) == 0;
        else if (inside && std::regex_search(line, match, key))
            keys.insert(match[1]);
    }
    return keys;
}

TEST(Documented, EverySampleNamesExactlyTheKeysTheCodeReads)
{
    std::set<std::string> account_keys;
    for (const mail::AccountKey& key : mail::kAccountKeys)
        account_keys.insert(key.name);
    const std::tuple<const char*, const char*, std::set<std::string>> cases[] = {
        { "samples/larkbell.ini", "setting]", { std::begin(kSettingKeys), std::end(kSettingKeys) } },
        { "samples/larkbell.ini", "preview]", { std::begin(kPreviewKeys), std::end(kPreviewKeys) } },
        { "samples/larkbellwatch.ini", "setting]", { std::begin(mail::kGlobalKeys), std::end(mail::kGlobalKeys) } },
        { "samples/larkbellwatch.ini", "preview]", { std::begin(mail::kPreviewKeys), std::end(mail::kPreviewKeys) } },
        { "samples/larkbellwatch.ini", mail::kAccountPrefix, account_keys },
    };
    for (const auto& [sample, section, read] : cases)
        EXPECT_EQ(DocumentedKeys(SourceFile(sample), section), read) << sample << " [" << section;
}

// The program's name without ".\" and ".exe"; empty for anything else.
std::string Program(const std::string& word)
{
    static const std::regex name(R"(^(?:\.\\)?(larkbellctl|larkbellwatch)(?:\.exe)?$)");
    std::smatch match;
    return std::regex_match(word, match, name) ? match[1].str() : "";
}

// The commands a shown line stands for: "larkbellctl get | set N" is two, and so is "--autostart on|off".
void AddAlternatives(const std::string& shown, std::vector<std::vector<std::string>>* commands)
{
    std::istringstream words(shown);
    std::string program;
    words >> program;
    std::vector<std::vector<std::string>> choices { { Program(program) } };
    for (std::string word; words >> word;) {
        if (word == "|") { // the next alternative runs the same program
            commands->insert(commands->end(), choices.begin(), choices.end());
            choices = { { Program(program) } };
            continue;
        }
        std::vector<std::vector<std::string>> longer;
        std::istringstream options(word);
        for (std::string option; std::getline(options, option, '|');)
            for (auto choice : choices) {
                choice.push_back(option);
                longer.push_back(choice);
            }
        choices = longer;
    }
    commands->insert(commands->end(), choices.begin(), choices.end());
}

// The commands of `code spans` and of fenced lines that start with one of
// the programs.
std::vector<std::vector<std::string>> ShownCommands(const std::string& text)
{
    std::vector<std::string> shown;
    std::istringstream lines(text);
    bool fenced = false;
    static const std::regex span("`([^`]+)`");
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos && line.compare(first, 3, "```") == 0)
            fenced = !fenced;
        else if (fenced)
            shown.push_back(line);
        else
            for (std::sregex_iterator it(line.begin(), line.end(), span), end; it != end; ++it)
                shown.push_back((*it)[1]);
    }
    std::vector<std::vector<std::string>> commands;
    for (const std::string& text : shown) {
        std::istringstream words(text);
        std::string first, second;
        words >> first >> second;
        if (!Program(first).empty() && !second.empty()) // a program, and more than its name
            AddAlternatives(text, &commands);
    }
    return commands;
}

TEST(Documented, EveryCommandTheDocumentsShowIsAccepted)
{
    for (const char* document : { "docs/guide.md", "README.md" }) {
        const auto commands = ShownCommands(SourceFile(document));
        EXPECT_GE(commands.size(), 5u) << document; // the extraction found the examples
        for (const auto& command : commands) {
            std::string line;
            std::vector<const char*> argv;
            for (const std::string& word : command) {
                line += word + " ";
                argv.push_back(word.c_str());
            }
            const int argc = static_cast<int>(argv.size());
            EXPECT_TRUE(command[0] == "larkbellctl"
                    ? mail::ParseCtlVerb(argc, argv.data()) != mail::CtlVerb::Usage
                    : mail::ParseWatchArguments(argc, argv.data()) != mail::WatchAction::Usage)
                << document << ": " << line;
        }
    }
}

} // namespace
