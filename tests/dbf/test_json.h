// A small strict JSON reader for the tests: the exports that come with the fixtures and the
// reports of tabrix-cli inspect.
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dbf_test {

struct json {
    enum kind_t { null, boolean, number, string, array, object } kind = null;
    bool b = false;
    double d = 0;
    std::string s; // UTF-8
    std::vector<json> items;
    std::vector<std::pair<std::string, json>> members;

    const json* get(std::string_view key) const {
        for (const auto& [k, v] : members)
            if (k == key)
                return &v;
        return nullptr;
    }
};

class json_parser {
public:
    explicit json_parser(std::string_view text) : t_(text) {}

    // The one value the whole text holds; nothing when the text is not exactly that.
    std::optional<json> document() {
        json v;
        if (!value(v))
            return std::nullopt;
        blank();
        if (i_ != t_.size())
            return std::nullopt;
        return v;
    }

private:
    void blank() {
        while (i_ < t_.size() &&
               (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\r' || t_[i_] == '\t'))
            ++i_;
    }
    bool take(char c) {
        if (i_ >= t_.size() || t_[i_] != c)
            return false;
        ++i_;
        return true;
    }
    bool word(std::string_view w) {
        if (t_.substr(i_, w.size()) != w)
            return false;
        i_ += w.size();
        return true;
    }

    bool value(json& v) {
        blank();
        if (i_ >= t_.size())
            return false;
        switch (t_[i_]) {
        case '{':
            return container(v, '}');
        case '[':
            return container(v, ']');
        case '"':
            v.kind = json::string;
            return string(v.s);
        case 't':
            v.kind = json::boolean;
            v.b = true;
            return word("true");
        case 'f':
            v.kind = json::boolean;
            return word("false");
        case 'n':
            return word("null");
        default:
            v.kind = json::number;
            return number(v.d);
        }
    }

    bool container(json& v, char close) {
        v.kind = close == '}' ? json::object : json::array;
        ++i_;
        blank();
        if (take(close))
            return true;
        do {
            json item;
            if (v.kind == json::object) {
                std::string key;
                blank();
                if (i_ >= t_.size() || t_[i_] != '"' || !string(key))
                    return false;
                blank();
                if (!take(':') || !value(item))
                    return false;
                v.members.emplace_back(std::move(key), std::move(item));
            } else {
                if (!value(item))
                    return false;
                v.items.push_back(std::move(item));
            }
            blank();
        } while (take(','));
        return take(close);
    }

    bool string(std::string& out) {
        ++i_;
        while (i_ < t_.size()) {
            const unsigned char c = static_cast<unsigned char>(t_[i_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (i_ >= t_.size())
                return false;
            const char e = t_[i_++];
            const size_t simple = std::string_view("\"\\/bfnrt").find(e);
            if (simple != npos) {
                out += "\"\\/\b\f\n\r\t"[simple];
                continue;
            }
            // \uXXXX stays as written: no fixture needs it decoded.
            if (e != 'u' || t_.size() - i_ < 4 ||
                t_.substr(i_, 4).find_first_not_of("0123456789abcdefABCDEF") != npos)
                return false;
            out += "\\u";
            out += t_.substr(i_, 4);
            i_ += 4;
        }
        return false;
    }

    bool number(double& d) {
        if (t_[i_] != '-' && (t_[i_] < '0' || t_[i_] > '9'))
            return false;
        auto [end, ec] = std::from_chars(t_.data() + i_, t_.data() + t_.size(), d);
        if (ec != std::errc())
            return false;
        i_ = size_t(end - t_.data());
        return true;
    }

    static constexpr size_t npos = std::string_view::npos;
    std::string_view t_;
    size_t i_ = 0;
};

inline std::optional<json> parse_json(std::string_view text) {
    return json_parser(text).document();
}

} // namespace dbf_test
