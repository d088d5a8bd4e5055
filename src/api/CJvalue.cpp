#include "api/CJvalue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace api {

namespace {

// Numbers are read and written in the C locale whatever the process locale says: a desktop
// locale with a decimal comma must not turn 0.1 into "0,1" in a request.
locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t{});
    return loc;
}

double cStrtod(const char* s) {
    return strtod_l(s, nullptr, cLocale());
}

// "%.16g" as printf writes it in the C locale.
size_t formatNumber(double v, char* buf, size_t size) {
    const auto r = std::to_chars(buf, buf + size, v, std::chars_format::general, 16);
    return static_cast<size_t>(r.ptr - buf);
}

// A number token holds only digits, signs, points and e; its conversion stops at its end.
double tokenNumber(const char* first, const char* last) {
    double v = 0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec == std::errc::result_out_of_range) return cStrtod(std::string(first, last).c_str());
    if (r.ec != std::errc()) return 0;
    return v;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool hex4(const char* p, uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = hexDigit(p[i]);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    return true;
}

void appendUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp <= 0x10FFFF) {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The bytes between the quotes of a string token.
bool decodeString(const char* p, size_t len, std::string& out) {
    out.clear();
    size_t i = 0;
    while (i < len) {
        const void* bs = std::memchr(p + i, '\\', len - i);
        if (!bs) {
            out.append(p + i, len - i);
            break;
        }
        const size_t at = static_cast<size_t>(static_cast<const char*>(bs) - p);
        out.append(p + i, at - i);
        i = at + 1;
        if (i >= len) return false;
        const char c = p[i++];
        switch (c) {
        case '"':
        case '/':
        case '\\':
            out.push_back(c);
            break;
        case 'b':
            out.push_back('\x08');
            break;
        case 'f':
            out.push_back('\x0C');
            break;
        case 'n':
            out.push_back('\x0A');
            break;
        case 'r':
            out.push_back('\x0D');
            break;
        case 't':
            out.push_back('\x09');
            break;
        case 'u': {
            uint32_t cp = 0;
            if (len - i < 4 || !hex4(p + i, cp)) return false;
            i += 4;
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                // A high surrogate must be followed by the escape of a low one; anything
                // else would put bytes into the text that are not UTF-8.
                uint32_t lo = 0;
                if (len - i < 6 || p[i] != '\\' || p[i + 1] != 'u' || !hex4(p + i + 2, lo) ||
                    lo < 0xDC00 || lo > 0xDFFF)
                    return false;
                i += 6;
                cp = 0x10000 + ((cp & 0x3FF) << 10) + (lo & 0x3FF);
            }
            appendUtf8(cp, out);
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

constexpr std::array<bool, 256> makeEscapeTable() {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c)
        t[c] = true;
    t['"'] = t['\\'] = true;
    return t;
}
constexpr std::array<bool, 256> kEscape = makeEscapeTable();

void writeString(std::string_view s, std::string& out) {
    static constexpr char kLetter[] = "uuuuuuuubtnufruuuuuuuuuuuuuuuuuu";
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back('"');
    size_t run = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (!kEscape[c]) continue;
        out.append(s.data() + run, i - run);
        run = i + 1;
        out.push_back('\\');
        if (c == '"' || c == '\\') {
            out.push_back(static_cast<char>(c));
        } else if (kLetter[c] != 'u') {
            out.push_back(kLetter[c]);
        } else {
            const char u[] = {'u', '0', '0', kHex[c >> 4], kHex[c & 0x0F]};
            out.append(u, sizeof u);
        }
    }
    out.append(s.data() + run, s.size() - run);
    out.push_back('"');
}

bool keyLess(const CJvalue::Child& a, const CJvalue::Child& b) {
    return a.first < b.first;
}

// Members are parsed in the order they come; afterwards they are put in key order and, of
// members sharing a name, the last one parsed stays.
void settleMembers(std::vector<CJvalue::Child>& c) {
    const size_t n = c.size();
    if (n < 2) return;
    bool ordered = true;
    for (size_t k = 1; k < n && ordered; ++k)
        ordered = c[k - 1].first < c[k].first;
    if (ordered) return;
    if (n <= 32) {
        for (size_t i = 1; i < n; ++i) {
            if (!keyLess(c[i], c[i - 1])) continue;
            CJvalue::Child tmp = std::move(c[i]);
            size_t j = i;
            for (; j > 0 && keyLess(tmp, c[j - 1]); --j)
                c[j] = std::move(c[j - 1]);
            c[j] = std::move(tmp);
        }
    } else {
        std::stable_sort(c.begin(), c.end(), keyLess);
    }
    size_t w = 0;
    for (size_t r = 0; r < n; ++r) {
        if (r + 1 < n && c[r].first.name == c[r + 1].first.name) continue;
        if (w != r) c[w] = std::move(c[r]);
        ++w;
    }
    c.erase(c.begin() + static_cast<std::ptrdiff_t>(w), c.end());
}

} // namespace

// Reads one text; every child reads from the same cursor and hands it on.
class CJparser {
public:
    explicit CJparser(std::string_view t) : s(t.data()), n(t.size()) {}

    bool value(CJvalue& v, int depth) {
        v.clear();
        switch (next()) {
        case Tok::LBrace:
            if (depth >= CJvalue::kMaxDepth) return false;
            return object(v, depth + 1);
        case Tok::LBracket:
            if (depth >= CJvalue::kMaxDepth) return false;
            return array(v, depth + 1);
        case Tok::String:
            v.kind_ = kString;
            return decodeString(s + ts, te - ts, v.text_);
        case Tok::Number:
            v.kind_ = kNumber;
            v.number_ = tokenNumber(s + ts, s + te);
            return true;
        case Tok::True:
        case Tok::False:
            v.kind_ = kBool;
            v.flag_ = last == Tok::True;
            return true;
        case Tok::Null:
            return true;
        default:
            return false;
        }
    }

private:
    enum class Tok {
        End,
        LBrace,
        RBrace,
        LBracket,
        RBracket,
        Comma,
        Colon,
        String,
        Number,
        True,
        False,
        Null,
        Error
    };

    void skipBlanks() {
        while (i < n) {
            const char c = s[i];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++i;
            } else if (c == '/') {
                if (i + 1 >= n) {
                    ++i;
                } else if (s[i + 1] == '*') {
                    const std::string_view rest(s + i + 2, n - i - 2);
                    const size_t close = rest.find("*/");
                    i = close == std::string_view::npos ? n : i + 2 + close + 2;
                } else if (s[i + 1] == '/') {
                    i += 2;
                    while (i < n && s[i] != '\r' && s[i] != '\n')
                        ++i;
                    if (i < n) ++i;
                } else {
                    i += 2;
                }
            } else {
                return;
            }
        }
    }

    bool word(const char* rest, size_t len) {
        if (n - i < len + 1 || std::memcmp(s + i + 1, rest, len) != 0) return false;
        i += len + 1;
        return true;
    }

    Tok next() { return last = read(); }

    Tok read() {
        skipBlanks();
        if (i >= n || s[i] == '\0') return Tok::End;
        const char c = s[i];
        switch (c) {
        case '{':
            ++i;
            return Tok::LBrace;
        case '}':
            ++i;
            return Tok::RBrace;
        case '[':
            ++i;
            return Tok::LBracket;
        case ']':
            ++i;
            return Tok::RBracket;
        case ',':
            ++i;
            return Tok::Comma;
        case ':':
            ++i;
            return Tok::Colon;
        case '"': {
            size_t j = i + 1;
            while (j < n) {
                const char d = s[j];
                if (d == '"') break;
                j += d == '\\' ? 2 : 1;
            }
            if (j >= n) return Tok::Error;
            ts = i + 1;
            te = j;
            i = j + 1;
            return Tok::String;
        }
        case 't':
            return word("rue", 3) ? Tok::True : Tok::Error;
        case 'f':
            return word("alse", 4) ? Tok::False : Tok::Error;
        case 'n':
            return word("ull", 3) ? Tok::Null : Tok::Error;
        default:
            break;
        }
        if (c != '-' && (c < '0' || c > '9')) return Tok::Error;
        ts = i++;
        while (i < n) {
            const char d = s[i];
            if ((d >= '0' && d <= '9') || d == '+' || d == '-' || d == '.' || d == 'e' || d == 'E')
                ++i;
            else
                break;
        }
        te = i;
        return Tok::Number;
    }

    bool object(CJvalue& v, int depth) {
        v.kind_ = kObject;
        const bool ok = members(v, depth);
        settleMembers(v.children_);
        return ok;
    }

    bool members(CJvalue& v, int depth) {
        Tok t = next();
        // A closing brace is accepted only right after the opening one: "{}" is an empty
        // object, a comma before the brace is an error.
        if (t == Tok::RBrace) return true;
        std::string name;
        for (;;) {
            if (t != Tok::String || !decodeString(s + ts, te - ts, name)) return false;
            if (next() != Tok::Colon) return false;
            v.children_.emplace_back(CJkey(std::move(name)), CJvalue());
            if (!value(v.children_.back().second, depth)) return false;
            t = next();
            if (t == Tok::RBrace) return true;
            if (t != Tok::Comma) return false;
            t = next();
        }
    }

    bool array(CJvalue& v, int depth) {
        v.kind_ = kArray;
        skipBlanks();
        if (i < n && s[i] == ']') {
            ++i;
            return true;
        }
        for (int32_t index = 0;; ++index) {
            v.children_.emplace_back(CJkey(index), CJvalue());
            if (!value(v.children_.back().second, depth)) return false;
            const Tok t = next();
            if (t == Tok::RBracket) return true;
            if (t != Tok::Comma) return false;
        }
    }

    const char* s;
    size_t n;
    size_t i = 0;
    size_t ts = 0, te = 0; // the last string's contents or number token
    Tok last = Tok::End;
};

void CJvalue::clear() {
    text_.clear();
    number_ = 0;
    flag_ = false;
    kind_ = kNull;
    children_.clear();
}

void CJvalue::setNumber(double v) {
    clear();
    kind_ = kNumber;
    number_ = v;
}

void CJvalue::setText(std::string_view v) {
    clear();
    kind_ = kString;
    text_.assign(v.data(), v.size());
}

void CJvalue::setBool(bool v) {
    clear();
    kind_ = kBool;
    flag_ = v;
}

CJvalue& CJvalue::setMember(std::string_view name, const CJvalue& v) {
    return setMember(name, CJvalue(v)); // the copy first: v may live inside this value
}

CJvalue& CJvalue::setMember(std::string_view name, CJvalue&& v) {
    CJvalue keep(std::move(v));
    if (kind_ != kObject) {
        clear();
        kind_ = kObject;
    }
    CJkey key(name);
    auto it = std::lower_bound(children_.begin(), children_.end(), key,
                               [](const Child& c, const CJkey& k) { return c.first < k; });
    if (it != children_.end() && it->first.name == key.name) {
        it->second = std::move(keep);
        return it->second;
    }
    it = children_.emplace(it, std::move(key), std::move(keep));
    return it->second;
}

CJvalue& CJvalue::append(const CJvalue& v) {
    return append(CJvalue(v));
}

CJvalue& CJvalue::append(CJvalue&& v) {
    CJvalue keep(std::move(v));
    if (kind_ != kArray) {
        clear();
        kind_ = kArray;
    }
    children_.emplace_back(CJkey(static_cast<int32_t>(children_.size())), std::move(keep));
    return children_.back().second;
}

const CJvalue* CJvalue::find(const CJkey& key) const {
    if (key.isIndex()) {
        if (kind_ != kArray || static_cast<size_t>(key.index) >= children_.size()) return nullptr;
        return &children_[static_cast<size_t>(key.index)].second;
    }
    if (kind_ != kObject) return nullptr;
    auto it = std::lower_bound(children_.begin(), children_.end(), key,
                               [](const Child& c, const CJkey& k) { return c.first < k; });
    if (it == children_.end() || it->first.name != key.name) return nullptr;
    return &it->second;
}

CJvalue* CJvalue::find(const CJkey& key) {
    return const_cast<CJvalue*>(std::as_const(*this).find(key));
}

bool CJvalue::find(const CJkey& key, CJvalue& child) const {
    const CJvalue* found = find(key);
    if (!found) {
        child.clear();
        return false;
    }
    child = *found;
    return true;
}

const CJvalue& CJvalue::get(const CJkey& key) const {
    static const CJvalue empty;
    const CJvalue* found = find(key);
    return found ? *found : empty;
}

double CJvalue::asNumber() const {
    switch (kind_) {
    case kNumber:
        return number_;
    case kString:
        return cStrtod(text_.c_str());
    case kBool:
        return flag_ ? 1 : 0;
    default:
        return 0;
    }
}

std::string CJvalue::asText() const {
    if (kind_ == kString) return text_;
    if (kind_ != kNumber) return {};
    char buf[32];
    return std::string(buf, formatNumber(number_, buf, sizeof buf));
}

bool CJvalue::parse(std::string_view text) {
    CJparser parser(text);
    return parser.value(*this, 0);
}

std::string CJvalue::write() const {
    std::string out;
    writeTo(out);
    return out;
}

void CJvalue::writeTo(std::string& out) const {
    switch (kind_) {
    case kNull:
        out += "null";
        break;
    case kBool:
        out += flag_ ? "true" : "false";
        break;
    case kNumber: {
        // inf and nan have no JSON form; null keeps the text readable.
        if (!std::isfinite(number_)) {
            out += "null";
            break;
        }
        char buf[32];
        out.append(buf, formatNumber(number_, buf, sizeof buf));
        break;
    }
    case kString:
        writeString(text_, out);
        break;
    case kArray:
        out.push_back('[');
        for (size_t k = 0; k < children_.size(); ++k) {
            if (k) out.push_back(',');
            children_[k].second.writeTo(out);
        }
        out.push_back(']');
        break;
    case kObject:
        out.push_back('{');
        for (size_t k = 0; k < children_.size(); ++k) {
            if (k) out.push_back(',');
            writeString(children_[k].first.name, out);
            out.push_back(':');
            children_[k].second.writeTo(out);
        }
        out.push_back('}');
        break;
    }
}

} // namespace api
