#include "desktop/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace tavimo {
namespace {

// libjpeg reports fatal errors through error_exit; we jump back to the caller instead of
// letting it call exit(). Nothing with a destructor lives between setjmp and the jump.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, err->message);
  std::longjmp(err->jump, 1);
}

void Silence(j_common_ptr, int) {}

// Runs the decompression; returns false with `err.message` filled on failure.
bool Decompress(const QByteArray& data, QImage& out, ErrorManager& err) {
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = Silence;
  err.message[0] = '\0';
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  const int w = static_cast<int>(info.output_width);
  const int h = static_cast<int>(info.output_height);
  const int comps = info.output_components;
  out = QImage(w, h, QImage::Format_RGB32);
  if (out.isNull()) {
    std::snprintf(err.message, sizeof err.message, "JPEG image too large (%d x %d)", w, h);
    jpeg_destroy_decompress(&info);
    return false;
  }
  // The row buffer is owned by libjpeg's pool, so a jump frees it with the decompressor.
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             static_cast<JDIMENSION>(w * comps), 1);
  while (info.output_scanline < info.output_height) {
    const int y = static_cast<int>(info.output_scanline);
    jpeg_read_scanlines(&info, row, 1);
    auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
    const unsigned char* src = row[0];
    for (int x = 0; x < w; ++x, src += comps) {
      if (cmyk) {
        // Adobe writes inverted CMYK; the product with K gives the displayed channel.
        const int k = src[3];
        dst[x] = qRgb(src[0] * k / 255, src[1] * k / 255, src[2] * k / 255);
      } else {
        dst[x] = qRgb(src[0], src[1], src[2]);
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

bool Compress(const QImage& rgb, int quality, unsigned char** buffer, unsigned long* size,
              ErrorManager& err) {
  jpeg_compress_struct info;
  info.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = Silence;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(rgb.width());
  info.image_height = static_cast<JDIMENSION>(rgb.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  for (int i = 0; i < info.num_components; ++i) {
    info.comp_info[i].h_samp_factor = 1;
    info.comp_info[i].v_samp_factor = 1;
  }
  info.optimize_coding = TRUE;
  jpeg_start_compress(&info, TRUE);
  JSAMPARRAY row =
      (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.image_width * 3, 1);
  while (info.next_scanline < info.image_height) {
    const auto* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(int(info.next_scanline)));
    unsigned char* dst = row[0];
    for (int x = 0; x < rgb.width(); ++x) {
      *dst++ = static_cast<unsigned char>(qRed(src[x]));
      *dst++ = static_cast<unsigned char>(qGreen(src[x]));
      *dst++ = static_cast<unsigned char>(qBlue(src[x]));
    }
    jpeg_write_scanlines(&info, row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  if (data.isEmpty()) throw EJpegError("JPEG data is empty");
  QImage out;
  ErrorManager err;
  if (!Decompress(data, out, err)) throw EJpegError(std::string("JPEG error: ") + err.message);
  return out;
}

QByteArray EncodeJpeg(const QImage& image, int quality) {
  if (image.isNull()) throw EJpegError("cannot encode an empty image as JPEG");
  // Flatten any transparency onto white first: JPEG has no alpha channel.
  QImage rgb(image.size(), QImage::Format_RGB32);
  rgb.fill(Qt::white);
  {
    QImage src = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < rgb.height(); ++y) {
      const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
      auto* d = reinterpret_cast<QRgb*>(rgb.scanLine(y));
      for (int x = 0; x < rgb.width(); ++x) {
        const int a = qAlpha(s[x]);
        d[x] = qRgb(qRed(s[x]) + (255 - a), qGreen(s[x]) + (255 - a), qBlue(s[x]) + (255 - a));
      }
    }
  }
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  ErrorManager err;
  const bool ok = Compress(rgb, quality < 1 ? 1 : (quality > 100 ? 100 : quality), &buffer, &size, err);
  QByteArray out;
  if (ok) out = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
  std::free(buffer);
  if (!ok) throw EJpegError(std::string("JPEG error: ") + err.message);
  return out;
}

}  // namespace tavimo
