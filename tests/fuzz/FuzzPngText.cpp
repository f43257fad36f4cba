// PNG text chunks on any bytes: reading every tEXt/iTXt chunk, and adding one whose keyword and text
// come from the input too; an added chunk must read back.
#include "FuzzSupport.h"
#include "Share.h"

namespace {

// Whether the chunks run whole from the signature to an IEND that ends the file: only then can a chunk
// added before IEND be reached by a reader (a damaged chain stops every reader early).
bool wellChained(const QByteArray& png) {
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + at);
        const qint64 length = (qint64(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (png.mid(at + 4, 4) == "IEND") return at + 12 == png.size();
        at += 12 + length;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    const QByteArray input = Fuzz::bytes(data, size);
    (void)Share::textChunks(input);
    (void)Share::pngDescription(input);
    // The first line is the keyword, the second the text, the rest the PNG.
    const qsizetype first = input.indexOf('\n');
    const qsizetype second = first < 0 ? -1 : input.indexOf('\n', first + 1);
    if (second < 0) return 0;
    const QString keyword = QString::fromUtf8(input.left(first));
    const QString text = QString::fromUtf8(input.mid(first + 1, second - first - 1));
    const QByteArray original = input.mid(second + 1);
    const auto png = Share::addTextChunk(original, keyword, text);
    if (!png || !wellChained(original)) return 0;
    const auto chunks = Share::textChunks(*png);
    const auto found = chunks.find(keyword);
    Fuzz::require(found != chunks.end() && found->second == text);
    return 0;
}
