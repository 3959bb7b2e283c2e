// Turns a '2vuy' video frame, as the frame callback delivers it, into an RGB image.
#pragma once

#include <QByteArray>
#include <QImage>

namespace uvccamviewer {

// `frame` holds `height` rows of size / height bytes each: two bytes per pixel (U0 Y0 V0
// Y1 for every pair), then whatever padding the camera adds to a row. Video-range BT.601,
// as the maker's cameras send it. A null image when the sizes do not add up.
QImage imageFromUyvy(const QByteArray& frame, int width, int height);

}  // namespace uvccamviewer
