// The committed skin must be what the generator draws now: a change to the painter that was
// not followed by regenerating would otherwise ship stale pictures.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

QByteArray Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(SkinGenerator, CommittedPicturesMatchTheGenerator) {
  test::TempDir out;
  QProcess gen;
  gen.start(QStringLiteral(TAVIMO_SKINGEN), {QString::fromStdString(out.Path())});
  ASSERT_TRUE(gen.waitForFinished(60000));
  ASSERT_EQ(gen.exitCode(), 0) << gen.readAllStandardError().toStdString();

  const QDir committed(QStringLiteral(TAVIMO_SOURCE_DIR "/resources/skin"));
  const QDir fresh(QString::fromStdString(out.Path()) + "/skin");
  const QStringList files = fresh.entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(committed.entryList(QDir::Files, QDir::Name), files);
  for (const QString& f : files)
    EXPECT_EQ(Read(committed.filePath(f)), Read(fresh.filePath(f))) << "regenerate: " << f.toStdString();
  EXPECT_EQ(Read(QStringLiteral(TAVIMO_SOURCE_DIR "/resources/skin.qrc")),
            Read(QString::fromStdString(out.Path()) + "/skin.qrc"));
}

}  // namespace
}  // namespace tavimo
