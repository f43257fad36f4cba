#pragma once
// The QR code of a link as a picture: libqrencode at error correction M, magnified with nearest-neighbour
// scaling so the modules stay sharp. QrImage keeps the last picture and renders again only when the
// text or the size changes, so a wall renders its code once per clip and size.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <optional>
#include <vector>

namespace QrCode {
// The code's modules (true = dark), one row after another, and the module count per side; absent when
// the text cannot be encoded.
struct Modules {
    int side = 0;
    std::vector<bool> dark;
};
std::optional<Modules> encode(const QByteArray& text);
// Black modules on white, fitted into a square of `side` pixels (whole pixels per module, centred).
QImage render(const QByteArray& text, int side);
} // namespace QrCode

class QrImage {
public:
    // The picture for `text` at `side` pixels; the same object as last time when neither changed.
    const QImage& image(const QByteArray& text, int side);
    int renders() const { return renders_; }

private:
    QByteArray text_;
    int side_ = -1;
    QImage image_;
    int renders_ = 0;
};
