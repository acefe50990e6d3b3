// libFuzzer target: reading a show folder. The input is show.json in a
// folder of this process that also holds a small PNG (pictures/001.png), a
// BMP and a symbolic link to a file outside the folder. Whatever the input,
// the reader ends with a document within the library's bounds or with an
// error that names show.json or a picture file.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/gbk_text.h"
#include "app/show_files.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// The folder, made once per process and removed at exit. The name is never
// destroyed: the exit handler that removes the folder needs it.
const QString &ShowFolder()
{
    static const QString *const dir = [] {
        auto *d = new QString(QStringLiteral("/tmp/korvex-fuzz-show-%1").arg(::getpid()));
        QDir().mkpath(*d + QStringLiteral("/pictures"));
        QImage png(2048, 1, QImage::Format_RGB32);
        png.fill(qRgb(0x12, 0x34, 0x56));
        png.save(*d + QStringLiteral("/pictures/001.png"), "PNG");
        QImage narrow(40, 2, QImage::Format_RGB32);
        narrow.fill(qRgb(0x65, 0x43, 0x21));
        narrow.save(*d + QStringLiteral("/narrow.bmp"), "BMP");
        png.save(*d + QStringLiteral(".outside.png"), "PNG");
        QFile::link(*d + QStringLiteral(".outside.png"), *d + QStringLiteral("/link.png"));
        std::atexit([] {
            QDir(ShowFolder()).removeRecursively();
            QFile::remove(ShowFolder() + QStringLiteral(".outside.png"));
        });
        return d;
    }();
    return *dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString &dir = ShowFolder();
    QFile json(dir + QStringLiteral("/show.json"));
    if (!json.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    json.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    json.close();

    auto doc = std::make_unique<korvex::LibraryDocument>(korvex::GbkToUtf8);
    QString error;
    if (korvex::ReadShowFolder(dir, *doc, error)) {
        Check(error.isEmpty());
        Check(doc->PictureCount() <= korvex::kMaxPictures);
        Check(doc->ProgramLength() <= korvex::kMaxProgram);
        for (int s = 0; s < doc->ProgramLength(); ++s)
            Check(doc->Program()[static_cast<size_t>(s)].picture < doc->PictureCount());
        for (int i = 0; i < doc->PictureCount(); ++i)
            Check(korvex::NameOf(doc->Picture(i)).size() <= size_t(korvex::kNameTyped));
    } else {
        Check(error.startsWith(dir));
    }
    return 0;
}
