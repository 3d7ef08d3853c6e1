#include "watch/core/token_answer.h"

#include <nlohmann/json.hpp>

#include "watch/core/ascii_text.h"

namespace mail {

namespace {

    using Json = nlohmann::json;

    constexpr int64_t kLongestLifetimeS = 366LL * 24 * 60 * 60;

    // RFC 6750's b64token and RFC 6749's VSCHAR: printable ASCII, no blank.
    bool IsTokenText(const std::string& text)
    {
        if (text.empty() || text.size() > 16 * 1024)
            return false;
        for (char c : text) {
            if (c <= ' ' || c > '~')
                return false;
        }
        return true;
    }

    // What a server wrote about itself, made safe for one log line.
    std::string LogSafe(const Json& value, size_t limit = 200)
    {
        if (!value.is_string())
            return std::string();
        std::string text;
        for (char c : value.get_ref<const std::string&>()) {
            if (text.size() >= limit)
                break;
            text += c >= ' ' && c <= '~' ? c : '?';
        }
        return text;
    }

    // An object parsed from at most kMaxTokenAnswer bytes, or false.
    bool ParseObject(std::string_view body, Json* object, std::string* why)
    {
        if (body.size() > kMaxTokenAnswer) {
            *why = "the answer is longer than 64 KiB";
            return false;
        }
        *object = Json::parse(body.begin(), body.end(), nullptr, false);
        if (object->is_discarded() || !object->is_object()) {
            *why = "the answer is not a JSON object";
            return false;
        }
        return true;
    }

    // A whole number of seconds, as a number or (some servers) a string.
    bool ReadSeconds(const Json& object, const char* key, int64_t fallback, int64_t* seconds)
    {
        const auto found = object.find(key);
        if (found == object.end()) {
            *seconds = fallback;
            return true;
        }
        int64_t value = -1;
        if (found->is_number_unsigned() || found->is_number_integer()) {
            value = found->get<int64_t>();
        } else if (found->is_string()) {
            const std::string& text = found->get_ref<const std::string&>();
            if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
                return false;
            value = std::stoll(text);
        } else {
            return false;
        }
        if (value < 0)
            return false;
        *seconds = value > kLongestLifetimeS ? kLongestLifetimeS : value;
        return true;
    }

    bool ReadText(const Json& object, const char* key, bool required, std::string* text)
    {
        const auto found = object.find(key);
        if (found == object.end())
            return !required;
        if (!found->is_string())
            return false;
        *text = found->get<std::string>();
        return true;
    }

    TokenOutcome ErrorOutcome(const Json& object, int status, std::string* why)
    {
        // operator[] on a const object must not meet a missing key.
        const auto error_found = object.find("error");
        const auto description_found = object.find("error_description");
        const std::string error = error_found == object.end() ? std::string() : LogSafe(*error_found, 64);
        const std::string description = description_found == object.end() ? std::string() : LogSafe(*description_found);
        *why = "the server answered " + (error.empty() ? "HTTP " + std::to_string(status) : error)
            + (description.empty() ? "" : ": " + description);
        if (error == "authorization_pending")
            return TokenOutcome::Pending;
        if (error == "slow_down")
            return TokenOutcome::SlowDown;
        if (error == "access_denied")
            return TokenOutcome::Denied;
        if (error == "expired_token")
            return TokenOutcome::Expired;
        if (error == "invalid_grant")
            return TokenOutcome::InvalidGrant;
        return TokenOutcome::Refused;
    }

} // namespace

TokenOutcome ReadTokenAnswer(int status, std::string_view body, TokenGrant* grant, std::string* why)
{
    *grant = TokenGrant();
    Json object;
    if (!ParseObject(body, &object, why)) {
        if (status >= 400 && status < 500)
            *why = "the server answered HTTP " + std::to_string(status);
        return TokenOutcome::Malformed;
    }
    // RFC 6749 sends errors with 400 (401 for client authentication).
    const auto error = object.find("error");
    if (error != object.end() && error->is_string() && status >= 400 && status < 500)
        return ErrorOutcome(object, status, why);
    if (status != 200) {
        *why = "the server answered HTTP " + std::to_string(status);
        return TokenOutcome::Malformed;
    }
    std::string type;
    if (!ReadText(object, "token_type", true, &type) || !EqualsIgnoringCase(type, "Bearer")) {
        *why = "the answer's token_type is not Bearer";
        return TokenOutcome::Malformed;
    }
    TokenGrant read;
    if (!ReadText(object, "access_token", true, &read.access_token) || !IsTokenText(read.access_token)) {
        *why = "the answer holds no usable access_token";
        return TokenOutcome::Malformed;
    }
    if (!ReadText(object, "refresh_token", false, &read.refresh_token)
        || (object.contains("refresh_token") && !IsTokenText(read.refresh_token))) {
        *why = "the answer's refresh_token is not usable";
        return TokenOutcome::Malformed;
    }
    // Without expires_in (only RECOMMENDED) an hour, the common lifetime.
    if (!ReadSeconds(object, "expires_in", 3600, &read.expires_in_s)) {
        *why = "the answer's expires_in is not a number of seconds";
        return TokenOutcome::Malformed;
    }
    *grant = std::move(read);
    return TokenOutcome::Granted;
}

bool ReadDeviceAnswer(int status, std::string_view body, DeviceGrant* grant, std::string* why)
{
    *grant = DeviceGrant();
    Json object;
    if (!ParseObject(body, &object, why))
        return false;
    if (status != 200) {
        ErrorOutcome(object, status, why);
        return false;
    }
    DeviceGrant read;
    // Google and older servers say verification_url.
    const char* uri_key = object.contains("verification_uri") ? "verification_uri" : "verification_url";
    if (!ReadText(object, "device_code", true, &read.device_code) || !IsTokenText(read.device_code)
        || !ReadText(object, "user_code", true, &read.user_code) || !IsTokenText(read.user_code)
        || !ReadText(object, uri_key, true, &read.verification_uri) || !IsTokenText(read.verification_uri)
        || !ReadText(object, "verification_uri_complete", false, &read.verification_uri_complete)
        || (!read.verification_uri_complete.empty() && !IsTokenText(read.verification_uri_complete))
        || !ReadSeconds(object, "expires_in", -1, &read.expires_in_s) || read.expires_in_s <= 0
        || !ReadSeconds(object, "interval", 5, &read.interval_s)) {
        *why = "the device authorization answer lacks a field or holds a wrong one";
        return false;
    }
    *grant = std::move(read);
    return true;
}

} // namespace mail
