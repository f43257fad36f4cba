// A bounded look at property-list bytes before libplist parses them. libplist parses and frees nested
// arrays and dictionaries by recursion, so a file nested a hundred thousand levels deep overflows the
// stack, and a binary file whose objects share children expands to far more values than its size
// suggests. Both are refused here, with loops, on our own explicit stack.
#include "PropertyList.h"

#include <cstring>
#include <vector>

namespace PropertyList {
namespace {

QString tooDeep() {
    return QStringLiteral("nested more than %1 levels deep").arg(maximumNesting);
}

// libplist keeps a text's length past a NUL but its getters assert that the length ends at the first
// NUL, aborting the program; XML cannot carry a NUL at all.
QString nulInText() {
    return QStringLiteral("a text holds a NUL character");
}

QString tooMany() {
    return QStringLiteral("holds more than %1 values").arg(maximumElements);
}

// Counts every element that opens without closing itself: an upper bound of both the nesting and the
// number of values libplist's reader builds.
std::optional<QString> xmlProblem(const QByteArray& bytes) {
    if (bytes.contains('\0')) return nulInText();
    const char* const begin = bytes.constData();
    const char* const end = begin + bytes.size();
    const auto skipPast = [end](const char* from, const char* marker) -> const char* {
        const size_t length = std::strlen(marker);
        for (const char* p = from; p + length <= end; ++p)
            if (std::memcmp(p, marker, length) == 0) return p + length;
        return end;
    };
    int depth = 0;
    qint64 elements = 0;
    for (const char* p = begin; p < end;) {
        p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
        if (!p) break;
        const qsizetype left = end - p;
        if (left >= 4 && std::memcmp(p, "<!--", 4) == 0) {
            p = skipPast(p + 4, "-->");
        } else if (left >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0) {
            p = skipPast(p + 9, "]]>");
        } else if (left >= 2 && p[1] == '?') {
            p = skipPast(p + 2, "?>");
        } else if (left >= 2 && (p[1] == '!' || p[1] == '/')) {
            if (p[1] == '/' && depth > 0) --depth;
            p = skipPast(p + 2, ">");
        } else {
            const char* close = skipPast(p + 1, ">");
            const bool selfClosing = close - p >= 3 && close[-1] == '>' && close[-2] == '/';
            if (!selfClosing && ++depth > maximumNesting) return tooDeep();
            if (++elements > maximumElements) return tooMany();
            p = close;
        }
    }
    return std::nullopt;
}

quint64 bigEndian(const uchar* at, int size) {
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | at[i];
    return value;
}

// The binary format: objects, an offset table and a 32-byte trailer naming both and the top object.
// Arrays and sets hold `count` references, dictionaries `count` key references then `count` values.
class BinaryGraph {
public:
    explicit BinaryGraph(const QByteArray& bytes)
        : data_(reinterpret_cast<const uchar*>(bytes.constData())), size_(quint64(bytes.size())) {}

    std::optional<QString> problem() {
        const QString malformed = QStringLiteral("not a well-formed binary property list");
        if (size_ < 8 + 32) return malformed;
        const uchar* trailer = data_ + size_ - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        objects_ = bigEndian(trailer + 8, 8);
        const quint64 top = bigEndian(trailer + 16, 8);
        table_ = bigEndian(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return malformed;
        if (objects_ == 0 || objects_ > size_ || top >= objects_ || table_ < 8 || table_ >= size_ - 32 ||
            objects_ * offsetSize_ > size_ - 32 - table_)
            return malformed;

        // Depth-first over the graph with our own stack; each object is expanded once and its depth
        // and expanded size remembered, so shared children cost nothing the second time.
        enum : uchar { unseen, open, done };
        std::vector<uchar> state(objects_, unseen);
        std::vector<int> depth(objects_, 0);
        std::vector<qint64> expanded(objects_, 0);
        struct Frame {
            quint64 object;
            quint64 next = 0; // the next reference to follow
            quint64 references = 0;
            quint64 first = 0; // offset of the first reference
        };
        std::vector<Frame> stack;
        std::optional<QString> textProblem;
        const auto enter = [&](quint64 object) -> bool {
            Frame frame{object};
            if (!references(object, &frame.first, &frame.references)) return false;
            if ((textProblem = textOf(object))) return false;
            state[object] = open;
            depth[object] = 1;
            expanded[object] = 1;
            stack.push_back(frame);
            return true;
        };
        if (!enter(top)) return textProblem ? *textProblem : malformed;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.references) {
                const quint64 finished = frame.object;
                state[finished] = done;
                stack.pop_back();
                if (!stack.empty()) {
                    const quint64 parent = stack.back().object;
                    depth[parent] = std::max(depth[parent], depth[finished] + 1);
                    expanded[parent] = std::min(expanded[parent] + expanded[finished], maximumElements + 1);
                    if (depth[parent] > maximumNesting) return tooDeep();
                    if (expanded[parent] > maximumElements) return tooMany();
                }
                continue;
            }
            const quint64 child = bigEndian(data_ + frame.first + frame.next * refSize_, refSize_);
            ++frame.next;
            if (child >= objects_) return malformed;
            if (state[child] == open) return QStringLiteral("an object contains itself");
            if (state[child] == done) {
                const quint64 parent = frame.object;
                depth[parent] = std::max(depth[parent], depth[child] + 1);
                expanded[parent] = std::min(expanded[parent] + expanded[child], maximumElements + 1);
                if (depth[parent] > maximumNesting) return tooDeep();
                if (expanded[parent] > maximumElements) return tooMany();
                continue;
            }
            if (stack.size() >= size_t(maximumNesting)) return tooDeep();
            if (!enter(child)) return textProblem ? *textProblem : malformed;
        }
        return std::nullopt;
    }

private:
    // A problem with a text object (ASCII or UTF-16): a NUL in it, or more text in all than a settings
    // file holds (objects may overlap, so the sum is bounded, not the file size).
    std::optional<QString> textOf(quint64 object) {
        const quint64 at = bigEndian(data_ + table_ + object * offsetSize_, offsetSize_);
        const int type = data_[at] >> 4;
        if (type != 0x5 && type != 0x6) return std::nullopt;
        quint64 length = data_[at] & 0x0F;
        quint64 start = at + 1;
        if (length == 0x0F) {
            if (start >= table_ || (data_[start] >> 4) != 0x1)
                return QStringLiteral("not a well-formed binary property list");
            const int bytes = 1 << (data_[start] & 0x0F);
            if (bytes > 8 || start + 1 + quint64(bytes) > table_)
                return QStringLiteral("not a well-formed binary property list");
            length = bigEndian(data_ + start + 1, bytes);
            start += 1 + quint64(bytes);
        }
        const int unit = type == 0x6 ? 2 : 1;
        if (length > (table_ - start) / unit) return QStringLiteral("not a well-formed binary property list");
        textBytes_ += length * unit;
        if (textBytes_ > quint64(4 * maximumBytes))
            return QStringLiteral("holds more text than a settings file");
        for (quint64 i = 0; i < length; ++i) {
            const uchar* c = data_ + start + i * unit;
            if (c[0] == 0 && (unit == 1 || c[1] == 0)) return nulInText();
        }
        return std::nullopt;
    }

    // Where the references of a container start and how many there are; zero for any other object.
    bool references(quint64 object, quint64* first, quint64* count) const {
        const quint64 at = bigEndian(data_ + table_ + object * offsetSize_, offsetSize_);
        if (at < 8 || at >= table_) return false;
        const uchar marker = data_[at];
        const int type = marker >> 4;
        *count = 0;
        if (type != 0xA && type != 0xC && type != 0xD) return true;
        quint64 length = marker & 0x0F;
        quint64 start = at + 1;
        if (length == 0x0F) {
            if (start >= table_ || (data_[start] >> 4) != 0x1) return false;
            const int bytes = 1 << (data_[start] & 0x0F);
            if (bytes > 8 || start + 1 + quint64(bytes) > table_) return false;
            length = bigEndian(data_ + start + 1, bytes);
            start += 1 + quint64(bytes);
        }
        if (length > size_) return false;
        const quint64 total = type == 0xD ? 2 * length : length;
        if (total * refSize_ > table_ - start) return false;
        *first = start;
        *count = total;
        return true;
    }

    const uchar* data_;
    quint64 size_;
    int offsetSize_ = 0;
    int refSize_ = 0;
    quint64 objects_ = 0;
    quint64 table_ = 0;
    quint64 textBytes_ = 0;
};

} // namespace

std::optional<QString> shapeProblem(const QByteArray& bytes) {
    if (bytes.startsWith("bplist00")) return BinaryGraph(bytes).problem();
    return xmlProblem(bytes);
}

} // namespace PropertyList
