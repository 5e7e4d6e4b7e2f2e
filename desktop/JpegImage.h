#pragma once
// JPEG through libjpeg: the skin pictures are decoded with it and the skin generator encodes
// with it.
#include <QByteArray>
#include <QImage>
#include <stdexcept>

namespace tavimo {

class EJpegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decodes a baseline or progressive JPEG (greyscale, RGB or CMYK) to a 32-bit RGB image.
// Throws EJpegError with libjpeg's reason when the data is not a readable JPEG.
QImage DecodeJpeg(const QByteArray& data);

// Encodes an image as a JPEG of the given quality (1..100), without chroma subsampling so
// small coloured text stays sharp.
QByteArray EncodeJpeg(const QImage& image, int quality = 92);

}  // namespace tavimo
