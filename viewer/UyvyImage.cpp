// Video-range Y'CbCr 4:2:2 to RGB, one pixel pair at a time.
#include "UyvyImage.h"

#include <algorithm>
#include <cstdint>

namespace uvccamviewer {

namespace {

std::uint8_t clampToByte(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// BT.601 in fixed point (factors times 256): luma 16 to 235, chroma 16 to 240 around 128.
QRgb rgbOf(int y, int cb, int cr)
{
    const int c = 298 * (y - 16);
    const int d = cb - 128;
    const int e = cr - 128;
    return qRgb(clampToByte((c + 409 * e + 128) >> 8), clampToByte((c - 100 * d - 208 * e + 128) >> 8),
                clampToByte((c + 516 * d + 128) >> 8));
}

}  // namespace

QImage imageFromUyvy(const QByteArray& frame, int width, int height)
{
    if (width <= 0 || height <= 0 || width % 2 != 0 || frame.size() % height != 0)
        return QImage();
    const int bytesPerRow = frame.size() / height;
    if (bytesPerRow < width * 2)
        return QImage();

    QImage image(width, height, QImage::Format_RGB32);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.constData());
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = bytes + static_cast<std::size_t>(row) * bytesPerRow;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int pair = 0; pair < width / 2; ++pair, in += 4) {
            out[pair * 2] = rgbOf(in[1], in[0], in[2]);
            out[pair * 2 + 1] = rgbOf(in[3], in[0], in[2]);
        }
    }
    return image;
}

}  // namespace uvccamviewer
