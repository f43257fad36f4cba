#include "QrImage.h"

#include <QPainter>
#include <qrencode.h>

namespace QrCode {

std::optional<Modules> encode(const QByteArray& text) {
    if (text.isEmpty()) return std::nullopt;
    QRcode* code =
        QRcode_encodeData(static_cast<int>(text.size()),
                          reinterpret_cast<const unsigned char*>(text.constData()), 0, QR_ECLEVEL_M);
    if (!code) return std::nullopt;
    Modules modules;
    modules.side = code->width;
    modules.dark.resize(static_cast<size_t>(code->width) * static_cast<size_t>(code->width));
    for (size_t i = 0; i < modules.dark.size(); ++i)
        modules.dark[i] = (code->data[i] & 1) != 0;
    QRcode_free(code);
    return modules;
}

QImage render(const QByteArray& text, int side) {
    if (side <= 0) return {};
    const auto modules = encode(text);
    if (!modules || modules->side <= 0) return {};
    // One pixel per module first, then a nearest-neighbour magnification by a whole factor.
    QImage small(modules->side, modules->side, QImage::Format_RGB32);
    for (int y = 0; y < modules->side; ++y)
        for (int x = 0; x < modules->side; ++x)
            small.setPixel(
                x, y, modules->dark[static_cast<size_t>(y * modules->side + x)] ? 0xff000000u : 0xffffffffu);
    const int factor = std::max(1, side / modules->side);
    const QImage big = small.scaled(modules->side * factor, modules->side * factor, Qt::IgnoreAspectRatio,
                                    Qt::FastTransformation);
    QImage out(side, side, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    if (big.width() <= side) {
        const int offset = (side - big.width()) / 2;
        painter.drawImage(offset, offset, big);
    } else {
        // Smaller than one pixel per module: squeeze, still without smoothing.
        painter.drawImage(QRect(0, 0, side, side), small);
    }
    return out;
}

} // namespace QrCode

const QImage& QrImage::image(const QByteArray& text, int side) {
    if (text != text_ || side != side_) {
        text_ = text;
        side_ = side;
        image_ = QrCode::render(text, side);
        ++renders_;
    }
    return image_;
}
