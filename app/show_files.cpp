// The mapping between a show folder (show.json and PNG pictures) and the
// library document. JSON goes through Qt's QJsonDocument and PNG through
// QImage; what is ours is which key means what and the checks on each.
#include "app/show_files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <unistd.h>

#include "app/capture.h"
#include "app/file_locations.h"
#include "app/image_load.h"
#include "app/picture_name.h"
#include "model/colour.h"
#include "model/effects.h"
#include "model/regular_file.h"

namespace korvex {

namespace {

const QString kPicturesFolder = QStringLiteral("pictures");

QString PictureFileName(int number)
{
    return kPicturesFolder + QStringLiteral("/%1.png").arg(number, 3, 10, QLatin1Char('0'));
}

QByteArray PicturePng(const PictureRecord &record)
{
    QImage image(kColours, 1, QImage::Format_RGB888);
    uchar *line = image.scanLine(0);
    for (int k = 0; k < kColours; ++k) {
        const uint32_t c = record.colours[k];
        line[3 * k] = static_cast<uchar>(ColourRed(c));
        line[3 * k + 1] = static_cast<uchar>(ColourGreen(c));
        line[3 * k + 2] = static_cast<uchar>(ColourBlue(c));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

ShowExport ShowToFiles(const LibraryDocument &doc)
{
    ShowExport out;
    QJsonArray pictures;
    for (int i = 0; i < doc.PictureCount(); ++i) {
        const QString file = PictureFileName(i + 1);
        out.files.push_back({file, PicturePng(doc.Picture(i))});
        const std::string name = doc.PictureName(i);
        // An import takes the name only as these same bytes.
        const NameVerdict verdict = JudgePictureName(name);
        if (verdict.fault != NameFault::None || verdict.gbk != NameOf(doc.Picture(i)))
            out.warnings << QStringLiteral("picture %1: its name is longer than %2 GBK bytes or "
                                           "is no GBK text; an import will refuse it")
                                .arg(i + 1)
                                .arg(kNameTyped);
        const auto &colours = doc.Picture(i).colours;
        if (std::any_of(std::begin(colours), std::end(colours), HasHiddenBits))
            out.warnings << QStringLiteral("picture %1: low 4 bits of each channel are not kept by "
                                           "the controller; import clears them")
                                .arg(i + 1);
        pictures.append(QJsonObject{{QStringLiteral("file"), file},
                                    {QStringLiteral("name"), QString::fromStdString(name)}});
    }
    QJsonArray program;
    for (int s = 0; s < doc.ProgramLength(); ++s) {
        const ProgramEntry &entry = doc.Program()[static_cast<size_t>(s)];
        const bool known = entry.effect < kEffectCount;
        if (!known)
            out.warnings << QStringLiteral("step %1: effect %2 is none of the %3 effects; an "
                                           "import will refuse it")
                                .arg(s + 1)
                                .arg(entry.effect)
                                .arg(kEffectCount);
        if (entry.value > kValueMax)
            out.warnings << QStringLiteral("step %1: value %2 is above %3; an import will "
                                           "refuse it")
                                .arg(s + 1)
                                .arg(entry.value)
                                .arg(kValueMax);
        program.append(QJsonObject{
            {QStringLiteral("picture"), entry.picture + 1},
            {QStringLiteral("effect"), known
                                           ? QJsonValue(QString::fromUtf8(EffectText(entry.effect)))
                                           : QJsonValue(entry.effect)},
            {QStringLiteral("value"), entry.value},
        });
    }
    const QJsonObject root{
        {QStringLiteral("format"), QString::fromLatin1(kShowFormat)},
        {QStringLiteral("version"), kShowVersion},
        {QStringLiteral("pictures"), pictures},
        {QStringLiteral("program"), program},
    };
    out.files.push_back(
        {QString::fromLatin1(kShowFileName), QJsonDocument(root).toJson(QJsonDocument::Indented)});
    return out;
}

bool WriteShowFolder(const ShowExport &show, const QString &dir, bool force, QString &error)
{
    const QFileInfo info(dir);
    if (PathTaken(dir) && !info.isDir()) {
        error = dir + QStringLiteral(" is not a folder");
        return false;
    }
    const QDir folder(dir);
    const auto everything = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    if (info.exists() && !force && !folder.entryList(everything).isEmpty()) {
        error = dir + QStringLiteral(" is not empty; give --force to write into it");
        return false;
    }
    if (!folder.mkpath(kPicturesFolder)) {
        error = QStringLiteral("cannot make the folder ") + folder.filePath(kPicturesFolder);
        return false;
    }
    std::set<QString> written;
    for (const ShowFile &file : show.files) {
        const QString path = folder.filePath(file.path);
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file.bytes) != file.bytes.size() ||
            !out.commit()) {
            error =
                QStringLiteral("cannot write ") + path + QStringLiteral(": ") + out.errorString();
            return false;
        }
        written.insert(file.path);
    }
    // Pictures an earlier export wrote past this show's last one.
    static const QRegularExpression ours(QStringLiteral("^[0-9]{3}\\.png$"));
    const QDir pictures(folder.filePath(kPicturesFolder));
    for (const QString &name : pictures.entryList(QDir::Files)) {
        const QString relative = kPicturesFolder + QLatin1Char('/') + name;
        if (ours.match(name).hasMatch() && !written.count(relative) &&
            !QFile::remove(pictures.filePath(name))) {
            error = QStringLiteral("cannot remove the old picture ") + pictures.filePath(name);
            return false;
        }
    }
    return true;
}

// ------------------------------------------------------------------ import

namespace {

// What a JSON value is, for a message: the number itself, else its kind.
QString Describe(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Double: return QString::number(v.toDouble());
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Bool: return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    default: return QStringLiteral("null");
    }
}

std::optional<int> WholeNumber(const QJsonValue &v, int lo, int hi)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= lo && d <= hi) || d != std::floor(d))
        return std::nullopt;
    return static_cast<int>(d);
}

// One picture of show.json, checked but not yet loaded.
struct PictureItem {
    QString file;  // as written
    QString path;  // the file it names, symbolic links resolved
    std::string gbkName;
    std::optional<int> width;
    bool stretch = false;
};

// Reads show.json and checks every item; the pictures' files are only
// looked at, not loaded.
class ShowReader {
public:
    explicit ShowReader(const QString &dir) : dir_(dir), json_(QDir(dir).filePath(kShowFileName)) {}

    // False at the first fault, which Error() then describes.
    bool Read(std::vector<PictureItem> &pictures, std::vector<ProgramEntry> &steps);
    const QString &Error() const { return error_; }

private:
    bool Fail(const QString &item, const QString &text)
    {
        error_ = json_ + QStringLiteral(": ") +
                 (item.isEmpty() ? text : item + QStringLiteral(": ") + text);
        return false;
    }
    bool Load(QByteArray &bytes);
    bool Parse(const QByteArray &bytes, QJsonObject &root);
    bool OnlyKeys(const QJsonObject &o, const QString &item,
                  std::initializer_list<const char *> keys,
                  std::initializer_list<const char *> required);
    bool ReadPicture(const QJsonObject &o, const QString &item, PictureItem &out);
    bool ResolveFile(const QString &item, PictureItem &out);
    bool ReadStep(const QJsonObject &o, const QString &item, int pictureCount, ProgramEntry &out);

    QString dir_;
    QString json_;
    QString error_;
};

bool ShowReader::Load(QByteArray &bytes)
{
    bool notRegular = false;
    const int fd = OpenRegularFile(QFile::encodeName(json_).toStdString(), notRegular);
    if (fd < 0)
        return Fail({}, notRegular ? QStringLiteral("not a regular file")
                                   : QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Fail({}, file.errorString());
    }
    bytes = file.read(kMaxShowJsonBytes + 1);
    if (bytes.size() > kMaxShowJsonBytes)
        return Fail({}, QStringLiteral("larger than %1 bytes").arg(kMaxShowJsonBytes));
    return true;
}

bool ShowReader::Parse(const QByteArray &bytes, QJsonObject &root)
{
    // A byte order mark, as some editors write, is no part of the JSON.
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError) {
        // Qt's offset is just past the character that broke the parse.
        const int at = static_cast<int>(std::clamp<qsizetype>(parse.offset - 1, 0, text.size()));
        const QByteArray before = text.left(at);
        const int line = static_cast<int>(before.count('\n')) + 1;
        const QByteArray lineStart = before.mid(before.lastIndexOf('\n') + 1);
        const int column = static_cast<int>(QString::fromUtf8(lineStart).size()) + 1;
        return Fail(QStringLiteral("line %1, column %2").arg(line).arg(column),
                    parse.errorString());
    }
    if (!doc.isObject())
        return Fail({}, QStringLiteral("the show must be a JSON object"));
    root = doc.object();
    return true;
}

bool ShowReader::OnlyKeys(const QJsonObject &o, const QString &item,
                          std::initializer_list<const char *> keys,
                          std::initializer_list<const char *> required)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (std::none_of(keys.begin(), keys.end(),
                         [&](const char *k) { return it.key() == QLatin1String(k); }))
            return Fail(item, QStringLiteral("unknown key \"%1\"").arg(it.key()));
    }
    for (const char *k : required) {
        if (!o.contains(QLatin1String(k)))
            return Fail(item, QStringLiteral("the key \"%1\" is missing").arg(QLatin1String(k)));
    }
    return true;
}

bool ShowReader::ResolveFile(const QString &item, PictureItem &out)
{
    const QString &file = out.file;
    auto bad = [&](const QString &why) {
        return Fail(item, QStringLiteral("\"file\" %1").arg(why));
    };
    if (file.isEmpty())
        return bad(QStringLiteral("is empty"));
    // A NUL would end the name the system sees before the name checked here.
    if (std::any_of(file.begin(), file.end(), [](QChar c) { return c.unicode() < 0x20; }))
        return bad(QStringLiteral("holds a control character"));
    if (QDir::isAbsolutePath(file))
        return bad(QStringLiteral("is an absolute path; it must lie inside ") + dir_);
    if (file.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return bad(QStringLiteral("has \"..\"; it must lie inside ") + dir_);
    if (!IsImageExtension(file))
        return bad(QStringLiteral("is not a .png, .bmp, .jpg or .jpeg file"));
    const QString path = QDir(dir_).filePath(file);
    const QFileInfo info(path);
    if (!info.exists()) {
        error_ = path + QStringLiteral(" (") + item + QStringLiteral("): no such file");
        return false;
    }
    const QString inside = QFileInfo(dir_).canonicalFilePath() + QLatin1Char('/');
    out.path = info.canonicalFilePath();
    if (!out.path.startsWith(inside))
        return bad(QStringLiteral("leads outside ") + dir_ +
                   QStringLiteral(" through a symbolic link"));
    if (!QFileInfo(out.path).isFile()) {
        error_ = path + QStringLiteral(" (") + item + QStringLiteral("): not a regular file");
        return false;
    }
    return true;
}

bool ShowReader::ReadPicture(const QJsonObject &o, const QString &item, PictureItem &out)
{
    if (!OnlyKeys(o, item, {"file", "name", "width", "stretch"}, {"file", "name"}))
        return false;
    if (!o.value(QLatin1String("file")).isString())
        return Fail(item, QStringLiteral("\"file\" must be a string"));
    out.file = o.value(QLatin1String("file")).toString();
    const QJsonValue name = o.value(QLatin1String("name"));
    if (!name.isString())
        return Fail(item, QStringLiteral("\"name\" must be a string"));
    const NameVerdict verdict = JudgePictureName(name.toString().toStdString());
    if (verdict.fault != NameFault::None)
        return Fail(item, QString::fromStdString(NameFaultText(verdict)));
    out.gbkName = verdict.gbk;
    if (o.contains(QLatin1String("width"))) {
        const QJsonValue w = o.value(QLatin1String("width"));
        out.width = WholeNumber(w, kCaptureWidthMin, kCaptureWidthMax);
        if (!out.width)
            return Fail(item,
                        QStringLiteral("\"width\" must be a whole number from %1 to %2, not %3")
                            .arg(kCaptureWidthMin)
                            .arg(kCaptureWidthMax)
                            .arg(Describe(w)));
    }
    if (o.contains(QLatin1String("stretch"))) {
        const QJsonValue s = o.value(QLatin1String("stretch"));
        if (!s.isBool())
            return Fail(
                item, QStringLiteral("\"stretch\" must be true or false, not %1").arg(Describe(s)));
        out.stretch = s.toBool();
    }
    return ResolveFile(item, out);
}

bool ShowReader::ReadStep(const QJsonObject &o, const QString &item, int pictureCount,
                          ProgramEntry &out)
{
    if (!OnlyKeys(o, item, {"picture", "effect", "value"}, {"picture", "effect", "value"}))
        return false;
    const QJsonValue p = o.value(QLatin1String("picture"));
    const std::optional<int> picture = WholeNumber(p, 1, pictureCount);
    if (!picture)
        return Fail(
            item, pictureCount == 0
                      ? QStringLiteral("\"picture\" %1 names no picture: the show has none")
                            .arg(Describe(p))
                      : QStringLiteral("\"picture\" must be a picture number from 1 to %1, not %2")
                            .arg(pictureCount)
                            .arg(Describe(p)));
    const QJsonValue e = o.value(QLatin1String("effect"));
    std::optional<int> effect = WholeNumber(e, 0, kEffectCount - 1);
    if (e.isString() && EffectNamed(e.toString().toStdString()) >= 0)
        effect = EffectNamed(e.toString().toStdString());
    if (!effect)
        return Fail(item, QStringLiteral("\"effect\" must be one of %1 or its index 0 to %2")
                              .arg(QString::fromStdString(EffectTextList()))
                              .arg(kEffectCount - 1));
    const QJsonValue v = o.value(QLatin1String("value"));
    const std::optional<int> value = WholeNumber(v, kValueMin, kValueMax);
    if (!value)
        return Fail(item, QStringLiteral("\"value\" must be a whole number from %1 to %2, not %3")
                              .arg(kValueMin)
                              .arg(kValueMax)
                              .arg(Describe(v)));
    out = {static_cast<uint8_t>(*picture - 1), static_cast<uint8_t>(*effect),
           static_cast<uint8_t>(*value)};
    return true;
}

bool ShowReader::Read(std::vector<PictureItem> &pictures, std::vector<ProgramEntry> &steps)
{
    QByteArray bytes;
    QJsonObject root;
    if (!Load(bytes) || !Parse(bytes, root))
        return false;
    if (!OnlyKeys(root, {}, {"format", "version", "pictures", "program"},
                  {"format", "version", "pictures", "program"}))
        return false;
    if (root.value(QLatin1String("format")) != QJsonValue(QString::fromLatin1(kShowFormat)))
        return Fail({},
                    QStringLiteral("\"format\" must be \"%1\"").arg(QLatin1String(kShowFormat)));
    const QJsonValue version = root.value(QLatin1String("version"));
    if (WholeNumber(version, kShowVersion, kShowVersion) != kShowVersion)
        return Fail({}, QStringLiteral("version %1 is not read here; this korvex reads version %2")
                            .arg(Describe(version))
                            .arg(kShowVersion));
    const QJsonValue pictureList = root.value(QLatin1String("pictures"));
    const QJsonValue program = root.value(QLatin1String("program"));
    if (!pictureList.isArray())
        return Fail({}, QStringLiteral("\"pictures\" must be an array"));
    if (!program.isArray())
        return Fail({}, QStringLiteral("\"program\" must be an array"));
    const QJsonArray p = pictureList.toArray();
    const QJsonArray s = program.toArray();
    if (p.size() > kMaxPictures)
        return Fail({}, QStringLiteral("%1 pictures; a library holds at most %2")
                            .arg(p.size())
                            .arg(kMaxPictures));
    if (s.size() > kMaxProgram)
        return Fail({}, QStringLiteral("%1 program steps; a library holds at most %2")
                            .arg(s.size())
                            .arg(kMaxProgram));
    for (qsizetype i = 0; i < p.size(); ++i) {
        const QString item = QStringLiteral("picture %1").arg(i + 1);
        if (!p[i].isObject())
            return Fail(item, QStringLiteral("must be a JSON object"));
        pictures.emplace_back();
        if (!ReadPicture(p[i].toObject(), item, pictures.back()))
            return false;
    }
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QString item = QStringLiteral("step %1").arg(i + 1);
        if (!s[i].isObject())
            return Fail(item, QStringLiteral("must be a JSON object"));
        steps.emplace_back();
        if (!ReadStep(s[i].toObject(), item, static_cast<int>(p.size()), steps.back()))
            return false;
    }
    return true;
}

}  // namespace

bool ReadShowFolder(const QString &dir, LibraryDocument &doc, QString &error)
{
    std::vector<PictureItem> pictures;
    std::vector<ProgramEntry> steps;
    ShowReader reader(dir);
    if (!reader.Read(pictures, steps)) {
        error = reader.Error();
        return false;
    }
    for (size_t i = 0; i < pictures.size(); ++i) {
        const PictureItem &item = pictures[i];
        const QString where =
            QDir(dir).filePath(item.file) + QStringLiteral(" (picture %1): ").arg(i + 1);
        // The capture's loading: only row 0 is sampled, so only row 0 is
        // decoded where the format allows.
        const LoadedImage loaded = LoadImageTopRow(item.path);
        if (loaded.status == LoadStatus::Partial) {
            error = where + loaded.notice;
            return false;
        }
        CaptureColours colours{};
        if (!CaptureImage(loaded.image, item.width, item.stretch, colours)) {
            error = where + (loaded.notice.isEmpty() ? QStringLiteral("not a readable image")
                                                     : loaded.notice);
            return false;
        }
        doc.NewPicture(colours, item.gbkName);
    }
    for (const ProgramEntry &step : steps)
        doc.AddStep(step.picture, step.effect, step.value);
    return true;
}

}  // namespace korvex
