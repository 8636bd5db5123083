#include "import/BookmarkParsers.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <exception>
#include <vector>

namespace tallyhawk {

namespace {

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// How often a long text's reader looks whether it should stop.
constexpr std::size_t kCancelCheckBytes = 64u << 10;

}  // namespace

std::size_t ParseBookmarkFile(std::string_view text, CBookmarkList& list) {
    text = text.substr(0, text.find('\0'));
    const std::size_t before = list.Count();
    int state = 0;
    std::size_t afterTag = 0;      // just after the last '>'
    std::size_t addressStart = 0;  // just after the address's opening quote
    std::string_view address;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % kCancelCheckBytes == 0 && list.ShouldStop()) break;
        const char c = text[i];
        switch (c) {
        case '<':
            if (state == 5 && !list.Add(text.substr(afterTag, i - afterTag), address,
                                        kBookmarkKindBookmark))
                return list.Count() - before;
            state = 1;
            break;
        case 'h':
        case 'H':
            if (state == 1 && EqualsNoCase(text.substr(i, 4), "href")) {
                i += 3;  // and the loop's step
                state = 2;
            }
            break;
        case '=':
            if (state == 2) state = 3;
            break;
        case '"':
            if (state == 3) {
                addressStart = i + 1;
                state = 4;
            } else if (state == 4) {
                address = text.substr(addressStart, i - addressStart);
                state = 5;
            }
            break;
        default:
            break;
        }
        // Also inside an address: the name starts after the last '>' of all.
        if (c == '>') afterTag = i + 1;
    }
    return list.Count() - before;
}

std::string ReadProfileString(std::string_view text, std::string_view section, std::string_view key) {
    text = text.substr(0, text.find('\0'));
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        EqualsNoCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !EqualsNoCase(Trim(line.substr(0, equals)), key))
            continue;
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

namespace {

using Json = nlohmann::json;

// Collects the links of a "Bookmarks" file from the parser's events. Only
// the objects and arrays of the first kMaxJsonDepth levels have a frame;
// deeper ones are counted and passed over.
class CChromiumReader : public nlohmann::json_sax<Json> {
public:
    explicit CChromiumReader(CBookmarkList& list) : list(list) {}

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool string(string_t& value) override {
        if (list.IsCanceled()) return false;
        if (CFrame* frame = Current(); frame && frame->isObject) {
            if (frame->key == "type") frame->type = value == "url" ? Type::Url : Type::Other;
            else if (frame->key == "name") frame->name = CutText(value, kMaxBookmarkNameLength);
            else if (frame->key == "url") frame->url = std::move(value);
        }
        return true;
    }
    bool key(string_t& value) override {
        if (CFrame* frame = Current()) frame->key = std::move(value);
        return !list.IsCanceled();
    }
    bool start_object(std::size_t) override { return Open(true); }
    bool start_array(std::size_t) override { return Open(false); }
    bool end_array() override { return Close(); }
    bool end_object() override {
        if (CFrame* frame = Current(); frame && frame->type == Type::Url && IsNode()) {
            const std::string& name = frame->name.empty() ? frame->url : frame->name;
            if (!list.Add(name, frame->url, kBookmarkKindBookmark)) return false;
        }
        return Close();
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    enum class Type { Unknown, Url, Other };
    struct CFrame {
        bool isObject = false;
        std::string key;  // an object's member being read
        Type type = Type::Unknown;
        std::string name, url;
    };

    CFrame* Current() {
        return depth > 0 && depth == frames.size() ? &frames.back() : nullptr;
    }
    bool Open(bool isObject) {
        if (list.IsCanceled()) return false;
        ++depth;
        if (depth <= kMaxJsonDepth) {
            frames.emplace_back();
            frames.back().isObject = isObject;
        }
        return true;
    }
    bool Close() {
        if (depth == frames.size() && !frames.empty()) frames.pop_back();
        if (depth > 0) --depth;
        return true;
    }
    // The object being closed is a node of the tree: a member of the
    // top-level object's "roots", or an element of a node's "children"
    // below it.
    bool IsNode() const {
        const std::size_t n = frames.size();
        if (n < 3 || !frames[0].isObject || frames[0].key != "roots") return false;
        const CFrame& parent = frames[n - 2];
        if (n == 3) return parent.isObject;
        return !parent.isObject && frames[n - 3].isObject && frames[n - 3].key == "children";
    }

    CBookmarkList& list;
    std::vector<CFrame> frames;
    std::size_t depth = 0;
};

}  // namespace

std::size_t ParseChromiumBookmarks(std::string_view text, CBookmarkList& list) {
    const std::size_t before = list.Count();
    CChromiumReader reader(list);
    try {
        Json::sax_parse(text.begin(), text.end(), &reader);
    } catch (const std::exception&) {
        // Out of memory or a parser complaint it raises instead of reporting:
        // what was read stands.
    }
    return list.Count() - before;
}

}  // namespace tallyhawk
