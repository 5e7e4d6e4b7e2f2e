#include "components/MouseImageResources.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include "desktop/JpegImage.h"

// The skin is compiled into this library (resources/skin.qrc); a static library's resource
// initialiser is only linked in when something refers to it, so the first lookup does.
static void InitSkinResources() { Q_INIT_RESOURCE(skin); }

namespace tavimo {
namespace {

const QString kJpegPrefix = QStringLiteral(":/jpeg");
const QString kLayoutPrefix = QStringLiteral(":/layout");

// Upper-cased resource name -> resource path, built once.
const QHash<QString, QString>& JpegIndex() {
  static const QHash<QString, QString> index = [] {
    InitSkinResources();
    QHash<QString, QString> result;
    const QDir dir(kJpegPrefix);
    for (const QString& file : dir.entryList(QDir::Files)) {
      const QString name = file.section(QLatin1Char('.'), 0, 0).toUpper();
      result.insert(name, dir.filePath(file));
    }
    return result;
  }();
  return index;
}

QImage DecodeFile(const QString& path, const QString& name) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw EResNotFound("Resource " + name.toStdString() + " not found");
  return DecodeJpeg(file.readAll());
}

}  // namespace

QImage LoadJpegResource(const QString& name) {
  const auto& index = JpegIndex();
  const auto it = index.find(name.toUpper());
  if (it == index.end()) throw EResNotFound("Resource " + name.toUpper().toStdString() + " not found");
  return DecodeFile(it.value(), name);
}

bool HasJpegResource(const QString& name) { return JpegIndex().contains(name.toUpper()); }

QStringList JpegResourceNames() {
  QStringList names = JpegIndex().keys();
  names.sort();
  return names;
}

QImage LoadLayoutPicture(const QString& name) {
  JpegIndex();  // makes sure the resources are registered
  const QString path = kLayoutPrefix + QLatin1Char('/') + name + QStringLiteral(".jpg");
  if (!QFile::exists(path)) throw EResNotFound("Resource " + name.toStdString() + " not found");
  return DecodeFile(path, name);
}

}  // namespace tavimo
