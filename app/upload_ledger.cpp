// The record files and the mark of pending uploads. A record file is
//   "KVXUPLD1", the count (one byte), the picture blocks, name table 0,
//   bytes 0..895 of name table 1, the image's digest (32 bytes);
// the pending file is
//   "KVXPEND1", per record its id (16 bytes) and its touched pages and
//   tables (16 bytes: bit i of byte i / 8 for page i, bit 7 of byte 15 for
//   the name tables), then the SHA-256 of all that came before.
#include "app/upload_ledger.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <map>

#include "model/memory_map.h"

namespace korvex {

namespace {

constexpr int kKeptRecords = 32;
constexpr char kRecordMagic[] = "KVXUPLD1";
constexpr char kPendingMagic[] = "KVXPEND1";
constexpr int kMagicSize = 8;
constexpr int kMarkSize = 16;
constexpr int kEntrySize = 16 + kMarkSize;
constexpr int kDigestSize = 32;
const QString kRecordSuffix = QStringLiteral(".upload");
const QString kPendingName = QStringLiteral("pending");

QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size));
}

QByteArray Sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

QString RecordPath(const QString &folder, const UploadId &id)
{
    return folder + QLatin1Char('/') + QString::fromLatin1(Bytes(id.data(), id.size()).toHex()) +
           kRecordSuffix;
}

// The image's bytes as the digest covers them.
QByteArray Covered(const UploadImage &image)
{
    QByteArray out;
    out.reserve(static_cast<int>(image.pictureBlocks.size()) * 1024 + 1024 + kTagOffset + 1);
    for (const Block1K &b : image.pictureBlocks)
        out += Bytes(b.data(), b.size());
    out += Bytes(image.nameTables[0].data(), 1024);
    out += Bytes(image.nameTables[1].data(), kTagOffset);
    out += static_cast<char>(static_cast<uint8_t>(image.count));
    return out;
}

bool WriteWhole(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
}

bool ReadWhole(const QString &path, QByteArray &data, bool &missing)
{
    QFile file(path);
    missing = !file.exists();
    if (missing || !file.open(QIODevice::ReadOnly))
        return false;
    data = file.readAll();
    return file.error() == QFileDevice::NoError;
}

QFileInfoList Records(const QString &folder)
{
    // No folder is never the current one.
    if (folder.isEmpty())
        return {};
    return QDir(folder).entryInfoList({QStringLiteral("*") + kRecordSuffix}, QDir::Files,
                                      QDir::Time | QDir::Reversed);
}

bool IdOfRecord(const QFileInfo &info, UploadId &id)
{
    const QByteArray raw = QByteArray::fromHex(info.completeBaseName().toLatin1());
    if (raw.size() != static_cast<int>(id.size()))
        return false;
    std::copy(raw.begin(), raw.end(), id.begin());
    return true;
}

using Marks = std::map<UploadId, Pending>;

LedgerRead ReadMarks(const QString &folder, Marks &marks)
{
    if (folder.isEmpty())
        return LedgerRead::Missing;
    QByteArray data;
    bool missing = false;
    if (!ReadWhole(folder + QLatin1Char('/') + kPendingName, data, missing))
        return missing ? LedgerRead::Missing : LedgerRead::Damaged;
    const int body = data.size() - kDigestSize;
    if (body < kMagicSize || (body - kMagicSize) % kEntrySize != 0 ||
        !data.startsWith(kPendingMagic) || Sha256(data.left(body)) != data.mid(body))
        return LedgerRead::Damaged;
    for (int at = kMagicSize; at < body; at += kEntrySize) {
        UploadId id;
        std::copy_n(data.constData() + at, id.size(), id.begin());
        Pending p;
        const auto *mark = reinterpret_cast<const uint8_t *>(data.constData() + at + 16);
        for (int i = 0; i < kMaxPictures; ++i)
            p.pages[static_cast<size_t>(i)] = (mark[i / 8] >> (i % 8)) & 1;
        p.tables = (mark[kMarkSize - 1] & 0x80) != 0;
        marks[id] = p;
    }
    return LedgerRead::Found;
}

bool WriteMarks(const QString &folder, const Marks &marks)
{
    QByteArray data(kPendingMagic, kMagicSize);
    for (const auto &[id, p] : marks) {
        uint8_t mark[kMarkSize] = {};
        for (int i = 0; i < kMaxPictures; ++i)
            if (p.pages[static_cast<size_t>(i)])
                mark[i / 8] |= static_cast<uint8_t>(1 << (i % 8));
        if (p.tables)
            mark[kMarkSize - 1] |= 0x80;
        data += Bytes(id.data(), id.size());
        data += Bytes(mark, kMarkSize);
    }
    data += Sha256(data);
    return WriteWhole(folder + QLatin1Char('/') + kPendingName, data);
}

// One writer of the pending file at a time, across processes.
class LedgerLock {
public:
    explicit LedgerLock(const QString &folder) : lock_(folder + QStringLiteral("/lock"))
    {
        locked_ = lock_.tryLock(10000);
    }
    bool Locked() const { return locked_; }

private:
    QLockFile lock_;
    bool locked_ = false;
};

}  // namespace

UploadImage ImageOfLibrary(const PictureTable &pictures, int n)
{
    UploadImage image;
    image.count = std::clamp(n, 0, kMaxPictures);
    image.pictureBlocks.reserve(static_cast<size_t>(kBlocksPerPicture * image.count));
    for (int i = 0; i < image.count; ++i)
        for (int b = 0; b < kBlocksPerPicture; ++b)
            image.pictureBlocks.push_back(EncodePictureBlock(pictures[static_cast<size_t>(i)], b));
    for (int t = 0; t < 2; ++t)
        image.nameTables[t] = EncodeNameTable(pictures, t);
    ClearUploadTag(image.nameTables[1]);
    return image;
}

UploadDigest DigestOf(const UploadImage &image)
{
    const QByteArray hash = Sha256(Covered(image));
    UploadDigest digest;
    std::copy_n(hash.constData(), digest.size(), digest.begin());
    return digest;
}

UploadId NewUploadId()
{
    UploadId id;
    QRandomGenerator *random = QRandomGenerator::system();
    for (size_t i = 0; i < id.size(); i += 4) {
        const quint32 word = random->generate();
        for (size_t k = 0; k < 4; ++k)
            id[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    return id;
}

QString UploadLedgerFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/korvex/uploads");
}

LedgerRead LoadUpload(const QString &folder, const UploadId &id, UploadImage &image)
{
    if (folder.isEmpty())
        return LedgerRead::Missing;
    QByteArray data;
    bool missing = false;
    if (!ReadWhole(RecordPath(folder, id), data, missing))
        return missing ? LedgerRead::Missing : LedgerRead::Damaged;
    if (data.size() < kMagicSize + 1 || !data.startsWith(kRecordMagic))
        return LedgerRead::Damaged;
    const int count = static_cast<uint8_t>(data[kMagicSize]);
    const int blocks = kBlocksPerPicture * count;
    if (count > kMaxPictures ||
        data.size() != kMagicSize + 1 + 1024 * blocks + 1024 + kTagOffset + kDigestSize)
        return LedgerRead::Damaged;
    image = UploadImage{};
    image.count = count;
    const auto *at = reinterpret_cast<const uint8_t *>(data.constData()) + kMagicSize + 1;
    image.pictureBlocks.resize(static_cast<size_t>(blocks));
    for (Block1K &b : image.pictureBlocks) {
        std::copy_n(at, b.size(), b.begin());
        at += b.size();
    }
    std::copy_n(at, 1024, image.nameTables[0].begin());
    at += 1024;
    std::copy_n(at, kTagOffset, image.nameTables[1].begin());
    at += kTagOffset;
    const UploadDigest digest = DigestOf(image);
    return std::equal(digest.begin(), digest.end(), at) ? LedgerRead::Found : LedgerRead::Damaged;
}

bool StoreUpload(const QString &folder, const UploadId &id, const UploadImage &image)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    QByteArray data(kRecordMagic, kMagicSize);
    data += static_cast<char>(static_cast<uint8_t>(image.count));
    const QByteArray covered = Covered(image);
    data += covered.left(covered.size() - 1);  // the count went first
    const UploadDigest digest = DigestOf(image);
    data += Bytes(digest.data(), digest.size());
    const QString path = RecordPath(folder, id);
    if (!WriteWhole(path, data))
        return false;
    // The oldest first; the record just written is never among those removed.
    QFileInfoList records = Records(folder);
    for (int k = 0; k < records.size() && records.size() - k > kKeptRecords; ++k)
        if (records[k].absoluteFilePath() != QFileInfo(path).absoluteFilePath())
            QFile::remove(records[k].absoluteFilePath());
    return true;
}

void ForgetUpload(const QString &folder, const UploadId &id)
{
    QFile::remove(RecordPath(folder, id));
}

bool MarkPending(const QString &folder, const std::vector<int> &pages)
{
    const QFileInfoList records = Records(folder);
    if (records.isEmpty())
        return true;  // no record to vouch for anything
    const LedgerLock lock(folder);
    Marks old;
    const LedgerRead read = lock.Locked() ? ReadMarks(folder, old) : LedgerRead::Damaged;
    if (read != LedgerRead::Damaged) {
        Marks marks;
        for (const QFileInfo &info : records) {
            UploadId id;
            if (!IdOfRecord(info, id))
                continue;
            Pending &p = marks[id];
            if (const auto it = old.find(id); it != old.end())
                p = it->second;
            p.tables = true;
            for (const int page : pages)
                if (page >= 0 && page < kMaxPictures)
                    p.pages[static_cast<size_t>(page)] = true;
        }
        if (WriteMarks(folder, marks))
            return true;
    }
    // What the records vouch for is no longer known: none may be trusted.
    bool removed = true;
    for (const QFileInfo &info : records)
        removed = QFile::remove(info.absoluteFilePath()) && removed;
    // A damaged mark of no record would keep every later record untrusted.
    if (removed)
        QFile::remove(folder + QLatin1Char('/') + kPendingName);
    return removed;
}

LedgerRead PendingOf(const QString &folder, const UploadId &id, Pending &pending)
{
    Marks marks;
    pending = Pending{};
    const LedgerRead read = ReadMarks(folder, marks);
    if (read == LedgerRead::Damaged)
        return read;
    if (const auto it = marks.find(id); it != marks.end())
        pending = it->second;
    return LedgerRead::Found;
}

}  // namespace korvex
